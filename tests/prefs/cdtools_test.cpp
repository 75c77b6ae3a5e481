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
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

using test::installHelper;
using test::kHelperId;

class CDToolsTest : public testing::Test
{
protected:
    test::TemporaryHome home;
    std::unique_ptr<UserDefaults> defaults = UserDefaults::create();
    FakeProcessList processes;
    FakeLaunchServices services;
    Workspace workspace { processes, services };
    QString resource
        = installHelper(home.path() + u"/Quillmont.app/Contents/Resources"_s, u"2.0"_s);
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
        { "YES, none running: the resource starts", true, {}, {}, true },
        { "NO, two running: both asked", false, { 10, 20 }, { 10, 20 }, false },
        { "NO, none running", false, {}, {}, false },
    };
    for (const auto &c : cases) {
        FakeProcessList list;
        FakeLaunchServices launcher;
        Workspace w { list, launcher };
        list.run(5, u"/x/Similar.app"_s, kHelperId + u'2');
        list.run(6, u"/x/Upper.app"_s, kHelperId.toUpper()); // letter case counts
        for (std::uint32_t pid : c.helpers)
            list.run(pid, u"/x/Quillmont DI Raruru.app"_s, kHelperId);
        CDTools(*defaults, w, resource).installAndActivateCDHelper(c.activate);
        EXPECT_EQ(list.quitRequests, c.quitRequests) << c.name;
        ASSERT_EQ(launcher.openRequests.size(), c.started ? 1u : 0u) << c.name;
        if (c.started) {
            EXPECT_EQ(launcher.openRequests[0].appPath, resource);
            EXPECT_EQ(launcher.openRequests[0].launchFlags, 0x300u);
        }
        // One login item however often it is asked for, none after NO.
        const QVariantList items = defaults->persistentDomainForName(u"loginwindow"_s)
                                       ->value(u"AutoLaunchedApplicationDictionary"_s)
                                       .toList();
        EXPECT_EQ(items.size(), c.activate ? 1 : 0) << c.name;
        EXPECT_EQ(LoginItems::fileName(items.value(0)),
                  c.activate ? std::optional(u"Quillmont DI Raruru.app"_s) : std::nullopt);
    }
}

TEST_F(CDToolsTest, VersionCheckAgainstRealBundles)
{
    const struct
    {
        QString carried, registered;
        bool latest;
    } cases[]
        = { { u"2.0"_s, u"1.5"_s, false }, { u"1.10"_s, u"1.9"_s, true } }; // 1.10 reads as 1.1
    for (const auto &c : cases) {
        const QString carried = installHelper(home.path() + u"/carried/"_s + c.carried, c.carried);
        const QString registered
            = installHelper(home.path() + u"/registered/"_s + c.registered, c.registered);
        CDTools(*defaults, workspace, registered).installAndActivateCDHelper(false);
        CDTools(*defaults, workspace, registered).installAndActivateCDHelper(true);
        EXPECT_EQ(CDTools(*defaults, workspace, carried).runningCDHelperIsLatestVersion(), c.latest)
            << c.carried.toStdString() << " against " << c.registered.toStdString();
    }
}

