// The two ways the helper's core and the prompt meet, both owned here so that
// the prompt depends on nothing above it: the core asks for a prompt through
// an InstallPrompter (the prompt window implements it; tests record the
// calls), and a prompt asks for a volume to be installed through a
// VolumeInstaller (the helper's delegate implements it).
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

// The prompt runs as a program of its own, which the helper bundle carries
// as Contents/Helpers/raruru-prompt, so that the helper watching mounts never
// loads the widget libraries and the display connection, and what a prompt
// loads goes when it has been answered.
//
//   raruru-prompt VOLUME SELECTED-APP [PACKAGE-NAME]
//
// VOLUME in the file system's bytes; SELECTED-APP the position of the stored
// launch target in the host application list, in decimal; PACKAGE-NAME
// absent when the disc's identifier could not be read, else its UTF-8 with
// NUL and "%" percent-encoded (an argument ends at a NUL, and a name is kept
// whole). SIGTERM closes the prompt as its close button would.
namespace PromptProgram {

inline constexpr char kFolder[] = "Contents/Helpers";
inline constexpr char kName[] = "raruru-prompt";

// Exit statuses. NoHostApplication: no host application is installed, and the
// helper is to end, as it would when it showed prompts itself.
enum ExitStatus { Answered = 0, NotShown = 1, UsageError = 2, NoHostApplication = 3 };

inline QByteArray packageNameArgument(const QString &name)
{
    QByteArray argument;
    for (const char c : name.toUtf8())
        argument += c == '\0' ? QByteArrayView("%00") : c == '%' ? "%25" : QByteArrayView(&c, 1);
    return argument;
}

inline QString packageNameFromArgument(const QByteArray &argument)
{
    return QString::fromUtf8(QByteArray::fromPercentEncoding(argument));
}

} // namespace PromptProgram

class VolumeInstaller
{
public:
    virtual ~VolumeInstaller() = default;

    // Asks the host application named by 'target' to open the volume for
    // installation, with 'parameters' (the express record) when given.
    // Whether it could is not reported.
    virtual void installVolume(const QString &volumePath, const LaunchTarget &target,
                               const std::optional<EventDescriptor> &parameters)
        = 0;
};
