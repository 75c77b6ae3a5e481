// The operations a host product (and the helper itself) calls to keep the
// helper's login item and the set of running helpers in order.
#pragma once

#include "platform/userdefaults.h"
#include "platform/workspace.h"
#include "util/qmobject.h"

#include <QString>
#include <QVariantList>

#include <optional>

class CDTools : public QMObject
{
public:
    // 'helperResourcePath' is the helper bundle the calling application
    // carries ("Quillmont DI Raruru.app" in its resources), when it has one.
    CDTools(UserDefaults &defaults, Workspace &workspace,
            std::optional<QString> helperResourcePath);

    // The helper resource of the running program's own bundle.
    [[nodiscard]] static std::optional<QString> mainBundleHelperResourcePath();

    // Whether the volume mounted at 'path' looks like a Windows installer: it
    // is itself an .exe, .msi or .inf file, or its top level holds an entry
    // named autorun.inf, setup.exe, setuppls.exe or setupse.exe (whole
    // names, letter case aside; only the top level is looked at).
    [[nodiscard]] static bool isValidInstallerVolume(const QString &path);

    // The host applications, main edition first: records with "BundleID" and
    // "IdentifyingURLScheme". A new list on every call.
    [[nodiscard]] static QVariantList getListOfAppsHelpedByTheCDHelper();

    // Stores the helper preferences ("AutoLaunch" = pref, "AutoLaunchAppID",
    // "AutoLaunchAppIdentifyingURLScheme", removed when absent) in the domain
    // of every host application that has one, in list order; never creates
    // a domain. With pref 2 the helper is then turned off
    // (installAndActivateCDHelper(false)), once every domain has the value. False, with a line in
    // the system log for each, when an existing domain could not be stored.
    bool updateHelperPrefForAllInstalls(int pref, const QString &appID,
                                        const std::optional<QString> &scheme);

    // With activate: keeps one helper login item (adding one for the helper
    // resource when there is none), leaves the first running helper running
    // and asks every other to quit, and starts the helper resource when none
    // runs. Without: removes every helper login item and asks every running
    // helper, this process included, to quit. Failures are not reported.
    void installAndActivateCDHelper(bool activate);

    // Whether the registered helper is at least as new as the helper
    // resource, versions read as single decimal numbers.
    [[nodiscard]] bool runningCDHelperIsLatestVersion();

private:
    UserDefaults &m_defaults;
    Workspace &m_workspace;
    std::optional<QString> m_helperResourcePath;
};
