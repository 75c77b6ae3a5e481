// Installing and removing the helper: the version check on real bundles, the
// process walk on real helper processes. Starting the helper when none runs,
// and its login item, are the command-line tool's test.
#include "prefs/cdtools.h"

#include "tests/fakes/fakelaunchservices.h"
#include "tests/fakes/fakeprocesslist.h"
#include "tests/testsupport.h"

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

// How version texts read (1.10 as 1.1) is the login items' test.
TEST_F(CDToolsTest, VersionCheckAgainstRealBundles)
{
    const auto helper = [&](const QString &v) { return installHelper(home.path() + u'/' + v, v); };
    CDTools(*defaults, workspace, helper(u"1.5"_s)).installAndActivateCDHelper(true);
    EXPECT_FALSE(CDTools(*defaults, workspace, helper(u"2.0"_s)).runningCDHelperIsLatestVersion())
        << "a newer helper carried";
}

TEST_F(CDToolsTest, RealHelperProcesses)
{
    // Look-alike names, in another letter case or longer, are no helpers.
    QProcess helpers[4];
    const QString identifiers[] = { kHelperId, kHelperId, kHelperId + u'2', kHelperId.toUpper() };
    for (int i = 0; i < 4; ++i) {
        test::startStayingRunning(
            helpers[i],
            installHelper(home.path() + u'/' + QString::number(i), u"1.0"_s, identifiers[i]));
    }
    ASSERT_LT(helpers[0].processId(), helpers[1].processId()) << "process ids wrapped around";

    auto real = Workspace::create();
    CDTools(*defaults, *real, resource).installAndActivateCDHelper(true);
    EXPECT_TRUE(helpers[1].waitForFinished(10000)) << "the second helper quits";
    EXPECT_EQ(helpers[0].state(), QProcess::Running);

    CDTools(*defaults, *real, resource).installAndActivateCDHelper(false);
    EXPECT_TRUE(helpers[0].waitForFinished(10000)) << "the first helper quits too";
    for (QProcess &lookAlike : { std::ref(helpers[2]), std::ref(helpers[3]) }) {
        EXPECT_FALSE(lookAlike.waitForFinished(300)) << "a look-alike is never signalled";
        lookAlike.kill();
        lookAlike.waitForFinished();
    }
}

// A helper whose temporary copy was deleted under it still is one. That a
// `tail -f` of the helper's program is none is the process list's test.
TEST_F(CDToolsTest, HelpersAreKnownByWhatTheyRun)
{
    auto real = ProcessList::create();
    Workspace mixed { *real, services };

    CDTools(*defaults, mixed, resource).installAndActivateCDHelper(true);
    EXPECT_EQ(services.openRequests.size(), 1u) << "none runs: one is started";

    QProcess copy;
    const QString temporary = installHelper(home.path() + u"/TemporaryItems"_s);
    test::startStayingRunning(copy, temporary);
    ASSERT_TRUE(QDir(temporary).removeRecursively());
    CDTools(*defaults, mixed, resource).installAndActivateCDHelper(true);
    EXPECT_EQ(services.openRequests.size(), 1u) << "the deleted copy runs: none is started";

    CDTools(*defaults, mixed, resource).installAndActivateCDHelper(false);
    EXPECT_TRUE(copy.waitForFinished(10000)) << "the deleted copy is asked to quit";
    // The desktop learns of the carried helper on install and forgets it on removal.
    EXPECT_EQ(services.registered, (std::vector { resource, resource }));
    EXPECT_EQ(services.unregistered, std::vector { resource });
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
    // A key of the host's own (a truth value: the property lists' test writes
    // every other type).
    const QVariantMap hostKeys { { u"Enabled"_s, true } };
    QVariantMap domain = hostKeys;
    domain.insert(u"AutoLaunchAppIdentifyingURLScheme"_s, u"old"_s);
    ASSERT_TRUE(defaults->setPersistentDomain(domain, games));
    // The main edition's domain is damaged: it is skipped and left as it was.
    const QString mainFile = home.domainPath(u"com.tallowcraft.Quillmont"_s);
    const QByteArray damaged = "<?xml version=\"1.0\"?>\n<plist><dict><key>AutoLaunch</key>";
    test::writeFile(mainFile, damaged);
    CDTools tools(*defaults, workspace, std::nullopt);

    tools.updateHelperPrefForAllInstalls(1, games, std::nullopt);
    EXPECT_EQ(test::readFile(mainFile), damaged);
    domain = hostKeys;
    domain.insert(u"AutoLaunch"_s, qint64(1));
    domain.insert(u"AutoLaunchAppID"_s, games);
    EXPECT_EQ(*defaults->persistentDomainForName(games), domain);
    EXPECT_TRUE(processes.quitRequests.empty());

    // Every domain has the value before any helper, the caller's own
    // included, is asked to quit.
    QVariant storedWhenAsked;
    processes.onQuitRequest = [&] {
        storedWhenAsked
            = UserDefaults::create()->persistentDomainForName(games)->value(u"AutoLaunch"_s);
    };
    tools.updateHelperPrefForAllInstalls(2, games, u"scheme"_s);
    EXPECT_EQ(storedWhenAsked, QVariant(qint64(2)));
    EXPECT_EQ(processes.quitRequests, std::vector<std::uint32_t> { 7 })
        << "ignoring discs turns the helper off";
}

} // namespace
