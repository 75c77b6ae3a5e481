// The two ways the helper's core and the prompt meet, both owned here so that
// the prompt depends on nothing above it. The core asks for a prompt through
// an InstallPrompter: in the helper that is PromptProcessPrompter
// (app/promptprocessprompter.h), which starts the prompt program for each;
// in the prompt program, CDHelperPrompter, which shows the window. A prompt
// asks for a volume to be installed through a VolumeInstaller: in the
// prompt program, one that opens it with the host application
// (QM_openVolume in hostapps/workspaceadditions.h), as the helper's
// delegate does for AutoLaunch 1.
#pragma once

#include "platform/eventdescriptor.h"
#include "prefs/helperchoice.h"

#include <QString>

#include <optional>

class InstallPrompter
{
public:
    virtual ~InstallPrompter() = default;

    // Opens a prompt for the volume at 'volumePath' and returns at once; the
    // prompt lives by itself until the user answers or closes it.
    // 'packageName' is the disc's display name (absent for a disc whose
    // identifier could not be read); 'selectedApp' is the position of the
    // stored launch target in the host application list, or kNotFound.
    virtual void promptForVolume(const QString &volumePath,
                                 const std::optional<QString> &packageName, qsizetype selectedApp)
        = 0;

    // The volume at 'volumePath' (as promptForVolume was given it) has been
    // unmounted: its open prompts close as their close button would, running
    // no action. Prompters that show nothing lasting need not care.
    virtual void volumeDidUnmount(const QString &volumePath) { (void)volumePath; }
};

class VolumeInstaller
{
public:
    virtual ~VolumeInstaller() = default;

    // Asks the host application named by 'target' to open the volume for
    // installation, with 'parameters' (the express record) when given.
    // A failure is logged, not reported.
    virtual void installVolume(const QString &volumePath, const LaunchTarget &target,
                               const std::optional<EventDescriptor> &parameters)
        = 0;
};
