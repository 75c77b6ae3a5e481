// The session's instance on Linux: an flock(2) on "<key>.lock" in the
// user's private folder marks it, and a Unix stream socket "<key>.socket"
// beside it takes other starts' open-file requests (each request a path
// followed by NUL; the answer "YES\n"). The lock passes from a program to
// the one it starts by inheritance of the locked open file, so there is no
// moment at which two starts could both hold it. It is handed on as
// descriptor 3, the only one a started program gets beyond its standard
// streams.
#include "platform/sessioninstance.h"

#include "platform/descriptorreserve.h"
#include "platform/detachedprocess.h"
#include "platform/filesystemrepresentation.h"
#include "platform/retryoneintr_p.h"
#include "platform/spawndescriptors_p.h"
#include "platform/systemlog.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr char kInheritedLock[] = "RARURU_SESSION_INSTANCE_FD";
constexpr qsizetype kMaxRequests = qsizetype(64) * 1024;
constexpr std::chrono::seconds kConnectionPatience { 2 };
// Starts hand over in milliseconds; more connections at once than this are
// someone holding them open, and each would cost a descriptor.
constexpr int kMaxConnections = 32;
// How long the listener rests when taking a connection fails for want of
// descriptors or memory: it stays readable, and would otherwise spin.
constexpr std::chrono::milliseconds kListenerRest { 200 };

// The socket's address; through /proc when the folder's path is too long
// for sockaddr_un.
std::optional<sockaddr_un> socketAddress(int folder, const QByteArray &folderPath,
                                         const QByteArray &name)
{
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    QByteArray path = folderPath + '/' + name;
    if (path.size() >= qsizetype(sizeof address.sun_path))
        path = "/proc/self/fd/" + QByteArray::number(folder) + '/' + name;
    if (path.size() >= qsizetype(sizeof address.sun_path))
        return std::nullopt;
    std::copy(path.begin(), path.end(), address.sun_path);
    return address;
}

