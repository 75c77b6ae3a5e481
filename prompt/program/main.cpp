// raruru-prompt: one install prompt, in a process of its own. What it is
// given, and how, is prompt/promptprogram.h's. The helper starts it from its
// bundle's Contents/Helpers, so the program finds the window description
// in the resources of the bundle two folders up.
#include "host/hostproduct.h"
#include "hostapps/workspaceadditions.h"
#include "platform/bundle.h"
#include "platform/filesystemrepresentation.h"
#include "platform/launchservices.h"
#include "platform/mountidentity.h"
#include "platform/quitrequests.h"
#include "platform/systemlog.h"
#include "platform/translations.h"
#include "platform/userdefaults.h"
#include "platform/workspace.h"
#include "prompt/cdhelpercontroller.h"
#include "prompt/cdhelperprompter.h"
#include "prompt/promptprogram.h"

#include <QApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

namespace {

// The request, read whole from standard input before anything else.
std::optional<PromptProgram::Request> readRequest()
{
    QByteArray bytes;
    char buffer[16384];
    for (;;) {
        const auto decoded = PromptProgram::decodeRequest(bytes);
        if (decoded.status == PromptProgram::DecodedRequest::Complete)
            return decoded.request;
        if (decoded.status == PromptProgram::DecodedRequest::Malformed)
            return std::nullopt;
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return std::nullopt;
        bytes.append(buffer, n);
    }
}

// The bundle this program lies in, as <bundle>/Contents/Helpers/raruru-prompt.
std::unique_ptr<Bundle> helperBundle()
{
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    if (n <= 0 || size_t(n) >= sizeof buffer)
        return nullptr;
    return Bundle::create(stringWithFileSystemRepresentation(buffer, n).section(u'/', 0, -4));
}

// Qt sees the program's name only: whatever else it would take from a
// command line is for the user to set (QT_* variables), never a disc.
std::unique_ptr<QApplication> makeApplication(const char *programName)
{
    static char name[256];
    std::snprintf(name, sizeof name, "%s", programName ? programName : PromptProgram::kName);
    static char *argv[] = { name, nullptr };
    static int argc = 1;
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
    if (argc != 1) {
        std::fputs("usage: raruru-prompt <REQUEST (on standard input, from the helper)\n", stderr);
        return PromptProgram::UsageError;
    }
    const auto request = readRequest();
    if (!request) {
        std::fputs("raruru-prompt: no request on standard input\n", stderr);
        return PromptProgram::UsageError;
    }
    const QString volumePath = stringWithFileSystemRepresentation(request->volumePath);
    // A prompt is about one mount: the disc it was made for, not whatever is
    // mounted at its path now.
    const auto sameMount = [&request, &volumePath] {
        if (mountIdentityAt(volumePath) == request->mount)
            return true;
        systemLog(QStringLiteral("The volume at %1 is no longer the disc the prompt is about; "
                                 "the prompt does nothing.")
                      .arg(volumePath));
        return false;
    };
    if (!sameMount())
        return PromptProgram::NotShown;

    const auto application = makeApplication(argv[0]);
    const std::unique_ptr<Workspace> workspace = Workspace::create();
    HostVolumeInstaller installer(*workspace);
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
            // Tells the helper that this prompt is no longer to be closed.
            [&sameMount](const QString &) {
                if (!sameMount())
                    return false;
                [[maybe_unused]] const ssize_t written = ::write(
                    STDOUT_FILENO, PromptProgram::kActing, sizeof PromptProgram::kActing - 1);
                return true;
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
    // The end of standard input: the helper has gone or is quitting. An
    // answer being carried out holds the event loop, so this comes after it.
    ::fcntl(STDIN_FILENO, F_SETFL, ::fcntl(STDIN_FILENO, F_GETFL) | O_NONBLOCK);
    QSocketNotifier helperGone(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&helperGone, &QSocketNotifier::activated, application.get(),
                     [&helperGone, &prompter] {
                         char byte[256];
                         ssize_t n = 0;
                         while ((n = ::read(STDIN_FILENO, byte, sizeof byte)) > 0) { }
                         if (n < 0 && (errno == EAGAIN || errno == EINTR))
                             return;
                         helperGone.setEnabled(false);
                         prompter.closeAllPrompts();
                         QCoreApplication::quit();
                     });
    pthread_sigmask(SIG_UNBLOCK, &quitSignals, nullptr);

    prompter.promptForVolume(volumePath, request->packageName, request->selectedApp);
    if (noHostApplication)
        return PromptProgram::NoHostApplication;
    if (prompter.prompts().empty())
        return PromptProgram::NotShown; // the prompter said why
    // The prompt's window is the only one: once it has closed, the program ends.
    const int status = QApplication::exec();
    prompter.closeAllPrompts();
    return status;
}
