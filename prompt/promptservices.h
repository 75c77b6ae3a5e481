// What the install prompt works with. The prompt program makes these
// (prompt/program/main.cpp); tests give real services in a temporary home.
#pragma once

#include "hostapps/workspaceadditions.h"
#include "platform/userdefaults.h"
#include "platform/workspace.h"
#include "prompt/installprompter.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

struct PromptServices
{
    // Finds and opens host applications; must outlive every prompt.
    Workspace &workspace;
    // A fresh reader of the preferences domains, made for each stored choice.
    std::function<std::unique_ptr<UserDefaults>()> makeUserDefaults;
    // Where both install actions go. Without one nothing is opened.
    VolumeInstaller *installer = nullptr;
    // The helper bundle a host application carries, for turning the helper
    // off and on (CDTools::mainBundleHelperResourcePath()).
    std::optional<QString> helperResourcePath;
    // Asks the application to end once the current event has been handled.
    std::function<void()> terminate;
    // Asked as an action starts, after the window has closed: false drops
    // the answer (its volume is no longer the one the prompt was shown
    // for), and the action stores and opens nothing. None: always go on.
    std::function<bool(const QString &volumePath)> willAct = {};
};

// Both install actions go to the host application, as the helper sends a
// volume for AutoLaunch 1.
class HostVolumeInstaller final : public VolumeInstaller
{
public:
    explicit HostVolumeInstaller(Workspace &workspace)
        : m_workspace(workspace)
    { }
    void installVolume(const QString &volumePath, const LaunchTarget &target,
                       const std::optional<EventDescriptor> &parameters) override
    {
        (void)QM_openVolume(m_workspace, volumePath, target.appID, target.scheme, parameters);
    }

private:
    Workspace &m_workspace;
};
