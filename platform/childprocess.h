// Running a tool and collecting what it prints, with bounds: the helper waits
// for the host's tools, so a tool that hangs or floods its output must not
// hang or flood the helper.
#pragma once

#include <QByteArray>
#include <QList>

#include <chrono>
#include <optional>

struct ChildProcessResult
{
    QByteArray standardOutput; // at most the output limit; the rest is read and dropped
    bool outputTruncated = false;
    bool timedOut = false; // killed (with everything it started) at the deadline
};

struct ChildProcessLimits
{
    std::chrono::milliseconds timeout { 30000 };
    qsizetype maxOutput = 1024 * 1024;
};

// Runs 'program' with 'arguments' (no shell), standard input at its end at
// once, standard output collected while it runs, standard error, environment
// and working folder inherited. Returns when the tool has exited and its
// output has ended, or at the deadline. Absent when it cannot be started.
[[nodiscard]] std::optional<ChildProcessResult>
runChildProcess(const QByteArray &program, const QList<QByteArray> &arguments,
                const ChildProcessLimits &limits = {});
