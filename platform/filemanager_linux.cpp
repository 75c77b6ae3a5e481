// The file manager on Linux: POSIX calls on the path bytes of
// filesystemrepresentation.h. Copying and removing trees work on directory
// descriptors (openat, unlinkat) with O_NOFOLLOW, so a symbolic link inside a
// tree is copied or removed as a link and never followed out of the tree.
#include "platform/filemanager.h"

#include "platform/filedescriptor.h"
#include "platform/fileio_p.h"
#include "platform/filesystemrepresentation.h"
#include "platform/retryoneintr_p.h"

#include <QDir>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <utility>
#include <vector>

namespace {

struct DirCloser
{
    void operator()(DIR *dir) const { ::closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

bool isDotOrDotDot(const char *name)
{
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Entry names of an open directory (the descriptor is taken over).
std::optional<std::vector<QByteArray>> entryNames(int directoryFd)
{
    DirHandle dir(::fdopendir(directoryFd));
    if (!dir) {
        ::close(directoryFd);
        return std::nullopt;
    }
    std::vector<QByteArray> names;
    errno = 0;
    while (const dirent *entry = ::readdir(dir.get())) {
        if (!isDotOrDotDot(entry->d_name))
            names.emplace_back(entry->d_name);
        errno = 0;
    }
    if (errno != 0)
        return std::nullopt;
    return names;
}

FileTime fileTimeFromTimespec(const timespec &t)
{
    return { qint64(t.tv_sec), qint32(t.tv_nsec) };
}

FileAttributes attributesFromStat(const struct stat &st)
{
    FileAttributes attributes;
    if (S_ISREG(st.st_mode))
        attributes.type = FileAttributes::Type::Regular;
    else if (S_ISDIR(st.st_mode))
        attributes.type = FileAttributes::Type::Directory;
    else if (S_ISLNK(st.st_mode))
        attributes.type = FileAttributes::Type::SymbolicLink;
    attributes.size = st.st_size;
    attributes.modificationDate = fileTimeFromTimespec(st.st_mtim);
    attributes.posixPermissions = st.st_mode & 07777;
    attributes.ownerAccountID = st.st_uid;
    attributes.groupOwnerAccountID = st.st_gid;
    return attributes;
}

bool copyFileContents(int from, int to)
{
    // copy_file_range lets the file system share or clone blocks; fall back
    // to plain reads where it cannot cross file systems.
    for (;;) {
        const ssize_t n = retryOnEintr(
            [&] { return ::copy_file_range(from, nullptr, to, nullptr, 1 << 30, 0); });
        if (n == 0)
            return true;
        if (n < 0) {
            if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)
                break;
            return false;
        }
    }
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = retryOnEintr([&] { return ::read(from, buffer, sizeof buffer); });
        if (n == 0)
            return true;
        if (n < 0)
            return false;
        if (!writeAll(to, buffer, n))
            return false;
    }
}

bool removeEntryAt(int parentFd, const char *name);

bool removeDirectoryContents(int directoryFd)
{
    const int listFd = ::dup(directoryFd);
    if (listFd < 0)
        return false;
    const auto names = entryNames(listFd);
    if (!names)
        return false;
    bool ok = true;
    for (const QByteArray &name : *names)
        ok = removeEntryAt(directoryFd, name.constData()) && ok;
    return ok;
}

bool removeEntryAt(int parentFd, const char *name)
{
    struct stat st;
    if (::fstatat(parentFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    if (!S_ISDIR(st.st_mode))
        return ::unlinkat(parentFd, name, 0) == 0;
    FileDescriptor directory(
        ::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!directory)
        return false;
    // A folder of the user's own that is read-only (a bundle installed
    // 0555, copied as it was) is the user's to remove all the same.
    if (st.st_uid == ::geteuid() && (st.st_mode & S_IRWXU) != S_IRWXU)
        (void)::fchmod(directory.get(), (st.st_mode | S_IRWXU) & 07777);
    const bool contentsGone = removeDirectoryContents(directory.get());
    return ::unlinkat(parentFd, name, AT_REMOVEDIR) == 0 && contentsGone;
}

// Copies one entry and, for a folder, everything in it. Remembers the copy's
// own root so that copying a folder into itself ends instead of recursing.
class TreeCopier
{
public:
    bool copyEntryAt(int fromParent, const char *fromName, int toParent, const char *toName)
    {
        struct stat st;
        if (::fstatat(fromParent, fromName, &st, AT_SYMLINK_NOFOLLOW) != 0)
            return false;
        if (m_copyRoot && st.st_dev == m_copyRoot->first && st.st_ino == m_copyRoot->second)
            return true;
        if (S_ISLNK(st.st_mode))
            return copyLink(fromParent, fromName, toParent, toName, st);
        if (S_ISDIR(st.st_mode))
            return copyDirectory(fromParent, fromName, toParent, toName, st);
        if (S_ISREG(st.st_mode))
            return copyFile(fromParent, fromName, toParent, toName, st);
        return false; // devices, sockets and pipes have no place in a bundle
    }

private:
    static bool copyTimes(int fd, const struct stat &st)
    {
        const timespec times[2] = { st.st_atim, st.st_mtim };
        return ::futimens(fd, times) == 0;
    }

    static bool copyLink(int fromParent, const char *fromName, int toParent, const char *toName,
                         const struct stat &st)
    {
        std::vector<char> target(size_t(st.st_size) + 1);
        const ssize_t n = ::readlinkat(fromParent, fromName, target.data(), target.size());
        if (n < 0 || size_t(n) >= target.size())
            return false;
        target[size_t(n)] = '\0';
        if (::symlinkat(target.data(), toParent, toName) != 0)
            return false;
        const timespec times[2] = { st.st_atim, st.st_mtim };
        ::utimensat(toParent, toName, times, AT_SYMLINK_NOFOLLOW);
        return true;
    }

    bool copyDirectory(int fromParent, const char *fromName, int toParent, const char *toName,
                       const struct stat &st)
    {
        FileDescriptor from(
            ::openat(fromParent, fromName, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!from || ::mkdirat(toParent, toName, 0700) != 0)
            return false;
        FileDescriptor to(
            ::openat(toParent, toName, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!to)
            return false;
        if (!m_copyRoot) {
            struct stat root;
            if (::fstat(to.get(), &root) != 0)
                return false;
            m_copyRoot = std::pair(root.st_dev, root.st_ino);
        }
        const int listFd = ::dup(from.get());
        const auto names = listFd < 0 ? std::nullopt : entryNames(listFd);
        if (!names)
            return false;
        for (const QByteArray &name : *names) {
            if (!copyEntryAt(from.get(), name.constData(), to.get(), name.constData()))
                return false;
        }
        // Mode and times last: a read-only source folder must still be
        // filled. The copy's folders stay writable by their owner, so that
        // the copy can be replaced without changing modes first.
        return ::fchmod(to.get(), (st.st_mode | S_IWUSR) & 07777) == 0 && copyTimes(to.get(), st);
    }

    static bool copyFile(int fromParent, const char *fromName, int toParent, const char *toName,
                         const struct stat &st)
    {
        FileDescriptor from(::openat(fromParent, fromName, O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        if (!from)
            return false;
        FileDescriptor to(
            ::openat(toParent, toName, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!to)
            return false;
        return copyFileContents(from.get(), to.get()) && ::fchmod(to.get(), st.st_mode & 07777) == 0
            && copyTimes(to.get(), st);
    }

    std::optional<std::pair<dev_t, ino_t>> m_copyRoot;
};

// Splits path bytes into the descriptor of the parent folder and the last
// name, for the *at() calls. Trailing slashes are ignored.
struct ParentAndName
{
    FileDescriptor parent;
    QByteArray name;
};

std::optional<ParentAndName> openParent(const QByteArray &path)
{
    QByteArray trimmed = path;
    while (trimmed.size() > 1 && trimmed.endsWith('/'))
        trimmed.chop(1);
    if (trimmed.isEmpty() || trimmed == "/")
        return std::nullopt;
    const qsizetype slash = trimmed.lastIndexOf('/');
    const QByteArray parent = slash < 0 ? QByteArray(".")
        : slash == 0                    ? QByteArray("/")
                                        : trimmed.left(slash);
    ParentAndName result { FileDescriptor(
                               ::open(parent.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)),
                           trimmed.mid(slash + 1) };
    if (!result.parent || result.name == "." || result.name == "..")
        return std::nullopt;
    return result;
}

class LinuxFileManager final : public FileManager
{
public:
    QString description() const override
    {
        return QStringLiteral("<LinuxFileManager: 0x%1>").arg(quintptr(this), 0, 16);
    }

    bool fileExistsAtPath(const QString &path, bool *isDirectory) const override
    {
        struct stat st;
        const auto bytes = fileSystemRepresentation(path);
        const bool exists = bytes && !bytes->isEmpty() && ::stat(bytes->constData(), &st) == 0;
        if (isDirectory)
            *isDirectory = exists && S_ISDIR(st.st_mode);
        return exists;
    }

    bool isReadableFileAtPath(const QString &path) const override
    {
        const auto bytes = fileSystemRepresentation(path);
        return bytes && !bytes->isEmpty() && ::access(bytes->constData(), R_OK) == 0;
    }

    bool isExecutableFileAtPath(const QString &path) const override
    {
        struct stat st;
        const auto bytes = fileSystemRepresentation(path);
        return bytes && !bytes->isEmpty() && ::stat(bytes->constData(), &st) == 0
            && !S_ISDIR(st.st_mode) && ::access(bytes->constData(), X_OK) == 0;
    }

    std::optional<FileAttributes> fileAttributesAtPath(const QString &path,
                                                       bool traverseLink) const override
    {
        struct stat st;
        const auto bytes = fileSystemRepresentation(path);
        if (!bytes || bytes->isEmpty())
            return std::nullopt;
        const int rc
            = traverseLink ? ::stat(bytes->constData(), &st) : ::lstat(bytes->constData(), &st);
        if (rc != 0)
            return std::nullopt;
        return attributesFromStat(st);
    }

    QString displayNameAtPath(const QString &path) const override
    {
        QString trimmed = path;
        while (trimmed.size() > 1 && trimmed.endsWith(u'/'))
            trimmed.chop(1);
        QString name = trimmed.mid(trimmed.lastIndexOf(u'/') + 1);
        if (name.isEmpty())
            name = trimmed; // the root
        bool isDirectory = false;
        if (name.size() > 4 && name.endsWith(QStringLiteral(".app"))
            && fileExistsAtPath(path, &isDirectory) && isDirectory)
            name.chop(4);
        return displayableString(name);
    }

    std::optional<QStringList> componentsToDisplayForPath(const QString &path) const override
    {
        if (!fileExistsAtPath(path, nullptr))
            return std::nullopt;
        const QString absolute = QDir::cleanPath(
            QDir::isAbsolutePath(path) ? path : QDir::current().absoluteFilePath(path));
        QStringList components { QStringLiteral("/") };
        QString sofar;
        for (const QString &part : absolute.split(u'/', Qt::SkipEmptyParts)) {
            sofar += u'/' + part;
            components += displayNameAtPath(sofar);
        }
        return components;
    }

    std::optional<QStringList> directoryContentsAtPath(const QString &path) const override
    {
        const auto bytes = fileSystemRepresentation(path);
        if (!bytes || bytes->isEmpty())
            return std::nullopt;
        const int fd = ::open(bytes->constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return std::nullopt;
        const auto names = entryNames(fd);
        if (!names)
            return std::nullopt;
        QStringList contents;
        contents.reserve(qsizetype(names->size()));
        for (const QByteArray &name : *names)
            contents += ::stringWithFileSystemRepresentation(name);
        return contents;
    }

    bool removeFileAtPath(const QString &path) override
    {
        const auto bytes = fileSystemRepresentation(path);
        if (!bytes)
            return false;
        auto location = openParent(*bytes);
        return location && removeEntryAt(location->parent.get(), location->name.constData());
    }

    bool copyPath(const QString &source, const QString &destination) override
    {
        const auto from = fileSystemRepresentation(source);
        const auto to = fileSystemRepresentation(destination);
        if (!from || !to)
            return false;
        auto fromLocation = openParent(*from);
        auto toLocation = openParent(*to);
        if (!fromLocation || !toLocation)
            return false;
        struct stat st;
        if (::fstatat(toLocation->parent.get(), toLocation->name.constData(), &st,
                      AT_SYMLINK_NOFOLLOW)
            == 0)
            return false; // never copy over something that is there
        if (TreeCopier().copyEntryAt(fromLocation->parent.get(), fromLocation->name.constData(),
                                     toLocation->parent.get(), toLocation->name.constData()))
            return true;
        removeEntryAt(toLocation->parent.get(), toLocation->name.constData());
        return false;
    }

    bool createDirectoryAtPath(const QString &path, const CreationAttributes &attributes) override
    {
        const auto bytes = fileSystemRepresentation(path);
        if (!bytes || bytes->isEmpty() || ::mkdir(bytes->constData(), 0777) != 0)
            return false;
        if (attributes.posixPermissions)
            return ::chmod(bytes->constData(), *attributes.posixPermissions & 07777) == 0;
        return true;
    }

    bool createFileAtPath(const QString &path, const QByteArray &contents,
                          const CreationAttributes &attributes) override
    {
        const auto bytes = fileSystemRepresentation(path);
        if (!bytes || bytes->isEmpty())
            return false;
        FileDescriptor fd(::open(bytes->constData(),
                                 O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666));
        if (!fd || !writeAll(fd.get(), contents.constData(), contents.size()))
            return false;
        if (attributes.posixPermissions)
            return ::fchmod(fd.get(), *attributes.posixPermissions & 07777) == 0;
        return true;
    }
};

} // namespace

FileManager &FileManager::defaultManager()
{
    // Deliberately never destroyed: callers may use it during exit.
    static auto *manager = new LinuxFileManager;
    return *manager;
}
