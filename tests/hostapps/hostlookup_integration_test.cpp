// Finding host applications end to end: installed copies of the test host
// product registered with update-desktop-database, GIO's registry and /proc.
// Opening a volume with a real start through GIO is the prompt's and the
// helper delegate's test.
#include "hostapps/workspaceadditions.h"

#include "tests/fakes/fakelaunchservices.h"
#include "tests/testsupport.h"

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
// uses editions of its own. Every bundle path holds a blank, which GLib's
// own reading of an Exec line would cut.
class HostLookupTest : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_home = new test::TemporaryHome;
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
    }
    static void TearDownTestSuite() { delete s_home; }
    static QString applications() { return s_home->path() + u"/Applications"_s; }
    std::optional<QString> lookUp(const char *edition)
    {
        return QM_absolutePathForAppBundleWithIdentifier(workspace, identifier(edition),
                                                         scheme(edition));
    }

    FakeLaunchServices services { LaunchServices::create() };
    std::unique_ptr<ProcessList> processes = ProcessList::create();
    Workspace workspace { *processes, services };

    static inline test::TemporaryHome *s_home = nullptr;
    static inline QString s_running, s_v720, s_v725;
};

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
    EXPECT_EQ(services.schemeQueries, 0);

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

} // namespace
