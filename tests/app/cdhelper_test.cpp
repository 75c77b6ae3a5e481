// The built helper bundle as a user's login starts it: real processes, the
// relaunch from the temporary-items folder and quit requests. The copy
// watching real mounts is the end-to-end test's.
#include "app/cdhelper.h"

#include "platform/filesystemrepresentation.h"
#include "tests/testsupport.h"

#include <QDir>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString kProgram = u"/Contents/MacOS/Quillmont DI Raruru"_s;

// The processes whose program lies in the bundle at 'bundle'.
QList<pid_t> helpersRunningFrom(const QString &bundle)
{
    QList<pid_t> pids;
    for (const QString &entry : QDir(u"/proc"_s).entryList(QDir::Dirs)) {
        if (QFileInfo(u"/proc/"_s + entry + u"/exe"_s).symLinkTarget() == bundle + kProgram)
            pids += entry.toInt();
    }
    return pids;
}

class CDHelperTest : public testing::Test
{
protected:
    void TearDown() override
    {
        for (pid_t pid : helpersRunningFrom(copy))
            ::kill(pid, SIGKILL);
    }

    // Starts the built helper with 'arguments', as a login would.
    void start(QProcess &helper, const QStringList &arguments = {},
               const QString &platform = u"offscreen"_s)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"QT_QPA_PLATFORM"_s, platform);
        environment.remove(u"DISPLAY"_s);
        environment.remove(u"WAYLAND_DISPLAY"_s);
        helper.setProcessEnvironment(environment);
        helper.setProcessChannelMode(QProcess::ForwardedChannels);
        helper.start(QStringLiteral(RARURU_HELPER_BUNDLE) + kProgram, arguments);
        ASSERT_TRUE(helper.waitForStarted());
    }

    test::TemporaryHome home;
    QString folder = home.path() + u"/run/TemporaryItems"_s;
    QString copy = folder + u"/Quillmont DI Raruru.app"_s;
};

TEST_F(CDHelperTest, FirstInstanceRelaunchesFromAFreshCopy)
{
    // Only the exact own path marks the copy: spelled otherwise, the helper
    // is a first instance too. Prompts are windows of a program of their
    // own: a display that cannot be reached stops neither instance.
    const QString bundle = QStringLiteral(RARURU_HELPER_BUNDLE);
    const std::pair<QStringList, QString> cases[] = {
        { { bundle + u'/' }, u"offscreen"_s },
        { { bundle.toUpper() }, u"offscreen"_s },
        { {}, u"xcb"_s },
    };
    for (const auto &[arguments, platform] : cases) {
        SCOPED_TRACE((arguments.join(u' ') + u' ' + platform).toStdString());
        test::writeFile(copy + u"/Contents/left-over"_s, "from an earlier start");
        QProcess first;
        start(first, arguments, platform);
        ASSERT_TRUE(first.waitForFinished(20000));
        EXPECT_EQ(first.exitStatus() == QProcess::NormalExit ? first.exitCode() : -1, 0);
        // Generous: this is not a speed test.
        ASSERT_TRUE(QTest::qWaitFor([&] { return helpersRunningFrom(copy).size() == 1; }, 20000));
        EXPECT_FALSE(QFile::exists(copy + u"/Contents/left-over"_s));
        QTest::qWait(500);
        EXPECT_EQ(helpersRunningFrom(copy).size(), 1) << "the copy does not copy itself again";
        TearDown();
    }
}

TEST_F(CDHelperTest, ALockNamedByALinkFolderOrFifoStillGivesOneHelper)
{
    const QByteArray lock
        = QFile::encodeName(folder + u"/com.tallowcraft.quillmont DI raruru.lock"_s);
    const std::pair<const char *, std::function<int()>> cases[] = {
        { "link", [&] { return ::symlink("elsewhere", lock.constData()); } },
        { "folder", [&] { return ::mkdir(lock.constData(), 0700); } },
        { "FIFO", [&] { return ::mkfifo(lock.constData(), 0600); } },
    };
    for (const auto &[what, make] : cases) {
        SCOPED_TRACE(what);
        QDir(folder).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(folder));
        ::chmod(QFile::encodeName(folder).constData(), 0700);
        ASSERT_EQ(make(), 0);
        QProcess starts[3];
        for (QProcess &start : starts)
            this->start(start);
        for (QProcess &start : starts)
            ASSERT_TRUE(start.waitForFinished(20000));
        ASSERT_TRUE(QTest::qWaitFor([&] { return helpersRunningFrom(copy).size() == 1; }, 20000));
        QTest::qWait(500);
        EXPECT_EQ(helpersRunningFrom(copy).size(), 1);
        TearDown();
    }
}

TEST_F(CDHelperTest, WithoutAUsableFolderTheFirstInstanceStaysIdle)
{
    // Neither the runtime folder nor the cache folder can hold the copy.
    ::chmod(QFile::encodeName(home.path() + u"/run"_s).constData(), 0755);
    QDir().mkpath(home.path() + u"/elsewhere"_s);
    QDir().mkpath(home.path() + u"/.cache"_s);
    QFile::link(home.path() + u"/elsewhere"_s, home.path() + u"/.cache/TemporaryItems"_s);

    QProcess first;
    start(first);
    // Asserted: the id of a process that has ended reads 0, and kill(0, ...)
    // would hit this test's own process group.
    ASSERT_FALSE(first.waitForFinished(1500)) << "neither copies nor quits";
    const pid_t pid = pid_t(first.processId());
    EXPECT_TRUE(QDir(home.path() + u"/elsewhere"_s).isEmpty());
    EXPECT_FALSE(QFile::exists(folder));
    // A reader that went away and the user signals leave it running; a hang-up
    // ends it as cleanly as a quit request.
    for (const int ignored : { SIGPIPE, SIGUSR1, SIGUSR2 })
        ::kill(pid, ignored);
    ASSERT_FALSE(first.waitForFinished(500));
    ::kill(pid, SIGHUP);
    ASSERT_TRUE(first.waitForFinished(10000));
    EXPECT_EQ(first.exitStatus() == QProcess::NormalExit ? first.exitCode() : -1, 0);
}

TEST(CDHelperOpenFileRequests, PathsAndFileURLs)
{
    const char *arguments[] = { "helper",
                                "/media/a b",
                                "file:///media/a%20b%FF",
                                "file://localhost/x",
                                "http://example.com/x",
                                "relative",
                                "1x://not-a-scheme" };
    EXPECT_EQ(CDHelper::openFileRequests(int(std::size(arguments)), const_cast<char **>(arguments)),
              (QStringList { u"/media/a b"_s,
                             stringWithFileSystemRepresentation(QByteArray("/media/a b\xff")),
                             u"/x"_s, u"relative"_s, u"1x://not-a-scheme"_s }));
}

} // namespace
