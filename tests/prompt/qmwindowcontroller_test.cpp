// A window controller that owns itself while its window is open, and the
// window's frame kept under its autosave name.
#include "prompt/qmwindowcontroller.h"

#include "tests/testsupport.h"

#include <QSettings>
#include <QTest>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class WindowControllerTest : public testing::Test
{
protected:
    // A 300 x 200 window, with a frame-autosave name when given.
    QString describe(const QByteArray &autosaveName = {})
    {
        QByteArray ui = "<ui version=\"4.0\"><widget class=\"QWidget\" name=\"w\"><property "
                        "name=\"geometry\"><rect><x>0</x><y>0</y><width>300</width>"
                        "<height>200</height></rect></property>";
        if (!autosaveName.isEmpty())
            ui += "<property name=\"frameAutosaveName\" stdset=\"0\"><string>" + autosaveName
                + "</string></property>";
        const QString path = home.path() + u"/%1.ui"_s.arg(++descriptions);
        test::writeFile(path, ui + "</widget></ui>");
        return path;
    }

    test::TemporaryHome home;
    int descriptions = 0;
};

// A plain window. That closing the window gives the controller up once the
// event has been handled is the prompt tests', with the prompts' dialogs.
TEST_F(WindowControllerTest, OwnsItselfUntilItsWindowHasClosed)
{
    auto controller = std::make_shared<QMWindowController>(describe());
    const std::weak_ptr<QMWindowController> weak = controller;

    controller->setOwnsSelf(true);
    controller->setOwnsSelf(true);
    EXPECT_EQ(weak.use_count(), 2) << "one reference to itself, however often asked";
    controller->setOwnsSelf(false);
    EXPECT_EQ(weak.use_count(), 2) << "given up only once this event has been handled";
    QCoreApplication::processEvents();
    EXPECT_EQ(weak.use_count(), 1);

    // A close heard before the window is loaded, or of another window,
    // changes nothing and loads nothing.
    controller->setOwnsSelf(true);
    QWidget other;
    controller->windowWillClose(&other);
    EXPECT_FALSE(controller->isWindowLoaded());
    QCoreApplication::processEvents();
    EXPECT_EQ(weak.use_count(), 2);

    (void)controller->window();
    EXPECT_FALSE(test::readFile(u"/proc/self/maps"_s).contains("/designer/"))
        << "Qt's own widgets need no Designer plugin";
}

TEST_F(WindowControllerTest, TheFrameIsKeptUnderTheWindowsOwnName)
{
    const QString framesFile = home.configHome() + u"/tallowcraft/Quillmont DI Raruru.conf"_s;
    const QRect frame(120, 80, 420, 260);
    const struct
    {
        const char *name;
        QByteArray windowsName;
        QString controllersName, nameInEffect;
    } cases[] = {
        { "the window's own", "Prompt", {}, u"Prompt"_s },
        { "the controller's own wins", "Prompt", u"Mine"_s, u"Mine"_s },
        { "none", {}, {}, {} },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(framesFile);
        const QString description = describe(c.windowsName);
        QRect shown[2];
        for (QRect &geometry : shown) {
            const auto controller = std::make_shared<QMWindowController>(description);
            controller->setWindowFrameAutosaveName(c.controllersName);
            QWidget *window = controller->window();
            EXPECT_EQ(QMWindowController::frameAutosaveName(window), c.nameInEffect);
            window->show();
            geometry = window->geometry();
            window->setGeometry(frame);
            window->close();
        }
        EXPECT_EQ(QSettings(framesFile, QSettings::IniFormat)
                      .contains(u"WindowFrames/"_s + c.nameInEffect),
                  !c.nameInEffect.isEmpty());
        EXPECT_EQ(shown[1] == frame, !c.nameInEffect.isEmpty()) << "restored under its name";
    }
}

} // namespace
