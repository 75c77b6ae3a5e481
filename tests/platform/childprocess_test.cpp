// Running real tools: output, input, failures, floods and hangs.
#include "platform/childprocess.h"

#include "tests/testsupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QScopeGuard>

#include <gtest/gtest.h>

#include <csignal>

using namespace Qt::StringLiterals;

namespace {

using namespace std::chrono_literals;

// Starts a tool and waits for its result, serving the event loop meanwhile.
std::optional<ChildProcessResult> run(const QByteArray &program, const QList<QByteArray> &arguments,
                                      const ChildProcessLimits &limits = {})
{
    const auto process = ChildProcess::start(program, arguments, limits);
    if (!process)
        return std::nullopt;
    std::optional<ChildProcessResult> result;
    QObject::connect(process.get(), &ChildProcess::finished,
                     [&result](const ChildProcessResult &finished) { result = finished; });
    QDeadlineTimer deadline(60000);
    while (!result && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    EXPECT_TRUE(result) << "never finished";
    return result;
}

std::optional<ChildProcessResult> shell(const QByteArray &script,
                                        const ChildProcessLimits &limits = {})
{
    return run("/bin/sh", { "-c", script, "tool" }, limits);
}

TEST(ChildProcess, CollectsOutputWhateverTheExit)
{
    const std::pair<const char *, QByteArray> cases[] = {
        { "echo _msoffice2003_", "_msoffice2003_\n" },
        { "printf 'x'; exit 3", "x" }, // the status is not looked at
        { "printf 'killed'; kill -9 $$", "killed" }, // nor how it ended
        { "cat; printf done", "done" }, // standard input is at its end
        { "printf '\\377\\376'", "\xff\xfe" },
    };
    const auto previous = ::signal(SIGPIPE, SIG_IGN);
    const auto restore = qScopeGuard([previous] { ::signal(SIGPIPE, previous); });
    for (const auto &[script, output] : cases) {
        const auto result = shell(script);
        ASSERT_TRUE(result) << script;
        EXPECT_EQ(result->standardOutput, output) << script;
        EXPECT_FALSE(result->timedOut) << script;
    }
    // What the helper ignores, the tool gets back as the default.
    const auto ignored = shell("sed -n 's/^SigIgn:\\t//p' /proc/self/status");
    ASSERT_TRUE(ignored);
    EXPECT_EQ(ignored->standardOutput.trimmed().toULongLong(nullptr, 16) & (1u << (SIGPIPE - 1)),
              0u);

    // Arguments are passed as they are, without a shell in between.
    const auto echoed = run("/usr/bin/printf", { "%s", "/media/a b; rm -rf ~ \xff" });
    ASSERT_TRUE(echoed);
    EXPECT_EQ(echoed->standardOutput, "/media/a b; rm -rf ~ \xff");
}

TEST(ChildProcess, ToolsThatCannotStart)
{
    QTemporaryDir dir;
    test::writeFile(dir.path() + u"/not-executable"_s, "#!/bin/sh\necho x\n");
    for (const QByteArray &program :
         { QFile::encodeName(dir.path() + u"/missing"_s),
           QFile::encodeName(dir.path() + u"/not-executable"_s), QByteArray() })
        EXPECT_FALSE(run(program, {})) << program.constData();
}

TEST(ChildProcess, FloodsAndHangsAreBounded)
{
    // Ten megabytes: read to the end while it runs, kept up to the limit.
    const auto flood = shell("head -c 10000000 /dev/zero; echo end >&2", { 30s, 1000 });
    ASSERT_TRUE(flood);
    EXPECT_EQ(flood->standardOutput.size(), 1000);
    EXPECT_TRUE(flood->outputTruncated);
    EXPECT_FALSE(flood->timedOut);

    // Never exits, a child keeps the output open, or it closes it and lingers.
    for (const char *script : { "printf partial; exec sleep 1000", "sleep 1000 & printf partial",
                                "printf partial; exec >&-; sleep 1000" }) {
        const auto result = shell(script, { 300ms, 1000 });
        ASSERT_TRUE(result) << script;
        EXPECT_TRUE(result->timedOut) << script;
        EXPECT_EQ(result->standardOutput, "partial") << script;
    }
}

TEST(ChildProcess, GoingFirstKillsTheToolAndWhatItStarted)
{
    QTemporaryDir dir;
    const QByteArray pidFile = QFile::encodeName(dir.path() + u"/pid"_s);
    auto process
        = ChildProcess::start("/bin/sh", { "-c", "sleep 1000 & echo $! >\"$0\"; wait", pidFile });
    ASSERT_TRUE(process);
    QDeadlineTimer deadline(10000);
    while (test::readFile(QString::fromLocal8Bit(pidFile)).trimmed().isEmpty()
           && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    const pid_t sleeper = test::readFile(QString::fromLocal8Bit(pidFile)).trimmed().toInt();
    ASSERT_GT(sleeper, 0);
    process.reset();
    EXPECT_TRUE(test::processHasEnded(sleeper));
}

} // namespace
