// One instance per session, with real processes: the other starts run in
// children of their own, as they would in a session.
#include "platform/sessioninstance.h"

#include "platform/filesystemrepresentation.h"
#include "tests/testsupport.h"

#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

const QString kKey = u"org.example.Session Helper"_s;

// What a claim made by another process came to, while this one serves its
// event loop; -1 when that process failed.
int claimElsewhere(const QString &folder, const QStringList &requests,
                   std::chrono::milliseconds patience)
{
    const pid_t child = ::fork();
    if (child == 0) {
        const auto claim = SessionInstance::claim(folder, kKey, requests, patience);
        ::_exit(int(claim.outcome));
    }
    int status = 0;
    (void)QTest::qWaitFor([&] { return ::waitpid(child, &status, WNOHANG) != 0; }, 20000);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(SessionInstance, OneClaimsTheOthersHandOverOrWait)
{
    QTemporaryDir dir;
    auto first = SessionInstance::claim(dir.path(), kKey, {});
    ASSERT_EQ(first.outcome, SessionInstance::Outcome::Claimed);
    // A socket file left by an instance that died does not stand in the way.
    test::writeFile(dir.path() + u'/' + kKey + u".socket"_s, "stale");
    first.instance->listen();
    QStringList received;
    QObject::connect(first.instance.get(), &SessionInstance::openFileRequested,
                     [&received](const QString &path) { received += path; });

    const QStringList requests { u"/media/a b"_s,
                                 stringWithFileSystemRepresentation("/media/x\xff\ny") };
    EXPECT_EQ(claimElsewhere(dir.path(), requests, 5s), int(SessionInstance::Outcome::HandedOver));
    EXPECT_EQ(received, requests);

    // An instance that is ending answers no more; the start waits, then
    // gives up rather than run beside it.
    first.instance->stopListening();
    EXPECT_EQ(claimElsewhere(dir.path(), {}, 300ms), int(SessionInstance::Outcome::HandedOver));
    EXPECT_EQ(received, requests) << "nothing reached an instance that stopped listening";

    // Once it has gone, the next start is the instance.
    first.instance.reset();
    EXPECT_EQ(claimElsewhere(dir.path(), {}, 300ms), int(SessionInstance::Outcome::Claimed));

    EXPECT_EQ(SessionInstance::claim(dir.path() + u"/missing"_s, kKey, {}).outcome,
              SessionInstance::Outcome::Unavailable);
}

TEST(SessionInstance, ALockThatIsNoPlainFileOfOursIsMovedAside)
{
    const auto makeFile = [](const QByteArray &path) {
        test::writeFile(QFile::decodeName(path), "someone's");
        return ::chown(path.constData(), 65534, 65534) == 0;
    };
    const std::pair<const char *, std::function<bool(const QByteArray &)>> cases[] = {
        { "symbolic link",
          [](const QByteArray &path) { return ::symlink("elsewhere", path) == 0; } },
        { "dangling link to a folder",
          [](const QByteArray &path) { return ::symlink("/", path) == 0; } },
        { "folder", [](const QByteArray &path) { return ::mkdir(path, 0700) == 0; } },
        { "FIFO", [](const QByteArray &path) { return ::mkfifo(path, 0600) == 0; } },
        { "another user's file", makeFile },
    };
    for (const auto &[what, make] : cases) {
        SCOPED_TRACE(what);
        QTemporaryDir dir;
        const QByteArray lock = QFile::encodeName(dir.path() + u'/' + kKey + u".lock"_s);
        if (!make(lock))
            continue; // another user's file needs root
        struct stat unfit
        {
        };
        ASSERT_EQ(::lstat(lock, &unfit), 0);

        // Said once, on standard error as in the system log.
        QTemporaryFile said;
        ASSERT_TRUE(said.open());
        const int standardError = ::dup(STDERR_FILENO);
        ::dup2(said.handle(), STDERR_FILENO);
        auto first = SessionInstance::claim(dir.path(), kKey, {});
        ::dup2(standardError, STDERR_FILENO);
        ::close(standardError);
        ASSERT_EQ(first.outcome, SessionInstance::Outcome::Claimed);
        EXPECT_EQ(test::readFile(said.fileName()).count('\n'), 1);

        first.instance->listen();
        EXPECT_EQ(claimElsewhere(dir.path(), {}, 5s), int(SessionInstance::Outcome::HandedOver));
        struct stat kept
        {
        };
        EXPECT_EQ(::lstat(lock + '.' + QByteArray::number(quint64(unfit.st_ino)) + ".unfit", &kept),
                  0);
        EXPECT_EQ(kept.st_mode, unfit.st_mode) << "kept as it was";
    }
}

// A client that holds connections open, or a process out of descriptors,
// must neither hold up other starts for good nor spin the event loop: what
// cannot be served is closed at once. The number of 'connections', made by
// a child while this process serves the instance (with no descriptor left
// when 'exhausted'), that the instance closed within a second.
int closedOf(int connections, bool exhausted, const QString &folder)
{
    sockaddr_un address { AF_UNIX, {} };
    const QByteArray path = QFile::encodeName(folder + u'/' + kKey + u".socket"_s);
    std::copy(path.begin(), path.end(), address.sun_path);
    int go[2];
    if (::pipe2(go, O_CLOEXEC) != 0)
        return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        char byte;
        (void)!::read(go[0], &byte, 1);
        pollfd sockets[64];
        for (int i = 0; i < connections; ++i) {
            sockets[i] = { ::socket(AF_UNIX, SOCK_STREAM, 0), POLLIN, 0 };
            (void)::connect(sockets[i].fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
        }
        ::sleep(1);
        (void)::poll(sockets, nfds_t(connections), 0);
        int closed = 0;
        for (int i = 0; i < connections; ++i)
            closed += sockets[i].revents != 0 && ::recv(sockets[i].fd, &byte, 1, 0) == 0;
        ::_exit(closed);
    }
    rlimit saved {};
    ::getrlimit(RLIMIT_NOFILE, &saved);
    QList<int> fillers;
    if (exhausted) {
        rlimit low = saved;
        low.rlim_cur = 512;
        ::setrlimit(RLIMIT_NOFILE, &low);
        int fd;
        while (fillers.size() < 1024 && (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0)
            fillers += fd;
    }
    (void)!::write(go[1], "!", 1);
    int status = 0;
    (void)QTest::qWaitFor([&] { return ::waitpid(child, &status, WNOHANG) != 0; }, 20000);
    for (int fd : fillers)
        ::close(fd);
    ::setrlimit(RLIMIT_NOFILE, &saved);
    ::close(go[0]);
    ::close(go[1]);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(SessionInstance, ConnectionsAreBoundedAndTheLoopNeverSpins)
{
    QTemporaryDir dir;
    auto claim = SessionInstance::claim(dir.path(), kKey, {});
    ASSERT_EQ(claim.outcome, SessionInstance::Outcome::Claimed);
    claim.instance->listen();
    // Thirty-two silent connections are waited for; beyond them, and with
    // no descriptor left at all, each is closed at once.
    EXPECT_EQ(closedOf(40, false, dir.path()), 8);
    EXPECT_EQ(closedOf(5, true, dir.path()), 5);
    // Served again once descriptors are back.
    EXPECT_EQ(claimElsewhere(dir.path(), {}, 5s), int(SessionInstance::Outcome::HandedOver));
}

} // namespace
