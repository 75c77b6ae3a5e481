// The file manager: the file operations the helper performs, on path texts
// (see filesystemrepresentation.h for how texts map to file-name bytes).
//
// Failures are reported by the result (false, or an absent value); nothing
// throws except what the C++ runtime itself may (std::bad_alloc).
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <compare>
#include <mutex>
#include <optional>
#include <string_view>

// A time as the file system keeps it, to the nanosecond: seconds since
// 1970-01-01 UTC and the nanoseconds into that second. Two copies written
// within one millisecond still tell which came later.
struct FileTime
{
    qint64 seconds = 0;
    qint32 nanoseconds = 0; // 0..999999999
    friend auto operator<=>(const FileTime &, const FileTime &) = default;
};

// What fileAttributesAtPath() reports of an item.
struct FileAttributes
{
    enum class Type { Regular, Directory, SymbolicLink, Other };
    Type type = Type::Other;
    qint64 size = 0;
    FileTime modificationDate;
    uint posixPermissions = 0; // the mode's permission bits (07777)
    uint ownerAccountID = 0;
    uint groupOwnerAccountID = 0;
};

// Attributes given to an item that is being created; unset ones are left to
// the system (the umask).
struct CreationAttributes
{
    std::optional<uint> posixPermissions;
};

class FileManager
{
public:
    virtual ~FileManager();
    FileManager(const FileManager &) = delete;
    FileManager &operator=(const FileManager &) = delete;

    // The process-wide file manager on the real file system; never destroyed.
    static FileManager &defaultManager();

    // Whether instances answer an operation, named by its full selector
    // ("fileExistsAtPath:isDirectory:"). Class operations are not listed.
    static bool instancesRespondToSelector(std::string_view selector);

    // The object's own recursive lock. Callers that need a series of
    // operations to run undisturbed hold it; the operations do not take it.
    std::recursive_mutex &lock() { return m_lock; }

    [[nodiscard]] virtual QString description() const;

    // Whether something exists at the path (a symbolic link at the end is
    // followed); 'isDirectory' tells whether it is a directory.
    [[nodiscard]] virtual bool fileExistsAtPath(const QString &path,
                                                bool *isDirectory = nullptr) const = 0;
    [[nodiscard]] virtual bool isReadableFileAtPath(const QString &path) const = 0;
    [[nodiscard]] virtual bool isExecutableFileAtPath(const QString &path) const = 0;
    // Attributes of the item, of a symbolic link's target when 'traverseLink'.
    [[nodiscard]] virtual std::optional<FileAttributes>
    fileAttributesAtPath(const QString &path, bool traverseLink) const = 0;
    // The name shown to a person: the last component, without ".app" for an
    // application bundle; escaped bytes shown as U+FFFD.
    [[nodiscard]] virtual QString displayNameAtPath(const QString &path) const = 0;
    // The display names of the path's components from the root down; absent
    // when nothing exists at the path.
    [[nodiscard]] virtual std::optional<QStringList>
    componentsToDisplayForPath(const QString &path) const = 0;
    // Names of the entries directly inside a directory, in the file system's
    // order, without "." and ".."; absent when it cannot be listed.
    [[nodiscard]] virtual std::optional<QStringList>
    directoryContentsAtPath(const QString &path) const = 0;

    // Removes a file, a symbolic link (not its target) or a directory tree.
    virtual bool removeFileAtPath(const QString &path) = 0;
    // Copies a file or directory tree to a destination where nothing exists
    // yet, keeping modes and symbolic links; a half-made copy is removed.
    virtual bool copyPath(const QString &source, const QString &destination) = 0;
    // Creates one directory whose parent exists; fails when the path exists.
    virtual bool createDirectoryAtPath(const QString &path, const CreationAttributes &attributes)
        = 0;
    // Creates a file with the given contents, replacing a file that is there
    // (never following a symbolic link at the end of the path).
    virtual bool createFileAtPath(const QString &path, const QByteArray &contents,
                                  const CreationAttributes &attributes)
        = 0;

    // Path texts and file-name bytes (filesystemrepresentation.h).
    [[nodiscard]] std::optional<QByteArray> fileSystemRepresentation(const QString &path) const;
    [[nodiscard]] QString stringWithFileSystemRepresentation(const char *bytes,
                                                             qsizetype length) const;

protected:
    FileManager() = default;

private:
    std::recursive_mutex m_lock;
};
