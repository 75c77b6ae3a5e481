// From the start of a first instance of the built helper bundle to the
// moment its relaunched copy watches mounts (it holds /proc/self/mountinfo
// open), as a login starts it: copy into the temporary-items folder, start
// of the copy, start-up of the copy. Prints the median and the bundle size,
// and what the idle copy holds. Another build's bundle can be measured the
// same way, for a comparison in one sitting.
//
//   build/bench/bench_startup [runs, default 20] [bundle, default this build's]
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

const QString kProgram = QStringLiteral("/Contents/MacOS/Quillmont DI Raruru");

// The process running 'program' that holds the mount table open, or 0.
pid_t watcher(const QString &program)
{
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool isPid = false;
        const int pid = entry.toInt(&isPid);
        if (!isPid || QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget() != program)
            continue;
        const QString fds = QStringLiteral("/proc/%1/fd").arg(pid);
        for (const QString &fd : QDir(fds).entryList(QDir::Files | QDir::System)) {
            if (QFileInfo(fds + u'/' + fd).symLinkTarget().endsWith(QStringLiteral("/mountinfo")))
                return pid;
        }
    }
    return 0;
}

// A field of /proc/PID/status, as a number.
long statusField(pid_t pid, const char *name)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(name))
            return line.mid(qstrlen(name)).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

// Wake-ups (context switches of all its threads) of an idle helper, and its memory.
void reportIdle(pid_t pid)
{
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const auto switches = [pid] {
        long total = 0;
        for (const QString &task : QDir(QStringLiteral("/proc/%1/task").arg(pid))
                                       .entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            total += statusField(task.toInt(), "voluntary_ctxt_switches:")
                + statusField(task.toInt(), "nonvoluntary_ctxt_switches:");
        return total;
    };
    const long before = switches();
    std::this_thread::sleep_for(std::chrono::seconds(10));
    const long after = switches();
    std::printf("idle for 10 s: %ld wake-ups; resident memory %ld KiB (peak %ld KiB; %ld KiB "
                "private, %ld KiB mapped files), %ld threads\n",
                after - before, statusField(pid, "VmRSS:"), statusField(pid, "VmHWM:"),
                statusField(pid, "RssAnon:"), statusField(pid, "RssFile:"),
                statusField(pid, "Threads:"));
}

qint64 treeSize(const QString &path)
{
    qint64 size = 0;
    QDirIterator it(path, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        size += QFileInfo(it.next()).size();
    return size;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const QString bundle = argc > 2 ? QFileInfo(QString::fromLocal8Bit(argv[2])).absoluteFilePath()
                                    : QStringLiteral(RARURU_HELPER_BUNDLE);
    QTemporaryDir home;
    const QString runtime = home.path() + QStringLiteral("/run");
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path() + QStringLiteral("/.config"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    const QString copy = QFileInfo(runtime).canonicalFilePath()
        + QStringLiteral("/TemporaryItems/Quillmont DI Raruru.app") + kProgram;

    std::vector<double> times, firstTimes; // to the watching copy; to the first instance's end
    for (int i = 0; i < runs; ++i) {
        QProcess first;
        first.setProcessEnvironment(environment);
        QElapsedTimer clock;
        clock.start();
        first.start(bundle + kProgram, {});
        pid_t pid = 0;
        double firstEnded = 0;
        while (!(pid = watcher(copy)) && clock.elapsed() < 20000) {
            if (!firstEnded && first.waitForFinished(0))
                firstEnded = double(clock.nsecsElapsed()) / 1e6;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        if (!pid) {
            std::fprintf(stderr, "bench_startup: the copy never watched mounts\n");
            return 1;
        }
        times.push_back(double(clock.nsecsElapsed()) / 1e6);
        first.waitForFinished(10000);
        firstTimes.push_back(firstEnded ? firstEnded : double(clock.nsecsElapsed()) / 1e6);
        if (i + 1 == runs)
            reportIdle(pid);
        ::kill(pid, SIGTERM);
        while (watcher(copy))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::sort(times.begin(), times.end());
    std::sort(firstTimes.begin(), firstTimes.end());
    std::printf("start to the copy's mount subscription: median %.1f ms, min %.1f, max %.1f "
                "(%d runs)\n",
                times[times.size() / 2], times.front(), times.back(), runs);
    std::printf("start to the first instance's end: median %.1f ms, min %.1f, max %.1f\n",
                firstTimes[firstTimes.size() / 2], firstTimes.front(), firstTimes.back());
    std::printf("bundle size: %.1f MiB\n", double(treeSize(bundle)) / (1024 * 1024));
    return 0;
}
