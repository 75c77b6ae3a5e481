// Starting a program that lives on by itself.
#pragma once

#include <QByteArray>
#include <QList>

// Starts 'program' with 'arguments' (argv[1..]) as a detached process: its
// own session, standard input from /dev/null, our environment, and no child
// of ours left to reap. Returns 0 once the program is running (its exec
// succeeded), otherwise the error number of what failed.
[[nodiscard]] int startDetachedProcess(const QByteArray &program,
                                       const QList<QByteArray> &arguments);
