#include "app/cdhelperdelegate.h"

#include "app/cdnames.h"
#include "host/hostproduct.h"
#include "hostapps/qmfilemanager.h"
#include "hostapps/workspaceadditions.h"
#include "platform/bundle.h"
#include "platform/descriptorreserve.h"
#include "platform/filesystemrepresentation.h"
#include "platform/launchservices.h"
#include "platform/systemlog.h"
#include "prefs/cdtools.h"
#include "prompt/installprompter.h"
#include "util/stringadditions.h"

#include <QLoggingCategory>
#include <QTimer>

#include <cmath>

// What became of each mount, one line each, for a user asking why a disc
// did or did not prompt (QT_LOGGING_RULES="raruru.mount.info=true").
Q_LOGGING_CATEGORY(lcMount, "raruru.mount", QtWarningMsg)

CDHelperDelegate::CDHelperDelegate(CDHelperServices services, QObject *parent)
    : QObject(parent)
    , m_services(std::move(services))
{ }

CDHelperDelegate::~CDHelperDelegate() = default;

bool CDHelperDelegate::applicationOpenFile(const QString &path)
{
    if (m_services.bundlePath && path == *m_services.bundlePath)
        m_isTempDirInstance = true;
    return true;
}

void CDHelperDelegate::applicationDidFinishLaunching()
{
    if (m_isTempDirInstance) {
        (void)DescriptorReserve::hold();
        m_mountMonitor = m_services.makeMountMonitor();
        if (m_mountMonitor) {
            connect(m_mountMonitor.get(), &MountMonitor::didMount, this,
                    &CDHelperDelegate::observeMount);
            // A prompt for a disc that has gone can do nothing useful.
            connect(m_mountMonitor.get(), &MountMonitor::didUnmount, this,
                    [this](const QString &mountPoint) {
                        m_services.prompter.volumeDidUnmount(mountPoint);
                    });
            if (!m_mountMonitor->start())
                m_mountMonitor.reset();
        }
        return;
    }

    const auto folder = m_services.temporaryItemsFolder();
    if (!folder || !m_services.bundlePath)
        return; // nowhere to run a copy from: stay, idle
    const QString destination
        = *folder + u'/' + m_services.bundlePath->section(u'/', -1, -1, QString::SectionSkipEmpty);
    QMFileManager &fileManager = *QMFileManager::defaultManager();
    (void)fileManager.removeFileAtPath(destination);
    if (fileManager.copyPath(*m_services.bundlePath, destination)) {
        m_services.willRelaunch();
        (void)m_services.workspace.launchServices().openFromURLSpec(
            { destination, { fileURLWithPath(destination) }, std::nullopt, 0 });
    }
    m_services.terminate();
}

void CDHelperDelegate::observeMount(const QString &volumePath)
{
    m_pendingMounts.emplace_back(volumePath, mountIdentityAt(volumePath));
    if (!m_handlingMount)
        handleNextMount();
}

void CDHelperDelegate::handleNextMount()
{
    while (!m_handlingMount && !m_pendingMounts.empty()) {
        const QString volumePath = m_pendingMounts.front().first;
        const std::optional<MountIdentity> mount = m_pendingMounts.front().second;
        m_pendingMounts.pop_front();
        bool isInstaller = false;
        {
            // Whatever has used up our descriptors, the mount is looked at.
            const DescriptorReserve::Released spare;
            isInstaller = CDTools::isValidInstallerVolume(volumePath);
        }
        if (!isInstaller) {
            qCInfo(lcMount) << volumePath << "is no installer disc";
            Q_EMIT didHandleMount(volumePath);
            continue;
        }

        // Read afresh: the host or the user may have changed the domains
        // since the last mount.
        const std::unique_ptr<UserDefaults> defaults = m_services.makeUserDefaults();
        defaults->synchronize();
        const auto choice = readStoredChoice(*defaults);
        if (!choice) {
            qCInfo(lcMount) << volumePath << "left alone: no host product is set up for this user";
            Q_EMIT didHandleMount(volumePath);
            continue;
        }

        // The tool runs whatever the choice, so that the host sees every disc.
        m_handlingMount = true;
        identifyVolume(
            volumePath,
            [this, volumePath, mount, choice = *choice](std::optional<DiscIdentifier> identifier) {
                // A disc that went (or was swapped) meanwhile gets nothing,
                // a prompt least of all. (A path reported with nothing
                // there, as a test's, is taken as it is.)
                const bool gone = mount && mountIdentityAt(volumePath) != mount;
                if (gone) {
                    systemLog(QStringLiteral("The volume at %1 went away while it was "
                                             "identified; nothing is done with it.")
                                  .arg(volumePath));
                    qCInfo(lcMount) << volumePath << "left alone: it went away";
                } else if (identifier) {
                    carryOut(volumePath, choice, *identifier);
                } else {
                    qCInfo(lcMount) << volumePath << "left alone: detectcd gave no answer";
                }
                finishMount(volumePath);
            });
    }
}

