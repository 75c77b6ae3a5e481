// Installing and removing the helper: the process walk on fakes, then on
// real helper processes; the version check on real bundles.
#include "prefs/cdtools.h"

#include "prefs/loginitems.h"
#include "tests/fakes/fakelaunchservices.h"
#include "tests/fakes/fakeprocesslist.h"
#include "tests/testsupport.h"

#include <QDateTime>
#include <QDir>
#include <QProcess>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using test::installHelper;
using test::kHelperId;

class CDToolsTest : public testing::Test
{
protected:
    QVariantList loginItems()
    {
        return defaults->persistentDomainForName(QStringLiteral("loginwindow"))
            ->value(QStringLiteral("AutoLaunchedApplicationDictionary"))
            .toList();
    }

    test::TemporaryHome home;
    std::unique_ptr<UserDefaults> defaults = UserDefaults::create();
    FakeProcessList processes;
    FakeLaunchServices services;
    Workspace workspace { processes, services };
    QString resource = installHelper(
        home.path() + QStringLiteral("/Quillmont.app/Contents/Resources"), QStringLiteral("2.0"));
};

TEST_F(CDToolsTest, ProcessWalk)
{
    const struct
    {
        const char *name;
        bool activate;
        std::vector<std::uint32_t> helpers;
        std::vector<std::uint32_t> quitRequests;
        bool started;
    } cases[] = {
        { "YES, two running: the first stays", true, { 10, 20 }, { 20 }, false },
        { "NO, two running: both asked", false, { 10, 20 }, { 10, 20 }, false },
        { "YES, none running: the resource starts", true, {}, {}, true },
        { "NO, none running", false, {}, {}, false },
    };
    for (const auto &c : cases) {
        FakeProcessList list;
        FakeLaunchServices launcher;
        Workspace w { list, launcher };
        list.run(5, QStringLiteral("/x/Similar.app"), kHelperId + u'2');
        list.run(6, QStringLiteral("/x/Upper.app"), kHelperId.toUpper()); // letter case counts
        for (std::uint32_t pid : c.helpers)
            list.run(pid, QStringLiteral("/x/Quillmont DI Raruru.app"), kHelperId);
        CDTools(*defaults, w, resource).installAndActivateCDHelper(c.activate);
        EXPECT_EQ(list.quitRequests, c.quitRequests) << c.name;
        ASSERT_EQ(launcher.openRequests.size(), c.started ? 1u : 0u) << c.name;
        if (c.started) {
            EXPECT_EQ(launcher.openRequests[0].appPath, resource);
            EXPECT_EQ(launcher.openRequests[0].launchFlags, 0x300u);
        }
    }
}

TEST_F(CDToolsTest, LoginItemFollowsEveryCall)
{
    processes.run(10, resource, kHelperId);
    CDTools tools(*defaults, workspace, resource);
    tools.installAndActivateCDHelper(true);
    ASSERT_EQ(loginItems().size(), 1);
    EXPECT_EQ(LoginItems::fileName(loginItems()[0]), QStringLiteral("Quillmont DI Raruru.app"));
    EXPECT_TRUE(services.openRequests.empty()) << "a helper runs already";
    tools.installAndActivateCDHelper(true);
    EXPECT_EQ(loginItems().size(), 1);
    tools.installAndActivateCDHelper(false);
    EXPECT_TRUE(loginItems().isEmpty());
}

TEST_F(CDToolsTest, VersionCheckAgainstRealBundles)
{
    const struct
    {
        const char *carried, *registered;
        bool latest;
    } cases[] = { { "2.0", "1.5", false },
                  { "1.10", "1.9", true },
                  { "1.5", "1.5", true },
                  { "1.5", "2.0", true } };
    for (const auto &c : cases) {
        const QString carried = installHelper(
            home.path() + QStringLiteral("/carried-%1").arg(QLatin1String(c.carried)),
            QLatin1String(c.carried));
        const QString registered = installHelper(
            home.path() + QStringLiteral("/registered-%1").arg(QLatin1String(c.registered)),
            QLatin1String(c.registered));
        CDTools(*defaults, workspace, registered).installAndActivateCDHelper(false);
        CDTools(*defaults, workspace, registered).installAndActivateCDHelper(true);
        EXPECT_EQ(CDTools(*defaults, workspace, carried).runningCDHelperIsLatestVersion(), c.latest)
            << c.carried << " against " << c.registered;
    }
    CDTools(*defaults, workspace, resource).installAndActivateCDHelper(false);
    EXPECT_FALSE(CDTools(*defaults, workspace, resource).runningCDHelperIsLatestVersion())
        << "none registered";
}

