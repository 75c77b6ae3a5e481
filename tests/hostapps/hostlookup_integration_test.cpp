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

using namespace Qt::StringLiterals;

namespace {

QString identifier(const char *edition)
{
    return u"com.tallowcraft."_s + QLatin1String(edition);
}
QString scheme(const char *edition)
{
    return u"com.tallowcraft.private-%1-app-scheme"_s.arg(QLatin1String(edition));
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
        s_log = s_home->path() + u"/requests.log"_s;
        qputenv("QUILLMONT_REQUEST_LOG", QFile::encodeName(s_log));
        const auto install = [](const char *edition, const char *version, const char *mtime) {
            return test::installHostApp(
                { u"--applications"_s, applications(), u"--edition"_s, QLatin1String(edition),
                  u"--version"_s, QLatin1String(version), u"--name"_s,
                  QStringLiteral("%1 %2.app").arg(QLatin1String(edition), QLatin1String(version)),
                  u"--mtime"_s, QLatin1String(mtime) });
        };
        s_running = install("Running", "7.1.0", "2020-01-01");
        install("Running", "8.0.0", "2025-01-01");
        install("Copies", "7.1.0", "2024-06-01");
        s_v720 = install("Copies", "7.2.0", "2020-01-01");
        s_v725 = install("Copies", "7.2.5", "2025-01-01"); // the same pair, but later
        s_express = install("Express", "7.2.0", "2024-01-01"); // a blank in its path
    }
    static void TearDownTestSuite() { delete s_home; }
    static QString applications() { return s_home->path() + u"/Applications"_s; }
    std::optional<QString> lookUp(const char *edition)
    {
        return QM_absolutePathForAppBundleWithIdentifier(workspace, identifier(edition),
                                                         scheme(edition));
    }

    CountingLaunchServices *services = new CountingLaunchServices;
    std::unique_ptr<LaunchServices> servicesOwner { services };
    std::unique_ptr<ProcessList> processes = ProcessList::create();
    Workspace workspace { *processes, *services };

    static test::TemporaryHome *s_home;
    static QString s_log, s_running, s_v720, s_v725, s_express;
};

test::TemporaryHome *HostLookupTest::s_home = nullptr;
QString HostLookupTest::s_log, HostLookupTest::s_running, HostLookupTest::s_v720,
    HostLookupTest::s_v725, HostLookupTest::s_express;

TEST_F(HostLookupTest, ARunningHostWinsOverANewerInstalledCopy)
{
    QProcess host;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"QUILLMONT_STAY_RUNNING"_s, u"1"_s);
    host.setProcessEnvironment(environment);
    host.start(s_running + u"/Contents/MacOS/Running"_s, {});
    ASSERT_TRUE(host.waitForStarted());

    EXPECT_EQ(QM_absolutePathForAppBundleWithIdentifier(workspace, identifier("Running").toLower(),
                                                        scheme("Running")),
              s_running);
    EXPECT_EQ(services->schemeQueries, 0);

    host.terminate();
    EXPECT_TRUE(host.waitForFinished(10000));
    EXPECT_EQ(lookUp("Running"), applications() + u"/Running 8.0.0.app"_s);
}

TEST_F(HostLookupTest, TheNewestUsableCopyIsChosenByVersionThenDate)
{
    EXPECT_EQ(lookUp("Copies"), s_v725);
    const QByteArray executable = QFile::encodeName(s_v725 + u"/Contents/MacOS/Copies"_s);
    ::chmod(executable.constData(), 0644);
    EXPECT_EQ(lookUp("Copies"), s_v720);
    ::chmod(executable.constData(), 0755);
}

TEST_F(HostLookupTest, OpeningAVolumeWithTheExpressRecordOrNothing)
{
    EventDescriptor express = EventDescriptor::recordDescriptor();
    express.setDescriptorForKeyword(EventDescriptor::descriptorWithString(u"express"_s),
                                    0x65787072);
    const QByteArray volume = fileURLWithPath(u"/media/user/My Install Disc"_s);
    QFile::remove(s_log);

    ASSERT_TRUE(QM_openURLs(workspace, { volume }, identifier("Express"), scheme("Express"),
                            0x10100, express));
    const auto requests = test::hostRequests(s_log, 1);
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests[0][u"program"_s].toString(), s_express + u"/Contents/MacOS/Express"_s);
    EXPECT_EQ(requests[0][u"arguments"_s].toArray().toVariantList(),
              (QVariantList { u"--event-param"_s, u"expr=express"_s,
                              u"file:///media/user/My%20Install%20Disc"_s }));

    EXPECT_FALSE(QM_openURLs(workspace, { volume }, identifier("Nobody"), scheme("Nobody"), 0x10100,
                             std::nullopt));
    EXPECT_EQ(services->openRequests, 1) << "no copy installed: nothing started";
}

} // namespace
