// raruru-prompt: one install prompt, in a process of its own (see
// PromptProgram in prompt/installprompter.h). The helper starts it from its
// bundle's Contents/Helpers, so the program finds the window description
// in the resources of the bundle two folders up.
#include "host/hostproduct.h"
#include "hostapps/workspaceadditions.h"
#include "platform/bundle.h"
#include "platform/filesystemrepresentation.h"
#include "platform/launchservices.h"
#include "platform/quitrequests.h"
#include "platform/translations.h"
#include "platform/userdefaults.h"
#include "platform/workspace.h"
#include "prompt/cdhelpercontroller.h"
#include "prompt/cdhelperprompter.h"

#include <QApplication>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <pthread.h>
#include <unistd.h>

namespace {

// Both install actions go to the host application, as the helper would send them.
class HostInstaller final : public VolumeInstaller
{
public:
    explicit HostInstaller(Workspace &workspace)
        : m_workspace(workspace)
    { }
    void installVolume(const QString &volumePath, const LaunchTarget &target,
                       const std::optional<EventDescriptor> &parameters) override
    {
        (void)QM_openURLs(m_workspace, { fileURLWithPath(volumePath) }, target.appID, target.scheme,
                          HostProduct::kLaunchOptions, parameters);
    }

private:
    Workspace &m_workspace;
};

// The bundle this program lies in, as <bundle>/Contents/Helpers/raruru-prompt.
std::unique_ptr<Bundle> helperBundle()
{
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    if (n <= 0 || size_t(n) >= sizeof buffer)
        return nullptr;
    return Bundle::create(stringWithFileSystemRepresentation(buffer, n).section(u'/', 0, -4));
}

std::unique_ptr<QApplication> makeApplication(int &argc, char **argv)
{
    // Qt takes X11 unless told otherwise; the prompt lives in the session's
    // own platform, Wayland wherever a Wayland display is named (X11 when
    // that fails). A platform the user chose still wins, and the host
    // application the prompt starts chooses for itself.
    const bool choosesWayland = qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")
        && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (choosesWayland)
        qputenv("QT_QPA_PLATFORM", "wayland;xcb");
    // Docks, switchers and screen readers know the helper by its desktop
    // entry: its id is the Wayland app_id and, as the application name, the
    // X11 window class; people read the bundle's name.
    QCoreApplication::setApplicationName(QStringLiteral(RARURU_DESKTOP_ID));
    QGuiApplication::setApplicationDisplayName(QStringLiteral(RARURU_BUNDLE_NAME));
    QGuiApplication::setDesktopFileName(QStringLiteral(RARURU_DESKTOP_ID));
    auto application = std::make_unique<QApplication>(argc, argv);
    if (choosesWayland)
        qunsetenv("QT_QPA_PLATFORM");
    return application;
}

} // namespace

int main(int argc, char **argv)
{
    // As in the helper: a reader of our output that went away must not end
    // the prompt, and the user signals mean nothing to it.
    for (const int ignored : { SIGPIPE, SIGUSR1, SIGUSR2 })
        ::signal(ignored, SIG_IGN);
    // A request to close that comes while the prompt is still starting waits
    // until the prompt can close as its close button would (the helper
    // starts the program with these blocked already). Threads started
    // meanwhile keep them blocked: the main thread takes them.
    sigset_t quitSignals;
    sigemptyset(&quitSignals);
    for (const int quit : { SIGTERM, SIGINT, SIGHUP })
        sigaddset(&quitSignals, quit);
    pthread_sigmask(SIG_BLOCK, &quitSignals, nullptr);
    if (argc < 3 || argc > 4) {
        std::fputs("usage: raruru-prompt VOLUME SELECTED-APP [PACKAGE-NAME]\n", stderr);
        return PromptProgram::UsageError;
    }
    const QString volumePath = stringWithFileSystemRepresentation(QByteArray(argv[1]));
    const qsizetype selectedApp = std::strtoll(argv[2], nullptr, 10);
    const auto packageName = argc == 4
        ? std::optional(PromptProgram::packageNameFromArgument(QByteArray(argv[3])))
        : std::nullopt;

    const auto application = makeApplication(argc, argv);
    const std::unique_ptr<Workspace> workspace = Workspace::create();
    HostInstaller installer(*workspace);
    const auto bundle = helperBundle();
    bool noHostApplication = false;
    CDHelperPrompter prompter(
        PromptServices {
            *workspace,
            [] { return UserDefaults::create(); },
            &installer,
            // As in the helper, whose bundle carries no helper of its own.
            std::nullopt,
            [&noHostApplication] {
                noHostApplication = true;
                QCoreApplication::exit(PromptProgram::NoHostApplication);
            },
        },
        bundle ? bundle->pathForResource(QString::fromUtf16(CDHelperController::kWindowNibName),
                                         QStringLiteral("ui"))
               : std::nullopt,
        bundle ? std::optional(translationsFolder(bundle->resourcePath())) : std::nullopt);
    const auto quitRequests = QuitRequestNotifier::create();
    if (quitRequests) {
        QObject::connect(quitRequests.get(), &QuitRequestNotifier::quitRequested, application.get(),
                         [&prompter] {
                             prompter.closeAllPrompts();
                             QCoreApplication::quit();
                         });
    }
    pthread_sigmask(SIG_UNBLOCK, &quitSignals, nullptr);

    prompter.promptForVolume(volumePath, packageName, selectedApp);
    if (noHostApplication)
        return PromptProgram::NoHostApplication;
    if (prompter.prompts().empty())
        return PromptProgram::NotShown; // the prompter said why
    // The prompt's window is the only one: once it has closed, the program ends.
    const int status = QApplication::exec();
    prompter.closeAllPrompts();
    return status;
}