TEST_F(CDToolsTest, RealHelperProcesses)
{
    const QString first
        = installHelper(home.path() + QStringLiteral("/one"), QStringLiteral("1.0"));
    const QString second
        = installHelper(home.path() + QStringLiteral("/two"), QStringLiteral("1.0"));
    const QString similar = installHelper(home.path() + QStringLiteral("/three"),
                                          QStringLiteral("1.0"), kHelperId + u'2');
    QProcess helpers[3];
    const QString bundles[3] = { first, second, similar };
    for (int i = 0; i < 3; ++i)
        test::startStayingRunning(helpers[i], bundles[i]);
    ASSERT_LT(helpers[0].processId(), helpers[1].processId()) << "process ids wrapped around";

    auto real = Workspace::create();
    CDTools(*defaults, *real, resource).installAndActivateCDHelper(true);
    EXPECT_TRUE(helpers[1].waitForFinished(10000)) << "the second helper quits";
    EXPECT_EQ(helpers[0].state(), QProcess::Running);

    CDTools(*defaults, *real, resource).installAndActivateCDHelper(false);
    EXPECT_TRUE(helpers[0].waitForFinished(10000)) << "the first helper quits too";
    EXPECT_FALSE(helpers[2].waitForFinished(300)) << "a similar name is never signalled";
    helpers[2].kill();
    helpers[2].waitForFinished();
}

} // namespace

