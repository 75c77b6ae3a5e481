// Child processes on Linux: posix_spawn (which reports exec failures) into a
// process group of the child's own, so that at the deadline the tool and
// anything it started are killed together. The output pipe and a pidfd
// (pidfd_open(2), readable once the process has exited) are watched by
// QSocketNotifiers, so the event loop goes on while a tool runs and a tool
// that writes more than a pipe holds never stalls.
#include "platform/childprocess.h"

#include "platform/argumentvector_p.h"
#include "platform/retryoneintr_p.h"
#include "platform/spawndescriptors_p.h"
#include "platform/spawnsignals_p.h"

#include <QSocketNotifier>
#include <QTimer>

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

std::unique_ptr<ChildProcess> ChildProcess::start(const QByteArray &program,
                                                  const QList<QByteArray> &arguments,
                                                  const ChildProcessLimits &limits, QObject *parent,
                                                  const std::optional<QByteArray> &input)
{
    constexpr qsizetype kMaxInput = qsizetype(256) * 1024;
    if (program.isEmpty() || (input && input->size() > kMaxInput))
        return nullptr;
    const ArgumentVector argv(program, arguments);
    int inputPipe[2], output[2];
    if (::pipe2(inputPipe, O_CLOEXEC) != 0)
        return nullptr;
    if (::pipe2(output, O_CLOEXEC) != 0) {
        ::close(inputPipe[0]);
        ::close(inputPipe[1]);
        return nullptr;
    }
    // The whole input fits the pipe, so writing it never waits for the tool.
    if (input && !input->isEmpty()
        && (::fcntl(inputPipe[1], F_SETPIPE_SZ, int(std::max<qsizetype>(input->size(), 4096))) < 0
            || ::write(inputPipe[1], input->constData(), size_t(input->size()))
                != ssize_t(input->size()))) {
        for (const int fd : { inputPipe[0], inputPipe[1], output[0], output[1] })
            ::close(fd);
        return nullptr;
    }
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, inputPipe[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    closeOtherDescriptorsForSpawn(&actions);
    posix_spawnattr_init(&attributes);
    setDefaultSignalsForSpawn(&attributes, POSIX_SPAWN_SETPGROUP);
    if (limits.quitSignalsHeld) {
        sigset_t held;
        sigemptyset(&held);
        for (const int quit : { SIGTERM, SIGINT, SIGHUP })
            sigaddset(&held, quit);
        posix_spawnattr_setsigmask(&attributes, &held);
    }
    posix_spawnattr_setpgroup(&attributes, 0);
    pid_t child = -1;
    const int spawned
        = ::posix_spawn(&child, program.constData(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(inputPipe[0]);
    if (!input) {
        ::close(inputPipe[1]); // the tool reads the end of its input at once
        inputPipe[1] = -1;
    }
    ::close(output[1]);
    if (spawned != 0) {
        ::close(output[0]);
        if (inputPipe[1] >= 0)
            ::close(inputPipe[1]);
        return nullptr;
    }
    ::fcntl(output[0], F_SETFL, O_NONBLOCK);
    const int pidfd = int(::syscall(SYS_pidfd_open, child, 0));
    return std::unique_ptr<ChildProcess>(
        new ChildProcess(child, inputPipe[1], output[0], pidfd, limits, parent));
}

ChildProcess::ChildProcess(int pid, int input, int output, int pidfd,
                           const ChildProcessLimits &limits, QObject *parent)
    : QObject(parent)
    , m_pid(pid)
    , m_input(input)
    , m_output(output)
    , m_pidfd(pidfd)
    , m_maxOutput(limits.maxOutput)
{
    m_outputNotifier = new QSocketNotifier(m_output, QSocketNotifier::Read, this);
    connect(m_outputNotifier, &QSocketNotifier::activated, this, &ChildProcess::readOutput);
    if (m_pidfd >= 0) {
        m_exitNotifier = new QSocketNotifier(m_pidfd, QSocketNotifier::Read, this);
        connect(m_exitNotifier, &QSocketNotifier::activated, this, [this] {
            m_exitNotifier->setEnabled(false);
            m_exited = true;
            finishIfDone();
        });
    } else {
        m_exited = true; // no pidfd (kernel before 5.3): the end of output must do
    }
    m_deadline = new QTimer(this);
    m_deadline->setSingleShot(true);
    connect(m_deadline, &QTimer::timeout, this, [this] {
        m_result.timedOut = true;
        kill();
        Q_EMIT finished(m_result);
    });
    if (limits.timeout.count() > 0)
        m_deadline->start(limits.timeout);
}

ChildProcess::~ChildProcess()
{
    if (!m_reaped)
        kill();
    closeInput();
    ::close(m_output);
    if (m_pidfd >= 0)
        ::close(m_pidfd);
}

void ChildProcess::closeInput()
{
    if (m_input >= 0)
        ::close(m_input);
    m_input = -1;
}

void ChildProcess::waitForExits(const QList<ChildProcess *> &processes,
                                std::chrono::milliseconds bound)
{
    const auto deadline = std::chrono::steady_clock::now() + bound;
    for (;;) {
        std::vector<pollfd> running;
        for (const ChildProcess *process : processes) {
            if (!process->m_reaped && process->m_pidfd >= 0)
                running.push_back({ process->m_pidfd, POLLIN, 0 });
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (running.empty() || left.count() <= 0)
            return;
        if (::poll(running.data(), running.size(), int(left.count())) < 0 && errno != EINTR)
            return;
        // Which ones: the next round leaves out those that have exited.
        for (ChildProcess *process : processes) {
            if (!process->m_reaped && process->hasExited()) {
                int status = 0;
                if (::waitpid(process->m_pid, &status, WNOHANG) == process->m_pid) {
                    if (WIFEXITED(status))
                        process->m_result.exitCode = WEXITSTATUS(status);
                    process->m_reaped = true;
                    process->m_exited = true;
                }
            }
        }
    }
}

bool ChildProcess::hasExited() const
{
    if (m_reaped)
        return true;
    pollfd exit { m_pidfd, POLLIN, 0 };
    return m_pidfd >= 0 && ::poll(&exit, 1, 0) == 1;
}

QByteArray ChildProcess::outputSoFar()
{
    if (!m_outputEnded)
        readAvailable();
    return m_result.standardOutput;
}

void ChildProcess::release()
{
    m_deadline->stop();
    m_outputNotifier->setEnabled(false);
    if (m_exitNotifier)
        m_exitNotifier->setEnabled(false);
    m_reaped = true; // not ours to kill or wait for any more
}

void ChildProcess::readOutput()
{
    readAvailable();
    if (!m_outputEnded)
        return;
    m_outputNotifier->setEnabled(false);
    finishIfDone();
}

void ChildProcess::readAvailable()
{
    char buffer[65536];
    for (;;) {
        const ssize_t n = retryOnEintr([&] { return ::read(m_output, buffer, sizeof buffer); });
        if (n < 0 && errno == EAGAIN)
            return;
        if (n <= 0)
            break; // end of output, or an error that ends it
        const qsizetype room = m_maxOutput - m_result.standardOutput.size();
        if (n > room)
            m_result.outputTruncated = true;
        m_result.standardOutput.append(buffer, std::clamp<qsizetype>(room, 0, n));
    }
    m_outputEnded = true;
}

void ChildProcess::finishIfDone()
{
    if (!m_outputEnded || !m_exited)
        return;
    m_deadline->stop();
    int status = 0;
    if (!m_reaped && retryOnEintr([&] { return ::waitpid(m_pid, &status, 0); }) == m_pid
        && WIFEXITED(status))
        m_result.exitCode = WEXITSTATUS(status);
    m_reaped = true;
    Q_EMIT finished(m_result);
}

bool ChildProcess::terminate(std::chrono::milliseconds grace)
{
    if (m_reaped)
        return true;
    ::kill(-m_pid, SIGTERM);
    if (m_pidfd < 0)
        return false;
    pollfd exit { m_pidfd, POLLIN, 0 };
    return retryOnEintr([&] { return ::poll(&exit, 1, int(grace.count())); }) == 1;
}

void ChildProcess::kill()
{
    m_deadline->stop();
    m_outputNotifier->setEnabled(false);
    if (m_exitNotifier)
        m_exitNotifier->setEnabled(false);
    ::kill(-m_pid, SIGKILL);
    int status = 0;
    (void)retryOnEintr([&] { return ::waitpid(m_pid, &status, 0); });
    m_reaped = true;
}
