// Reading a volume's files without leaving the volume: every name on the way is
// opened relative to the folder before it (openat(2)) with O_NOFOLLOW, so
// neither ".." nor a symbolic link can lead outside the volume. A file's type
// is looked at (fstatat(2), not following links) before it is opened, so a
// device or FIFO on the volume is never opened at all; O_NONBLOCK covers one
// swapped in between the look and the open.
#include "platform/volumefiles.h"

#include "platform/filedescriptor.h"
#include "platform/filesystemrepresentation.h"
#include "platform/retryoneintr_p.h"

#include <QStringList>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

// Enough for any disc; a folder with more entries is not searched further.
constexpr int kMaxEntriesSearched = 65536;

// The entry of the folder 'directory' named 'name', the exact name first,
// else the first in byte order that matches in any letter case.
std::optional<QByteArray> entryNamed(const FileDescriptor &directory, const QString &name)
{
    auto exact = fileSystemRepresentation(name);
    if (!exact || exact->isEmpty() || exact->contains('/'))
        return std::nullopt;
    struct stat status;
    if (::fstatat(directory.get(), exact->constData(), &status, AT_SYMLINK_NOFOLLOW) == 0)
        return exact;
    if (errno != ENOENT)
        return std::nullopt;

    // readdir on a descriptor of our own: it moves the offset it reads from.
    const int copy = ::openat(directory.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *folder = copy >= 0 ? ::fdopendir(copy) : nullptr;
    if (!folder) {
        if (copy >= 0)
            ::close(copy);
        return std::nullopt;
    }
    std::optional<QByteArray> found;
    int searched = 0;
    while (const dirent *entry = ::readdir(folder)) {
        if (++searched > kMaxEntriesSearched)
            break;
        const QByteArray candidate(entry->d_name);
        if (candidate == "." || candidate == "..")
            continue;
        if (stringWithFileSystemRepresentation(candidate).compare(name, Qt::CaseInsensitive) == 0
            && (!found || candidate < *found))
            found = candidate;
    }
    ::closedir(folder);
    return found;
}

std::optional<QByteArray> readPlainFile(const FileDescriptor &directory, const QByteArray &name,
                                        qint64 maxSize)
{
    // Opening a device can act on it, and opening a FIFO for reading wakes
    // its writer: only a plain file is opened.
    struct stat named;
    if (::fstatat(directory.get(), name.constData(), &named, AT_SYMLINK_NOFOLLOW) != 0
        || !S_ISREG(named.st_mode) || named.st_size > maxSize)
        return std::nullopt;
    const FileDescriptor file(::openat(directory.get(), name.constData(),
                                       O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat status;
    if (!file.isValid() || ::fstat(file.get(), &status) != 0 || status.st_dev != named.st_dev
        || status.st_ino != named.st_ino || !S_ISREG(status.st_mode) || status.st_size > maxSize)
        return std::nullopt;
    // Read one byte past the limit: a file may grow between fstat and read.
    QByteArray bytes(qsizetype(maxSize + 1), Qt::Uninitialized);
    qsizetype used = 0;
    while (used < bytes.size()) {
        const ssize_t n = retryOnEintr(
            [&] { return ::read(file.get(), bytes.data() + used, size_t(bytes.size() - used)); });
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            break;
        used += n;
    }
    if (used > maxSize)
        return std::nullopt;
    bytes.truncate(used);
    return bytes;
}

FileDescriptor openVolume(const QString &volumePath)
{
    // The mount point itself may be reached through links: it is the volume.
    const auto path = fileSystemRepresentation(volumePath);
    return FileDescriptor(path ? ::open(path->constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                               : -1);
}

} // namespace

std::optional<QByteArray> readVolumeFile(const QString &volumePath, const QString &relativePath,
                                         qint64 maxSize)
{
    // "/x", "\x" (already '/') and "D:x" name places outside the volume.
    if (relativePath.startsWith(u'/') || (relativePath.size() >= 2 && relativePath[1] == u':'))
        return std::nullopt;
    QStringList names = relativePath.split(u'/', Qt::SkipEmptyParts);
    names.removeAll(QStringLiteral("."));
    if (names.isEmpty() || names.contains(QStringLiteral("..")))
        return std::nullopt;

    FileDescriptor folder = openVolume(volumePath);
    if (!folder.isValid())
        return std::nullopt;
    for (qsizetype i = 0; i + 1 < names.size(); ++i) {
        const auto name = entryNamed(folder, names[i]);
        if (!name)
            return std::nullopt;
        FileDescriptor next(::openat(folder.get(), name->constData(),
                                     O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!next.isValid())
            return std::nullopt;
        folder = std::move(next);
    }
    const auto name = entryNamed(folder, names.last());
    return name ? readPlainFile(folder, *name, maxSize) : std::nullopt;
}
