// The install prompt as a user meets it: the window described in the built
// helper bundle, shown offscreen; real host bundles, preferences files and
// starts of the host program; each prompt asked for as the prompt program
// asks, with the name the helper found for the disc.
#include "prompt/cdhelpercontroller.h"

#include "platform/launchservices.h"
#include "prompt/cdhelperprompter.h"
#include "tests/fakes/fakelaunchservices.h"
#include "tests/fakes/fakeprocesslist.h"
#include "tests/testsupport.h"

#include <QAccessible>
#include <QBuffer>
#include <QCheckBox>
#include <QDataStream>
#include <QDir>
#include <QImageWriter>
#include <QJsonArray>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

const QString kWindowDescription
    = QStringLiteral(RARURU_HELPER_BUNDLE "/Contents/Resources/CDHelper.ui");
const QString kTranslations
    = QStringLiteral(RARURU_HELPER_BUNDLE "/Contents/Resources/translations");
const QString kMain = u"com.tallowcraft.Quillmont"_s;
const QString kGames = u"com.tallowcraft.QuillmontGames"_s;

template<typename T> T *control(QWidget *window, const char *name)
{
    T *found = window->findChild<T *>(QLatin1String(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

// A Windows icon file whose directory gives every image as 256 x 256 (0
// there stands for 256), whatever the images themselves say; or, with
// 'pastTheEnd', as many images as given that all lie beyond the file's end.
QByteArray iconFile(const QList<QByteArray> &images, int pastTheEnd = 0)
{
    QByteArray file;
    QDataStream out(&file, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out << quint16(0) << quint16(1) << quint16(images.size() + pastTheEnd);
    quint32 offset = 6 + 16 * (images.size() + pastTheEnd);
    for (const QByteArray &image : images) {
        out << quint32(0) << quint16(1) << quint16(32) << quint32(image.size()) << offset;
        offset += image.size();
    }
    for (int i = 0; i < pastTheEnd; ++i)
        out << quint32(0) << quint16(1) << quint16(32) << quint32(1024) << quint32(1 << 20);
    for (const QByteArray &image : images)
        out.writeRawData(image.constData(), int(image.size()));
    return file;
}

QByteArray png(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// What the prompt's code logs while it lives.
class LogLines
{
public:
    LogLines() { s_previous = qInstallMessageHandler(&LogLines::handle); }
    ~LogLines() { qInstallMessageHandler(s_previous); }
    LogLines(const LogLines &) = delete;
    LogLines &operator=(const LogLines &) = delete;
    static inline QStringList lines;

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &text)
    {
        // What the offscreen platform says of every window it shows.
        if (!text.startsWith(u"This plugin does not support"))
            lines += text.split(u'\n');
        s_previous(type, context, text);
    }
    static inline QtMessageHandler s_previous = nullptr;
};

// The newest prompt, held weakly: the test must not keep it alive.
std::weak_ptr<CDHelperController> newest(CDHelperPrompter &prompter)
{
    const auto prompts = prompter.prompts();
    return prompts.empty() ? std::weak_ptr<CDHelperController>() : prompts.back();
}

// Only the games edition installed: the registry is a fake the test fills
// with a real bundle. Both editions offered, main first, is PromptTest's;
// none installed ends the helper, the prompt process's test. A window
// description that cannot be read leaves the volume alone.
TEST(PromptWithoutRegistry, OffersOnlyTheInstalledEditionsInAWindowThatLoads)
{
    test::TemporaryHome home;
    FakeProcessList processes;
    FakeLaunchServices registry;
    Workspace workspace { processes, registry };
    PromptServices services { workspace,
                              [] { return UserDefaults::create(); },
                              {},
                              std::nullopt,
                              [] { ADD_FAILURE() << "the helper is asked to end"; } };
    const QString volume = home.path() + u"/Volumes/DISC"_s;
    test::writeFile(volume + u"/AUTORUN.INF"_s, "[autorun]\n");
    const QString games
        = test::installEdition(home.path() + u"/Applications"_s, u"QuillmontGames"_s, false);
    registry.handlers.insert(u"com.tallowcraft.private-QuillmontGames-app-scheme"_s, { games });
    for (const QString &description : { kWindowDescription, home.path() + u"/missing.ui"_s }) {
        SCOPED_TRACE(description.toStdString());
        CDHelperPrompter prompter(services, description);

        prompter.promptForVolume(volume, u"Microsoft Visio"_s, 1);

        const auto prompt = newest(prompter).lock();
        EXPECT_EQ(prompt != nullptr, description == kWindowDescription);
        EXPECT_TRUE(registry.openRequests.empty());
        if (!prompt)
            continue;
        ASSERT_EQ(prompt->quillmontAppList().size(), 1);
        const QVariantMap entry = prompt->quillmontAppList()[0].toMap();
        EXPECT_EQ(entry.value(u"ID"_s), kGames);
        EXPECT_EQ(entry.value(u"path"_s), games);
        EXPECT_EQ(prompt->selectedApp(), 0) << "the only entry, whatever was asked for";
        EXPECT_FALSE(prompt->appPopup()->isVisible() || prompt->appPopupLabel()->isVisible())
            << "no choice to offer";
        EXPECT_EQ(prompt->appPopup()->currentText(), entry.value(u"displayname"_s));
        prompt->close();
    }
    QCoreApplication::processEvents(); // the last prompt goes while its services exist
}

// The real window in the user's language, with the bundle's compiled
// translations: every text a user reads or hears differs from English (the
// disc's label is the disc's own), the sentence built from "displayPattern"
// included. A language the helper does not speak gives English quietly; a
// translation it cannot read gives English and one log line, however many
// prompts follow.
TEST(PromptWithoutRegistry, SpeaksTheUsersLanguageOrEnglish)
{
    test::TemporaryHome home;
    FakeProcessList processes;
    FakeLaunchServices registry;
    Workspace workspace { processes, registry };
    PromptServices services { workspace, [] { return UserDefaults::create(); }, {}, {}, {} };
    registry.handlers.insert(
        u"com.tallowcraft.private-Quillmont-app-scheme"_s,
        { test::installEdition(home.path() + u"/Applications"_s, u"Quillmont"_s, false) });
    const QString volume = home.path() + u"/Volumes/DISC"_s;
    test::writeFile(volume + u"/AUTORUN.INF"_s, "[autorun]\n");
    test::writeFile(home.path() + u"/damaged/raruru_de.qm"_s, QByteArray(64, 'x'));
    // Cut at a block's end: Qt alone takes it and shows German.
    const QByteArray german = test::readFile(kTranslations + u"/raruru_de.qm"_s);
    test::writeFile(home.path() + u"/cut/raruru_de.qm"_s, german.first(german.size() - 7));
    const QString english = u"This Windows installer disc holds Visio."_s;
    const struct
    {
        const char *lang, *translations; // in the home folder, else the bundle's
        QString found;
    } cases[] = {
        { "ja_JP.UTF-8", nullptr, english }, // first: the texts the others are compared with
        { "de_DE.UTF-8", nullptr, u"Diese Windows-Installations-CD enthält Visio."_s },
        { "fr_FR.UTF-8", nullptr, u"Ce disque d’installation Windows contient Visio."_s },
        { "de_DE.UTF-8", "/damaged", english },
        { "de_DE.UTF-8", "/cut", english },
    };
    QMap<QString, QString> englishTexts;
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.lang) + (c.translations ? c.translations : ""));
        const test::ScopedEnvironment environment { { "LANG", c.lang },
                                                    { "LANGUAGE", nullptr },
                                                    { "LC_ALL", nullptr },
                                                    { "LC_MESSAGES", nullptr } };
        LogLines::lines.clear();
        const LogLines log;
        CDHelperPrompter prompter(services, kWindowDescription,
                                  c.translations ? home.path() + QLatin1String(c.translations)
                                                 : kTranslations);
        prompter.promptForVolume(volume, u"Visio"_s, 0);
        prompter.promptForVolume(volume, u"Visio"_s, 0);
        ASSERT_EQ(prompter.prompts().size(), 2u);
        QWidget *window = prompter.prompts().back().lock()->window();
        EXPECT_EQ(control<QLabel>(window, "foundText")->text(), c.found);
        QMap<QString, QString> texts;
        const QList<QWidget *> widgets = window->findChildren<QWidget *>() << window;
        for (QWidget *widget : widgets) {
            for (const char *kind : { "windowTitle", "text", "toolTip", "accessibleName" }) {
                const QString text = widget->property(kind).toString();
                if (!text.isEmpty() && widget->objectName() != u"discLabel")
                    texts.insert(widget->objectName() + QLatin1String(kind), text);
            }
        }
        if (englishTexts.isEmpty())
            englishTexts = texts;
        EXPECT_EQ(texts.keys(), englishTexts.keys());
        for (const QString &key : englishTexts.keys())
            EXPECT_EQ(texts[key] == englishTexts[key], c.found == english) << key.toStdString();
        EXPECT_EQ(LogLines::lines.filter(u"raruru_de.qm"_s).size(), c.translations ? 1 : 0);
        prompter.closeAllPrompts();
    }
}

// Both editions installed and registered once per process (GLib reads the
// desktop entries only once).
class PromptTest : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_home = new test::TemporaryHome;
        qputenv("QUILLMONT_REQUEST_LOG", QFile::encodeName(requestLog()));
        for (const QString &edition : { u"Quillmont"_s, u"QuillmontGames"_s })
            test::installEdition(s_home->path() + u"/Applications"_s, edition, true);
    }
    static void TearDownTestSuite() { delete s_home; }
    static QString requestLog() { return s_home->path() + u"/requests.log"_s; }

    void SetUp() override { reset(); }
    // Prompts closed last go now, while the application object exists.
    void TearDown() override { QCoreApplication::processEvents(); }
    // The host applications have made their domains; no choice is stored.
    void reset()
    {
        QDir(s_home->preferencesPath()).removeRecursively();
        QDir(s_home->configHome() + u"/tallowcraft"_s).removeRecursively();
        QFile::remove(requestLog());
        for (const QString &domain : { kMain, kGames })
            test::writePropertyList(s_home->domainPath(domain),
                                    QVariantMap { { u"HostKey"_s, 7 } });
    }

    static QString makeVolume(const QString &name, const QByteArray &autorun = "[autorun]\n")
    {
        const QString path = s_home->path() + u"/Volumes/"_s + name;
        test::writeFile(path + u"/AUTORUN.INF"_s, autorun);
        return path;
    }
    // The prompt for a disc the helper named 'packageName'.
    std::weak_ptr<CDHelperController> mount(const QString &volume,
                                            const QString &packageName = u"Microsoft Visio"_s)
    {
        prompter.promptForVolume(volume, packageName, 0);
        const auto prompt = newest(prompter);
        EXPECT_EQ(prompt.lock()->volumePath(), volume);
        return prompt;
    }
    // Waits a while: a start would have been logged by then.
    QList<QJsonObject> requests(qsizetype count)
    {
        if (count == 0)
            QTest::qWait(300);
        return test::hostRequests(requestLog(), count);
    }

    std::unique_ptr<ProcessList> processes = ProcessList::create();
    std::unique_ptr<LaunchServices> registry = LaunchServices::create();
    Workspace workspace { *processes, *registry };
    HostVolumeInstaller installer { workspace };
    PromptServices services {
        workspace,
        [] { return UserDefaults::create(); },
        &installer,
        std::nullopt,
        [] { ADD_FAILURE() << "the helper is asked to end"; },
    };
    CDHelperPrompter prompter { services, kWindowDescription };

    static inline test::TemporaryHome *s_home = nullptr;
};

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
        QWidget *window = prompt.lock()->window();
        if (c.remember)
            QTest::mouseClick(control<QCheckBox>(window, "rememberCheck"), Qt::LeftButton);
        if (c.secondApp)
            QTest::keyClick(control<QComboBox>(window, "appPopup"), Qt::Key_Down);

        QTest::mouseClick(control<QPushButton>(window, c.button), Qt::LeftButton);
        QCoreApplication::processEvents();
        EXPECT_TRUE(prompt.expired());

        QVariantMap stored { { u"HostKey"_s, qint64(7) } };
        if (c.stored) {
            stored.insert(u"AutoLaunch"_s, qint64(*c.stored));
            stored.insert(u"AutoLaunchAppID"_s, kMain);
            stored.insert(u"AutoLaunchAppIdentifyingURLScheme"_s,
                          u"com.tallowcraft.private-Quillmont-app-scheme"_s);
        }
        EXPECT_EQ(*UserDefaults::create()->persistentDomainForName(kMain), stored);

        const auto started = requests(c.openedWith ? 1 : 0);
        ASSERT_EQ(started.size(), c.openedWith ? 1 : 0);
        if (!c.openedWith)
            continue;
        EXPECT_EQ(started[0][u"program"_s].toString(),
                  u"%1/Applications/%2.app/Contents/MacOS/%2"_s.arg(s_home->path(),
                                                                    QLatin1String(c.openedWith)));
        const QVariantList url { QString::fromUtf8(fileURLWithPath(volume)) };
        EXPECT_EQ(
            started[0][u"arguments"_s].toArray().toVariantList(),
            (c.express ? QVariantList { u"--event-param"_s, u"expr=express"_s } : QVariantList())
                + url);
    }
}

