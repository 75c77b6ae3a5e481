// The helper's delegate: what happens to a newly mounted volume, from the
// installer test to the verdict (open at once, ignore, or prompt), and the
// naming of the disc by the host's detectcd tool.
#pragma once

#include "platform/childprocess.h"
#include "platform/mountidentity.h"
#include "platform/mountmonitor.h"
#include "platform/userdefaults.h"
#include "platform/workspace.h"
#include "prefs/helperchoice.h"
#include "prompt/installprompter.h"

#include <QObject>
#include <QString>

#include <deque>
#include <functional>
#include <memory>
#include <optional>

class Bundle;

// The services the delegate works with; they must outlive it.
struct CDHelperServices
{
    Workspace &workspace;
    // A fresh reader of the preferences domains, made for every mount so
    // that each sees the domains as they are stored at that moment.
    std::function<std::unique_ptr<UserDefaults>()> makeUserDefaults;
    InstallPrompter &prompter;
    // Bounds for detectcd: it prints one short line, so a tool that runs
    // for long or prints much is broken and must not hold the helper.
    ChildProcessLimits detectcdLimits { std::chrono::seconds(30), 64 * 1024 };

    // Start-up: the running program's bundle (absent when it does not run
    // from one), the user's temporary-items folder, the mounts to watch, and
    // how the application ends.
    std::optional<QString> bundlePath = {};
    std::function<std::optional<QString>()> temporaryItemsFolder = [] { return std::nullopt; };
    std::function<std::unique_ptr<MountMonitor>()> makeMountMonitor = [] { return nullptr; };
    std::function<void()> terminate = [] {};
    // Called right before the copy is started: what makes this process the
    // session's helper passes to the copy.
    std::function<void()> willRelaunch = [] {};
};

class CDHelperDelegate : public QObject
{
    Q_OBJECT
public:
    explicit CDHelperDelegate(CDHelperServices services, QObject *parent = nullptr);
    ~CDHelperDelegate() override;

    // An open-file request from whoever started the process, delivered
    // before start-up. A request for this instance's own bundle path (exactly
    // as spelled) marks it as the temporary instance. Always true.
    bool applicationOpenFile(const QString &path);

    // Start-up. The temporary instance starts watching mounts (and tells the
    // prompter of unmounts, so that a prompt never outlives its disc). Any other
    // instance copies its bundle into the temporary-items folder (replacing
    // an earlier copy), starts the copy with the copy's own path as its
    // open-file request, and ends; without a usable folder it stays, idle.
    void applicationDidFinishLaunching();

    [[nodiscard]] bool isTempDirInstance() const { return m_isTempDirInstance; }

    // Handles one newly mounted volume, start to verdict. Mounts are handled
    // one after the other, in the order they came; while detectcd runs the
    // event loop goes on (prompts answer, quit requests are served), and a
    // later mount waits for the verdict on the earlier one.
    void observeMount(const QString &volumePath);

    // Asks the host application named by the launch target (bundle
    // identifier, URL scheme) to open the volume for installation, as the
    // prompt program does (QM_openVolume). A failure is logged, not reported.
    void launchAndInstall(const QString &volumePath, const std::optional<QString> &appID,
                          const std::optional<QString> &scheme);

    // Runs the main host application's detectcd on the volume and calls
    // 'done' from the event loop with the disc's identifier; with nothing
    // when the tool cannot be run: the main host application is not
    // installed, the tool is missing or cannot be started, or it did not
    // finish in time. Not called when the delegate goes first.
    void identifyVolume(const QString &volumePath,
                        std::function<void(std::optional<DiscIdentifier>)> done);

    // The name shown for a disc: the known disc's English name or the
    // identifier itself, translated by the main host application's TCL
    // strings where it has a translation. Finds that application anew.
    [[nodiscard]] std::optional<QString> getPackageDisplayName(const DiscIdentifier &identifier);

Q_SIGNALS:
    // The handling of a mount has ended, whatever its verdict.
    void didHandleMount(const QString &volumePath);

private:
    [[nodiscard]] std::unique_ptr<Bundle> mainHostApplicationBundle();
    void handleNextMount();
    void carryOut(const QString &volumePath, const StoredChoice &choice,
                  const DiscIdentifier &identifier);
    void finishMount(const QString &volumePath);

    CDHelperServices m_services;
    bool m_isTempDirInstance = false;
    std::unique_ptr<MountMonitor> m_mountMonitor;
    // With the mount each had when it was reported: a disc ejected, or
    // replaced, while it waited or detectcd ran is not acted on.
    std::deque<std::pair<QString, std::optional<MountIdentity>>> m_pendingMounts;
    bool m_handlingMount = false;
    std::unique_ptr<ChildProcess> m_detectcd; // while a mount waits for it
};
