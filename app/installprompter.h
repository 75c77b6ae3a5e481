// Where the prompt verdict goes: the helper asks the user what to do with an
// installer volume. The prompt window (prompt/cdhelperprompter.h) implements
// this; tests record the calls.
#pragma once

#include <QString>

#include <optional>

class InstallPrompter
{
public:
    // The position the prompt is given when the stored launch target is not
    // among the host applications.
    static constexpr qsizetype kNotFound = 0x7FFFFFFF;

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
