#include "prefs/cdtools.h"

#include "host/hostproduct.h"
#include "hostapps/qmbundle.h"
#include "platform/bundle.h"
#include "prefs/loginitems.h"

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

void CDTools::installAndActivateCDHelper(bool activate)
{
    // The login item.
    const QString loginWindow = QString::fromUtf16(LoginItems::kLoginWindowDomain);
    const auto domain = m_defaults.persistentDomainForName(loginWindow);
    m_defaults.setPersistentDomain(
        LoginItems::editedLoginWindowDomain(domain, activate, m_helperResourcePath), loginWindow);
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
