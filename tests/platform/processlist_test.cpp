// The process list against real processes started from real bundles.
#include "platform/processlist.h"

#include "tests/testsupport.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Starts a program and reaps it when the test ends.
class Child
{
public:
    explicit Child(const QString &program)
    {
        m_process.setProgram(program);
        m_process.start();
        m_process.waitForStarted();
    }
    ~Child()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    pid_t pid() const { return pid_t(m_process.processId()); }
    bool exitsWithin(int ms) { return m_process.waitForFinished(ms); }

private:
    QProcess m_process;
};

QString makeProgramBundle(const QString &folder, const QString &identifier, bool script)
{
    const QString bundle
        = folder + QStringLiteral("/Helper ") + identifier + QStringLiteral(".app");
    test::makeBundle(bundle,
                     { { QStringLiteral("CFBundleIdentifier"), identifier },
                       { QStringLiteral("CFBundleExecutable"), QStringLiteral("run") } });
    const QString program = bundle + QStringLiteral("/Contents/MacOS/run");
    if (script) {
        test::writeFile(program, "#!/bin/sh\nwhile :; do sleep 0.2; done\n");
    } else {
        test::writeFile(program, test::readFile(QStringLiteral("/bin/sleep")));
    }
    ::chmod(QFile::encodeName(program).constData(), 0755);
    return bundle;
}

std::optional<ProcessInformation> find(ProcessList &list, pid_t pid,
                                       ProcessSerialNumber *found = nullptr)
{
    ProcessSerialNumber psn;
    pid_t previous = 0;
    while (list.getNextProcess(psn)) {
        EXPECT_GT(pid_t(psn.lowLongOfPSN), previous) << "increasing process-id order";
        EXPECT_EQ(psn.highLongOfPSN, 0u);
        previous = pid_t(psn.lowLongOfPSN);
        if (previous == pid) {
            if (found)
                *found = psn;
            return list.processInformation(psn);
        }
    }
    return std::nullopt;
}

TEST(ProcessList, ProcessesRunningFromBundlesAreKnownByTheirBundle)
{
    QTemporaryDir dir;
    const QString compiled
        = makeProgramBundle(dir.path(), QStringLiteral("org.example.compiled"), false);
    const QString script
        = makeProgramBundle(dir.path(), QStringLiteral("org.example.script"), true);
    // A binary program named with an argument, so it keeps running.
    QProcess sleeper;
    sleeper.start(compiled + QStringLiteral("/Contents/MacOS/run"), { QStringLiteral("60") });
    ASSERT_TRUE(sleeper.waitForStarted());
    Child interpreted(script + QStringLiteral("/Contents/MacOS/run"));
    // An interpreter named on the command line, the script relative to the
    // working folder.
    QProcess relative;
    relative.setWorkingDirectory(script + QStringLiteral("/Contents/MacOS"));
    relative.start(QStringLiteral("/bin/sh"), { QStringLiteral("run") });
    ASSERT_TRUE(relative.waitForStarted());

    const struct
    {
        pid_t pid;
        QString bundle, identifier;
    } cases[] = {
        { pid_t(sleeper.processId()), compiled, QStringLiteral("org.example.compiled") },
        { interpreted.pid(), script, QStringLiteral("org.example.script") },
        { pid_t(relative.processId()), script, QStringLiteral("org.example.script") },
    };
    for (const auto &c : cases) {
        auto list = ProcessList::create();
        const auto info = find(*list, c.pid);
        ASSERT_TRUE(info) << c.identifier.toStdString();
        EXPECT_EQ(info->bundlePath, c.bundle);
        EXPECT_EQ(info->bundleIdentifier, c.identifier);
    }

    auto list = ProcessList::create();
    const auto self = find(*list, ::getpid());
    ASSERT_TRUE(self);
    EXPECT_FALSE(self->bundlePath) << "the test program runs from no bundle";
    for (QProcess *process : { &sleeper, &relative }) {
        process->kill();
        process->waitForFinished();
    }
}

TEST(ProcessList, QuitRequestsReachOnlyTheListedProcess)
{
    QTemporaryDir dir;
    const QString bundle = makeProgramBundle(dir.path(), QStringLiteral("org.example.quit"), true);
    Child child(bundle + QStringLiteral("/Contents/MacOS/run"));

    auto list = ProcessList::create();
    EXPECT_FALSE(list->sendQuitRequest({ 0, std::uint32_t(child.pid()) })) << "not listed yet";
    ProcessSerialNumber first;
    ASSERT_TRUE(list->getNextProcess(first));
    EXPECT_FALSE(list->sendQuitRequest({ 0, std::uint32_t(child.pid()) }))
        << "listed, but never identified";
    ProcessSerialNumber psn;
    ASSERT_TRUE(find(*list, child.pid(), &psn));
    EXPECT_TRUE(list->sendQuitRequest(psn));
    EXPECT_TRUE(child.exitsWithin(10000));

    // Once it has ended, the serial number names nothing.
    EXPECT_FALSE(list->processInformation(psn));
    EXPECT_FALSE(list->sendQuitRequest(psn));
    EXPECT_FALSE(list->sendQuitRequest({}));
}

// Whether a walk lists 'pid'.
bool lists(pid_t pid)
{
    auto list = ProcessList::create();
    ProcessSerialNumber psn;
    while (list->getNextProcess(psn))
        if (pid_t(psn.lowLongOfPSN) == pid)
            return true;
    return false;
}

TEST(ProcessList, OnlyTheUsersOwnProcessesAreListed)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to run a process as another user";
    // A child turned into another user walks as an ordinary user does; the
    // parent walks as root. Neither lists the other.
    int toParent[2], toChild[2];
    ASSERT_EQ(::pipe(toParent), 0);
    ASSERT_EQ(::pipe(toChild), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(toChild[1]);
        constexpr uid_t kNobody = 65534;
        char verdict = 'x';
        if (::setgid(kNobody) == 0 && ::setuid(kNobody) == 0
            && ::prctl(PR_SET_DUMPABLE, 1) == 0) // its /proc entries are then its own
            verdict = lists(::getpid()) && !lists(::getppid()) ? 'y' : 'n';
        (void)!::write(toParent[1], &verdict, 1);
        (void)!::read(toChild[0], &verdict, 1); // stay until the parent has walked
        ::_exit(0);
    }
    char verdict = 0;
    ASSERT_EQ(::read(toParent[0], &verdict, 1), 1);
    EXPECT_EQ(verdict, 'y') << "the other user lists itself and not root's processes";
    EXPECT_TRUE(lists(::getpid()));
    EXPECT_FALSE(lists(child)) << "root lists only its own processes";
    ::close(toChild[1]);
    int status = 0;
    ::waitpid(child, &status, 0);
    for (const int fd : { toParent[0], toParent[1], toChild[0] })
        ::close(fd);
}

} // namespace
