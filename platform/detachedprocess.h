// Starting a program that lives on by itself.
#pragma once

#include <QByteArray>
#include <QList>

// Starts 'program' with 'arguments' (argv[1..]) as a detached process: its
// own session, standard input from /dev/null, standard output and error
// both our standard error (/dev/null when that is a pipe), no other
// descriptor (but the one passed, below), our environment. It is reaped
// when it ends (from the calling thread's event loop where it has one), so
// it leaves no zombie. Returns 0 once the program is running (its exec
// succeeded), otherwise the error number of what failed.
[[nodiscard]] int startDetachedProcess(const QByteArray &program,
                                       const QList<QByteArray> &arguments);

// Hands 'fd' to the next program startDetachedProcess starts, as its
// descriptor 3, and to no later one; it need not be inheritable.
void passDescriptorToNextDetachedProcess(int fd);
