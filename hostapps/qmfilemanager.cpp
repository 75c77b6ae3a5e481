#include "hostapps/qmfilemanager.h"

#include "util/filemanageradditions.h"

#include <mutex>

QMFileManager *QMFileManager::defaultManager()
{
    static std::mutex classLock;
    static QMFileManager *singleton = nullptr;
    std::lock_guard guard(classLock);
    if (!singleton)
        singleton = new QMFileManager(FileManager::defaultManager()); // lives until exit
    return singleton;
}

QMFileManager::QMFileManager(FileManager &realFileManager)
    : m_realFileManager(realFileManager)
{ }

QString QMFileManager::description() const
{
    return QStringLiteral("<QMFileManager: 0x%1> proxy for: %2")
        .arg(quintptr(this), 0, 16)
        .arg(forward([](FileManager &m) { return m.description(); }));
}

bool QMFileManager::respondsToSelector(std::string_view selector) const
{
    return FileManager::instancesRespondToSelector(selector)
        || fileManagerAdditionsRespondToSelector(selector);
}

bool QMFileManager::fileExistsAtPath(const QString &path, bool *isDirectory)
{
    return forward([&](FileManager &m) { return m.fileExistsAtPath(path, isDirectory); });
}

bool QMFileManager::isReadableFileAtPath(const QString &path)
{
    return forward([&](FileManager &m) { return m.isReadableFileAtPath(path); });
}

bool QMFileManager::isExecutableFileAtPath(const QString &path)
{
    return forward([&](FileManager &m) { return m.isExecutableFileAtPath(path); });
}

std::optional<FileAttributes> QMFileManager::fileAttributesAtPath(const QString &path,
                                                                  bool traverseLink)
{
    return forward([&](FileManager &m) { return m.fileAttributesAtPath(path, traverseLink); });
}

QString QMFileManager::displayNameAtPath(const QString &path)
{
    return forward([&](FileManager &m) { return m.displayNameAtPath(path); });
}

std::optional<QStringList> QMFileManager::componentsToDisplayForPath(const QString &path)
{
    return forward([&](FileManager &m) { return m.componentsToDisplayForPath(path); });
}

std::optional<QStringList> QMFileManager::directoryContentsAtPath(const QString &path)
{
    return forward([&](FileManager &m) { return m.directoryContentsAtPath(path); });
}

bool QMFileManager::removeFileAtPath(const QString &path)
{
    return forward([&](FileManager &m) { return m.removeFileAtPath(path); });
}

bool QMFileManager::copyPath(const QString &source, const QString &destination)
{
    return forward([&](FileManager &m) { return m.copyPath(source, destination); });
}

bool QMFileManager::createDirectoryAtPath(const QString &path, const CreationAttributes &attributes)
{
    return forward([&](FileManager &m) { return m.createDirectoryAtPath(path, attributes); });
}

bool QMFileManager::createFileAtPath(const QString &path, const QByteArray &contents,
                                     const CreationAttributes &attributes)
{
    return forward([&](FileManager &m) { return m.createFileAtPath(path, contents, attributes); });
}

std::optional<QByteArray> QMFileManager::fileSystemRepresentation(const QString &path)
{
    return forward([&](FileManager &m) { return m.fileSystemRepresentation(path); });
}

QString QMFileManager::stringWithFileSystemRepresentation(const char *bytes, qsizetype length)
{
    return forward(
        [&](FileManager &m) { return m.stringWithFileSystemRepresentation(bytes, length); });
}

bool QMFileManager::createDirectoryAtPath(const QString &path, const CreationAttributes &attributes,
                                          bool recursively)
{
    return forward(
        [&](FileManager &m) { return ::createDirectoryAtPath(m, path, attributes, recursively); });
}

bool QMFileManager::isMachOFile(const QString &path, const QString &architecture)
{
    return forward([&](FileManager &m) { return ::isMachOFile(m, path, architecture); });
}

bool QMFileManager::isSameFile(const QString &path1, const QString &path2)
{
    return forward([&](FileManager &m) { return ::isSameFile(m, path1, path2); });
}

std::optional<QString> QMFileManager::temporaryPathFromTemplate(const QString &nameTemplate)
{
    return forward([&](FileManager &m) { return ::temporaryPathFromTemplate(m, nameTemplate); });
}

std::optional<QString> QMFileManager::getDisplayStringForPath(const QString &path)
{
    return forward([&](FileManager &m) { return ::getDisplayStringForPath(m, path); });
}
