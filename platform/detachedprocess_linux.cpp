// Detached processes on Linux: fork, setsid, fork again and exec, so the
// program is reparented to init (or the session's subreaper) at once. A
// close-on-exec pipe carries the exec's errno back; end of file on it means
// the exec succeeded. Only async-signal-safe calls run between fork and exec.
// A standard stream that is a pipe is replaced by /dev/null: whoever reads
// that pipe (a host capturing a tool's output with $(...)) waits for its end,
// which a program that lives on by itself would hold off for good.
#include "platform/detachedprocess.h"

#include "platform/argumentvector_p.h"
#include "platform/retryoneintr_p.h"
#include "platform/spawnsignals_p.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

extern char **environ;

namespace {

void reportAndExit(int pipeFd, int error)
{
    (void)!::write(pipeFd, &error, sizeof error);
    ::_exit(127);
}

} // namespace

int startDetachedProcess(const QByteArray &program, const QList<QByteArray> &arguments)
{
    if (program.isEmpty())
        return ENOENT;
    const ArgumentVector argv(program, arguments);

    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0)
        return errno;
    const pid_t child = ::fork();
    if (child < 0) {
        const int error = errno;
        ::close(report[0]);
        ::close(report[1]);
        return error;
    }
    if (child == 0) {
        ::close(report[0]);
        if (::setsid() < 0)
            reportAndExit(report[1], errno);
        const pid_t grandchild = ::fork();
        if (grandchild < 0)
            reportAndExit(report[1], errno);
        if (grandchild > 0)
            ::_exit(0);
        const int devNull = ::open("/dev/null", O_RDWR);
        if (devNull < 0 || ::dup2(devNull, STDIN_FILENO) < 0)
            reportAndExit(report[1], errno);
        for (const int stream : { STDOUT_FILENO, STDERR_FILENO }) {
            struct stat info
            {
            };
            if (::fstat(stream, &info) == 0 && S_ISFIFO(info.st_mode))
                (void)::dup2(devNull, stream);
        }
        if (devNull > STDERR_FILENO)
            ::close(devNull);
        resetSignalsForExec();
        ::execve(argv.program(), argv.data(), environ);
        reportAndExit(report[1], errno);
    }
    ::close(report[1]);
    int status = 0;
    (void)retryOnEintr([&] { return ::waitpid(child, &status, 0); });
    int error = 0;
    const ssize_t n = retryOnEintr([&] { return ::read(report[0], &error, sizeof error); });
    ::close(report[0]);
    return n == ssize_t(sizeof error) ? (error ? error : EIO) : 0;
}
