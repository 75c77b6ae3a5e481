// Running a tool and collecting what it prints, with bounds: the helper waits
// for the host's tools, so a tool that hangs or floods its output must not
// hang or flood the helper, and waiting for one must not stop the event loop.
#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>

#include <chrono>
#include <memory>
#include <optional>

struct ChildProcessResult
{
    QByteArray standardOutput; // at most the output limit; the rest is read and dropped
    bool outputTruncated = false;
    bool timedOut = false; // killed (with everything it started) at the deadline
    int exitCode = -1; // its exit status; -1 when a signal ended it or it was killed
};

struct ChildProcessLimits
{
    std::chrono::milliseconds timeout { 30000 }; // zero: no deadline
    qsizetype maxOutput = 1024 * 1024;
    // Starts the tool with SIGTERM, SIGINT and SIGHUP blocked, for a tool
    // that unblocks them once it can end cleanly: a quit request sent while
    // it loads waits instead of killing it.
    bool quitSignalsHeld = false;
};

// One run of a tool, watched from the event loop of the thread that starts
// it. The tool runs in a process group of its own; destroying the object
// before it has finished kills that group at once, so a helper that quits
// while a tool runs leaves nothing behind.
class ChildProcess : public QObject
{
    Q_OBJECT
public:
    // Starts 'program' with 'arguments' (no shell), standard output
    // collected while it runs, standard error, environment and working folder
    // inherited, no other descriptor, signal dispositions as the system's
    // defaults. Standard input: at its end at once; or, with 'input', those
    // bytes (at most 256 KiB, written at once), kept open until closeInput()
    // or the object goes. Null when it cannot be started.
    [[nodiscard]] static std::unique_ptr<ChildProcess>
    start(const QByteArray &program, const QList<QByteArray> &arguments,
          const ChildProcessLimits &limits = {}, QObject *parent = nullptr,
          const std::optional<QByteArray> &input = std::nullopt);
    ~ChildProcess() override;

    // Ends the tool's standard input.
    void closeInput();
    // Waits up to 'bound' for all of 'processes' to exit, together. Blocks.
    static void waitForExits(const QList<ChildProcess *> &processes,
                             std::chrono::milliseconds bound);
    // Whether the tool has exited (it is not reaped here).
    [[nodiscard]] bool hasExited() const;
    // What the tool has written so far, up to the output limit. Reads what
    // waits in the pipe: for when the event loop has stopped.
    [[nodiscard]] QByteArray outputSoFar();
    // Lets the tool live on by itself: the object no longer watches,
    // signals or kills it.
    void release();

    // Asks the tool's process group to end (SIGTERM) and waits up to 'grace'
    // for the tool to exit; what is left is killed when the object goes.
    // Whether the tool has exited. Blocks: for ending, when the event loop
    // has stopped.
    bool terminate(std::chrono::milliseconds grace);

Q_SIGNALS:
    // Once, from the event loop: the tool has exited and its output has
    // ended, or the deadline has passed (then the group has been killed).
    // The receiver may destroy the object.
    void finished(const ChildProcessResult &result);

private:
    ChildProcess(int pid, int input, int output, int pidfd, const ChildProcessLimits &limits,
                 QObject *parent);
    void readAvailable();
    void readOutput();
    void finishIfDone();
    void kill();

    class QSocketNotifier *m_outputNotifier = nullptr;
    class QSocketNotifier *m_exitNotifier = nullptr;
    class QTimer *m_deadline = nullptr;
    int m_pid;
    int m_input;
    int m_output;
    int m_pidfd;
    qsizetype m_maxOutput;
    ChildProcessResult m_result;
    bool m_outputEnded = false;
    bool m_exited = false;
    bool m_reaped = false;
};