TEST_F(CDToolsTest, RealHelperProcesses)
{
    const QString first = installHelper(home.path() + u"/one"_s, u"1.0"_s);
    const QString second = installHelper(home.path() + u"/two"_s, u"1.0"_s);
    const QString similar = installHelper(home.path() + u"/three"_s, u"1.0"_s, kHelperId + u'2');
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

// Only the names at the top level count: links are never followed, and a
// huge top level is listed once.
TEST(CDToolsInstallerVolume, MarkersAtTheTopLevelOnly)
{
    QTemporaryDir dir;
    const auto volume = [&](const char *name, std::initializer_list<const char *> files) {
        const QString root = dir.path() + u'/' + QLatin1String(name);
        QDir().mkpath(root);
        for (const char *file : files)
            test::writeFile(root + u'/' + QLatin1String(file), "x");
        return root;
    };
    const QString loop = volume("loop", {});
    QFile::link(loop + u"/SETUP.EXE"_s, loop + u"/SETUP.EXE"_s);
    QFile::link(loop, loop + u"/self"_s);
    test::writeFile(dir.path() + u"/Office.MSI"_s, "x");
    const struct
    {
        QString path;
        bool installer;
    } cases[] = {
        { volume("a", { "AUTORUN.INF" }), true },
        { volume("b", { "Setup.Exe", "readme.txt" }), true },
        { volume("c", { "disk1/setup.exe" }), false },
        { volume("d", { "setup.exe.bak", "mysetup.exe", "autorun.inf.txt" }), false },
        { dir.path() + u"/missing"_s, false },
        { dir.path() + u"/Office.MSI"_s, true },
        { loop, true },
    };
    for (const auto &c : cases)
        EXPECT_EQ(CDTools::isValidInstallerVolume(c.path), c.installer) << c.path.toStdString();

    const QString huge = volume("huge", {});
    for (int i = 0; i < 100000; ++i) {
        const QByteArray name = QFile::encodeName(huge) + "/f" + QByteArray::number(i);
        ::close(::open(name.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
    }
    EXPECT_FALSE(CDTools::isValidInstallerVolume(huge));
    test::writeFile(huge + u"/autorun.inf"_s, "");
    EXPECT_TRUE(CDTools::isValidInstallerVolume(huge));
}

TEST_F(CDToolsTest, UpdateWritesEveryExistingHostDomainAndKeepsOtherKeys)
{
    processes.run(7, u"/x/Quillmont DI Raruru.app"_s, kHelperId);
    const QString games = u"com.tallowcraft.QuillmontGames"_s;
    // The host's own keys, one of every property-list type.
    const QVariantMap hostKeys {
        { u"WindowScale"_s, 1.5 },
        { u"Drives"_s, qint64(-3) },
        { u"Name"_s, u"\u00e9t\u00e9 <&>"_s },
        { u"Enabled"_s, true },
        { u"Since"_s, QDateTime(QDate(2024, 2, 29), QTime(12, 0), Qt::UTC) },
        { u"Token"_s, QByteArray("\0\xff", 2) },
        { u"Recent"_s, QVariantList { u"a"_s, qint64(2) } },
        { u"Window"_s, QVariantMap { { u"x"_s, qint64(10) } } },
    };
    QVariantMap gamesDomain = hostKeys;
    gamesDomain.insert(u"AutoLaunchAppIdentifyingURLScheme"_s, u"old"_s);
    ASSERT_TRUE(defaults->setPersistentDomain(gamesDomain, games));
    // The main edition's domain is damaged: it is skipped and left as it was.
    const QString mainFile = home.preferencesPath() + u"/com.tallowcraft.Quillmont.plist"_s;
    const QByteArray damaged = "<?xml version=\"1.0\"?>\n<plist><dict><key>AutoLaunch</key>";
    test::writeFile(mainFile, damaged);
    CDTools tools(*defaults, workspace, std::nullopt);

    tools.updateHelperPrefForAllInstalls(1, games, std::nullopt);
    EXPECT_EQ(test::readFile(mainFile), damaged);
    QVariantMap expected = hostKeys;
    expected.insert(u"AutoLaunch"_s, qint64(1));
    expected.insert(u"AutoLaunchAppID"_s, games);
    EXPECT_EQ(*defaults->persistentDomainForName(games), expected);
    EXPECT_TRUE(processes.quitRequests.empty());

    tools.updateHelperPrefForAllInstalls(2, games, u"scheme"_s);
    EXPECT_EQ(defaults->persistentDomainForName(games)->value(u"AutoLaunch"_s),
              QVariant(qint64(2)));
    EXPECT_EQ(processes.quitRequests, std::vector<std::uint32_t> { 7 })
        << "ignoring discs turns the helper off";
}

} // namespace
