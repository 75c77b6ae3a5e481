#include "app/cdhelperdelegate.h"

#include "app/cdnames.h"
#include "app/installprompter.h"
#include "host/hostproduct.h"
#include "hostapps/qmfilemanager.h"
#include "hostapps/workspaceadditions.h"
#include "platform/bundle.h"
#include "platform/filesystemrepresentation.h"
#include "platform/launchservices.h"
#include "prefs/cdtools.h"

#include <QTimer>

#include <cmath>

namespace {

const QString kBundleID = QStringLiteral("BundleID");
const QString kIdentifyingURLScheme = QStringLiteral("IdentifyingURLScheme");
const QString kAutoLaunch = QStringLiteral("AutoLaunch");
const QString kAutoLaunchAppID = QStringLiteral("AutoLaunchAppID");
const QString kAutoLaunchAppIdentifyingURLScheme
    = QStringLiteral("AutoLaunchAppIdentifyingURLScheme");

enum class AutoLaunch { OpenAtOnce = 1, Ignore = 2 };

// The integer a stored value stands for, as a number reader of the
// preferences would take it: numbers truncated, booleans 0 or 1, text by its
// leading decimal digits, anything else 0.
qint64 integerValue(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Double: {
        const double number = value.toDouble();
        return std::isfinite(number) && std::abs(number) < 9.2e18 ? qint64(number) : 0;
    }
    case QMetaType::QString: {
        const QString text = value.toString().trimmed();
        qsizetype end = 0;
        if (end < text.size() && (text[end] == u'+' || text[end] == u'-'))
            ++end;
        while (end < text.size() && text[end] >= u'0' && text[end] <= u'9')
            ++end;
        return text.left(end).toLongLong(); // 0 when nothing numeric leads
    }
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return value.toLongLong();
    default:
        return 0;
    }
}

// A stored text value; absent when the key is missing or holds another type.
std::optional<QString> stringValue(const QVariantMap &domain, const QString &key)
{
    const QVariant value = domain.value(key);
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    return value.toString();
}

struct LaunchTarget
{
    std::optional<QString> appID;
    std::optional<QString> scheme;
};

} // namespace

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
    m_pendingMounts.push_back(volumePath);
    if (!m_handlingMount)
        handleNextMount();
}

void CDHelperDelegate::handleNextMount()
{
    while (!m_handlingMount && !m_pendingMounts.empty()) {
        const QString volumePath = m_pendingMounts.front();
        m_pendingMounts.pop_front();
        if (!CDTools::isValidInstallerVolume(volumePath)) {
            Q_EMIT didHandleMount(volumePath);
            continue;
        }

        // Read afresh: the host or the user may have changed the domains
        // since the last mount.
        const std::unique_ptr<UserDefaults> defaults = m_services.makeUserDefaults();
        defaults->synchronize();

        // The first host application with a domain is the one whose choice
        // counts.
        QVariantMap record;
        std::optional<QVariantMap> domain;
        for (const QVariant &candidate : CDTools::getListOfAppsHelpedByTheCDHelper()) {
            record = candidate.toMap();
            domain = defaults->persistentDomainForName(record.value(kBundleID).toString());
            if (domain)
                break;
        }
        if (!domain) {
            Q_EMIT didHandleMount(volumePath); // no host application is set up for this user
            continue;
        }

        // The tool runs whatever the choice, so that the host sees every disc.
        m_handlingMount = true;
        identifyVolume(
            volumePath,
            [this, volumePath, record, domain = *domain](std::optional<DiscIdentifier> identifier) {
                if (identifier)
                    decide(volumePath, record, domain, *identifier);
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

void CDHelperDelegate::decide(const QString &volumePath, const QVariantMap &record,
                              const QVariantMap &domain, const DiscIdentifier &identifier)
{
    const qint64 autoLaunch = integerValue(domain.value(kAutoLaunch));
    LaunchTarget target;
    if (const auto appID = stringValue(domain, kAutoLaunchAppID); appID && !appID->isEmpty())
        target = { appID, stringValue(domain, kAutoLaunchAppIdentifyingURLScheme) };
    else
        target = { record.value(kBundleID).toString(),
                   record.value(kIdentifyingURLScheme).toString() };

    const auto packageName = getPackageDisplayName(identifier);
    const bool recognised = identifier
        && identifier->compare(QString::fromUtf16(HostProduct::kUnrecognisedDisc),
                               Qt::CaseInsensitive)
            != 0;
    if (autoLaunch == qint64(AutoLaunch::OpenAtOnce) && recognised) {
        launchAndInstall(volumePath, target.appID, target.scheme);
        return;
    }
    if (autoLaunch == qint64(AutoLaunch::Ignore))
        return;

    // The stored target's place in the host application list, for the prompt.
    qsizetype selectedApp = InstallPrompter::kNotFound;
    const QVariantList apps = CDTools::getListOfAppsHelpedByTheCDHelper();
    for (qsizetype i = 0; i < apps.size(); ++i) {
        if (target.appID && apps[i].toMap().value(kBundleID).toString() == *target.appID) {
            selectedApp = i;
            break;
        }
    }
    m_services.prompter.promptForVolume(volumePath, packageName, selectedApp);
}

void CDHelperDelegate::launchAndInstall(const QString &volumePath,
                                        const std::optional<QString> &appID,
                                        const std::optional<QString> &scheme)
{
    (void)QM_openURLs(m_services.workspace, { fileURLWithPath(volumePath) }, appID, scheme,
                      HostProduct::kLaunchOptions, std::nullopt);
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
