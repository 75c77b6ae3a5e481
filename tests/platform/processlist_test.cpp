// The process list against real processes started from real bundles.
#include "platform/processlist.h"

#include "tests/testsupport.h"

#include <QDir>
#include <QProcess>

#include <gtest/gtest.h>

#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Starts a program and reaps it when the test ends.
class Child
{
public:
    explicit Child(const QString &program, const QStringList &arguments = {},
                   const QString &folder = {})
    {
        m_process.setWorkingDirectory(folder);
        m_process.start(program, arguments);
        EXPECT_TRUE(m_process.waitForStarted()) << program.toStdString();
    }
    ~Child()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    pid_t pid() const { return pid_t(m_process.processId()); }
    void write(const QByteArray &input)
    {
        m_process.write(input);
        m_process.waitForBytesWritten();
    }
    bool exitsWithin(int ms) { return m_process.waitForFinished(ms); }

private:
    QProcess m_process;
};

QString makeProgramBundle(const QString &folder, const QString &identifier, bool script)
{
    const QString bundle = folder + u"/Helper "_s + identifier + u".app"_s;
    test::makeBundle(
        bundle, { { u"CFBundleIdentifier"_s, identifier }, { u"CFBundleExecutable"_s, u"run"_s } });
    const QString program = bundle + u"/Contents/MacOS/run"_s;
    test::writeFile(program,
                    script ? QByteArray("#!/bin/sh\nwhile :; do sleep 0.2; done\n")
                           : test::readFile(u"/bin/sleep"_s));
    ::chmod(QFile::encodeName(program).constData(), 0755);
    return bundle;
}

// Walks 'list' to 'pid'.
std::optional<ProcessSerialNumber> find(ProcessList &list, pid_t pid)
{
    ProcessSerialNumber psn;
    while (list.getNextProcess(psn)) {
        if (pid_t(psn.lowLongOfPSN) == pid)
            return psn;
    }
    return std::nullopt;
}

TEST(ProcessList, ProcessesRunningFromBundlesAreKnownByTheirBundle)
{
    QTemporaryDir dir;
    const QString compiled = makeProgramBundle(dir.path(), u"org.example.compiled"_s, false);
    const QString script = makeProgramBundle(dir.path(), u"org.example.script"_s, true);
    // A binary program named with an argument, so it keeps running.
    Child compiledChild(compiled + u"/Contents/MacOS/run"_s, { u"60"_s });
    Child interpreted(script + u"/Contents/MacOS/run"_s);
    // An interpreter named on the command line, the script relative to the
    // working folder.
    Child relative(u"/bin/sh"_s, { u"run"_s }, script + u"/Contents/MacOS"_s);
    Child fromContents(u"/bin/sh"_s, { u"MacOS/run"_s }, script + u"/Contents"_s);
    // A shell that is not the one the "#!" line names, and a script without one.
    Child otherShell(u"bash"_s, { script + u"/Contents/MacOS/run"_s });
    const QString bare = makeProgramBundle(dir.path(), u"org.example.bare"_s, true);
    test::writeFile(bare + u"/Contents/MacOS/run"_s, "while :; do sleep 0.2; done\n");
    Child noShebang(u"sh"_s, { bare + u"/Contents/MacOS/run"_s });
    // Programs that only name a bundle's program or script run neither.
    Child tailProgram(u"tail"_s, { u"-f"_s, compiled + u"/Contents/MacOS/run"_s });
    Child tailScript(u"tail"_s, { u"-f"_s, u"run"_s }, script + u"/Contents/MacOS"_s);
    // A program whose bundle was deleted while it ran.
    const QString gone = makeProgramBundle(dir.path(), u"org.example.gone"_s, false);
    Child deleted(gone + u"/Contents/MacOS/run"_s, { u"60"_s });
    ASSERT_TRUE(QDir(gone).removeRecursively());

    const std::tuple<pid_t, std::optional<QString>, std::optional<QString>, bool> cases[] = {
        { compiledChild.pid(), compiled, u"org.example.compiled"_s, false },
        { interpreted.pid(), script, u"org.example.script"_s, false },
        { relative.pid(), script, u"org.example.script"_s, false },
        { fromContents.pid(), script, u"org.example.script"_s, false },
        { otherShell.pid(), script, u"org.example.script"_s, false },
        { noShebang.pid(), bare, u"org.example.bare"_s, false },
        { tailProgram.pid(), std::nullopt, std::nullopt, false },
        { tailScript.pid(), std::nullopt, std::nullopt, false },
        { deleted.pid(), gone, std::nullopt, true },
        { ::getpid(), std::nullopt, std::nullopt, false }, // the test runs from no bundle
    };
    for (const auto &[pid, bundle, identifier, programDeleted] : cases) {
        SCOPED_TRACE(pid);
        auto list = ProcessList::create();
        const auto psn = find(*list, pid);
        ASSERT_TRUE(psn);
        const auto info = list->processInformation(*psn);
        ASSERT_TRUE(info);
        EXPECT_EQ(std::tie(info->bundlePath, info->bundleIdentifier, info->programDeleted),
                  std::tie(bundle, identifier, programDeleted));
    }
}

TEST(ProcessList, QuitRequestsReachOnlyTheListedProcess)
{
    QTemporaryDir dir;
    const QString bundle = makeProgramBundle(dir.path(), u"org.example.quit"_s, true);
    Child child(bundle + u"/Contents/MacOS/run"_s);

    auto list = ProcessList::create();
    EXPECT_FALSE(list->sendQuitRequest({ 0, std::uint32_t(child.pid()) })) << "not listed yet";
    ProcessSerialNumber first;
    ASSERT_TRUE(list->getNextProcess(first));
    EXPECT_FALSE(list->sendQuitRequest({ 0, std::uint32_t(child.pid()) }))
        << "listed, but never identified";
    const auto psn = find(*list, child.pid());
    ASSERT_TRUE(psn);
    ASSERT_TRUE(list->processInformation(*psn));
    EXPECT_TRUE(list->sendQuitRequest(*psn));
    EXPECT_TRUE(child.exitsWithin(10000));

    // Once it has ended, the serial number names nothing.
    EXPECT_FALSE(list->processInformation(*psn));
    EXPECT_FALSE(list->sendQuitRequest(*psn));
}

TEST(ProcessList, AProcessThatExecsAnotherScriptIsSeenAnew)
{
    QTemporaryDir dir;
    const QString script
        = makeProgramBundle(dir.path(), u"org.example.later"_s, true) + u"/Contents/MacOS/run"_s;
    // The same interpreter before and after the exec: only the command line
    // tells them apart, and the list that walked before must see the change.
    Child shell(u"/bin/sh"_s, { u"-c"_s, u"read line; exec /bin/sh \"$0\""_s, script });
    auto list = ProcessList::create();
    const auto identifier = [&] {
        const auto psn = find(*list, shell.pid());
        const auto info = psn ? list->processInformation(*psn) : std::nullopt;
        return info ? info->bundleIdentifier.value_or(u"none"_s) : u"not listed"_s;
    };
    EXPECT_EQ(identifier(), u"none"_s);
    shell.write("go\n");
    const QString commandLine = u"/proc/"_s + QString::number(shell.pid()) + u"/cmdline"_s;
    for (int tries = 0; tries < 1000 && test::readFile(commandLine).contains("read line"); ++tries)
        ::usleep(10000);
    EXPECT_EQ(identifier(), u"org.example.later"_s);
}

bool lists(pid_t pid)
{
    return find(*ProcessList::create(), pid).has_value();
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
