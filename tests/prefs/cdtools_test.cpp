// Installing and removing the helper: the process walk on fakes, then on
// real helper processes; the version check on real bundles.
#include "prefs/cdtools.h"

#include "prefs/loginitems.h"
#include "tests/fakes/fakelaunchservices.h"
#include "tests/fakes/fakeprocesslist.h"
#include "tests/testsupport.h"

#include <QProcess>

#include <gtest/gtest.h>

namespace {

const QString kHelperId = QStringLiteral("com.tallowcraft.quillmont DI raruru");

QString installHelper(const QString &folder, const QString &version,
                      const QString &identifier = kHelperId)
{
    return test::installHostApp(
        { QStringLiteral("--applications"), folder, QStringLiteral("--name"),
          QStringLiteral("Quillmont DI Raruru.app"), QStringLiteral("--identifier"), identifier,
          QStringLiteral("--version"), version, QStringLiteral("--no-register") });
}

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
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QUILLMONT_STAY_RUNNING"), QStringLiteral("1"));
    QProcess helpers[3];
    const QString bundles[3] = { first, second, similar };
    for (int i = 0; i < 3; ++i) {
        helpers[i].setProcessEnvironment(environment);
        helpers[i].start(bundles[i] + QStringLiteral("/Contents/MacOS/Quillmont"), {});
        ASSERT_TRUE(helpers[i].waitForStarted());
    }
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
