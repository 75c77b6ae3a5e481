// From a mount to the host application's start, against the least any
// program could do on the same event. In a private mount namespace an
// installer volume is bind-mounted next to 20, 1,000 and 5,000 other mounts,
// with "AutoLaunch 1" stored for the main host edition, a detectcd that
// prints a product name at once and a host program whose first action
// writes CLOCK_MONOTONIC to a FIFO. Each pair of turns, in alternating order:
//
//   helper    the real delegate on the real mount monitor: from the return
//             of mount(2) to the host's stamp;
//   baseline  from the same kind of wake-up (a poll of the mount table)
//             straight to posix_spawn of detectcd, reading its answer, then
//             posix_spawn of the host in a session of its own: the two
//             process starts the road cannot do without.
//
// "difference" is taken per pair, so the machine's drifting pace stays out
// of it. Then each step of the road is timed alone, to show where the time
// goes.
//
//   build/bench/bench_mountroad [pairs per size, default 60]
//
// Needs root (or user namespaces) for the mount namespace.
#include "app/cdhelperdelegate.h"
#include "app/cdnames.h"
#include "bench/benchsetup.h"
#include "host/hostproduct.h"
#include "hostapps/candidatejudging.h"
#include "hostapps/qmfilemanager.h"
#include "hostapps/workspaceadditions.h"
#include "platform/bundle.h"
#include "platform/childprocess.h"
#include "platform/launchservices.h"
#include "platform/userdefaults.h"
#include "prefs/cdtools.h"
#include "prefs/helperchoice.h"
#include "prompt/installprompter.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

qint64 monotonicNs()
{
    timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}
double ms(qint64 ns)
{
    return double(ns) / 1e6;
}

struct Stats
{
    double median, p90;
};
Stats stats(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    if (values.empty())
        return { 0, 0 };
    return { values[values.size() / 2], values[values.size() * 9 / 10] };
}

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "bench_mountroad: %s: %s\n", what, std::strerror(errno));
    std::exit(1);
}

// No prompt is expected: AutoLaunch 1 opens a recognised disc at once.
struct NoPrompt final : InstallPrompter
{
    void promptForVolume(const QString &, const std::optional<QString> &, qsizetype) override
    {
        std::fprintf(stderr, "bench_mountroad: a prompt instead of the host\n");
        std::exit(1);
    }
};

// The host's stamps arrive on a FIFO held open for reading and writing, so it
// never reads as ended between hosts.
class StampReader
{
public:
    explicit StampReader(const QByteArray &path)
    {
        if (::mkfifo(path.constData(), 0600) != 0)
            fail("mkfifo");
        m_fd = ::open(path.constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (m_fd < 0)
            fail("open the stamp FIFO");
    }
    int fd() const { return m_fd; }
    void drain()
    {
        char buffer[256];
        while (::read(m_fd, buffer, sizeof buffer) > 0) { }
        m_pending.clear();
    }
    // The next stamp, when a whole line has come.
    std::optional<qint64> take()
    {
        char buffer[256];
        ssize_t n;
        while ((n = ::read(m_fd, buffer, sizeof buffer)) > 0)
            m_pending.append(buffer, n);
        const qsizetype end = m_pending.indexOf('\n');
        if (end < 0)
            return std::nullopt;
        const qint64 stamp = m_pending.left(end).toLongLong();
        m_pending.remove(0, end + 1);
        return stamp;
    }
    qint64 wait(int timeoutMs)
    {
        for (;;) {
            if (const auto stamp = take())
                return *stamp;
            pollfd p { m_fd, POLLIN, 0 };
            if (::poll(&p, 1, timeoutMs) <= 0)
                fail("no stamp from the host");
        }
    }

private:
    int m_fd = -1;
    QByteArray m_pending;
};

void settle(int msecs = 5)
{
    QEventLoop loop;
    QTimer::singleShot(msecs, &loop, &QEventLoop::quit);
    loop.exec();
}

pid_t spawn(const QByteArray &program, const QList<QByteArray> &arguments,
            posix_spawn_file_actions_t *actions, short flags)
{
    std::vector<char *> argv { const_cast<char *>(program.constData()) };
    for (const QByteArray &argument : arguments)
        argv.push_back(const_cast<char *>(argument.constData()));
    argv.push_back(nullptr);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, flags);
    if (flags & POSIX_SPAWN_SETPGROUP)
        posix_spawnattr_setpgroup(&attributes, 0);
    pid_t child = -1;
    const int spawned
        = ::posix_spawn(&child, program.constData(), actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0) {
        errno = spawned;
        fail("posix_spawn");
    }
    return child;
}

