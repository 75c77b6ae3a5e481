// Small file reading and writing helpers shared by the platform layer.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The whole contents of a regular file of at most 'maxSize' bytes; absent for
// anything else (a folder, a FIFO, a larger file, one that grows while read).
// Opened without blocking and checked through the descriptor, so a FIFO or a
// file swapped in after a check is never waited on.
[[nodiscard]] std::optional<QByteArray> readRegularFile(const QString &path, qint64 maxSize);

// Writes all bytes to a descriptor, retrying short writes and EINTR.
[[nodiscard]] bool writeAll(int fd, const char *data, qsizetype size);

// Makes the folder and its missing ancestors with 'mode' (the user's
// configuration folder may not exist yet on a fresh account); true when the
// folder is there afterwards.
[[nodiscard]] bool makeFolders(const QByteArray &path, unsigned mode);
