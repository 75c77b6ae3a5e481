// The per-user folder for temporary items: $XDG_RUNTIME_DIR/TemporaryItems
// when the runtime folder is the user's own (owner, mode 0700, as the XDG
// Base Directory specification requires) and allows running programs; else
// $XDG_CACHE_HOME/TemporaryItems. The helper runs a copy of itself from it,
// so a folder someone else could swap or write into is refused.
#include "platform/standardpaths.h"

#include "platform/fileio_p.h"
#include "platform/filesystemrepresentation.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

constexpr char kFolderName[] = "/TemporaryItems";

bool isPrivateFolder(const struct stat &info)
{
    return S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & 077) == 0;
}

// The runtime folder when it is fit to hold programs we run.
std::optional<QByteArray> runtimeFolder()
{
    const QByteArray folder = qgetenv("XDG_RUNTIME_DIR");
    struct stat info
    {
    };
    struct statvfs volume
    {
    };
    if (!folder.startsWith('/') || ::stat(folder.constData(), &info) != 0 || !isPrivateFolder(info)
        || ::statvfs(folder.constData(), &volume) != 0 || (volume.f_flag & ST_NOEXEC) != 0)
        return std::nullopt;
    return folder;
}

QByteArray cacheFolder()
{
    return fileSystemRepresentation(xdgBaseFolder(XdgBaseFolder::Cache)).value_or(QByteArray());
}

} // namespace

std::optional<QString> temporaryItemsDirectory()
{
    const QByteArray base = runtimeFolder().value_or(cacheFolder());
    // The first instance hands the copy's path to the copy, which compares it
    // with its own path as the kernel spells it: every link resolved. So the
    // base is made first (a new home has no cache folder yet) and resolved
    // after.
    if (!base.startsWith('/') || !makeFolders(base, 0700))
        return std::nullopt;
    char *resolved = ::realpath(base.constData(), nullptr);
    if (!resolved)
        return std::nullopt;
    QByteArray folder(resolved);
    std::free(resolved);
    if (folder.endsWith('/'))
        folder.chop(1);
    folder += kFolderName;

    if (::mkdir(folder.constData(), 0700) != 0 && errno != EEXIST)
        return std::nullopt;
    struct stat info
    {
    };
    // Not a symbolic link, the user's own, and nobody else may write in it.
    if (::lstat(folder.constData(), &info) != 0 || !S_ISDIR(info.st_mode)
        || info.st_uid != ::geteuid() || (info.st_mode & 022) != 0)
        return std::nullopt;
    return stringWithFileSystemRepresentation(folder);
}
