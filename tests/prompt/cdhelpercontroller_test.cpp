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
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryFile>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdio>
#include <unistd.h>

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

// What is written to standard error (file descriptor 2) while it lives.
class StandardErrorCapture
{
public:
    StandardErrorCapture()
    {
        EXPECT_TRUE(m_file.open());
        std::fflush(stderr);
        m_saved = ::dup(STDERR_FILENO);
        ::dup2(m_file.handle(), STDERR_FILENO);
    }
    ~StandardErrorCapture() { take(); }
    QString take()
    {
        if (m_saved >= 0) {
            std::fflush(stderr);
            ::dup2(m_saved, STDERR_FILENO);
            ::close(m_saved);
            m_saved = -1;
        }
        m_file.seek(0);
        return QString::fromUtf8(m_file.readAll());
    }

private:
    QTemporaryFile m_file;
    int m_saved = -1;
};

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

TEST_F(PromptWithoutRegistryTest, OffersTheInstalledEditionsMainFirst)
{
    test::writeFile(volume + QStringLiteral("/AUTORUN.INF"), "[autorun]\n");
    const struct
    {
        const char *name;
        QStringList installed; // in this order
        QStringList offered;
    } cases[] = {
        { "both",
          { QStringLiteral("QuillmontGames"), QStringLiteral("Quillmont") },
          { kMain, kGames } },
        { "QuillmontGames only", { QStringLiteral("QuillmontGames") }, { kGames } },
        { "none", {}, {} },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        registry.handlers.clear();
        QStringList bundles;
        for (const QString &edition : c.installed)
            bundles.prepend(install(edition));
        CDHelperPrompter prompter(services, kWindowDescription);
        terminations = 0;

        StandardErrorCapture standardError;
        prompter.promptForVolume(volume, QStringLiteral("Microsoft Visio"), 1);
        const QString log = standardError.take();

        const auto prompt = newest(prompter).lock();
        if (c.offered.isEmpty()) {
            EXPECT_EQ(prompt, nullptr) << "no window is shown";
            EXPECT_EQ(log,
                      QStringLiteral("Unable to locate Quillmont or Quillmont games.  Exiting.\n"));
            EXPECT_EQ(terminations, 1);
            continue;
        }
        ASSERT_NE(prompt, nullptr);
        EXPECT_FALSE(log.contains(QStringLiteral("Unable to locate"))) << log.toStdString();
        EXPECT_EQ(terminations, 0);
        QStringList offered, paths, names;
        for (const QVariant &entry : prompt->quillmontAppList()) {
            offered += entry.toMap().value(QStringLiteral("ID")).toString();
            paths += entry.toMap().value(QStringLiteral("path")).toString();
            names += entry.toMap().value(QStringLiteral("displayname")).toString();
        }
        EXPECT_EQ(offered, c.offered);
        EXPECT_EQ(paths, bundles);
        EXPECT_EQ(prompt->selectedApp(), 0) << "the first entry, whatever was asked for";
        const bool choice = c.offered.size() > 1;
        EXPECT_EQ(prompt->appPopup()->isVisible(), choice);
        EXPECT_EQ(prompt->appPopupLabel()->isVisible(), choice);
        EXPECT_EQ(prompt->appPopup()->currentText(), names.value(0));
        EXPECT_TRUE(prompt->window()->isVisible());
        prompt->close();
    }
}

TEST_F(PromptWithoutRegistryTest, TheDiscsOwnIconOrTheDesktops)
{
    QImage red(32, 32, QImage::Format_ARGB32);
    red.fill(Qt::red);
    const QString outside = home.path() + QStringLiteral("/outside.ico");
    ASSERT_TRUE(QImageWriter(outside, "ico").write(red));
    const struct
    {
        const char *name;
        QByteArray autorun;
        bool ownIcon;
    } cases[] = {
        { "its own", "[autorun]\r\nicon=Icons\\Disc.ico,0\r\n", true },
        { "a link leading out", "[autorun]\nicon=link.ico\n", false },
        { "a path leading out", "[autorun]\nicon=..\\..\\outside.ico\n", false },
        { "not an image", "[autorun]\nicon=autorun.inf\n", false },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString disc = home.path() + QStringLiteral("/Volumes/") + QLatin1String(c.name);
        test::writeFile(disc + QStringLiteral("/AUTORUN.INF"), c.autorun);
        QDir().mkpath(disc + QStringLiteral("/ICONS"));
        ASSERT_TRUE(QFile::copy(outside, disc + QStringLiteral("/ICONS/DISC.ICO")));
        ASSERT_TRUE(QFile::link(outside, disc + QStringLiteral("/link.ico")));

        const auto prompt = CDHelperController::create(kWindowDescription, services);
        prompt->setVolumePath(disc);
        const QImage shown = prompt->CDImage().pixmap(32).toImage();
        ASSERT_FALSE(shown.isNull());
        EXPECT_EQ(shown.pixelColor(16, 16) == QColor(Qt::red), c.ownIcon);
    }
}

