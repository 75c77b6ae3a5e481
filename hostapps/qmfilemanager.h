// The shared file manager: one process-wide object through which the helper
// sends every file operation. Each operation runs on the wrapped file manager
// while holding that manager's recursive lock, so at most one runs at a time
// in the whole process, whichever thread sends it. An exception thrown inside
// an operation releases the lock and reaches the caller unchanged.
#pragma once

#include "platform/filemanager.h"

#include <QSet>

#include <optional>
#include <string_view>

class QMFileManager
{
public:
    // The shared instance, wrapping FileManager::defaultManager(); made on
    // the first call (under the class's lock), then the same object for the
    // life of the process.
    static QMFileManager *defaultManager();

    // A manager forwarding to 'realFileManager', which must outlive it.
    explicit QMFileManager(FileManager &realFileManager);
    QMFileManager(const QMFileManager &) = delete;
    QMFileManager &operator=(const QMFileManager &) = delete;

    // "<QMFileManager: 0x...> proxy for: <the wrapped manager's description>"
    [[nodiscard]] QString description() const;
    // Answers as the file manager's instances do, additions included.
    [[nodiscard]] bool respondsToSelector(std::string_view selector) const;

    // Forwarded operations; see FileManager and filemanageradditions.h.
    [[nodiscard]] bool fileExistsAtPath(const QString &path, bool *isDirectory = nullptr);
    [[nodiscard]] bool isReadableFileAtPath(const QString &path);
    [[nodiscard]] bool isExecutableFileAtPath(const QString &path);
    [[nodiscard]] std::optional<FileAttributes> fileAttributesAtPath(const QString &path,
                                                                     bool traverseLink);
    [[nodiscard]] QString displayNameAtPath(const QString &path);
    [[nodiscard]] std::optional<QStringList> componentsToDisplayForPath(const QString &path);
    [[nodiscard]] std::optional<QStringList> directoryContentsAtPath(const QString &path);
    bool removeFileAtPath(const QString &path);
    bool copyPath(const QString &source, const QString &destination);
    bool createDirectoryAtPath(const QString &path, const CreationAttributes &attributes);
    bool createFileAtPath(const QString &path, const QByteArray &contents,
                          const CreationAttributes &attributes);
    [[nodiscard]] std::optional<QByteArray> fileSystemRepresentation(const QString &path);
    [[nodiscard]] QString stringWithFileSystemRepresentation(const char *bytes, qsizetype length);

    bool createDirectoryAtPath(const QString &path, const CreationAttributes &attributes,
                               bool recursively);
    [[nodiscard]] bool isMachOFile(const QString &path, const QString &architecture);
    [[nodiscard]] bool isSameFile(const QString &path1, const QString &path2);
    [[nodiscard]] std::optional<QString> temporaryPathFromTemplate(const QString &nameTemplate);
    [[nodiscard]] std::optional<QString> getDisplayStringForPath(const QString &path);

private:
    template<typename Operation> decltype(auto) forward(Operation &&operation) const
    {
        std::lock_guard guard(m_realFileManager.lock());
        return operation(m_realFileManager);
    }

    FileManager &m_realFileManager;
};
