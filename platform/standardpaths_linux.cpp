// Standard folders on Linux: the XDG base and user folders (XDG Base Directory
// specification; xdg-user-dirs through QStandardPaths) for the user domain,
// and the Filesystem Hierarchy Standard's folders under /usr/local (local
// domain) and /usr (system domain). There is no network domain.
#include "platform/standardpaths.h"

#include "platform/filesystemrepresentation.h"

#include <QStandardPaths>

#include <pwd.h>
#include <unistd.h>

#include <vector>

namespace {

QString environmentPath(const char *name, const QString &fallback)
{
    const QByteArray value = qgetenv(name);
    if (value.startsWith('/'))
        return stringWithFileSystemRepresentation(value);
    return fallback;
}

// A user-domain folder: 'subfolder' inside the XDG variable's folder, whose
// default is 'defaultBase' in the home folder.
struct UserFolder
{
    const char *xdgVariable; // may be null
    const char *defaultBase;
    const char *subfolder = nullptr;
};

QString withTilde(const QString &path, bool expandTilde)
{
    const QString home = homeDirectory();
    if (!expandTilde && (path == home || path.startsWith(home + u'/')))
        return u'~' + path.mid(home.size());
    return path;
}

QString userFolder(const UserFolder &folder, bool expandTilde)
{
    QString path = homeDirectory() + u'/' + QLatin1String(folder.defaultBase);
    if (folder.xdgVariable)
        path = environmentPath(folder.xdgVariable, path);
    if (folder.subfolder)
        path += u'/' + QLatin1String(folder.subfolder);
    return withTilde(path, expandTilde);
}

// The account's entry, read thread-safely.
template<typename F> QString fromAccount(F field, const QString &fallback)
{
    passwd account {};
    passwd *found = nullptr;
    std::vector<char> buffer(16384);
    if (::getpwuid_r(::getuid(), &account, buffer.data(), buffer.size(), &found) == 0 && found
        && field(account))
        return stringWithFileSystemRepresentation(QByteArray(field(account)));
    return fallback;
}

QStringList foldersFor(SearchPathDirectory directory, uint mask, bool expandTilde)
{
    QStringList result;
    const auto user = [&](const UserFolder &folder) {
        if (mask & UserDomain)
            result += userFolder(folder, expandTilde);
    };
    const auto local = [&](const char *path) {
        if (mask & LocalDomain)
            result += QLatin1String(path);
    };
    const auto system = [&](const char *path) {
        if (mask & SystemDomain)
            result += QLatin1String(path);
    };
    switch (directory) {
    case SearchPathDirectory::Application:
        user({ "XDG_DATA_HOME", ".local/share", "applications" });
        local("/usr/local/share/applications");
        system("/usr/share/applications");
        break;
    case SearchPathDirectory::AdminApplication:
        local("/usr/local/sbin");
        system("/usr/sbin");
        break;
    case SearchPathDirectory::Library:
        user({ nullptr, ".local" });
        local("/usr/local");
        system("/usr");
        break;
    case SearchPathDirectory::User:
        local("/home");
        break;
    case SearchPathDirectory::Documentation:
        user({ "XDG_DATA_HOME", ".local/share", "doc" });
        local("/usr/local/share/doc");
        system("/usr/share/doc");
        break;
    case SearchPathDirectory::Document:
        if (mask & UserDomain)
            result += withTilde(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation),
                                expandTilde);
        break;
    case SearchPathDirectory::CoreService:
        system("/usr/libexec");
        break;
    case SearchPathDirectory::Desktop:
        if (mask & UserDomain)
            result += withTilde(QStandardPaths::writableLocation(QStandardPaths::DesktopLocation),
                                expandTilde);
        break;
    case SearchPathDirectory::Caches:
        user({ "XDG_CACHE_HOME", ".cache" });
        local("/var/cache");
        break;
    case SearchPathDirectory::ApplicationSupport:
        user({ "XDG_DATA_HOME", ".local/share" });
        local("/usr/local/share");
        system("/usr/share");
        break;
    case SearchPathDirectory::DemoApplication:
    case SearchPathDirectory::DeveloperApplication:
    case SearchPathDirectory::Developer:
        break; // no such folders on Linux
    case SearchPathDirectory::AllApplications:
        for (auto d :
             { SearchPathDirectory::Application, SearchPathDirectory::DemoApplication,
               SearchPathDirectory::DeveloperApplication, SearchPathDirectory::AdminApplication })
            result += foldersFor(d, mask, expandTilde);
        break;
    case SearchPathDirectory::AllLibraries:
        for (auto d : { SearchPathDirectory::Library, SearchPathDirectory::Developer })
            result += foldersFor(d, mask, expandTilde);
        break;
    }
    return result;
}

} // namespace

QStringList searchPathsForDirectoriesInDomains(SearchPathDirectory directory, uint domainMask,
                                               bool expandTilde)
{
    return foldersFor(directory, domainMask, expandTilde);
}

QString temporaryDirectory()
{
    QString path = environmentPath("TMPDIR", QStringLiteral("/tmp"));
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    return path;
}

QString homeDirectory()
{
    if (qgetenv("HOME").startsWith('/'))
        return environmentPath("HOME", {});
    return fromAccount([](const passwd &a) { return a.pw_dir; }, QStringLiteral("/"));
}

QString userName()
{
    return fromAccount([](const passwd &a) { return a.pw_name; }, QString::number(::getuid()));
}
