// Preferences domains on Linux: domain D is the property list
// ${XDG_CONFIG_HOME:-$HOME/.config}/preferences/D.plist, XML or binary. A
// domain is written in the form its file had; a new one, or an XML one
// holding a value XML cannot carry exactly, as binary only when needed. A write goes to a temporary
// file in the same folder, is flushed with fsync and renamed over the old file, so a reader never
// sees half a domain and a crash loses nothing. Reads always go to the file, so other processes'
// changes are seen at once.
#include "platform/userdefaults.h"

#include "platform/autostart.h"
#include "platform/fileio_p.h"
#include "platform/filesystemrepresentation.h"
#include "platform/propertylist.h"
#include "platform/standardpaths.h"
#include "platform/systemlog.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// The login window's domain keeps its list of login items as autostart
// entries; its other keys, if any, live in an ordinary domain file.
const QString kLoginWindow = QStringLiteral("loginwindow");
const QString kLoginItems = QStringLiteral("AutoLaunchedApplicationDictionary");

bool isPlainName(const QString &name)
{
    return !name.isEmpty() && !name.startsWith(u'.') && !name.contains(u'/')
        && !name.contains(QChar(0));
}

// The file a write lands in: the domain file, or the file its symbolic link
// names (people keep configuration in managed folders and link to it).
QByteArray writeTarget(const QByteArray &path)
{
    struct stat st;
    if (::lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
        return path;
    char resolved[PATH_MAX];
    if (::realpath(path.constData(), resolved))
        return QByteArray(resolved);
    return path; // a dangling link is replaced by the file
}

// A writer killed between creating its temporary file and renaming it
// leaves the file behind. Ours are ".NAME.XXXXXX"; one an hour old belongs to
// no write in progress (a write takes milliseconds) and is removed.
void removeStaleTemporaryFiles(const QByteArray &folder, const QByteArray &targetName)
{
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        return;
    const QByteArray prefix = '.' + targetName + '.';
    constexpr time_t kStaleAfter = 3600; // seconds
    const time_t staleBefore = ::time(nullptr) - kStaleAfter;
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArrayView name(entry->d_name);
        struct stat st;
        if (name.size() != prefix.size() + 6 || !name.startsWith(prefix)
            || ::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0
            || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() || st.st_mtime >= staleBefore)
            continue;
        ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}

// Writes 'data' to 'target' atomically, keeping the old file's mode.
bool replaceFile(const QByteArray &target, const QByteArray &data)
{
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = target.left(slash);
    if (!makeFolders(folder, 0700)) // preferences are private
        return false;
    mode_t mode = 0600;
    struct stat st;
    if (::stat(target.constData(), &st) == 0)
        mode = st.st_mode & 07777;

    removeStaleTemporaryFiles(folder, target.mid(slash + 1));
    QByteArray temporary = folder + "/." + target.mid(slash + 1) + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool written = writeAll(fd, data.constData(), data.size()) && ::fchmod(fd, mode) == 0
        && ::fsync(fd) == 0;
    if (::close(fd) != 0 || !written || ::rename(temporary.constData(), target.constData()) != 0) {
        ::unlink(temporary.constData());
        return false;
    }
    // Make the rename itself durable.
    const int folderFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        ::fsync(folderFd);
        ::close(folderFd);
    }
    return true;
}

class FileUserDefaults final : public UserDefaults
{
public:
    FileUserDefaults(const QString &configFolder, std::chrono::milliseconds lockWait)
        : m_folder(configFolder + QStringLiteral("/preferences"))
        , m_autostartFolder(configFolder + QStringLiteral("/autostart"))
        , m_lockWait(lockWait)
    { }

    std::optional<QVariantMap> persistentDomainForName(const QString &name) override
    {
        if (name == kLoginWindow) {
            QVariantMap domain = fileDomain(name).value_or(QVariantMap {});
            domain[kLoginItems] = Autostart::readLoginItems(m_autostartFolder);
            return domain;
        }
        return fileDomain(name);
    }

    bool setPersistentDomain(const QVariantMap &domain, const QString &name) override
    {
        if (name != kLoginWindow)
            return setFileDomain(domain, name);
        QVariantMap others = domain;
        const QVariant items = others.take(kLoginItems);
        if (items.isValid() && items.typeId() != QMetaType::QVariantList)
            return false;
        // The other keys need a file only when there are some, or were.
        const bool othersStored
            = (others.isEmpty() && !fileDomain(name)) || setFileDomain(others, name);
        return Autostart::writeLoginItems(m_autostartFolder, items.toList()) && othersStored;
    }

    bool synchronize() override
    {
        return true; // writes are durable when they return; reads go to disk
    }

    bool updatePersistentDomain(const QString &name, const DomainChange &change) override
    {
        // One advisory lock on the preferences folder for every update: the
        // domain files themselves are replaced by rename, so a lock on them
        // would not hold. Bounded, so a stuck process cannot hang us; past
        // the bound the update goes ahead unlocked, as it would with no
        // other updater about.
        const auto folder = fileSystemRepresentation(m_folder);
        const int lock = folder && makeFolders(*folder, 0700)
            ? ::open(folder->constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)
            : -1;
        const auto deadline = std::chrono::steady_clock::now() + m_lockWait;
        bool locked = false;
        while (lock >= 0 && !(locked = ::flock(lock, LOCK_EX | LOCK_NB) == 0)
               && (errno == EWOULDBLOCK || errno == EINTR)
               && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (!locked) {
            systemLog(QStringLiteral("Preferences: %1 could not be locked within %2 ms; "
                                     "updating %3 without the lock.")
                          .arg(m_folder)
                          .arg(m_lockWait.count())
                          .arg(name));
        }
        const bool stored = UserDefaults::updatePersistentDomain(name, change);
        if (lock >= 0)
            ::close(lock); // releases the lock
        return stored;
    }

private:
    std::optional<QVariantMap> fileDomain(const QString &name) const
    {
        if (!isPlainName(name))
            return std::nullopt;
        const auto value = PropertyList::readFile(domainPath(name));
        if (!value || value->typeId() != QMetaType::QVariantMap)
            return std::nullopt;
        return value->toMap();
    }

    bool setFileDomain(const QVariantMap &domain, const QString &name) const
    {
        if (!isPlainName(name))
            return false;
        const auto path = fileSystemRepresentation(domainPath(name));
        if (!path)
            return false;
        const QByteArray target = writeTarget(*path);
        // The host's file keeps its form: a binary one stays binary.
        auto format = PropertyList::Format::Xml;
        if (::access(target.constData(), F_OK) == 0 || errno != ENOENT) {
            const auto bytes = readRegularFile(stringWithFileSystemRepresentation(target),
                                               PropertyList::kMaxFileSize);
            const auto stored = bytes ? PropertyList::fromData(*bytes) : std::nullopt;
            if (!stored || stored->typeId() != QMetaType::QVariantMap)
                return false;
            format = PropertyList::formatOf(*bytes);
        }
        const auto data = PropertyList::toData(domain, format);
        return data && replaceFile(target, *data);
    }

    QString domainPath(const QString &name) const
    {
        return m_folder + u'/' + name + QStringLiteral(".plist");
    }

    QString m_folder;
    QString m_autostartFolder;
    std::chrono::milliseconds m_lockWait;
};

} // namespace

std::unique_ptr<UserDefaults> UserDefaults::create(std::chrono::milliseconds updateLockWait)
{
    return std::make_unique<FileUserDefaults>(xdgBaseFolder(XdgBaseFolder::Config), updateLockWait);
}