// A claim the starting program passed on, when it is the lock file's.
int inheritedLock(int folder, const QByteArray &lockName)
{
    const QByteArray value = qgetenv(kInheritedLock);
    ::unsetenv(kInheritedLock); // programs this one starts must not see it
    bool ok = false;
    const int fd = value.toInt(&ok);
    struct stat held
    {
    }, named {};
    if (!ok || fd <= STDERR_FILENO || ::fstat(fd, &held) != 0
        || ::fstatat(folder, lockName.constData(), &named, AT_SYMLINK_NOFOLLOW) != 0
        || held.st_dev != named.st_dev || held.st_ino != named.st_ino
        || ::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return -1;
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    return fd;
}

// The lock file, opened; -1 (with errno) when it cannot be. Anything at its
// name but a plain file of ours counts as EEXIST: a link or a folder would
// let every start hold a lock of its own, a FIFO none at all.
int openLock(int folder, const QByteArray &lockName)
{
    const int fd = ::openat(folder, lockName.constData(),
                            O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    struct stat info
    {
    };
    if (fd >= 0 && ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid())
        return fd;
    const int error = fd >= 0 ? EEXIST : errno;
    if (fd >= 0)
        ::close(fd);
    errno = error;
    return -1;
}

// Moves what holds the lock's name aside when it is no lock of ours (see
// openLock), keeping it: it may be the user's. Starts doing this at once
// take turns on the folder and look again, so that no start moves a lock
// another has just made. False when it cannot be moved.
bool setUnfitLockAside(int folder, const QByteArray &lockName)
{
    const int turn = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (turn < 0 || ::flock(turn, LOCK_EX) != 0) {
        if (turn >= 0)
            ::close(turn);
        return false;
    }
    bool fit = false;
    struct stat info
    {
    };
    if (::fstatat(folder, lockName.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        fit = errno == ENOENT;
    else
        fit = S_ISREG(info.st_mode) && info.st_uid == ::geteuid();
    bool moved = false;
    if (!fit) {
        const QByteArray aside
            = lockName + '.' + QByteArray::number(quint64(info.st_ino)) + ".unfit";
        moved = ::renameat(folder, lockName.constData(), folder, aside.constData()) == 0;
        const char *what = S_ISLNK(info.st_mode) ? "a symbolic link"
            : S_ISDIR(info.st_mode)              ? "a folder"
            : S_ISFIFO(info.st_mode)             ? "a FIFO"
            : info.st_uid != ::geteuid()         ? "another user's file"
                                                 : "no plain file";
        systemLog(moved
                      ? QStringLiteral("The session lock %1 was %2; it was moved aside as %3.")
                            .arg(stringWithFileSystemRepresentation(lockName), QLatin1String(what),
                                 stringWithFileSystemRepresentation(aside))
                      : QStringLiteral("The session lock %1 is %2 and cannot be moved aside: %3")
                            .arg(stringWithFileSystemRepresentation(lockName), QLatin1String(what),
                                 QString::fromLocal8Bit(std::strerror(errno))));
    }
    ::close(turn); // gives the turn up
    return fit || moved;
}

// Hands 'requests' to the instance listening at 'address'; true once it
// has answered.
bool handOver(const sockaddr_un &address, const QStringList &requests)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const timeval patience { kConnectionPatience.count(), 0 };
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &patience, sizeof patience);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    bool answered = false;
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0) {
        QByteArray message;
        for (const QString &request : requests)
            message += fileSystemRepresentation(request).value_or(QByteArray()) + '\0';
        qsizetype sent = 0;
        while (sent < message.size()) {
            const ssize_t n = retryOnEintr([&] {
                return ::send(fd, message.constData() + sent, size_t(message.size() - sent),
                              MSG_NOSIGNAL);
            });
            if (n <= 0)
                break;
            sent += n;
        }
        ::shutdown(fd, SHUT_WR);
        char answer[4] = {};
        const ssize_t n = retryOnEintr([&] { return ::recv(fd, answer, 3, MSG_WAITALL); });
        answered = sent == message.size() && n == 3 && qstrncmp(answer, "YES", 3) == 0;
    }
    ::close(fd);
    return answered;
}

// One other start's connection, read without blocking the event loop.
class Connection : public QObject
{
public:
    Connection(int fd, SessionInstance *instance, int &count)
        : QObject(instance)
        , m_fd(fd)
        , m_notifier(fd, QSocketNotifier::Read, this)
        , m_count(count)
    {
        ++m_count;
        connect(&m_notifier, &QSocketNotifier::activated, this, [this, instance] {
            char buffer[4096];
            const ssize_t n = retryOnEintr([&] { return ::recv(m_fd, buffer, sizeof buffer, 0); });
            if (n < 0 && errno == EAGAIN)
                return;
            if (n > 0 && m_received.size() + n <= kMaxRequests) {
                m_received.append(buffer, n);
                return;
            }
            m_notifier.setEnabled(false);
            if (n == 0)
                answer(instance);
            deleteLater();
        });
        QTimer::singleShot(kConnectionPatience, this, [this] {
            m_notifier.setEnabled(false);
            deleteLater();
        });
    }
    ~Connection() override
    {
        --m_count;
        ::close(m_fd);
    }

private:
    void answer(SessionInstance *instance)
    {
        (void)::send(m_fd, "YES\n", 4, MSG_NOSIGNAL | MSG_DONTWAIT);
        QList<QByteArray> requests = m_received.split('\0');
        requests.removeLast(); // what follows the last NUL is no request
        for (const QByteArray &request : requests)
            Q_EMIT instance->openFileRequested(stringWithFileSystemRepresentation(request));
    }

    int m_fd;
    QSocketNotifier m_notifier;
    QByteArray m_received;
    int &m_count;
};

} // namespace

