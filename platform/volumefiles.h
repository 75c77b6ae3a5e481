// Reading files of a mounted volume without leaving it. A volume's files are
// whatever its maker put there (a disc someone burnt): names may be links
// out of it, devices or FIFOs, and files may be of any size.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The bytes of the file at 'relativePath' inside the volume mounted at
// 'volumePath'. Absent unless the path stays inside the volume: not absolute
// (neither "/x" nor "D:x", a disc's name for another drive), no "..", no
// symbolic link on the way; and unless it names a plain file of at most
// 'maxSize' bytes. Names are separated by '/'; each matches in any letter
// case when it does not match exactly, as on the discs' own file systems.
[[nodiscard]] std::optional<QByteArray> readVolumeFile(const QString &volumePath,
                                                       const QString &relativePath, qint64 maxSize);