namespace {

TEST(CDToolsInstallerVolume, MarkersAtTheTopLevelOnly)
{
    QTemporaryDir dir;
    const auto volume = [&](const char *name, std::initializer_list<const char *> files) {
        const QString root = dir.path() + u'/' + QLatin1String(name);
        QDir().mkpath(root);
        for (const char *file : files) {
            if (QByteArray(file).endsWith('/'))
                QDir().mkpath(root + u'/' + QLatin1String(file));
            else
                test::writeFile(root + u'/' + QLatin1String(file), "x");
        }
        return root;
    };
    const struct
    {
        QString path;
        bool installer;
    } cases[] = {
        { volume("a", { "AUTORUN.INF" }), true },
        { volume("b", { "Setup.Exe", "readme.txt" }), true },
        { volume("c", { "SETUPSE.EXE" }), true },
        { volume("d", { "setup.exe/" }), true }, // a folder counts too
        { volume("e", { "disk1/setup.exe" }), false },
        { volume("f", { "setup.exe.bak", "mysetup.exe", "autorun.inf.txt" }), false },
        { volume("g", {}), false },
        { dir.path() + QStringLiteral("/missing"), false },
    };
    for (const auto &c : cases)
        EXPECT_EQ(CDTools::isValidInstallerVolume(c.path), c.installer) << c.path.toStdString();
    test::writeFile(dir.path() + QStringLiteral("/Office.MSI"), "x");
    EXPECT_TRUE(CDTools::isValidInstallerVolume(dir.path() + QStringLiteral("/Office.MSI")));
}

// Hostile volumes: only names are looked at, so links are never followed, and
// a huge top level is listed once.
TEST(CDToolsInstallerVolume, HostileVolumesGetAnAnswer)
{
    QTemporaryDir dir;
    const QString loop = dir.path() + QStringLiteral("/loop");
    QDir().mkpath(loop);
    QFile::link(loop + QStringLiteral("/SETUP.EXE"), loop + QStringLiteral("/SETUP.EXE"));
    QFile::link(loop, loop + QStringLiteral("/self"));
    EXPECT_TRUE(CDTools::isValidInstallerVolume(loop)) << "a link loop named SETUP.EXE";

    const QString dangling = dir.path() + QStringLiteral("/dangling");
    QDir().mkpath(dangling);
    QFile::link(QStringLiteral("/nonexistent/x"), dangling + QStringLiteral("/readme"));
    EXPECT_FALSE(CDTools::isValidInstallerVolume(dangling));

    const QString huge = dir.path() + QStringLiteral("/huge");
    QDir().mkpath(huge);
    for (int i = 0; i < 100000; ++i) {
        const QByteArray name = QFile::encodeName(huge) + "/f" + QByteArray::number(i);
        ::close(::open(name.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
    }
    EXPECT_FALSE(CDTools::isValidInstallerVolume(huge));
    test::writeFile(huge + QStringLiteral("/autorun.inf"), "");
    EXPECT_TRUE(CDTools::isValidInstallerVolume(huge));

    // A top level the user cannot read is no installer (checked as nobody under root).
    const QString closed = dir.path() + QStringLiteral("/closed");
    test::writeFile(closed + QStringLiteral("/SETUP.EXE"), "MZ");
    ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
    ::chmod(QFile::encodeName(closed).constData(), 0);
    const auto answer = test::runUnprivileged(
        [](const QString &path) { return CDTools::isValidInstallerVolume(path); }, closed);
    ::chmod(QFile::encodeName(closed).constData(), 0700);
    ASSERT_TRUE(answer);
    EXPECT_FALSE(*answer);
}

TEST(CDToolsPreferences, UpdateWritesEveryExistingHostDomainAndKeepsOtherKeys)
{
    test::TemporaryHome home;
    auto defaults = UserDefaults::create();
    FakeProcessList processes;
    FakeLaunchServices services;
    Workspace workspace { processes, services };
    processes.run(7, QStringLiteral("/x/Quillmont DI Raruru.app"), kHelperId);
    const QString games = QStringLiteral("com.tallowcraft.QuillmontGames");
    // The host's own keys, one of every property-list type.
    const QVariantMap hostKeys {
        { QStringLiteral("WindowScale"), 1.5 },
        { QStringLiteral("Drives"), qint64(-3) },
        { QStringLiteral("Name"), QStringLiteral("\u00e9t\u00e9 <&>") },
        { QStringLiteral("Enabled"), true },
        { QStringLiteral("Since"), QDateTime(QDate(2024, 2, 29), QTime(12, 0), Qt::UTC) },
        { QStringLiteral("Token"), QByteArray("\0\xff", 2) },
        { QStringLiteral("Recent"), QVariantList { QStringLiteral("a"), qint64(2) } },
        { QStringLiteral("Window"), QVariantMap { { QStringLiteral("x"), qint64(10) } } },
    };
    QVariantMap gamesDomain = hostKeys;
    gamesDomain.insert(QStringLiteral("AutoLaunchAppIdentifyingURLScheme"), QStringLiteral("old"));
    ASSERT_TRUE(defaults->setPersistentDomain(gamesDomain, games));
    // The main edition's domain is damaged: it is skipped and left as it was.
    const QString mainFile
        = home.preferencesPath() + QStringLiteral("/com.tallowcraft.Quillmont.plist");
    const QByteArray damaged = "<?xml version=\"1.0\"?>\n<plist><dict><key>AutoLaunch</key>";
    test::writeFile(mainFile, damaged);
    CDTools tools(*defaults, workspace, std::nullopt);

    tools.updateHelperPrefForAllInstalls(1, games, std::nullopt);
    EXPECT_EQ(test::readFile(mainFile), damaged);
    QVariantMap expected = hostKeys;
    expected.insert(QStringLiteral("AutoLaunch"), qint64(1));
    expected.insert(QStringLiteral("AutoLaunchAppID"), games);
    EXPECT_EQ(*defaults->persistentDomainForName(games), expected);
    EXPECT_TRUE(processes.quitRequests.empty());

    tools.updateHelperPrefForAllInstalls(2, games, QStringLiteral("scheme"));
    EXPECT_EQ(defaults->persistentDomainForName(games)->value(QStringLiteral("AutoLaunch")),
              QVariant(qint64(2)));
    EXPECT_EQ(processes.quitRequests, std::vector<std::uint32_t> { 7 })
        << "ignoring discs turns the helper off";

    const QVariantList list = CDTools::getListOfAppsHelpedByTheCDHelper();
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list[0].toMap().value(QStringLiteral("BundleID")),
              QVariant(QStringLiteral("com.tallowcraft.Quillmont")));
    EXPECT_EQ(list[1].toMap().value(QStringLiteral("IdentifyingURLScheme")),
              QVariant(QStringLiteral("com.tallowcraft.private-QuillmontGames-app-scheme")));
}

} // namespace
