#include "platform/filemanager.h"

#include "platform/filesystemrepresentation.h"

#include <algorithm>
#include <array>

using namespace std::string_view_literals;

FileManager::~FileManager() = default;

bool FileManager::instancesRespondToSelector(std::string_view selector)
{
    static constexpr std::array selectors = {
        "fileExistsAtPath:isDirectory:"sv,
        "isReadableFileAtPath:"sv,
        "isExecutableFileAtPath:"sv,
        "fileAttributesAtPath:traverseLink:"sv,
        "displayNameAtPath:"sv,
        "componentsToDisplayForPath:"sv,
        "directoryContentsAtPath:"sv,
        "removeFileAtPath:handler:"sv,
        "copyPath:toPath:handler:"sv,
        "createDirectoryAtPath:attributes:"sv,
        "createFileAtPath:contents:attributes:"sv,
        "fileSystemRepresentationWithPath:"sv,
        "stringWithFileSystemRepresentation:length:"sv,
        "description"sv,
    };
    return std::find(selectors.begin(), selectors.end(), selector) != selectors.end();
}

QString FileManager::description() const
{
    return QStringLiteral("<FileManager: 0x%1>").arg(quintptr(this), 0, 16);
}

std::optional<QByteArray> FileManager::fileSystemRepresentation(const QString &path) const
{
    return ::fileSystemRepresentation(path);
}

QString FileManager::stringWithFileSystemRepresentation(const char *bytes, qsizetype length) const
{
    return ::stringWithFileSystemRepresentation(bytes, length);
}
