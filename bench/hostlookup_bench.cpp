// One host-application lookup by scheme, as the helper makes it for every
// installer disc: GIO's registry with 1,000 unrelated desktop entries, and
// 20 or 200 installed copies of the host claiming the scheme, each judged by
// reading its bundle. Also reports the heap in use before and after the runs
// (a lookup keeps nothing) and the peak resident size.
//
//   build/bench/bench_hostlookup
#include "hostapps/workspaceadditions.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <malloc.h>
#include <sys/resource.h>

namespace {

QTemporaryDir *g_home = nullptr;

QString scheme(int copies)
{
    return QStringLiteral("com.tallowcraft.private-Bench%1-app-scheme").arg(copies);
}

void writeEntry(const QString &file, const QString &exec, const QString &mimeType)
{
    QFile entry(file);
    if (!entry.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(file));
    entry.write(QStringLiteral("[Desktop Entry]\nType=Application\nName=x\nExec=%1\nMimeType=%2;\n")
                    .arg(exec, mimeType)
                    .toUtf8());
}

// Lays out the registry once, before GLib reads the XDG folders.
void setUp()
{
    g_home = new QTemporaryDir;
    const QString data = g_home->path() + QStringLiteral("/data");
    const QString applications = data + QStringLiteral("/applications");
    QDir().mkpath(applications);
    qputenv("XDG_DATA_HOME", QFile::encodeName(data));
    qputenv("XDG_DATA_DIRS", QFile::encodeName(g_home->path() + QStringLiteral("/none")));
    for (int i = 0; i < 1000; ++i) {
        writeEntry(applications + QStringLiteral("/unrelated%1.desktop").arg(i),
                   QStringLiteral("/usr/bin/true %U"),
                   QStringLiteral("x-scheme-handler/unrelated%1;text/plain").arg(i));
    }
    for (int copies : { 20, 200 }) {
        for (int i = 0; i < copies; ++i) {
            const QString edition = QStringLiteral("Bench%1").arg(copies);
            QProcess script;
            script.start(QStringLiteral(RARURU_MAKE_HOST_APP),
                         { QStringLiteral("--program"), QStringLiteral(RARURU_HOST_PROGRAM),
                           QStringLiteral("--applications"),
                           g_home->path() + QStringLiteral("/Applications"),
                           QStringLiteral("--edition"), edition, QStringLiteral("--version"),
                           QStringLiteral("7.%1.0").arg(i), QStringLiteral("--name"),
                           QStringLiteral("%1-%2.app").arg(edition).arg(i),
                           QStringLiteral("--no-register") });
            script.waitForFinished(-1);
            const QString bundle = QString::fromUtf8(script.readAllStandardOutput()).trimmed();
            writeEntry(applications + QStringLiteral("/%1-%2.desktop").arg(edition).arg(i),
                       u'"' + bundle + QStringLiteral("/Contents/MacOS/") + edition
                           + QStringLiteral("\" %U"),
                       QStringLiteral("x-scheme-handler/") + scheme(copies));
        }
    }
    QProcess::execute(QStringLiteral("update-desktop-database"), { applications });
}

void BM_AbsolutePathForAppBundleWithIdentifier(benchmark::State &state)
{
    const int copies = int(state.range(0));
    auto workspace = Workspace::create();
    const QString identifier = QStringLiteral("com.tallowcraft.Bench%1").arg(copies);
    const QString expected = QStringLiteral("Bench%1-%2.app").arg(copies).arg(copies - 1);
    (void)QM_absolutePathForAppBundleWithIdentifier(*workspace, identifier,
                                                    scheme(copies)); // warm GIO's cache
    const size_t heapBefore = mallinfo2().uordblks;
    for (auto _ : state) {
        const auto path
            = QM_absolutePathForAppBundleWithIdentifier(*workspace, identifier, scheme(copies));
        if (!path || !path->endsWith(expected))
            state.SkipWithError("wrong copy chosen");
        benchmark::DoNotOptimize(path);
    }
    state.counters["heap_growth_bytes"] = double(mallinfo2().uordblks) - double(heapBefore);
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_kib"] = double(usage.ru_maxrss);
}
BENCHMARK(BM_AbsolutePathForAppBundleWithIdentifier)
    ->Arg(20)
    ->Arg(200)
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    setUp();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    delete g_home;
    return 0;
}
