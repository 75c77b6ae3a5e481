// Detached processes on Linux: one posix_spawn into a session of the
// program's own (POSIX_SPAWN_SETSID). glibc's posix_spawn shares our memory
// until the exec (clone with CLONE_VM | CLONE_VFORK), so starting a program
// costs no copy of a large process's page tables, and it returns the exec's
// error. The program stays our child, so something must reap it when it ends:
// a pidfd (pidfd_open(2), readable once the process has exited) watched from
// the event loop, or a small thread waiting for it where the calling thread
// has no event loop or the kernel no pidfds. Nothing waits for SIGCHLD, so
// the helper's other children are left to their owners.
// The program's standard output and error both go where ours goes to
// (the journal, a terminal, a log file), whichever process starts it, the
// helper or a prompt (whose standard output is its pipe to the helper).
// When that is a pipe, /dev/null instead: whoever reads that pipe (a host
// capturing a tool's output with $(...)) waits for its end, which a program
// that lives on by itself would hold off for good.
#include "platform/detachedprocess.h"

#include "platform/argumentvector_p.h"
#include "platform/retryoneintr_p.h"
#include "platform/spawndescriptors_p.h"
#include "platform/spawnsignals_p.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>
#include <utility>

extern char **environ;

namespace {

int passedDescriptor = -1;

// Reaps the started program once it has exited; goes with it.
class ExitReaper final : public QSocketNotifier
{
public:
    ExitReaper(int pidfd, QObject *parent)
        : QSocketNotifier(pidfd, QSocketNotifier::Read, parent)
    {
        connect(this, &QSocketNotifier::activated, this, [this] {
            siginfo_t info {};
            if (::waitid(P_PIDFD, id_t(socket()), &info, WEXITED | WNOHANG) == 0
                && info.si_pid == 0)
                return; // not yet: a spurious wake-up
            setEnabled(false);
            deleteLater();
        });
    }
    ~ExitReaper() override
    {
        setEnabled(false); // before its descriptor goes
        ::close(int(socket()));
    }
    ExitReaper(const ExitReaper &) = delete;
    ExitReaper &operator=(const ExitReaper &) = delete;
};

void reapWhenExited(pid_t child)
{
    QThread *thread = QThread::currentThread();
    if (QAbstractEventDispatcher::instance(thread)) {
        const int pidfd = int(::syscall(SYS_pidfd_open, child, 0));
        if (pidfd >= 0) {
            // Owned by the application where there is one: a reaper left at
            // exit closes its pidfd, and init takes the program over.
            QObject *owner = QCoreApplication::instance();
            new ExitReaper(pidfd, owner && owner->thread() == thread ? owner : nullptr);
            return;
        }
    }
    std::thread([child] {
        int status = 0;
        (void)retryOnEintr([&] { return ::waitpid(child, &status, 0); });
    }).detach();
}

} // namespace

void passDescriptorToNextDetachedProcess(int fd)
{
    passedDescriptor = fd;
}

int startDetachedProcess(const QByteArray &program, const QList<QByteArray> &arguments)
{
    if (program.isEmpty())
        return ENOENT;
    const ArgumentVector argv(program, arguments);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDWR, 0);
    struct stat error
    {
    };
    if (::fstat(STDERR_FILENO, &error) == 0 && !S_ISFIFO(error.st_mode)) {
        posix_spawn_file_actions_adddup2(&actions, STDERR_FILENO, STDOUT_FILENO);
    } else {
        for (const int stream : { STDOUT_FILENO, STDERR_FILENO })
            posix_spawn_file_actions_addopen(&actions, stream, "/dev/null", O_RDWR, 0);
    }
    closeOtherDescriptorsForSpawn(&actions, std::exchange(passedDescriptor, -1));
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    setDefaultSignalsForSpawn(&attributes, POSIX_SPAWN_SETSID);
    pid_t child = -1;
    const int spawned
        = ::posix_spawn(&child, argv.program(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0)
        return spawned;
    reapWhenExited(child);
    return 0;
}
