#include "app/cdhelper.h"

#include "platform/bundle.h"
#include "platform/filesystemrepresentation.h"
#include "platform/launchservices.h"
#include "platform/quitrequests.h"
#include "platform/sessioninstance.h"
#include "platform/standardpaths.h"
#include "platform/systemlog.h"
#include "prefs/cdtools.h"
#include "prompt/cdhelperprompter.h"

#include <QRegularExpression>
#include <QTimer>

#include <csignal>

CDHelper::CDHelper(int &argc, char **argv, CDHelperServices services)
    : QApplication(argc, argv)
    , m_delegate(std::make_unique<CDHelperDelegate>(std::move(services)))
{
    // The helper has no window of its own; a closed prompt must not end it.
    setQuitOnLastWindowClosed(false);
}

CDHelper::~CDHelper() = default;

QStringList CDHelper::openFileRequests(int argc, char **argv)
{
    QStringList paths;
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        static const QRegularExpression url(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
        if (!url.match(QString::fromLatin1(argument.left(64))).hasMatch())
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
    CDHelperPrompter prompter(std::move(promptServices),
                              CDHelperPrompter::mainBundleWindowNibPath());
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

    CDHelper application(argc, argv, std::move(services));
    CDHelperDelegate *delegate = application.delegate();
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
    QTimer::singleShot(0, &application, [&application, &instance, requests] {
        for (const QString &path : requests)
            application.delegate()->applicationOpenFile(path);
        application.delegate()->applicationDidFinishLaunching();
        if (instance)
            instance->listen();
    });
    const int status = QApplication::exec();
    // Prompts still open own windows, which must go before the application.
    prompter.closeAllPrompts();
    return status;
}