// Return installs: the end-to-end table answers so.
TEST_F(PromptTest, PromptsGoOneByOneByEscapeOrUnmount)
{
    const QString volumes[] = { makeVolume(u"A"_s), makeVolume(u"B"_s), makeVolume(u"C"_s) };
    std::weak_ptr<CDHelperController> prompts[3];
    for (int i = 0; i < 3; ++i)
        prompts[i] = mount(volumes[i]);
    const auto alive = [&] {
        QList<bool> states;
        for (const auto &prompt : prompts)
            states += !prompt.expired();
        return states;
    };

    // Escape closes without acting; the others stay.
    QWidget *first = prompts[0].lock()->window();
    QTest::keyClick(first->focusWidget() ? first->focusWidget() : first, Qt::Key_Escape);
    EXPECT_FALSE(first->isVisible());
    QCoreApplication::processEvents();
    EXPECT_EQ(alive(), QList({ false, true, true }));

    // The volume goes: its prompt goes as by its close button.
    prompter.volumeDidUnmount(s_home->path() + u"/Volumes/elsewhere"_s);
    prompter.volumeDidUnmount(volumes[1]);
    QCoreApplication::processEvents();
    EXPECT_EQ(alive(), QList({ false, false, true }));
    EXPECT_TRUE(requests(0).isEmpty()) << "nothing installed";
}

