#include "app/cdhelper.h"

#include "platform/bundle.h"
#include "platform/filesystemrepresentation.h"
#include "platform/launchservices.h"
#include "platform/quitrequests.h"
#include "platform/standardpaths.h"
#include "prefs/cdtools.h"
#include "prompt/cdhelperprompter.h"

#include <QRegularExpression>
#include <QTimer>

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
    const std::unique_ptr<Workspace> workspace = Workspace::create();
    // The prompt installs through the delegate, which the application makes.
    CDHelperDelegate *delegate = nullptr;
    CDHelperPrompter prompter(
        PromptServices {
            *workspace,
            [] { return UserDefaults::create(); },
            [&delegate](const QString &volumePath, const std::optional<QString> &appID,
                        const std::optional<QString> &scheme) {
                if (delegate)
                    delegate->launchAndInstall(volumePath, appID, scheme);
            },
            CDTools::mainBundleHelperResourcePath(),
            [] { QCoreApplication::quit(); },
        },
        CDHelperPrompter::mainBundleWindowNibPath());
    const auto bundle = Bundle::mainBundle();
    CDHelperServices services {
        *workspace,
        [] { return UserDefaults::create(); },
        prompter,
    };
    services.bundlePath = bundle ? std::optional(bundle->bundlePath()) : std::nullopt;
    services.temporaryItemsFolder = temporaryItemsDirectory;
    services.makeMountMonitor = [] { return MountMonitor::create(); };
    services.terminate = [] { QCoreApplication::quit(); };

    CDHelper application(argc, argv, std::move(services));
    delegate = application.delegate();
    const auto quitRequests = QuitRequestNotifier::create();
    if (quitRequests) {
        QObject::connect(quitRequests.get(), &QuitRequestNotifier::quitRequested, &application,
                         &QCoreApplication::quit);
    }
    const QStringList requests = CDHelper::openFileRequests(argc, argv);
    // As a desktop starts applications: the open-file requests, then start-up,
    // both from the event loop.
    QTimer::singleShot(0, &application, [&application, requests] {
        for (const QString &path : requests)
            application.delegate()->applicationOpenFile(path);
        application.delegate()->applicationDidFinishLaunching();
    });
    const int status = QApplication::exec();
    // Prompts still open own windows, which must go before the application.
    prompter.closeAllPrompts();
    return status;
}
