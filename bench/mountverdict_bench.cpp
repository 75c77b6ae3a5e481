// From a mount to the helper's verdict, with real mounts: in a private mount
// namespace, a prepared installer volume is bind-mounted next to 100, 1,000
// and 5,000 other mounts; the clock runs from the mount system call's return
// to the verdict (here the prompt, as "AutoLaunch" is not stored), through
// the monitor's wake-up, the table read and diff, the installer test, the
// preferences, the host lookup and the real detectcd of the test host
// product with a detectcd that answers at once. detectcd alone is timed
// after each verdict, and the helper's own share is the median of the
// differences: the machine's pace drifts between runs, pairs keep it out.
//
//   build/bench/bench_mountverdict [iterations per size, default 60]
//
// Needs root (or user namespaces) for the mount namespace.
#include "app/cdhelperdelegate.h"
#include "bench/benchsetup.h"
#include "platform/childprocess.h"
#include "prompt/installprompter.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <sys/mount.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Stop final : InstallPrompter
{
    void promptForVolume(const QString &, const std::optional<QString> &, qsizetype) override
    {
        at = Clock::now();
        if (loop)
            loop->quit();
    }
    QEventLoop *loop = nullptr;
    Clock::time_point at;
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}
double percentile90(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() * 9 / 10];
}

void fail(const char *what)
{
    std::fprintf(stderr, "bench_mountverdict: %s: %s\n", what, std::strerror(errno));
    std::exit(1);
}

// Lets the monitor take in what is pending (an unmount) without timing it.
void settle()
{
    QEventLoop loop;
    QTimer::singleShot(5, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const int iterations = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
    if (!benchsetup::enterPrivateMountNamespace())
        fail("a private mount namespace is needed (run as root)");

    QTemporaryDir home;
    const QString h = home.path();
    benchsetup::useHome(h);
    // The test host's detectcd is a shell script; time one that answers at once.
    const QString host = benchsetup::installHost(h, QStringLiteral(RARURU_HOST_PROGRAM),
                                                 QStringLiteral(RARURU_INSTANT_DETECTCD));
    if (host.isEmpty())
        fail("cannot lay out the host application");
    const QString tool = host + QStringLiteral("/Contents/SharedSupport/Quillmont/bin/detectcd");
    if (!benchsetup::writeMainDomain(h, {}))
        fail("cannot write the preferences domain");

    // The installer volume, and a folder for the other mounts.
    const QByteArray source = QFile::encodeName(h + QStringLiteral("/disc"));
    const QByteArray target = QFile::encodeName(h + QStringLiteral("/Volume"));
    QDir().mkpath(QFile::decodeName(source));
    QDir().mkpath(QFile::decodeName(target));
    QFile(QFile::decodeName(source) + QStringLiteral("/AUTORUN.INF")).open(QIODevice::WriteOnly);
    QFile id(QFile::decodeName(source) + QStringLiteral("/QUILLMONT.ID"));
    id.open(QIODevice::WriteOnly);
    id.write("Visio\n");
    id.close();
    const QByteArray others = QFile::encodeName(h + QStringLiteral("/others"));
    QDir().mkpath(QFile::decodeName(others));

    std::printf("%-10s %7s %10s %8s %12s %9s %10s\n", "table", "mounts", "median ms", "p90 ms",
                "notified ms", "tool ms", "helper ms");

    std::unique_ptr<Workspace> workspace = Workspace::create();
    Stop stop;
    CDHelperDelegate delegate({ *workspace, [] { return UserDefaults::create(); }, stop });

    int mounted = 0;
    for (int size : { 100, 1000, 5000 }) {
        for (; mounted < size; ++mounted) {
            const QByteArray point = others + '/' + QByteArray::number(mounted);
            QDir().mkpath(QFile::decodeName(point));
            if (::mount(source.constData(), point.constData(), nullptr, MS_BIND, nullptr) != 0)
                fail("bind mount");
        }
        for (auto source_ :
             { MountMonitor::TableSource::Best, MountMonitor::TableSource::MountInfoText }) {
            auto monitor = MountMonitor::create(source_);
            if (!monitor->start())
                fail("monitor");
            // The notification first, to split the monitor's share from the handler's.
            Clock::time_point notified;
            QObject::connect(monitor.get(), &MountMonitor::didMount,
                             [&notified] { notified = Clock::now(); });
            QObject::connect(monitor.get(), &MountMonitor::didMount, &delegate,
                             &CDHelperDelegate::observeMount);
            std::vector<double> times, notifications, tools, helper;
            for (int i = 0; i < iterations; ++i) {
                QEventLoop loop;
                stop.loop = &loop;
                if (::mount(source.constData(), target.constData(), nullptr, MS_BIND, nullptr) != 0)
                    fail("mount");
                const auto start = Clock::now();
                QTimer::singleShot(10000, &loop, &QEventLoop::quit);
                loop.exec();
                stop.loop = nullptr;
                if (stop.at < start)
                    fail("no verdict within 10 s");
                times.push_back(std::chrono::duration<double, std::milli>(stop.at - start).count());
                notifications.push_back(
                    std::chrono::duration<double, std::milli>(notified - start).count());
                ::umount2(target.constData(), MNT_DETACH);
                settle();
                // The tool alone, right after: the machine's pace changes
                // from minute to minute, so the helper's own share is taken
                // from pairs.
                const auto toolStart = Clock::now();
                if (const auto process = ChildProcess::start(QFile::encodeName(tool), { source })) {
                    QEventLoop toolLoop;
                    QObject::connect(process.get(), &ChildProcess::finished, &toolLoop,
                                     &QEventLoop::quit);
                    toolLoop.exec();
                }
                tools.push_back(
                    std::chrono::duration<double, std::milli>(Clock::now() - toolStart).count());
                helper.push_back(times.back() - tools.back());
                settle();
            }
            std::printf("%-10s %7d %10.2f %8.2f %12.2f %9.2f %10.2f\n",
                        source_ == MountMonitor::TableSource::Best ? "listmount" : "mountinfo",
                        size, median(times), percentile90(times), median(notifications),
                        median(tools), median(helper));
            std::fflush(stdout);
        }
    }
    ::umount2(target.constData(), MNT_DETACH);
    for (int i = 0; i < mounted; ++i)
        ::umount2((others + '/' + QByteArray::number(i)).constData(), MNT_DETACH);
    return 0;
}
