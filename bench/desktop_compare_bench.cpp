// The helper against what a Linux desktop already uses, in one run, in a
// private mount namespace (needs root):
//
//  1. mount-event cost: from mount(2) returning to knowing which mount is new.
//     Ours: the MountMonitor's didMount. GIO's: GUnixMountMonitor's
//     "mounts-changed", then g_unix_mounts_get() and a search for the mount
//     point that was not there before. With 20, 1,000 and 5,000 mounts.
//  2. installer verdict: CDTools::isValidInstallerVolume against
//     g_content_type_guess_for_tree() (x-content/win32-software) on the same
//     folders, one with 100,000 top-level entries among them.
//  3. a mount storm: 2,000 bind mounts in one burst; the monitor's CPU time
//     and how often it woke up.
//
//   build/bench/bench_desktop_compare [iterations, default 30]
#include <gio/gio.h>
#include <gio/gunixmounts.h>

#include "platform/mountmonitor.h"
#include "prefs/cdtools.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "bench_desktop_compare: %s: %s\n", what, std::strerror(errno));
    std::exit(1);
}

void bindMount(const QByteArray &source, const QByteArray &target)
{
    if (::mount(source.constData(), target.constData(), nullptr, MS_BIND, nullptr) != 0)
        fail("bind mount");
}

