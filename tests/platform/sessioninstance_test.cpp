// One instance per session, with real processes: the other starts run in
// children of their own, as they would in a session.
#include "platform/sessioninstance.h"

#include "platform/filesystemrepresentation.h"
#include "tests/testsupport.h"

#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

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

} // namespace
