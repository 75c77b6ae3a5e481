#include "prefs/cdtools.h"

#include "host/hostproduct.h"
#include "hostapps/qmbundle.h"
#include "hostapps/qmfilemanager.h"
#include "platform/bundle.h"
#include "prefs/helperchoice.h"
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

// A process whose bundle has the helper's identifier. A helper whose
// temporary copy was deleted under it has no bundle left to tell its
// identifier; one whose program was in a bundle named as the helper's is
// taken for one, so that it can still be asked to quit.
bool isRunningHelper(const ProcessInformation &process)
{
    if (process.bundleIdentifier)
        return *process.bundleIdentifier == QStringView(HostProduct::kHelperBundleIdentifier);
    // The same name rule as for the helper's login items.
    return process.programDeleted && process.bundlePath
        && LoginItems::isHelperLoginItem(
               QVariantMap { { QString::fromUtf16(LoginItems::kPathKey), *process.bundlePath } });
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
    for (const HostApplicationRecord &record : hostApplications()) {
        list += QVariantMap { { QStringLiteral("BundleID"), record.bundleID },
                              { QStringLiteral("IdentifyingURLScheme"),
                                record.identifyingURLScheme } };
    }
    return list;
}

bool CDTools::updateHelperPrefForAllInstalls(int pref, const QString &appID,
                                             const std::optional<QString> &scheme)
{
    // Stored first: turning the helper off asks every helper to quit, the
    // one whose prompt calls this included, and "never again" must be in
    // every domain whatever happens to the caller after that.
    const bool stored = storeChoiceForAllInstalls(m_defaults, pref, appID, scheme);
    if (pref == int(AutoLaunch::Ignore))
        installAndActivateCDHelper(false);
    return stored;
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

    // The desktop's name and icon for the helper's windows come with it.
    if (m_helperResourcePath) {
        LaunchServices &launchServices = m_workspace.launchServices();
        (void)(activate ? launchServices.registerApplication(*m_helperResourcePath)
                        : launchServices.unregisterApplication(*m_helperResourcePath));
    }

    // The running helpers: the first may stay, every other is asked to quit.
    ProcessList &processes = m_workspace.processList();
    bool keep = activate;
    ProcessSerialNumber psn;
    while (processes.getNextProcess(psn) && psn.lowLongOfPSN != 0) {
        const auto information = processes.processInformation(psn);
        if (!information || !isRunningHelper(*information))
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
