// The install prompt as a user meets it: the window described in the built
// helper bundle, shown offscreen; real host bundles, preferences files and
// starts of the host program; mounts reported through the helper delegate.
#include "prompt/cdhelpercontroller.h"

#include "app/cdhelperdelegate.h"
#include "platform/launchservices.h"
#include "prompt/cdhelperprompter.h"
#include "tests/fakes/fakelaunchservices.h"
#include "tests/fakes/fakemountmonitor.h"
#include "tests/fakes/fakeprocesslist.h"
#include "tests/testsupport.h"

#include <QCheckBox>
#include <QDir>
#include <QImageWriter>
#include <QJsonArray>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

const QString kWindowDescription
    = QStringLiteral(RARURU_HELPER_BUNDLE "/Contents/Resources/CDHelper.ui");
const QString kMain = QStringLiteral("com.tallowcraft.Quillmont");
const QString kGames = QStringLiteral("com.tallowcraft.QuillmontGames");

template<typename T> T *control(QWidget *window, const char *name)
{
    T *found = window->findChild<T *>(QLatin1String(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

// The newest prompt, held weakly: the test must not keep it alive.
std::weak_ptr<CDHelperController> newest(CDHelperPrompter &prompter)
{
    const auto prompts = prompter.prompts();
    return prompts.empty() ? std::weak_ptr<CDHelperController>() : prompts.back();
}

QWidget *windowOf(const std::weak_ptr<CDHelperController> &prompt)
{
    const auto controller = prompt.lock();
    return controller ? controller->window() : nullptr;
}

// Prompts with host applications found through a registry the test fills
// with real bundles, so that each test decides which are installed.
class PromptWithoutRegistryTest : public testing::Test
{
protected:
    // Prompts closed last go now, while the application object exists.
    void TearDown() override { QCoreApplication::processEvents(); }

    QString install(const QString &edition)
    {
        const QString bundle = test::installEdition(
            home.path() + QStringLiteral("/%1/Applications").arg(++installs), edition, false);
        registry.handlers.insert(
            QStringLiteral("com.tallowcraft.private-%1-app-scheme").arg(edition), { bundle });
        return bundle;
    }

    test::TemporaryHome home;
    int installs = 0;
    FakeProcessList processes;
    FakeLaunchServices registry;
    Workspace workspace { processes, registry };
    int terminations = 0;
    PromptServices services { workspace,
                              [] { return UserDefaults::create(); },
                              {},
                              std::nullopt,
                              [this] { ++terminations; } };
    QString volume = home.path() + QStringLiteral("/Volumes/DISC");
};

// Both editions offered, main first, is PromptTest's: it installs with the
// second. A window description that cannot be read leaves the volume alone.
TEST_F(PromptWithoutRegistryTest, OffersOnlyTheInstalledEditionsInAWindowThatLoads)
{
    test::writeFile(volume + QStringLiteral("/AUTORUN.INF"), "[autorun]\n");
    const QString broken = home.path() + QStringLiteral("/Broken.app/Contents/Resources/");
    test::writeFile(broken + QStringLiteral("binary.ui"), QByteArray("\x89PNG\r\n\x1a\n\0\0", 10));
    test::writeFile(broken + QStringLiteral("cut.ui"),
                    "<ui version=\"4.0\"><widget class=\"QDialog\" name=\"CDHel");
    const struct
    {
        const char *name;
        bool gamesInstalled;
        QString description;
    } cases[] = {
        { "QuillmontGames only", true, kWindowDescription },
        { "none installed", false, kWindowDescription },
        { "description missing", true, broken + QStringLiteral("missing.ui") },
        { "description not XML", true, broken + QStringLiteral("binary.ui") },
        { "description cut short", true, broken + QStringLiteral("cut.ui") },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        registry.handlers.clear();
        const QString games
            = c.gamesInstalled ? install(QStringLiteral("QuillmontGames")) : QString();
        CDHelperPrompter prompter(services, c.description);
        terminations = 0;

        prompter.promptForVolume(volume, QStringLiteral("Microsoft Visio"), 1);

        const auto prompt = newest(prompter).lock();
        EXPECT_EQ(prompt != nullptr, c.gamesInstalled && c.description == kWindowDescription);
        EXPECT_EQ(terminations, c.gamesInstalled ? 0 : 1) << "nothing to offer: the helper ends";
        EXPECT_TRUE(registry.openRequests.empty());
        if (!prompt)
            continue;
        ASSERT_EQ(prompt->quillmontAppList().size(), 1);
        const QVariantMap entry = prompt->quillmontAppList()[0].toMap();
        EXPECT_EQ(entry.value(QStringLiteral("ID")), kGames);
        EXPECT_EQ(entry.value(QStringLiteral("path")), games);
        EXPECT_EQ(prompt->selectedApp(), 0) << "the only entry, whatever was asked for";
        EXPECT_FALSE(prompt->appPopup()->isVisible()) << "no choice to offer";
        EXPECT_FALSE(prompt->appPopupLabel()->isVisible());
        EXPECT_EQ(prompt->appPopup()->currentText(), entry.value(QStringLiteral("displayname")));
        EXPECT_TRUE(prompt->window()->isVisible());
        prompt->close();
    }
}

// Both editions installed and registered once per process (GLib reads the
// desktop entries only once); every prompt comes from a mount reported to
// the helper delegate, whose detectcd names the disc.
class PromptTest : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_home = new test::TemporaryHome;
        s_requests = s_home->path() + QStringLiteral("/requests.log");
        qputenv("QUILLMONT_REQUEST_LOG", QFile::encodeName(s_requests));
        for (const char *edition : { "Quillmont", "QuillmontGames" })
            test::installEdition(s_home->path() + QStringLiteral("/Applications"),
                                 QLatin1String(edition), true);
    }
    static void TearDownTestSuite() { delete s_home; }

    void SetUp() override
    {
        reset();
        delegate.applicationOpenFile(helperBundle);
        delegate.applicationDidFinishLaunching();
        ASSERT_TRUE(monitor && monitor->started);
    }
    // Prompts closed last go now, while the application object exists.
    void TearDown() override { QCoreApplication::processEvents(); }
    void reset()
    {
        QDir(s_home->preferencesPath()).removeRecursively();
        QDir(s_home->configHome() + QStringLiteral("/tallowcraft")).removeRecursively();
        QFile::remove(s_requests);
        // The host applications have made their domains; no choice is stored.
        for (const QString &domain : { kMain, kGames })
            test::writePropertyList(s_home->domainPath(domain),
                                    QVariantMap { { QStringLiteral("HostKey"), 7 } });
    }

    // A volume folder that the test host's detectcd names 'discId'.
    static QString makeVolume(const QString &name, const QByteArray &autorun = "[autorun]\n",
                              const QByteArray &discId = "Visio")
    {
        const QString path = s_home->path() + QStringLiteral("/Volumes/") + name;
        test::writeFile(path + QStringLiteral("/AUTORUN.INF"), autorun);
        test::writeFile(path + QStringLiteral("/QUILLMONT.ID"), discId);
        return path;
    }
    std::weak_ptr<CDHelperController> mount(const QString &volume)
    {
        monitor->plug(volume);
        const auto prompt = newest(prompter);
        EXPECT_EQ(prompt.lock()->volumePath(), volume);
        return prompt;
    }
    // Waits a while: a start would have been logged by then.
    QList<QJsonObject> requests(qsizetype count)
    {
        if (count == 0)
            QTest::qWait(300);
        return test::hostRequests(s_requests, count);
    }

    std::unique_ptr<ProcessList> processes = ProcessList::create();
    std::unique_ptr<LaunchServices> registry = LaunchServices::create();
    Workspace workspace { *processes, *registry };
    PromptServices services {
        workspace,
        [] { return UserDefaults::create(); },
        [this](const QString &volume, const std::optional<QString> &appID,
               const std::optional<QString> &scheme) {
            delegate.launchAndInstall(volume, appID, scheme);
        },
        std::nullopt,
        [] { ADD_FAILURE() << "the helper is asked to end"; },
    };
    CDHelperPrompter prompter { services, kWindowDescription };
    QString helperBundle = s_home->path() + QStringLiteral("/Quillmont DI Raruru.app");
    FakeMountMonitor *monitor = nullptr;
    CDHelperDelegate delegate { [this] {
        CDHelperServices helper { workspace, [] { return UserDefaults::create(); }, prompter };
        helper.bundlePath = helperBundle;
        helper.makeMountMonitor = [this] {
            auto fake = std::make_unique<FakeMountMonitor>();
            monitor = fake.get();
            return std::unique_ptr<MountMonitor>(std::move(fake));
        };
        return helper;
    }() };

    static test::TemporaryHome *s_home;
    static QString s_requests;
};

test::TemporaryHome *PromptTest::s_home = nullptr;
QString PromptTest::s_requests;

// What a stored choice does to every host's domain and to running helpers is
// the preferences tool's test; here, which choice each action stores.
TEST_F(PromptTest, EachActionStoresAndOpensWhatItShould)
{
    const struct
    {
        const char *name;
        const char *button;
        bool remember, secondApp;
        std::optional<int> stored; // AutoLaunch written
        const char *openedWith; // the edition started with the volume
        bool express;
    } cases[] = {
        { "install, remembered", "installButton", true, false, 1, "Quillmont", false },
        { "install with the second", "installButton", false, true, {}, "QuillmontGames", false },
        { "ignore, remembered", "ignoreButton", true, false, 2, nullptr, false },
        { "express, second chosen", "expressButton", true, true, {}, "Quillmont", true },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        reset();
        const QString volume = makeVolume(QLatin1String(c.name));
        const auto prompt = mount(volume);
        QWidget *window = windowOf(prompt);
        ASSERT_NE(window, nullptr);
        if (c.remember)
            QTest::mouseClick(control<QCheckBox>(window, "rememberCheck"), Qt::LeftButton);
        if (c.secondApp)
            QTest::keyClick(control<QComboBox>(window, "appPopup"), Qt::Key_Down);

        QTest::mouseClick(control<QPushButton>(window, c.button), Qt::LeftButton);
        EXPECT_FALSE(window->isVisible());
        EXPECT_FALSE(prompt.expired()) << "valid until the click has been handled";
        QCoreApplication::processEvents();
        EXPECT_TRUE(prompt.expired());

        const QVariantMap domain = *UserDefaults::create()->persistentDomainForName(kMain);
        EXPECT_EQ(domain.value(QStringLiteral("AutoLaunch")),
                  c.stored ? QVariant(qint64(*c.stored)) : QVariant());
        if (c.stored) {
            EXPECT_EQ(domain.value(QStringLiteral("AutoLaunchAppID")), kMain);
            EXPECT_EQ(domain.value(QStringLiteral("AutoLaunchAppIdentifyingURLScheme")),
                      QStringLiteral("com.tallowcraft.private-Quillmont-app-scheme"));
        }

        const auto started = requests(c.openedWith ? 1 : 0);
        ASSERT_EQ(started.size(), c.openedWith ? 1 : 0);
        if (c.openedWith) {
            EXPECT_EQ(started[0][QStringLiteral("program")].toString(),
                      s_home->path()
                          + QStringLiteral("/Applications/%1.app/Contents/MacOS/%1")
                                .arg(QLatin1String(c.openedWith)));
            QVariantList arguments;
            if (c.express)
                arguments << QStringLiteral("--event-param") << QStringLiteral("expr=express");
            arguments << QString::fromUtf8(fileURLWithPath(volume));
            EXPECT_EQ(started[0][QStringLiteral("arguments")].toArray().toVariantList(), arguments);
        }
    }
}

TEST_F(PromptTest, PromptsGoOneByOneByKeyboardOrUnmount)
{
    const QString volumes[] = { makeVolume(QStringLiteral("A")), makeVolume(QStringLiteral("B")),
                                makeVolume(QStringLiteral("C")) };
    std::weak_ptr<CDHelperController> prompts[3];
    for (int i = 0; i < 3; ++i)
        prompts[i] = mount(volumes[i]);
    const auto alive = [&] {
        QList<bool> states;
        for (const auto &prompt : prompts)
            states += !prompt.expired();
        return states;
    };
    const auto keyTarget
        = [](QWidget *window) { return window->focusWidget() ? window->focusWidget() : window; };

    // Escape closes without acting; the others stay.
    QWidget *window = windowOf(prompts[0]);
    QTest::keyClick(keyTarget(window), Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(alive(), QList({ true, true, true }));
    QCoreApplication::processEvents();
    EXPECT_EQ(alive(), QList({ false, true, true }));

    // The volume goes: its prompt goes as by its close button.
    monitor->unplug(s_home->path() + QStringLiteral("/Volumes/elsewhere"));
    monitor->unplug(volumes[1]);
    QCoreApplication::processEvents();
    EXPECT_EQ(alive(), QList({ false, false, true }));
    EXPECT_TRUE(windowOf(prompts[2])->isVisible());

    // Return installs, whatever has the focus.
    window = windowOf(prompts[2]);
    QTest::keyClick(keyTarget(window), Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_EQ(alive(), QList({ false, false, false }));

    const auto started = requests(1);
    ASSERT_EQ(requests(0).size(), 1) << "one volume installed";
    EXPECT_EQ(started[0][QStringLiteral("arguments")].toArray().toVariantList(),
              QVariantList { QString::fromUtf8(fileURLWithPath(volumes[2])) });
}

// The disc's own label, icon and name, or the desktop's: whatever a disc
// holds is shown as plain text, and its icon is read from inside it only.
TEST_F(PromptTest, TheWindowSaysWhatWasFoundInPlainText)
{
    QImage red(32, 32, QImage::Format_ARGB32);
    red.fill(Qt::red);
    const QString outside = s_home->path() + QStringLiteral("/outside.ico");
    ASSERT_TRUE(QImageWriter(outside, "ico").write(red));
    const struct
    {
        const char *name;
        QString folder;
        QByteArray autorun, discId;
        QString label, found;
        bool recognised, ownIcon;
    } cases[] = {
        { "markup in the label, its own icon", QStringLiteral("M"),
          "[autorun]\r\nlabel=<b>Bold</b> <img src=\"file:///etc/passwd\">\r\n"
          "icon=Icons\\Disc.ico,0\r\n",
          "Visio", QStringLiteral("<b>Bold</b> <img src=\"file:///etc/passwd\">"),
          QStringLiteral("Microsoft Visio"), true, true },
        { "a newline in the volume's name, an icon that is no image", QStringLiteral("two\nlines"),
          "[autorun]\nicon=autorun.inf\n", "<i>Game</i>", QStringLiteral("two\nlines"),
          QStringLiteral("<i>Game</i>"), true, false },
        { "not recognised, an icon linked from outside", QStringLiteral("U"),
          "[autorun]\nicon=link.ico\n", "other", QStringLiteral("U"), QString(), false, false },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString volume = makeVolume(c.folder, c.autorun, c.discId);
        QDir().mkpath(volume + QStringLiteral("/ICONS"));
        ASSERT_TRUE(QFile::copy(outside, volume + QStringLiteral("/ICONS/DISC.ICO")));
        ASSERT_TRUE(QFile::link(outside, volume + QStringLiteral("/link.ico")));
        const auto prompt = mount(volume);
        QWidget *window = windowOf(prompt);
        ASSERT_NE(window, nullptr);
        const QImage icon = prompt.lock()->CDImage().pixmap(32).toImage();
        ASSERT_FALSE(icon.isNull()) << "the desktop's icon at least";
        EXPECT_EQ(icon.pixelColor(16, 16) == QColor(Qt::red), c.ownIcon);
        auto *label = control<QLabel>(window, "discLabel");
        auto *found = control<QLabel>(window, "foundText");
        for (QLabel *text : window->findChildren<QLabel *>())
            EXPECT_EQ(text->textFormat(), Qt::PlainText) << text->objectName().toStdString();
        EXPECT_EQ(label->text(), c.label);
        EXPECT_EQ(found->isVisible(), c.recognised);
        if (c.recognised) {
            EXPECT_TRUE(found->text().contains(c.found)) << found->text().toStdString();
        }
        EXPECT_EQ(control<QLabel>(window, "unrecognisedText")->isVisible(), !c.recognised);
        EXPECT_TRUE(control<QComboBox>(window, "appPopup")->isVisible()) << "both editions";
        EXPECT_EQ(control<QPushButton>(window, "expressButton")->isVisible(), c.recognised)
            << "express installation only for a recognised disc";

        // Every control can be found by keyboard and screen reader.
        for (QWidget *widget : window->findChildren<QWidget *>()) {
            if (widget->isVisible() && (widget->focusPolicy() & Qt::TabFocus)) {
                EXPECT_FALSE(widget->accessibleName().isEmpty())
                    << widget->objectName().toStdString();
            }
        }
        prompt.lock()->close();
    }
}

} // namespace
