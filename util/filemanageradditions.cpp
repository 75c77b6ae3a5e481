#include "util/filemanageradditions.h"

#include "platform/bundle.h"
#include "platform/filesystemrepresentation.h"
#include "platform/standardpaths.h"
#include "util/stringadditions.h"

#include <QRandomGenerator>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <sys/stat.h>
#include <sys/wait.h>

using namespace std::string_view_literals;

namespace {

// The kinds of standard folder whose members get a ".localized" marker.
constexpr std::array kSearchPaths = {
    SearchPathDirectory::Application,
    SearchPathDirectory::DemoApplication,
    SearchPathDirectory::DeveloperApplication,
    SearchPathDirectory::AdminApplication,
    SearchPathDirectory::Library,
    SearchPathDirectory::Developer,
    SearchPathDirectory::User,
    SearchPathDirectory::Documentation,
    SearchPathDirectory::Document,
    SearchPathDirectory::CoreService,
    SearchPathDirectory::Desktop,
    SearchPathDirectory::Caches,
    SearchPathDirectory::ApplicationSupport,
    SearchPathDirectory::AllApplications,
    SearchPathDirectory::AllLibraries,
};

QString parentPath(const QString &path)
{
    QString trimmed = path;
    while (trimmed.size() > 1 && trimmed.endsWith(u'/'))
        trimmed.chop(1);
    const qsizetype slash = trimmed.lastIndexOf(u'/');
    if (slash < 0)
        return {};
    return slash == 0 ? QStringLiteral("/") : trimmed.left(slash);
}

} // namespace

bool createDirectoryAtPath(FileManager &fileManager, const QString &path,
                           const CreationAttributes &attributes, bool recursively)
{
    if (recursively) {
        bool isDirectory = false;
        if (fileManager.fileExistsAtPath(path, &isDirectory))
            return isDirectory;
        // A relative path whose ancestors are all missing ends at the empty
        // path, which names nothing: the creation fails there.
        const QString parent = parentPath(path);
        if (parent.isEmpty() || !createDirectoryAtPath(fileManager, parent, attributes, true))
            return false;
    }
    if (!fileManager.createDirectoryAtPath(path, attributes))
        return false;
    if (systemPaths().contains(path))
        fileManager.createFileAtPath(path + QStringLiteral("/.localized"), {}, {});
    return true;
}

const QSet<QString> &systemPaths()
{
    static std::recursive_mutex classLock;
    static const QSet<QString> *cache = nullptr;
    std::lock_guard guard(classLock);
    if (!cache) {
        QSet<QString> paths;
        for (SearchPathDirectory directory : kSearchPaths) {
            for (const QString &path :
                 searchPathsForDirectoriesInDomains(directory, AllDomains, true))
                paths.insert(path);
        }
        cache = new QSet<QString>(std::move(paths)); // kept for the life of the process
    }
    return *cache;
}

QString machOTestCommand(const QString &path, const QString &architecture)
{
    return QStringLiteral("/usr/bin/lipo -info %1 | /usr/bin/grep -w -- %2 >/dev/null 2>/dev/null")
        .arg(stringQuotedForBash(path), stringQuotedForBash(architecture));
}

bool isMachOFile(FileManager &, const QString &path, const QString &architecture)
{
    // The command's bytes as the path's own: a name that is not UTF-8 must
    // reach the shell as it is on disk.
    const auto command = fileSystemRepresentation(machOTestCommand(path, architecture));
    if (!command)
        return false;
    const int status = std::system(command->constData());
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool isSameFile(FileManager &fileManager, const QString &path1, const QString &path2)
{
    const auto first = fileManager.fileSystemRepresentation(path1);
    const auto second = fileManager.fileSystemRepresentation(path2);
    struct stat a, b;
    return first && second && !first->isEmpty() && !second->isEmpty()
        && ::stat(first->constData(), &a) == 0 && ::stat(second->constData(), &b) == 0
        && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::optional<QString> temporaryPathFromTemplate(FileManager &fileManager,
                                                 const QString &nameTemplate)
{
    const QString path = temporaryDirectory() + u'/' + nameTemplate;
    auto bytes = fileManager.fileSystemRepresentation(path);
    if (!bytes)
        return std::nullopt;
    // mktemp(3)'s contract, without its link-time warning: the trailing X
    // characters become letters and digits under which nothing exists yet.
    // (Without X characters the name itself is answered when it is free.)
    qsizetype xs = 0;
    while (xs < bytes->size() && bytes->at(bytes->size() - 1 - xs) == 'X')
        ++xs;
    static constexpr char kLetters[]
        = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 1000; ++attempt) {
        for (qsizetype i = bytes->size() - xs; i < bytes->size(); ++i)
            (*bytes)[i] = kLetters[QRandomGenerator::system()->bounded(int(sizeof kLetters - 1))];
        struct stat st;
        if (::lstat(bytes->constData(), &st) != 0 && errno == ENOENT)
            return fileManager.stringWithFileSystemRepresentation(bytes->constData(),
                                                                  bytes->size());
        if (xs == 0)
            break;
    }
    return std::nullopt;
}

std::optional<QString> getDisplayStringForPath(FileManager &fileManager, const QString &path)
{
    // A home that cannot be shown has no components, and no components lead
    // every path: the user's name is then put in front of the whole path.
    const QStringList home
        = fileManager.componentsToDisplayForPath(homeDirectory()).value_or(QStringList());
    auto components = fileManager.componentsToDisplayForPath(path);
    if (!components)
        return std::nullopt;
    if (home.size() <= components->size()
        && std::equal(home.begin(), home.end(), components->begin())) {
        components->remove(0, home.size());
        components->prepend(userName());
    }
    static const QString separatorKey = QStringLiteral(" \\U25B9 ");
    const auto mainBundle = Bundle::mainBundle();
    const QString separator
        = mainBundle ? mainBundle->localizedString(separatorKey, QString()) : separatorKey;
    return components->join(separator);
}

bool fileManagerAdditionsRespondToSelector(std::string_view selector)
{
    static constexpr std::array selectors = {
        "createDirectoryAtPath:attributes:recursively:"sv,
        "isMachOFile:withArchitecture:"sv,
        "isSameFile:asFile:"sv,
        "temporaryPathFromTemplate:"sv,
        "getDisplayStringForPath:"sv,
    };
    return std::find(selectors.begin(), selectors.end(), selector) != selectors.end();
}
