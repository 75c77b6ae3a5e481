#ifdef RARURU_TEST_WIDGETS
#include <QApplication>
#else
#include <QCoreApplication>
#endif

#include <gtest/gtest.h>

#ifdef RARURU_TEST_OWN_PIDS
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Why the suite cannot run in a PID namespace of its own; empty when it does.
std::string g_noNamespace;

int exitStatusOf(int status)
{
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool writeFile(const char *path, const std::string &text)
{
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    return written;
}

// A suite that starts helpers runs them in a PID namespace of its own, with
// a /proc that shows only that namespace. "Every running helper of the
// user" then means this suite's helpers: never the user's own, nor another
// suite's running at the same time. The process that called this goes on
// as the suite; the one waiting outside and the namespace's init exit with
// its status, and the init's end takes down whatever the suite left.
void enterOwnPidNamespace()
{
    int flags = CLONE_NEWPID | CLONE_NEWNS;
    const uid_t uid = ::geteuid();
    const gid_t gid = ::getegid();
    if (uid != 0)
        flags |= CLONE_NEWUSER; // the same identity inside, with the right to mount /proc
    if (::unshare(flags) != 0) {
        g_noNamespace = std::string("needs a PID namespace of its own (root, or user namespaces), "
                                    "so that its helpers never meet the user's: ")
            + std::strerror(errno);
        return;
    }
    if (uid != 0
        && (!writeFile("/proc/self/setgroups", "deny")
            || !writeFile("/proc/self/uid_map",
                          std::to_string(uid) + ' ' + std::to_string(uid) + " 1")
            || !writeFile("/proc/self/gid_map",
                          std::to_string(gid) + ' ' + std::to_string(gid) + " 1"))) {
        std::fprintf(stderr, "test: cannot map the user into its namespace: %s\n",
                     std::strerror(errno));
        std::_Exit(1);
    }
    std::fflush(nullptr);
    const pid_t init = ::fork();
    if (init < 0) {
        std::perror("test: fork");
        std::_Exit(1);
    }
    if (init > 0) {
        int status = 0;
        while (::waitpid(init, &status, 0) < 0 && errno == EINTR) { }
        std::_Exit(exitStatusOf(status));
    }
    // The namespace's init: it goes, and the namespace with it, when the
    // process outside does (a test runner's time-out kills only that one).
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
        || ::mount("proc", "/proc", "proc", MS_NOSUID | MS_NODEV | MS_NOEXEC, nullptr) != 0) {
        std::fprintf(stderr, "test: cannot mount the namespace's /proc: %s\n",
                     std::strerror(errno));
        std::_Exit(1);
    }
    const pid_t suite = ::fork();
    if (suite < 0) {
        std::perror("test: fork");
        std::_Exit(1);
    }
    if (suite == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        return;
    }
    // Reap every orphan (helpers' copies, their prompts) until the suite ends.
    for (;;) {
        int status = 0;
        const pid_t pid = ::waitpid(-1, &status, 0);
        if (pid == suite)
            std::_Exit(exitStatusOf(status));
        if (pid < 0 && errno != EINTR)
            std::_Exit(1);
    }
}

class NoNamespaceSkip : public testing::Environment
{
public:
    void SetUp() override
    {
        if (!g_noNamespace.empty())
            GTEST_SKIP() << g_noNamespace;
    }
};

bool listsTestsOnly(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--gtest_list_tests") == 0)
            return true;
    }
    return false;
}

} // namespace
#endif

int main(int argc, char **argv)
{
#ifdef RARURU_TEST_OWN_PIDS
    if (!listsTestsOnly(argc, argv))
        enterOwnPidNamespace();
#endif
#ifdef RARURU_TEST_WIDGETS
    // Real windows, drawn off screen unless a display is asked for.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // A closed window must not end a test's event loop.
    QApplication::setQuitOnLastWindowClosed(false);
#else
    QCoreApplication app(argc, argv);
#endif
    testing::InitGoogleTest(&argc, argv);
#ifdef RARURU_TEST_OWN_PIDS
    testing::AddGlobalTestEnvironment(new NoNamespaceSkip);
#endif
    return RUN_ALL_TESTS();
}
