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

QString withTilde(const QString &path, bool expandTilde)
{
    const QString home = homeDirectory();
    if (!expandTilde && (path == home || path.startsWith(home + u'/')))
        return u'~' + path.mid(home.size());
    return path;
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
    // 'subfolder' of a base folder in the user domain.
    const auto user = [&](XdgBaseFolder base, const char *subfolder = nullptr) {
        if (!(mask & UserDomain))
            return;
        QString path = xdgBaseFolder(base);
        if (subfolder)
            path += u'/' + QLatin1String(subfolder);
        result += withTilde(path, expandTilde);
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
        user(XdgBaseFolder::Data, "applications");
        local("/usr/local/share/applications");
        system("/usr/share/applications");
        break;
    case SearchPathDirectory::AdminApplication:
        local("/usr/local/sbin");
        system("/usr/sbin");
        break;
    case SearchPathDirectory::Library:
        if (mask & UserDomain)
            result += withTilde(homeDirectory() + QStringLiteral("/.local"), expandTilde);
        local("/usr/local");
        system("/usr");
        break;
    case SearchPathDirectory::User:
        local("/home");
        break;
    case SearchPathDirectory::Documentation:
        user(XdgBaseFolder::Data, "doc");
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
        user(XdgBaseFolder::Cache);
        local("/var/cache");
        break;
    case SearchPathDirectory::ApplicationSupport:
        user(XdgBaseFolder::Data);
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

QString xdgBaseFolder(XdgBaseFolder folder)
{
    switch (folder) {
    case XdgBaseFolder::Config:
        return environmentPath("XDG_CONFIG_HOME", homeDirectory() + QStringLiteral("/.config"));
    case XdgBaseFolder::Data:
        return environmentPath("XDG_DATA_HOME", homeDirectory() + QStringLiteral("/.local/share"));
    case XdgBaseFolder::Cache:
        return environmentPath("XDG_CACHE_HOME", homeDirectory() + QStringLiteral("/.cache"));
    }
    Q_UNREACHABLE();
    return {};
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