void CDHelperDelegate::finishMount(const QString &volumePath)
{
    m_handlingMount = false;
    Q_EMIT didHandleMount(volumePath);
    // From the event loop: a tool that cannot start answers at once, and a
    // burst of such mounts must not nest.
    if (!m_pendingMounts.empty())
        QTimer::singleShot(0, this, &CDHelperDelegate::handleNextMount);
}

void CDHelperDelegate::carryOut(const QString &volumePath, const StoredChoice &choice,
                                const DiscIdentifier &identifier)
{
    const auto packageName = getPackageDisplayName(identifier);
    const Verdict verdict = decide(choice, identifier);
    switch (verdict.action) {
    case Verdict::Action::Launch:
        qCInfo(lcMount) << volumePath << "opened, as stored";
        launchAndInstall(volumePath, verdict.target.appID, verdict.target.scheme);
        return;
    case Verdict::Action::Ignore:
        qCInfo(lcMount) << volumePath << "left alone, as stored";
        return;
    case Verdict::Action::Prompt:
        break;
    }
    // The stored target's place in the host application list, for the prompt.
    qsizetype selectedApp = kNotFound;
    const std::vector<HostApplicationRecord> apps = hostApplications();
    for (qsizetype i = 0; i < qsizetype(apps.size()); ++i) {
        if (verdict.target.appID && apps[size_t(i)].bundleID == *verdict.target.appID) {
            selectedApp = i;
            break;
        }
    }
    qCInfo(lcMount) << volumePath << "prompts";
    m_services.prompter.promptForVolume(volumePath, packageName, selectedApp);
}

void CDHelperDelegate::launchAndInstall(const QString &volumePath,
                                        const std::optional<QString> &appID,
                                        const std::optional<QString> &scheme)
{
    (void)QM_openVolume(m_services.workspace, volumePath, appID, scheme, std::nullopt);
}

std::unique_ptr<Bundle> CDHelperDelegate::mainHostApplicationBundle()
{
    const auto path = QM_absolutePathForAppBundleWithIdentifier(
        m_services.workspace, HostProduct::mainBundleIdentifier(),
        HostProduct::mainIdentifyingURLScheme());
    return path ? Bundle::create(*path) : nullptr;
}

void CDHelperDelegate::identifyVolume(const QString &volumePath,
                                      std::function<void(std::optional<DiscIdentifier>)> done)
{
    const auto bundle = mainHostApplicationBundle();
    if (!bundle)
        return done(std::nullopt);
    QString tool = bundle->sharedSupportPath();
    for (const QString &component : HostProduct::detectcdPathComponents())
        tool += u'/' + component;

    const auto program = fileSystemRepresentation(tool);
    const auto argument = fileSystemRepresentation(volumePath);
    if (!program || !argument)
        return done(std::nullopt);
    m_detectcd = ChildProcess::start(*program, { *argument }, m_services.detectcdLimits, this);
    if (!m_detectcd)
        return done(std::nullopt);
    connect(m_detectcd.get(), &ChildProcess::finished, this,
            [this, done = std::move(done)](const ChildProcessResult &result) {
                m_detectcd.release()->deleteLater(); // it is still emitting
                if (result.timedOut)
                    done(std::nullopt);
                else if (result.outputTruncated)
                    // Output cut at the limit is not the tool's answer: the
                    // disc counts as unrecognised.
                    done(DiscIdentifier());
                else
                    done(discIdentifierFromOutput(result.standardOutput));
            });
}

std::optional<QString> CDHelperDelegate::getPackageDisplayName(const DiscIdentifier &identifier)
{
    if (!identifier)
        return std::nullopt;
    const QString name = englishDisplayName(*identifier);
    const auto bundle = mainHostApplicationBundle();
    if (!bundle)
        return name;
    return bundle->localizedString(name, QString(),
                                   QString::fromUtf16(HostProduct::kDisplayNameTable));
}
