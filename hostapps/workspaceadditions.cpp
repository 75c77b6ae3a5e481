#include "hostapps/workspaceadditions.h"

#include "host/hostproduct.h"
#include "hostapps/candidatejudging.h"
#include "hostapps/qmfilemanager.h"
#include "platform/launchservices.h"
#include "platform/systemlog.h"

#include <cstring>

ProcessSerialNumber QM_findrunningAppProcessWithIdentifier(Workspace &workspace,
                                                           const QString &bundleIdentifier)
{
    ProcessList &processes = workspace.processList();
    ProcessSerialNumber psn;
    while (processes.getNextProcess(psn)) {
        const auto information = processes.processInformation(psn);
        if (information && information->bundleIdentifier
            && information->bundleIdentifier->compare(bundleIdentifier, Qt::CaseInsensitive) == 0)
            return psn;
    }
    return {};
}

std::optional<QString> QM_findRunningAppBundleWithIdentifier(Workspace &workspace,
                                                             const QString &bundleIdentifier)
{
    const ProcessSerialNumber psn
        = QM_findrunningAppProcessWithIdentifier(workspace, bundleIdentifier);
    if (psn.lowLongOfPSN == 0)
        return std::nullopt;
    const auto information = workspace.processList().processInformation(psn);
    return information ? information->bundlePath : std::nullopt;
}

std::optional<QString>
QM_absolutePathForAppBundleWithIdentifier(Workspace &workspace, const QString &bundleIdentifier,
                                          const std::optional<QString> &scheme)
{
    if (auto running = QM_findRunningAppBundleWithIdentifier(workspace, bundleIdentifier))
        return running;
    if (scheme) {
        if (const auto urls
            = workspace.launchServices().applicationURLsForURL(HostProduct::probeURL(*scheme))) {
            QMFileManager &fileManager = *QMFileManager::defaultManager();
            // Each copy's bundle lives only while it is judged; only the best
            // record is kept, so memory does not grow with the number of copies.
            CandidateRanking ranking;
            for (const QString &path : *urls)
                ranking.consider(readApplicationCandidate(fileManager, path, bundleIdentifier));
            if (ranking.best())
                return ranking.best()->path;
        }
    }
    return workspace.absolutePathForAppBundleWithIdentifier(bundleIdentifier);
}

bool QM_openURLs(Workspace &workspace, const QList<QByteArray> &itemURLs,
                 const std::optional<QString> &bundleIdentifier,
                 const std::optional<QString> &scheme, std::uint32_t options,
                 const std::optional<EventDescriptor> &additionalEventParams)
{
    LaunchURLSpec spec { std::nullopt, itemURLs, additionalEventParams, options };
    if (bundleIdentifier || scheme) {
        spec.appPath = QM_absolutePathForAppBundleWithIdentifier(
            workspace, bundleIdentifier.value_or(QString()), scheme);
        if (!spec.appPath)
            return false;
    }
    return workspace.launchServices().openFromURLSpec(spec) == 0;
}

bool QM_openVolume(Workspace &workspace, const QString &volumePath,
                   const std::optional<QString> &bundleIdentifier,
                   const std::optional<QString> &scheme,
                   const std::optional<EventDescriptor> &additionalEventParams)
{
    const QString application = bundleIdentifier.value_or(scheme.value_or(QString()));
    const auto failed = [&](const QString &reason) {
        systemLog(QStringLiteral("The volume at %1 could not be opened with %2: %3.")
                      .arg(volumePath, application, reason));
        return false;
    };
    const auto appPath = QM_absolutePathForAppBundleWithIdentifier(
        workspace, bundleIdentifier.value_or(QString()), scheme);
    if (!appPath)
        return failed(QStringLiteral("no such application is installed"));
    const int error = workspace.launchServices().openFromURLSpec({ appPath,
                                                                   { fileURLWithPath(volumePath) },
                                                                   additionalEventParams,
                                                                   HostProduct::kLaunchOptions });
    if (error != 0)
        return failed(QString::fromLocal8Bit(std::strerror(error)));
    return true;
}

bool QM_launchAppWithBundleIdentifier(Workspace &workspace, const QString &bundleIdentifier,
                                      const std::optional<QString> &scheme, std::uint32_t options,
                                      const std::optional<EventDescriptor> &additionalEventParams)
{
    if (QM_findRunningAppBundleWithIdentifier(workspace, bundleIdentifier))
        return true;
    return QM_openURLs(workspace, {}, bundleIdentifier, scheme, options, additionalEventParams);
}
