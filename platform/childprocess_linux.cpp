// Child processes on Linux: posix_spawn (which reports exec failures) into a
// process group of the child's own, so that at the deadline the tool and
// anything it started are killed together; output is read with poll(2) while
// the tool runs, so a tool that writes more than a pipe holds never stalls.
#include "platform/childprocess.h"

#include "platform/argumentvector_p.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

extern char **environ;

namespace {

class Pipe
{
public:
    Pipe() { m_ok = ::pipe2(m_fds, O_CLOEXEC) == 0; }
    ~Pipe()
    {
        closeRead();
        closeWrite();
    }
    Pipe(const Pipe &) = delete;
    Pipe &operator=(const Pipe &) = delete;
    bool ok() const { return m_ok; }
    int read() const { return m_fds[0]; }
    int write() const { return m_fds[1]; }
    void closeRead() { closeOne(0); }
    void closeWrite() { closeOne(1); }

private:
    void closeOne(int i)
    {
        if (m_ok && m_fds[i] >= 0) {
            ::close(m_fds[i]);
            m_fds[i] = -1;
        }
    }
    int m_fds[2] = { -1, -1 };
    bool m_ok = false;
};

} // namespace

std::optional<ChildProcessResult> runChildProcess(const QByteArray &program,
                                                  const QList<QByteArray> &arguments,
                                                  const ChildProcessLimits &limits)
{
    const ArgumentVector argv(program, arguments);

    Pipe input, output;
    if (!input.ok() || !output.ok())
        return std::nullopt;
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input.read(), STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output.write(), STDOUT_FILENO);
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    pid_t child = -1;
    const int spawned
        = ::posix_spawn(&child, program.constData(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0)
        return std::nullopt;
    input.closeRead();
    input.closeWrite(); // the tool reads the end of its input at once
    output.closeWrite();

    ChildProcessResult result;
    const auto deadline = std::chrono::steady_clock::now() + limits.timeout;
    char buffer[65536];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            result.timedOut = true;
            break;
        }
        pollfd fd { output.read(), POLLIN, 0 };
        const int ready = ::poll(&fd, 1, int(std::min<long long>(left.count(), 1000)));
        if (ready < 0 && errno != EINTR)
            break;
        if (ready <= 0)
            continue;
        const ssize_t n = ::read(output.read(), buffer, sizeof buffer);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0)
            break; // end of output
        const qsizetype room = limits.maxOutput - result.standardOutput.size();
        if (n > room)
            result.outputTruncated = true;
        result.standardOutput.append(buffer, std::min<qsizetype>(n, std::max<qsizetype>(room, 0)));
    }
    if (!result.timedOut) {
        // Output has ended; the tool may still linger. Wait for its exit
        // until the same deadline (a pidfd becomes readable when it exits).
        const int pidfd = int(::syscall(SYS_pidfd_open, child, 0));
        if (pidfd >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd fd { pidfd, POLLIN, 0 };
            int ready;
            while ((ready = ::poll(&fd, 1, int(std::max<long long>(left.count(), 0)))) < 0
                   && errno == EINTR) { }
            result.timedOut = ready == 0;
            ::close(pidfd);
        }
    }
    if (result.timedOut)
        ::kill(-child, SIGKILL);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) { }
    return result;
}
