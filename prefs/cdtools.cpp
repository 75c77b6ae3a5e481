#include "prefs/cdtools.h"

#include "host/hostproduct.h"
#include "hostapps/qmbundle.h"
#include "hostapps/qmfilemanager.h"
#include "platform/bundle.h"
#include "prefs/loginitems.h"

#include <algorithm>

namespace {

// Starting the helper resource: not added to recent items, not activated.
constexpr std::uint32_t kStartOptions = 0x300;

QVariant bundleVersion(const QString &path)
{
    const auto bundle = QMBundle::bundleWithPath(path);
    return bundle ? bundle->objectForInfoDictionaryKey(QStringLiteral("CFBundleVersion"))
                  : QVariant();
}

} // namespace

CDTools::CDTools(UserDefaults &defaults, Workspace &workspace,
                 std::optional<QString> helperResourcePath)
    : m_defaults(defaults)
    , m_workspace(workspace)
    , m_helperResourcePath(std::move(helperResourcePath))
{ }

std::optional<QString> CDTools::mainBundleHelperResourcePath()
{
    const auto bundle = Bundle::mainBundle();
    if (!bundle)
        return std::nullopt;
    return bundle->pathForResource(QString::fromUtf16(HostProduct::kHelperResourceName),
                                   QString::fromUtf16(HostProduct::kHelperResourceType));
}

bool CDTools::isValidInstallerVolume(const QString &path)
{
    static const QString types[]
        = { QStringLiteral("exe"), QStringLiteral("msi"), QStringLiteral("inf") };
    static const QString markers[]
        = { QStringLiteral("autorun.inf"), QStringLiteral("setup.exe"),
            QStringLiteral("setuppls.exe"), QStringLiteral("setupse.exe") };
    const auto isOneOf = [](const QString &text, const auto &values) {
        return std::any_of(std::begin(values), std::end(values), [&](const QString &value) {
            return text.compare(value, Qt::CaseInsensitive) == 0;
        });
    };
    if (const auto type = Workspace::getInfoForFile(path); type && isOneOf(*type, types))
        return true;
    const auto entries = QMFileManager::defaultManager()->directoryContentsAtPath(path);
    return entries && std::any_of(entries->begin(), entries->end(), [&](const QString &name) {
               return isOneOf(name, markers);
           });
}

QVariantList CDTools::getListOfAppsHelpedByTheCDHelper()
{
    QVariantList list;
    for (const QString &edition : HostProduct::editionNames()) {
        list
            += QVariantMap { { QStringLiteral("BundleID"), HostProduct::bundleIdentifier(edition) },
                             { QStringLiteral("IdentifyingURLScheme"),
                               HostProduct::identifyingURLScheme(edition) } };
    }
    return list;
}

void CDTools::updateHelperPrefForAllInstalls(int pref, const QString &appID,
                                             const std::optional<QString> &scheme)
{
    if (pref == 2)
        installAndActivateCDHelper(false);
    for (const QVariant &record : getListOfAppsHelpedByTheCDHelper()) {
        const QString name = record.toMap().value(QStringLiteral("BundleID")).toString();
        // One step, so that a host writing its own keys meanwhile keeps them.
        (void)m_defaults.updatePersistentDomain(
            name, [&](std::optional<QVariantMap> domain) -> std::optional<QVariantMap> {
                if (!domain)
                    return std::nullopt; // the host makes its domain; we never do
                domain->insert(QStringLiteral("AutoLaunch"), qint64(pref));
                domain->insert(QStringLiteral("AutoLaunchAppID"), appID);
                if (scheme)
                    domain->insert(QStringLiteral("AutoLaunchAppIdentifyingURLScheme"), *scheme);
                else
                    domain->remove(QStringLiteral("AutoLaunchAppIdentifyingURLScheme"));
                return domain;
            });
        m_defaults.synchronize();
    }
}

void CDTools::installAndActivateCDHelper(bool activate)
{
    // The login item.
    (void)m_defaults.updatePersistentDomain(
        QString::fromUtf16(LoginItems::kLoginWindowDomain),
        [&](const std::optional<QVariantMap> &domain) -> std::optional<QVariantMap> {
            return LoginItems::editedLoginWindowDomain(domain, activate, m_helperResourcePath);
        });
    m_defaults.synchronize();

    // The running helpers: the first may stay, every other is asked to quit.
    const QString helperIdentifier = QString::fromUtf16(HostProduct::kHelperBundleIdentifier);
    ProcessList &processes = m_workspace.processList();
    bool keep = activate;
    ProcessSerialNumber psn;
    while (processes.getNextProcess(psn) && psn.lowLongOfPSN != 0) {
        const auto information = processes.processInformation(psn);
        if (!information || information->bundleIdentifier != helperIdentifier)
            continue;
        if (keep)
            keep = false;
        else
            processes.sendQuitRequest(psn);
    }

    // None runs: start the helper the host carries.
    if (keep && m_helperResourcePath)
        (void)m_workspace.launchServices().openFromURLSpec(
            { m_helperResourcePath, {}, std::nullopt, kStartOptions });
}

bool CDTools::runningCDHelperIsLatestVersion()
{
    const auto registered = LoginItems::registeredHelperPath(
        m_defaults.persistentDomainForName(QString::fromUtf16(LoginItems::kLoginWindowDomain)));
    if (!registered)
        return false;
    const float installed = LoginItems::versionNumber(bundleVersion(*registered));
    const float carried = m_helperResourcePath
        ? LoginItems::versionNumber(bundleVersion(*m_helperResourcePath))
        : 0.0f;
    return !(carried > installed);
}
