// Finding and opening host applications end to end: installed copies of the
// test host product registered with update-desktop-database, GIO's registry,
// /proc, and real programs started detached.
#include "hostapps/workspaceadditions.h"

#include "tests/fakes/countinglaunchservices.h"
#include "tests/testsupport.h"

#include <QJsonArray>
#include <QProcess>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

QString identifier(const char *edition)
{
    return QStringLiteral("com.tallowcraft.") + QLatin1String(edition);
}
QString scheme(const char *edition)
{
    return QStringLiteral("com.tallowcraft.private-%1-app-scheme").arg(QLatin1String(edition));
}

// GLib reads the XDG folders and the desktop entries once per process, so
// every copy the suite needs is installed before its first query; each test
// uses editions of its own.
class HostLookupTest : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_home = new test::TemporaryHome;
        s_log = s_home->path() + QStringLiteral("/requests.log");
        qputenv("QUILLMONT_REQUEST_LOG", QFile::encodeName(s_log));
        const auto install
            = [](const char *edition, const char *version, const char *name, const char *mtime) {
                  return test::installHostApp({ QStringLiteral("--applications"),
                                                s_home->path() + QStringLiteral("/Applications"),
                                                QStringLiteral("--edition"), QLatin1String(edition),
                                                QStringLiteral("--version"), QLatin1String(version),
                                                QStringLiteral("--name"), QLatin1String(name),
                                                QStringLiteral("--mtime"), QLatin1String(mtime) });
              };
        s_running = install("Running", "7.1.0", "Running 7.1.app", "2020-01-01");
        install("Running", "8.0.0", "Running 8.0.app", "2025-01-01");
        s_v710 = install("Copies", "7.1.0", "Copies 7.1.0.app", "2024-06-01");
        s_v720 = install("Copies", "7.2.0", "Copies 7.2.0.app", "2020-01-01");
        s_v725 = install("Copies", "7.2.5", "Copies 7.2.5.app", "2025-01-01");
        s_express = install("Express", "7.2.0", "Express With Blanks.app", "2024-01-01");
    }
    static void TearDownTestSuite() { delete s_home; }

    CountingLaunchServices *services = new CountingLaunchServices;
    std::unique_ptr<LaunchServices> servicesOwner { services };
    std::unique_ptr<ProcessList> processes = ProcessList::create();
    Workspace workspace { *processes, *services };

    static test::TemporaryHome *s_home;
    static QString s_log, s_running, s_v710, s_v720, s_v725, s_express;
};

test::TemporaryHome *HostLookupTest::s_home = nullptr;
QString HostLookupTest::s_log, HostLookupTest::s_running, HostLookupTest::s_v710,
    HostLookupTest::s_v720, HostLookupTest::s_v725, HostLookupTest::s_express;

TEST_F(HostLookupTest, ARunningHostWinsOverANewerInstalledCopy)
{
    QProcess host;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QUILLMONT_STAY_RUNNING"), QStringLiteral("1"));
    host.setProcessEnvironment(environment);
    host.start(s_running + QStringLiteral("/Contents/MacOS/Running"), {});
    ASSERT_TRUE(host.waitForStarted());

    EXPECT_EQ(QM_absolutePathForAppBundleWithIdentifier(workspace, identifier("Running").toLower(),
                                                        scheme("Running")),
              s_running);
    EXPECT_EQ(services->schemeQueries, 0);

    host.terminate();
    EXPECT_TRUE(host.waitForFinished(10000));
    EXPECT_EQ(QM_absolutePathForAppBundleWithIdentifier(workspace, identifier("Running"),
                                                        scheme("Running")),
              s_home->path() + QStringLiteral("/Applications/Running 8.0.app"));
}

TEST_F(HostLookupTest, TheNewestUsableCopyIsChosenByVersionThenDate)
{
    EXPECT_EQ(QM_absolutePathForAppBundleWithIdentifier(workspace, identifier("Copies"),
                                                        scheme("Copies")),
              s_v725);
    const QByteArray executable
        = QFile::encodeName(s_v725 + QStringLiteral("/Contents/MacOS/Copies"));
    ::chmod(executable.constData(), 0644);
    EXPECT_EQ(QM_absolutePathForAppBundleWithIdentifier(workspace, identifier("Copies"),
                                                        scheme("Copies")),
              s_v720);
    ::chmod(executable.constData(), 0755);
}

TEST_F(HostLookupTest, OpeningAVolumeWithTheExpressRecord)
{
    EventDescriptor express = EventDescriptor::recordDescriptor();
    express.setDescriptorForKeyword(
        EventDescriptor::descriptorWithString(QStringLiteral("express")), 0x65787072);
    const QByteArray volume = fileURLWithPath(QStringLiteral("/media/user/My Install Disc"));
    QFile::remove(s_log);

    ASSERT_TRUE(QM_openURLs(workspace, { volume }, identifier("Express"), scheme("Express"),
                            0x10100, express));
    const auto requests = test::hostRequests(s_log, 1);
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests[0][QStringLiteral("program")].toString(),
              s_express + QStringLiteral("/Contents/MacOS/Express"));
    EXPECT_EQ(requests[0][QStringLiteral("arguments")].toArray().toVariantList(),
              (QVariantList { QStringLiteral("--event-param"), QStringLiteral("expr=express"),
                              QStringLiteral("file:///media/user/My%20Install%20Disc") }));
}

TEST_F(HostLookupTest, NoCopyInstalledStartsNothing)
{
    EXPECT_FALSE(QM_openURLs(workspace, { "file:///media/cdrom" }, identifier("Nobody"),
                             scheme("Nobody"), 0x10100, std::nullopt));
    EXPECT_EQ(services->openRequests, 0);
}

} // namespace