// The disc's own label, icon and name, or the desktop's: whatever a disc
// holds is shown as plain text, on the screen, with an icon of bounded size.
// Icons linked from outside are the volume reader's test.
TEST_F(PromptTest, TheWindowSaysWhatWasFoundInPlainText)
{
    QImage red(32, 32, QImage::Format_ARGB32);
    red.fill(Qt::red);
    QByteArray redIcon; // its one image a bitmap, as Windows' own icons have
    QBuffer redIconFile(&redIcon);
    ASSERT_TRUE(redIconFile.open(QIODevice::WriteOnly)
                && QImageWriter(&redIconFile, "ico").write(red));
    // A few hundred bytes that decode to 5,600 x 5,600 pixels.
    QImage huge(5600, 5600, QImage::Format_Mono);
    huge.fill(0);
    const QByteArray longName = "Start" + QByteArray(60000, 'W') + "End";
    const struct
    {
        const char *name;
        QString folder;
        QByteArray autorun;
        QString packageName; // as the helper named the disc
        // As shown; "…" stands for the middle of a text cut to fit.
        QString label, found; // found: empty when the disc is not recognised
        QByteArray icon; // Icons\Disc.ico
        bool ownIcon;
    } cases[] = {
        { "markup in the label, its own icon", u"M"_s,
          "[autorun]\r\nlabel=<b>Bold</b> <img src=\"file:///etc/passwd\">\r\n"
          "icon=Icons\\Disc.ico,0\r\n",
          u"Microsoft Visio"_s, u"<b>Bold</b> <img src=\"file:///etc/passwd\">"_s,
          u"Microsoft Visio"_s, redIcon, true },
        { "a newline in the volume's name, an icon that is no image", u"two\nlines"_s,
          "[autorun]\nicon=autorun.inf\n", u"<i>Game</i>"_s, u"two\nlines"_s, u"<i>Game</i>"_s,
          redIcon, false },
        { "not recognised", u"U"_s, "[autorun]\n", u"other"_s, u"U"_s, QString(), redIcon, false },
        { "icon images far larger than the icon's directory says", u"Bomb"_s,
          "[autorun]\nicon=Icons\\Disc.ico\n", u"Microsoft Visio"_s, u"Bomb"_s,
          u"Microsoft Visio"_s, iconFile({ png(huge), png(huge), png(red) }), true },
        { "an icon's directory pointing past its end", u"Cut"_s,
          "[autorun]\nicon=Icons\\Disc.ico\n", u"Microsoft Visio"_s, u"Cut"_s, u"Microsoft Visio"_s,
          iconFile({}, 32), false },
        { "a label and a name of 60,000 letters without a blank", u"Long"_s,
          "[autorun]\nlabel=" + longName + "\n", QString::fromLatin1(longName),
          u"StartW\u2026WEnd"_s, u"StartW\u2026WEnd"_s, redIcon, false },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString volume = makeVolume(c.folder, c.autorun);
        test::writeFile(volume + u"/ICONS/DISC.ICO"_s, c.icon);
        LogLines::lines.clear();
        const LogLines log;
        const auto prompt = mount(volume, c.packageName);
        EXPECT_LE(LogLines::lines.size(), 1) << LogLines::lines.join(u'\n').toStdString();
        QWidget *window = prompt.lock()->window();
        const QIcon cdImage = prompt.lock()->CDImage();
        const QImage icon = cdImage.pixmap(32).toImage();
        ASSERT_FALSE(icon.isNull()) << "the desktop's icon at least";
        EXPECT_EQ(icon.pixelColor(16, 16) == QColor(Qt::red), c.ownIcon);
        for (const QSize &size : cdImage.availableSizes())
            EXPECT_LE(std::max(size.width(), size.height()), 256);
        EXPECT_TRUE(window->screen()->availableGeometry().contains(window->frameGeometry()))
            << "the whole window on the screen";
        for (QLabel *text : window->findChildren<QLabel *>())
            EXPECT_EQ(text->textFormat(), Qt::PlainText) << text->objectName().toStdString();
        // A pattern of a text as shown: "…" in it stands for a middle cut out.
        const auto shown = [](const QString &text) {
            return QRegularExpression::escape(text).replace(u"\\\u2026"_s, u".+\u2026.+"_s);
        };
        const QString label = control<QLabel>(window, "discLabel")->text();
        EXPECT_TRUE(QRegularExpression(QRegularExpression::anchoredPattern(shown(c.label)))
                        .match(label)
                        .hasMatch())
            << label.toStdString();
        const bool recognised = !c.found.isEmpty();
        auto *found = control<QLabel>(window, "foundText");
        EXPECT_EQ(found->isVisible(), recognised);
        EXPECT_TRUE(QRegularExpression(shown(c.found)).match(found->text()).hasMatch())
            << found->text().toStdString();
        EXPECT_EQ(control<QLabel>(window, "unrecognisedText")->isVisible(), !recognised);
        // A screen reader hears whole texts, whatever the screen had room for.
        const auto heard = [window](const char *name) {
            return QAccessible::queryAccessibleInterface(control<QWidget>(window, name))
                ->text(QAccessible::Name);
        };
        // 'pattern' with "%1" standing for the text as shown, whole.
        const auto hears = [&](const char *name, const QString &pattern, const QString &text) {
            const QString whole = QRegularExpression::escape(text).replace(u"\\\u2026"_s, u".+"_s);
            return !heard(name).contains(u'\u2026')
                && QRegularExpression(pattern.arg(whole)).match(heard(name)).hasMatch();
        };
        EXPECT_TRUE(hears("discLabel", u"^%1$"_s, c.label)) << heard("discLabel").size();
        EXPECT_TRUE(hears("discIcon", u"^Disc: %1$"_s, c.label)) << heard("discIcon").size();
        if (recognised) {
            EXPECT_TRUE(hears("foundText", u" %1\\.$"_s, c.found)) << heard("foundText").size();
        }
        EXPECT_TRUE(control<QComboBox>(window, "appPopup")->isVisible()) << "both editions";
        EXPECT_EQ(control<QPushButton>(window, "expressButton")->isVisible(), recognised)
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
