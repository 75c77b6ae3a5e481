// How long a quitting helper takes with prompts open: N real prompt
// programs (offscreen, in a throw-away home with the test host installed),
// which close at the end of their input as they should, or N that answer
// nothing (a program that only sleeps). Prints the time closeAllPrompts
// takes, over a few rounds.
//
//   bench_promptquit [N]
#include "app/promptprocessprompter.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    const int prompts = argc > 1 ? std::atoi(argv[1]) : 10;
    QTemporaryDir home;
    for (const auto &[name, value] :
         { std::pair { "HOME", home.path() },
           { "XDG_CONFIG_HOME", home.path() + QStringLiteral("/.config") },
           { "XDG_DATA_HOME", home.path() + QStringLiteral("/.local/share") },
           { "QT_QPA_PLATFORM", QStringLiteral("offscreen") } })
        qputenv(name, QFile::encodeName(value));
    QCoreApplication application(argc, argv);
    QProcess install;
    install.start(QStringLiteral(RARURU_MAKE_HOST_APP),
                  { QStringLiteral("--program"), QStringLiteral(RARURU_HOST_PROGRAM),
                    QStringLiteral("--applications"),
                    home.path() + QStringLiteral("/Applications") });
    if (!install.waitForFinished() || install.exitCode() != 0)
        return 1;
    const QString volume = home.path() + QStringLiteral("/V");
    QFile::link(QStringLiteral("/"), volume); // any folder that exists

    const QString silent = home.path() + QStringLiteral("/silent");
    QFile script(silent);
    if (!script.open(QIODevice::WriteOnly) || script.write("#!/bin/sh\nexec sleep 60\n") < 0)
        return 1;
    script.close();
    script.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);

    for (const bool stopped : { false, true }) {
        for (int round = 0; round < 3; ++round) {
            PromptProcessPrompter prompter(
                stopped ? QFile::encodeName(silent)
                        : QByteArray(RARURU_HELPER_BUNDLE "/Contents/Helpers/raruru-prompt"),
                [] {});
            for (int i = 0; i < prompts; ++i)
                prompter.promptForVolume(volume, QStringLiteral("Office"), 0);
            QEventLoop wait; // all up
            QTimer::singleShot(1500, &wait, &QEventLoop::quit);
            wait.exec();
            if (prompter.promptedVolumes().size() != prompts)
                return 1;
            const auto start = std::chrono::steady_clock::now();
            prompter.closeAllPrompts();
            const auto took = std::chrono::duration<double, std::milli>(
                std::chrono::steady_clock::now() - start);
            std::printf("%d prompts, %s: quit in %.0f ms\n", prompts,
                        stopped ? "answering nothing" : "real, closing", took.count());
        }
    }
    return 0;
}
