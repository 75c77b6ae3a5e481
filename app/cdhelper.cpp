#include "app/cdhelper.h"

#include "platform/bundle.h"
#include "platform/filesystemrepresentation.h"
#include "platform/launchservices.h"
#include "platform/quitrequests.h"
#include "platform/sessioninstance.h"
#include "platform/standardpaths.h"
#include "platform/systemlog.h"
#include "platform/translations.h"
#include "prefs/cdtools.h"
#include "prompt/cdhelperprompter.h"

#include <QApplication>
#include <QTimer>

#include <csignal>

namespace {

// Whether the argument begins "scheme://" within its first 64 bytes (RFC 3986
// scheme: a letter, then letters, digits, '+', '-' or '.'). Checked by hand:
// a regular expression costs every start its engine.
bool startsWithURLScheme(const QByteArray &argument)
{
    const auto isLetter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    const qsizetype end = argument.indexOf("://");
    if (end < 1 || end + 3 > 64 || !isLetter(argument[0]))
        return false;
    for (qsizetype i = 1; i < end; ++i) {
        const char c = argument[i];
        if (!isLetter(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.')
            return false;
    }
    return true;
}

std::unique_ptr<QCoreApplication> makeApplication(int &argc, char **argv, bool showsPrompts)
{
    if (!showsPrompts)
        return std::make_unique<QCoreApplication>(argc, argv);
    auto application = std::make_unique<QApplication>(argc, argv);
    // The helper has no window of its own; a closed prompt must not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    return application;
}

} // namespace

CDHelper::CDHelper(int &argc, char **argv, CDHelperServices services)
    : m_application(makeApplication(
        argc, argv,
        services.bundlePath && openFileRequests(argc, argv).contains(*services.bundlePath)))
    , m_delegate(std::make_unique<CDHelperDelegate>(std::move(services)))
{ }

CDHelper::~CDHelper() = default;

QStringList CDHelper::openFileRequests(int argc, char **argv)
{
    QStringList paths;
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (!startsWithURLScheme(argument))
            paths += stringWithFileSystemRepresentation(argument);
        else if (const auto path = pathWithFileURL(argument))
            paths += *path; // other URLs name no file
    }
    return paths;
}

int CDHelperMain(int argc, char **argv)
{
    // A reader of our output that went away must not end the helper, and
    // the user signals mean nothing to it.
    for (const int ignored : { SIGPIPE, SIGUSR1, SIGUSR2 })
        ::signal(ignored, SIG_IGN);

    // One helper per session: a start that finds one running hands it its
    // open-file requests and ends, before it pays for a display connection.
    const auto bundle = Bundle::mainBundle();
    std::unique_ptr<SessionInstance> instance;
    if (const auto identifier = bundle ? bundle->bundleIdentifier() : std::nullopt) {
        if (const auto folder = temporaryItemsDirectory()) {
            auto claim = SessionInstance::claim(*folder, *identifier,
                                                CDHelper::openFileRequests(argc, argv));
            if (claim.outcome == SessionInstance::Outcome::HandedOver)
                return 0;
            instance = std::move(claim.instance);
        }
    }

    const std::unique_ptr<Workspace> workspace = Workspace::create();
    PromptServices promptServices {
        *workspace,
        [] { return UserDefaults::create(); },
        nullptr, // the delegate, once the application has made it
        CDTools::mainBundleHelperResourcePath(),
        [] { QCoreApplication::quit(); },
    };
    CDHelperPrompter prompter(
        std::move(promptServices), CDHelperPrompter::mainBundleWindowNibPath(),
        bundle ? std::optional(translationsFolder(bundle->resourcePath())) : std::nullopt);
    CDHelperServices services {
        *workspace,
        [] { return UserDefaults::create(); },
        prompter,
    };
    services.bundlePath = bundle ? std::optional(bundle->bundlePath()) : std::nullopt;
    services.temporaryItemsFolder = temporaryItemsDirectory;
    services.makeMountMonitor = [] { return MountMonitor::create(); };
    services.terminate = [] { QCoreApplication::quit(); };
    services.willRelaunch = [&instance] {
        if (instance && !instance->passToNextProgram())
            systemLog(QStringLiteral("The helper's copy cannot take over this session."));
    };

    CDHelper helper(argc, argv, std::move(services));
    QCoreApplication &application = helper.application();
    CDHelperDelegate *delegate = helper.delegate();
    // The prompt installs through the delegate, which the application made.
    prompter.setVolumeInstaller(*delegate);
    const auto quitRequests = QuitRequestNotifier::create();
    if (quitRequests) {
        QObject::connect(quitRequests.get(), &QuitRequestNotifier::quitRequested, &application,
                         &QCoreApplication::quit);
    }
    if (instance) {
        QObject::connect(instance.get(), &SessionInstance::openFileRequested, delegate,
                         &CDHelperDelegate::applicationOpenFile);
        // An instance that is ending takes no more requests: a start made
        // now waits for it to go and becomes the helper itself.
        if (quitRequests) {
            QObject::connect(quitRequests.get(), &QuitRequestNotifier::quitRequested,
                             instance.get(), &SessionInstance::stopListening);
        }
        QObject::connect(&application, &QCoreApplication::aboutToQuit, instance.get(),
                         &SessionInstance::stopListening);
    }
    const QStringList requests = CDHelper::openFileRequests(argc, argv);
    // As a desktop starts applications: the open-file requests, then start-up,
    // both from the event loop; other starts' requests only after start-up.
    QTimer::singleShot(0, &application, [delegate, &instance, requests] {
        for (const QString &path : requests)
            delegate->applicationOpenFile(path);
        delegate->applicationDidFinishLaunching();
        if (instance)
            instance->listen();
    });
    const int status = QCoreApplication::exec();
    // Prompts still open own windows, which must go before the application.
    prompter.closeAllPrompts();
    return status;
}