SessionInstance::Claim SessionInstance::claim(const QString &folderPath, const QString &key,
                                              const QStringList &requests,
                                              std::chrono::milliseconds patience)
{
    const auto folderBytes = fileSystemRepresentation(folderPath);
    auto safeKey = fileSystemRepresentation(key);
    if (!folderBytes || !safeKey || safeKey->isEmpty())
        return { Outcome::Unavailable, nullptr };
    safeKey->replace('/', '_');
    const int folder = ::open(folderBytes->constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        return { Outcome::Unavailable, nullptr };
    const QByteArray lockName = *safeKey + ".lock";
    QByteArray socketName = *safeKey + ".socket";
    const auto address = socketAddress(folder, *folderBytes, socketName);

    int lock = inheritedLock(folder, lockName);
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (lock < 0) {
        const int candidate = openLock(folder, lockName);
        if (candidate < 0) {
            const bool unfit = errno == EEXIST || errno == ELOOP || errno == EISDIR
                || errno == ENXIO || errno == EACCES;
            if (unfit && setUnfitLockAside(folder, lockName))
                continue;
            ::close(folder);
            return { Outcome::Unavailable, nullptr };
        }
        if (::flock(candidate, LOCK_EX | LOCK_NB) == 0) {
            lock = candidate;
            break;
        }
        ::close(candidate);
        if (address && handOver(*address, requests)) {
            ::close(folder);
            return { Outcome::HandedOver, nullptr };
        }
        if (std::chrono::steady_clock::now() > deadline) {
            systemLog(QStringLiteral("Another instance holds this session but does not answer; "
                                     "this start ends."));
            ::close(folder);
            return { Outcome::HandedOver, nullptr };
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return { Outcome::Claimed,
             std::unique_ptr<SessionInstance>(
                 new SessionInstance(lock, folder, std::move(socketName))) };
}

SessionInstance::SessionInstance(int lock, int folder, QByteArray socketName)
    : m_lock(lock)
    , m_folder(folder)
    , m_socketName(std::move(socketName))
{ }

SessionInstance::~SessionInstance()
{
    stopListening();
    ::close(m_lock);
    ::close(m_folder);
}

void SessionInstance::listen()
{
    if (m_listener >= 0 || m_passed)
        return;
    char folderPath[64];
    std::snprintf(folderPath, sizeof folderPath, "/proc/self/fd/%d", m_folder);
    char resolved[PATH_MAX];
    const ssize_t length = ::readlink(folderPath, resolved, sizeof resolved - 1);
    if (length <= 0)
        return;
    const auto address = socketAddress(m_folder, QByteArray(resolved, length), m_socketName);
    if (!address)
        return;
    // A socket file left by an instance that ended without cleaning up;
    // only the holder of the lock ever binds, so nobody else's is removed.
    ::unlinkat(m_folder, m_socketName.constData(), 0);
    m_listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_listener < 0
        || ::bind(m_listener, reinterpret_cast<const sockaddr *>(&*address), sizeof *address) != 0
        || ::listen(m_listener, 16) != 0) {
        systemLog(QStringLiteral("Other starts of the helper cannot reach this one: %1")
                      .arg(QString::fromLocal8Bit(std::strerror(errno))));
        stopListening();
        return;
    }
    (void)DescriptorReserve::hold();
    m_listenerNotifier = new QSocketNotifier(m_listener, QSocketNotifier::Read, this);
    connect(m_listenerNotifier, &QSocketNotifier::activated, this, &SessionInstance::accept);
}

void SessionInstance::stopListening()
{
    if (m_listener < 0)
        return;
    delete m_listenerNotifier; // before its descriptor goes
    m_listenerNotifier = nullptr;
    ::close(m_listener);
    m_listener = -1;
    ::unlinkat(m_folder, m_socketName.constData(), 0);
}

bool SessionInstance::passToNextProgram()
{
    stopListening();
    m_passed = true;
    passDescriptorToNextDetachedProcess(m_lock);
    return ::setenv(kInheritedLock, QByteArray::number(kPassedDescriptor).constData(), 1) == 0;
}

void SessionInstance::accept()
{
    for (;;) {
        const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd >= 0) {
            if (m_connections < kMaxConnections)
                new Connection(fd, this, m_connections);
            else
                ::close(fd);
            continue;
        }
        if (errno == EINTR || errno == ECONNABORTED)
            continue;
        if (errno == EAGAIN)
            return;
        if (errno == EMFILE) {
            // The reserve takes this one off the queue, to close it; the
            // client learns at once, and the queue drains.
            const DescriptorReserve::Released spare;
            const int refused = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (refused >= 0) {
                ::close(refused);
                continue;
            }
        }
        // Out of descriptors or memory with nothing to give back: rest
        // rather than spin on a listener that stays readable.
        m_listenerNotifier->setEnabled(false);
        QTimer::singleShot(kListenerRest, m_listenerNotifier,
                           [notifier = m_listenerNotifier] { notifier->setEnabled(true); });
        return;
    }
}