// Runs the event loop until 'done' or ten seconds.
template<typename F> void runUntil(F done)
{
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (!done() && Clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
}

void settle()
{
    QEventLoop loop;
    QTimer::singleShot(20, &loop, &QEventLoop::quit);
    loop.exec();
}

QSet<QByteArray> gioMountPoints()
{
    QSet<QByteArray> points;
    GList *mounts = g_unix_mounts_get(nullptr);
    for (GList *m = mounts; m; m = m->next)
        points.insert(g_unix_mount_get_mount_path(static_cast<GUnixMountEntry *>(m->data)));
    g_list_free_full(mounts, reinterpret_cast<GDestroyNotify>(g_unix_mount_free));
    return points;
}

struct GioWatch
{
    QSet<QByteArray> known = gioMountPoints();
    QByteArray found;
    Clock::time_point at;
    bool armed = false;
    QByteArray wanted;
};

void onMountsChanged(GUnixMountMonitor *, gpointer data)
{
    auto *watch = static_cast<GioWatch *>(data);
    const QSet<QByteArray> now = gioMountPoints();
    if (watch->armed) {
        for (const QByteArray &point : now) {
            if (!watch->known.contains(point) && point == watch->wanted) {
                watch->found = point;
                watch->at = Clock::now();
            }
        }
    }
    watch->known = now;
}

double cpuMilliseconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const int iterations = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    if (::unshare(CLONE_NEWNS) != 0
        || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        fail("a private mount namespace is needed (run as root)");

    QTemporaryDir dir;
    const QByteArray base = QFile::encodeName(dir.path());
    const QByteArray source = base + "/source";
    const QByteArray target = base + "/target";
    QDir().mkpath(QFile::decodeName(source));
    QDir().mkpath(QFile::decodeName(target));
    const QByteArray others = base + "/others";
    QDir().mkpath(QFile::decodeName(others));

    // 1. Mount-event cost.
    std::printf("1. From mount(2) to knowing the new mount (median of %d)\n", iterations);
    std::printf("%8s %12s %12s %12s %10s\n", "mounts", "listmount", "mountinfo", "GIO", "GIO/ours");
    int mounted = 0;
    for (int size : { 20, 1000, 5000 }) {
        for (; mounted < size; ++mounted) {
            const QByteArray point = others + '/' + QByteArray::number(mounted);
            QDir().mkpath(QFile::decodeName(point));
            bindMount(source, point);
        }
        double ours[2] = {};
        for (int source_ = 0; source_ < 2; ++source_) {
            auto monitor
                = MountMonitor::create(source_ == 0 ? MountMonitor::TableSource::Best
                                                    : MountMonitor::TableSource::MountInfoText);
            if (!monitor->start())
                fail("monitor");
            Clock::time_point at;
            bool seen = false;
            QObject::connect(monitor.get(), &MountMonitor::didMount, [&](const QString &point) {
                if (QFile::encodeName(point) == target) {
                    at = Clock::now();
                    seen = true;
                }
            });
            std::vector<double> times;
            for (int i = 0; i < iterations; ++i) {
                seen = false;
                bindMount(source, target);
                const auto start = Clock::now();
                runUntil([&] { return seen; });
                times.push_back(ms(at - start));
                ::umount2(target.constData(), MNT_DETACH);
                settle();
            }
            ours[source_] = median(times);
        }
        // GIO on its own, with our monitors gone.
        GioWatch watch;
        GUnixMountMonitor *gio = g_unix_mount_monitor_get();
        const gulong handler
            = g_signal_connect(gio, "mounts-changed", G_CALLBACK(onMountsChanged), &watch);
        std::vector<double> times;
        for (int i = 0; i < iterations; ++i) {
            watch.found.clear();
            watch.wanted = target;
            watch.armed = true;
            bindMount(source, target);
            const auto start = Clock::now();
            runUntil([&] { return !watch.found.isEmpty(); });
            times.push_back(ms(watch.at - start));
            watch.armed = false;
            ::umount2(target.constData(), MNT_DETACH);
            settle();
        }
        g_signal_handler_disconnect(gio, handler);
        g_object_unref(gio);
        const double gioTime = median(times);
        std::printf("%8d %9.3f ms %9.3f ms %9.3f ms %9.0fx\n", size, ours[0], ours[1], gioTime,
                    gioTime / ours[0]);
        std::fflush(stdout);
    }
    for (int i = 0; i < mounted; ++i)
        ::umount2((others + '/' + QByteArray::number(i)).constData(), MNT_DETACH);

    // 2. Installer verdict.
    std::printf("\n2. Installer verdict against g_content_type_guess_for_tree\n");
    std::printf("%-34s %6s %6s %12s %12s\n", "volume", "ours", "GIO", "ours", "GIO");
    const struct
    {
        const char *name;
        std::vector<const char *> files;
        int extra;
    } volumes[] = {
        { "autorun.inf", { "autorun.inf" }, 0 },
        { "AUTORUN.INF", { "AUTORUN.INF" }, 0 },
        { "setup.exe", { "setup.exe" }, 0 },
        { "SETUP.EXE + data", { "SETUP.EXE", "data.cab" }, 0 },
        { "plain files", { "readme.txt", "photo.jpg" }, 0 },
        { "100,000 entries + autorun.inf", { "autorun.inf" }, 100000 },
        { "100,000 entries, no marker", {}, 100000 },
    };
    for (const auto &volume : volumes) {
        const QByteArray root = base + "/volume-" + QByteArray::number(qHash(volume.name));
        QDir().mkpath(QFile::decodeName(root));
        for (const char *file : volume.files)
            ::close(::open((root + '/' + file).constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
        for (int i = 0; i < volume.extra; ++i)
            ::close(::open((root + "/f" + QByteArray::number(i)).constData(),
                           O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
        const int runs = volume.extra ? 3 : iterations;
        std::vector<double> ourTimes, gioTimes;
        bool ours = false;
        bool theirs = false;
        for (int i = 0; i < runs; ++i) {
            auto start = Clock::now();
            ours = CDTools::isValidInstallerVolume(QFile::decodeName(root));
            ourTimes.push_back(ms(Clock::now() - start));
            start = Clock::now();
            GFile *file = g_file_new_for_path(root.constData());
            char **types = g_content_type_guess_for_tree(file);
            theirs = false;
            for (char **type = types; type && *type; ++type)
                theirs = theirs || std::strcmp(*type, "x-content/win32-software") == 0;
            g_strfreev(types);
            g_object_unref(file);
            gioTimes.push_back(ms(Clock::now() - start));
        }
        std::printf("%-34s %6s %6s %9.3f ms %9.3f ms\n", volume.name, ours ? "yes" : "no",
                    theirs ? "yes" : "no", median(ourTimes), median(gioTimes));
    }

    // 3. A mount storm.
    std::printf("\n3. 2,000 bind mounts in one burst\n");
    {
        auto monitor = MountMonitor::create();
        if (!monitor->start())
            fail("monitor");
        int reported = 0;
        QObject::connect(monitor.get(), &MountMonitor::didMount, [&] { ++reported; });
        std::vector<QByteArray> points;
        for (int i = 0; i < 2000; ++i) {
            points.push_back(others + '/' + QByteArray::number(i));
            QDir().mkpath(QFile::decodeName(points.back()));
        }
        // Another process mounts, as a desktop's tools would, while this one
        // watches.
        const double cpuBefore = cpuMilliseconds();
        const auto start = Clock::now();
        const pid_t mounter = ::fork();
        if (mounter == 0) {
            for (const QByteArray &point : points)
                bindMount(source, point);
            ::_exit(0);
        }
        runUntil([&] { return reported >= 2000; });
        const double elapsed = ms(Clock::now() - start);
        const double cpu = cpuMilliseconds() - cpuBefore;
        const long wakes = long(monitor->tableReads());
        ::waitpid(mounter, nullptr, 0);
        std::printf("reported %d of 2000 mounts in %.0f ms; the watcher's CPU time %.1f ms, "
                    "%ld table reads\n",
                    reported, elapsed, cpu, wakes);
        for (const QByteArray &point : points)
            ::umount2(point.constData(), MNT_DETACH);
    }
    return 0;
}