TEST_F(PromptWithoutRegistryTest, ABrokenWindowDescriptionLeavesTheVolumeAlone)
{
    install(QStringLiteral("Quillmont"));
    test::writeFile(volume + QStringLiteral("/AUTORUN.INF"), "[autorun]\n");
    const QString folder = home.path() + QStringLiteral("/Broken.app/Contents/Resources");
    const struct
    {
        const char *name;
        std::optional<QByteArray> contents; // absent: no file at all
    } cases[] = {
        { "missing", std::nullopt },
        { "not XML", QByteArray("\x89PNG\r\n\x1a\n\0\0", 10) },
        { "cut short", QByteArray("<ui version=\"4.0\"><widget class=\"QDialog\" name=\"CDHel") },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString description = folder + QStringLiteral("/%1.ui").arg(QLatin1String(c.name));
        if (c.contents)
            test::writeFile(description, *c.contents);
        CDHelperPrompter prompter(services, description);
        StandardErrorCapture standardError;
        prompter.promptForVolume(volume, QStringLiteral("Microsoft Visio"), 0);
        const QString log = standardError.take();
        EXPECT_TRUE(prompter.prompts().empty());
        EXPECT_TRUE(
            log.contains(QStringLiteral("Cannot load the window description ") + description))
            << log.toStdString();
        EXPECT_EQ(terminations, 0);
        EXPECT_TRUE(registry.openRequests.empty());
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
    QByteArrayList domains() const
    {
        return { test::readFile(s_home->domainPath(kMain)),
                 test::readFile(s_home->domainPath(kGames)) };
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
    int terminations = 0;
    PromptServices services {
        workspace,
        [] { return UserDefaults::create(); },
        [this](const QString &volume, const std::optional<QString> &appID,
               const std::optional<QString> &scheme) {
            delegate.launchAndInstall(volume, appID, scheme);
        },
        std::nullopt,
        [this] { ++terminations; },
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

TEST_F(PromptTest, EachActionStoresAndOpensWhatItShould)
{
    const QString autostart
        = s_home->configHome() + QStringLiteral("/autostart/quillmont-di-raruru.desktop");
    const struct
    {
        const char *name;
        const char *button;
        bool remember, secondApp;
        std::optional<int> stored; // AutoLaunch written to both domains
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
        // A running helper with its login item, which ignoring for good ends.
        const QString runningHelper
            = test::installHelper(s_home->path() + QStringLiteral("/Helper"));
        test::writeFile(autostart,
                        "[Desktop Entry]\nType=Application\nExec=\""
                            + QFile::encodeName(runningHelper) + "/Contents/MacOS/Quillmont\"\n");
        QProcess helper;
        test::startStayingRunning(helper, runningHelper);
        const QByteArrayList before = domains();

        const QString volume = makeVolume(QLatin1String(c.name));
        const auto prompt = mount(volume);
        QWidget *window = windowOf(prompt);
        ASSERT_NE(window, nullptr);
        if (c.remember)
            QTest::mouseClick(control<QCheckBox>(window, "rememberCheck"), Qt::LeftButton);
        if (c.secondApp)
            QTest::keyClick(control<QComboBox>(window, "appPopup"), Qt::Key_Down);
        EXPECT_EQ(prompt.lock()->rememberSelection(), c.remember);
        EXPECT_EQ(prompt.lock()->selectedApp(), c.secondApp ? 1 : 0);

        QTest::mouseClick(control<QPushButton>(window, c.button), Qt::LeftButton);
        EXPECT_FALSE(window->isVisible());
        EXPECT_FALSE(prompt.expired()) << "valid until the click has been handled";
        QCoreApplication::processEvents();
        EXPECT_TRUE(prompt.expired());

        for (const QString &name : { kMain, kGames }) {
            SCOPED_TRACE(name.toStdString());
            const QVariantMap domain = *UserDefaults::create()->persistentDomainForName(name);
            if (c.stored) {
                EXPECT_EQ(domain.value(QStringLiteral("AutoLaunch")), qint64(*c.stored));
                EXPECT_EQ(domain.value(QStringLiteral("AutoLaunchAppID")), kMain);
                EXPECT_EQ(domain.value(QStringLiteral("AutoLaunchAppIdentifyingURLScheme")),
                          QStringLiteral("com.tallowcraft.private-Quillmont-app-scheme"));
                EXPECT_EQ(domain.value(QStringLiteral("HostKey")), 7);
            }
        }
        if (!c.stored) {
            EXPECT_EQ(domains(), before) << "nothing written";
        }
        const bool turnedOff = c.stored == 2;
        // (It may have ended already, while the test let events run.)
        const bool ended = helper.state() == QProcess::NotRunning
            || helper.waitForFinished(turnedOff ? 10000 : 300);
        EXPECT_EQ(ended, turnedOff) << "the running helpers are asked to quit";
        EXPECT_EQ(QFile::exists(autostart), !turnedOff) << "the login item goes";
        helper.kill();
        helper.waitForFinished();

        const auto started = requests(c.openedWith ? 1 : 0);
        ASSERT_EQ(started.size(), c.openedWith ? 1 : 0);
        if (c.openedWith) {
            EXPECT_EQ(started[0][QStringLiteral("program")].toString(),
                      s_home->path()
                          + QStringLiteral("/Applications/%1.app/Contents/MacOS/%1")
                                .arg(QLatin1String(c.openedWith)));
            QVariantList arguments { QString::fromUtf8(fileURLWithPath(volume)) };
            if (c.express)
                arguments = QVariantList { QStringLiteral("--event-param"),
                                           QStringLiteral("expr=express") }
                    + arguments;
            EXPECT_EQ(started[0][QStringLiteral("arguments")].toArray().toVariantList(), arguments);
        }
    }
}

TEST_F(PromptTest, PromptsGoOneByOneByKeyboardOrUnmount)
{
    const QByteArrayList before = domains();
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
    EXPECT_EQ(domains(), before);
    EXPECT_EQ(terminations, 0);
}

TEST_F(PromptTest, TheWindowSaysWhatWasFoundInPlainText)
{
    const struct
    {
        const char *name;
        QString folder;
        QByteArray autorun, discId;
        QString label, found;
        bool recognised;
    } cases[] = {
        { "markup in the label", QStringLiteral("M"),
          "[autorun]\nlabel=<b>Bold</b> <img src=\"file:///etc/passwd\">\n", "Visio",
          QStringLiteral("<b>Bold</b> <img src=\"file:///etc/passwd\">"),
          QStringLiteral("Microsoft Visio"), true },
        { "a newline in the volume's name", QStringLiteral("two\nlines"), "[autorun]\n",
          "<i>Game</i>", QStringLiteral("two\nlines"), QStringLiteral("<i>Game</i>"), true },
        { "not recognised", QStringLiteral("U"), "[autorun]\n", "other", QStringLiteral("U"),
          QString(), false },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const auto prompt = mount(makeVolume(c.folder, c.autorun, c.discId));
        QWidget *window = windowOf(prompt);
        ASSERT_NE(window, nullptr);
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
        EXPECT_EQ(control<QPushButton>(window, "expressButton")->isVisible(), c.recognised)
            << "express installation only for a recognised disc";

        // Every control can be found by keyboard and screen reader, and
        // Return means Install.
        for (QWidget *widget : window->findChildren<QWidget *>()) {
            if (widget->isVisible() && (widget->focusPolicy() & Qt::TabFocus)) {
                EXPECT_FALSE(widget->accessibleName().isEmpty())
                    << widget->objectName().toStdString();
            }
        }
        for (QPushButton *button : window->findChildren<QPushButton *>())
            EXPECT_EQ(button->isDefault(), button->objectName() == QStringLiteral("installButton"));
        prompt.lock()->close();
    }
}

} // namespace