// detectcd with its output on a pipe, in a process group of its own; its
// answer read to the end. What the helper's ChildProcess does, bare.
QByteArray runTool(const QByteArray &tool, const QByteArray &volume)
{
    int output[2];
    if (::pipe2(output, O_CLOEXEC) != 0)
        fail("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    const pid_t child = spawn(tool, { volume }, &actions, POSIX_SPAWN_SETPGROUP);
    posix_spawn_file_actions_destroy(&actions);
    ::close(output[1]);
    QByteArray answer;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(output[0], buffer, sizeof buffer)) > 0)
        answer.append(buffer, n);
    ::close(output[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return answer;
}

// The host in a session of its own, input from /dev/null, as the helper
// starts it.
pid_t startHost(const QByteArray &program, const QByteArray &url)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDWR, 0);
    const pid_t child = spawn(program, { url }, &actions, POSIX_SPAWN_SETSID);
    posix_spawn_file_actions_destroy(&actions);
    return child;
}

// Runs 'step' 'times' times and gives the median duration.
double medianOf(int times, const std::function<void()> &step)
{
    std::vector<double> durations;
    for (int i = 0; i < times; ++i) {
        const qint64 start = monotonicNs();
        step();
        durations.push_back(ms(monotonicNs() - start));
    }
    return stats(durations).median;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const int pairs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
    if (!benchsetup::enterPrivateMountNamespace())
        fail("a private mount namespace is needed (run as root)");

    QTemporaryDir home;
    const QString h = home.path();
    benchsetup::useHome(h);
    const QByteArray stampPath = QFile::encodeName(h + QStringLiteral("/stamp"));
    qputenv("RARURU_BENCH_STAMP", stampPath);
    StampReader stamps(stampPath);

    const QString host = benchsetup::installHost(h, QStringLiteral(RARURU_STAMP_HOST),
                                                 QStringLiteral(RARURU_INSTANT_DETECTCD));
    if (host.isEmpty())
        fail("cannot lay out the host application");
    const QByteArray toolBytes = QFile::encodeName(
        host + QStringLiteral("/Contents/SharedSupport/Quillmont/bin/detectcd"));
    const QByteArray hostProgram = QFile::encodeName(
        host + QStringLiteral("/Contents/MacOS/") + QString::fromUtf16(HostProduct::kMainEdition));
    if (!benchsetup::writeMainDomain(h, "<key>AutoLaunch</key><integer>1</integer>"))
        fail("cannot write the preferences domain");

    // The installer volume, and a folder for the other mounts.
    const QByteArray source = QFile::encodeName(h + QStringLiteral("/disc"));
    const QString volume = h + QStringLiteral("/Volume");
    const QByteArray target = QFile::encodeName(volume);
    const QByteArray volumeURL = fileURLWithPath(volume);
    QDir().mkpath(QFile::decodeName(source));
    QDir().mkpath(volume);
    QFile(QFile::decodeName(source) + QStringLiteral("/AUTORUN.INF")).open(QIODevice::WriteOnly);
    const QByteArray others = QFile::encodeName(h + QStringLiteral("/others"));
    QDir().mkpath(QFile::decodeName(others));

    std::unique_ptr<Workspace> workspace = Workspace::create();
    NoPrompt noPrompt;
    CDHelperDelegate delegate({ *workspace, [] { return UserDefaults::create(); }, noPrompt });
    auto monitor = MountMonitor::create();
    if (!monitor->start())
        fail("monitor");
    // Only the helper's turns reach the delegate; the notification is
    // stamped first, to split the monitor's share from the rest.
    bool helperTurn = false;
    qint64 notified = 0;
    QObject::connect(monitor.get(), &MountMonitor::didMount, &delegate, [&](const QString &point) {
        if (!helperTurn)
            return;
        notified = monotonicNs();
        delegate.observeMount(point);
    });
    // The baseline's own wake-up: a poll of the mount table.
    const int table = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    if (table < 0)
        fail("mountinfo");
    const auto drainTable = [table] {
        pollfd p { table, POLLPRI, 0 };
        while (::poll(&p, 1, 0) > 0) { }
    };

    std::printf("%7s | %-19s | %-19s | %-19s | %s\n", "mounts", "helper ms", "baseline ms",
                "difference ms", "notification");
    std::printf("%7s | %9s %9s | %9s %9s | %9s %9s | %s\n", "", "median", "p90", "median", "p90",
                "median", "p90", "median ms");

    const auto helperRoad = [&]() -> double {
        stamps.drain();
        helperTurn = true;
        bool handled = false;
        std::optional<qint64> stamp;
        QEventLoop loop;
        QSocketNotifier stampReady(stamps.fd(), QSocketNotifier::Read);
        QObject::connect(&stampReady, &QSocketNotifier::activated, &loop, [&] {
            if (!stamp)
                stamp = stamps.take();
            if (stamp && handled)
                loop.quit();
        });
        const auto connection
            = QObject::connect(&delegate, &CDHelperDelegate::didHandleMount, &loop, [&] {
                  handled = true;
                  if (stamp)
                      loop.quit();
              });
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        if (::mount(source.constData(), target.constData(), nullptr, MS_BIND, nullptr) != 0)
            fail("mount");
        const qint64 start = monotonicNs();
        loop.exec();
        QObject::disconnect(connection);
        helperTurn = false;
        if (!stamp || !handled)
            fail("the helper did not start the host within 10 s");
        ::umount2(target.constData(), MNT_DETACH);
        settle();
        notified -= start;
        return ms(*stamp - start);
    };
    const auto baselineRoad = [&]() -> double {
        stamps.drain();
        drainTable();
        if (::mount(source.constData(), target.constData(), nullptr, MS_BIND, nullptr) != 0)
            fail("mount");
        const qint64 start = monotonicNs();
        pollfd p { table, POLLPRI, 0 };
        if (::poll(&p, 1, 10000) != 1)
            fail("no mount event");
        if (discIdentifierFromOutput(runTool(toolBytes, target)).value_or(QString()).isEmpty())
            fail("detectcd gave no answer");
        const pid_t started = startHost(hostProgram, volumeURL);
        const qint64 stamp = stamps.wait(10000);
        int status = 0;
        ::waitpid(started, &status, 0);
        ::umount2(target.constData(), MNT_DETACH);
        settle();
        return ms(stamp - start);
    };

    int mounted = 0;
    for (int size : { 20, 1000, 5000 }) {
        for (; mounted < size - 1; ++mounted) { // the volume is the last mount
            const QByteArray point = others + '/' + QByteArray::number(mounted);
            QDir().mkpath(QFile::decodeName(point));
            if (::mount(source.constData(), point.constData(), nullptr, MS_BIND, nullptr) != 0)
                fail("bind mount");
        }
        settle(50);
        std::vector<double> helper, baseline, difference, notification;
        for (int i = 0; i < pairs; ++i) {
            double ours, theirs;
            if (i % 2 == 0) {
                ours = helperRoad();
                theirs = baselineRoad();
            } else {
                theirs = baselineRoad();
                ours = helperRoad();
            }
            helper.push_back(ours);
            baseline.push_back(theirs);
            difference.push_back(ours - theirs);
            notification.push_back(ms(notified));
        }
        const Stats a = stats(helper), b = stats(baseline), d = stats(difference);
        std::printf("%7d | %9.3f %9.3f | %9.3f %9.3f | %9.3f %9.3f | %9.3f\n", size, a.median,
                    a.p90, b.median, b.p90, d.median, d.p90, stats(notification).median);
        std::fflush(stdout);
    }

    // Each step of the road alone, in the order the helper takes them.
    const int times = 2 * pairs;
    const QString identifier = HostProduct::mainBundleIdentifier();
    const QString scheme = HostProduct::mainIdentifyingURLScheme();
    const QString probe = HostProduct::probeURL(scheme);
    QMFileManager &fileManager = *QMFileManager::defaultManager();
    std::printf("\nsteps, median of %d (ms):\n", times);
    const auto row
        = [](const char *what, double value) { std::printf("  %-44s %8.3f\n", what, value); };
    row("installer test", medianOf(times, [&] { (void)CDTools::isValidInstallerVolume(volume); }));
    row("preferences read", medianOf(times, [&] {
            const auto defaults = UserDefaults::create();
            defaults->synchronize();
            (void)readStoredChoice(*defaults);
        }));
    row("host lookup, whole", medianOf(times, [&] {
            (void)QM_absolutePathForAppBundleWithIdentifier(*workspace, identifier, scheme);
        }));
    row("  process walk", medianOf(times, [&] {
            (void)QM_findRunningAppBundleWithIdentifier(*workspace, identifier);
        }));
    row("  registry",
        medianOf(times, [&] { (void)workspace->launchServices().applicationURLsForURL(probe); }));
    row("  judging the installed copy",
        medianOf(times, [&] { (void)readApplicationCandidate(fileManager, host, identifier); }));
    row("bundle opened (Info.plist read)", medianOf(times, [&] { (void)Bundle::create(host); }));
    row("disc name (lookup, strings table)",
        medianOf(times, [&] { (void)delegate.getPackageDisplayName(QStringLiteral("Visio")); }));
    row("detectcd, bare: spawn, read, reap",
        medianOf(times, [&] { (void)runTool(toolBytes, target); }));
    row("detectcd through ChildProcess", medianOf(times, [&] {
            QEventLoop loop;
            const auto process = ChildProcess::start(toolBytes, { target });
            QObject::connect(process.get(), &ChildProcess::finished, &loop, &QEventLoop::quit);
            loop.exec();
        }));
    std::vector<double> bare, opened;
    for (int i = 0; i < times; ++i) {
        stamps.drain();
        qint64 start = monotonicNs();
        const pid_t started = startHost(hostProgram, volumeURL);
        bare.push_back(ms(stamps.wait(10000) - start));
        int status = 0;
        ::waitpid(started, &status, 0);
        stamps.drain();
        start = monotonicNs();
        if (workspace->launchServices().openFromURLSpec({ host, { volumeURL }, std::nullopt, 0 })
            != 0)
            fail("open");
        opened.push_back(ms(stamps.wait(10000) - start));
        settle(2); // the reaper
    }
    row("host start, bare: spawn to stamp", stats(bare).median);
    row("host start through launch services", stats(opened).median);

    ::umount2(target.constData(), MNT_DETACH);
    for (int i = 0; i < mounted; ++i)
        ::umount2((others + '/' + QByteArray::number(i)).constData(), MNT_DETACH);
    return 0;
}
