#include "app/promptprocessprompter.h"

#include "platform/bundle.h"
#include "platform/filesystemrepresentation.h"
#include "platform/mountidentity.h"
#include "platform/systemlog.h"
#include "prompt/promptprogram.h"

#include <QTimer>

#include <chrono>

namespace {

// A prompt waits for its user as long as it takes, and closes cleanly also
// when asked to while it starts.
const ChildProcessLimits kPromptLimits { std::chrono::milliseconds(0), qsizetype(64) * 1024, true };

} // namespace

PromptProcessPrompter::PromptProcessPrompter(std::optional<QByteArray> program,
                                             std::function<void()> terminate)
    : m_program(std::move(program))
    , m_terminate(std::move(terminate))
{ }

PromptProcessPrompter::~PromptProcessPrompter() = default;

std::optional<QByteArray> PromptProcessPrompter::mainBundlePromptProgram()
{
    const auto bundle = Bundle::mainBundle();
    if (!bundle)
        return std::nullopt;
    return fileSystemRepresentation(bundle->bundlePath() + u'/'
                                    + QLatin1String(PromptProgram::kFolder) + u'/'
                                    + QLatin1String(PromptProgram::kName));
}

void PromptProcessPrompter::promptForVolume(const QString &volumePath,
                                            const std::optional<QString> &packageName,
                                            qsizetype selectedApp)
{
    // A disc that has already gone gets no prompt.
    const auto mount = mountIdentityAt(volumePath);
    if (!mount) {
        systemLog(QStringLiteral("The volume at %1 has gone; no prompt is shown.").arg(volumePath));
        return;
    }
    const auto volume = fileSystemRepresentation(volumePath);
    const QByteArray request = PromptProgram::encodeRequest(
        { volume.value_or(QByteArray()), selectedApp, packageName, *mount });
    auto process = m_program && volume
        ? ChildProcess::start(*m_program, {}, kPromptLimits, nullptr, request)
        : nullptr;
    if (!process) {
        systemLog(QStringLiteral("No prompt can be shown (the prompt program %1 cannot be "
                                 "started); the volume at %2 is left alone.")
                      .arg(stringWithFileSystemRepresentation(m_program.value_or(QByteArray())),
                           volumePath));
        return;
    }
    ChildProcess *started = process.get();
    m_prompts.push_back({ volumePath, std::move(process) });
    connect(started, &ChildProcess::finished, this,
            [this, started](const ChildProcessResult &result) {
                // Gone from the event loop, after the signal's handling.
                QTimer::singleShot(0, this, [this, started] {
                    m_prompts.remove_if([started](const Prompt &prompt) {
                        return prompt.process.get() == started;
                    });
                });
                if (result.exitCode == PromptProgram::NoHostApplication && m_terminate)
                    m_terminate();
            });
}

void PromptProcessPrompter::volumeDidUnmount(const QString &volumePath)
{
    for (Prompt &prompt : m_prompts) {
        if (prompt.volumePath == volumePath)
            (void)prompt.process->terminate(std::chrono::milliseconds(0));
    }
}

void PromptProcessPrompter::closeAllPrompts(std::chrono::milliseconds bound)
{
    QList<ChildProcess *> processes;
    for (Prompt &prompt : m_prompts) {
        prompt.process->closeInput();
        processes += prompt.process.get();
    }
    ChildProcess::waitForExits(processes, bound);
    for (Prompt &prompt : m_prompts) {
        // Killing one that stores a choice could cut it: it ends by itself.
        if (!prompt.process->hasExited()
            && prompt.process->outputSoFar().contains(PromptProgram::kActing))
            prompt.process->release();
    }
    m_prompts.clear(); // kills what is left
}

QStringList PromptProcessPrompter::promptedVolumes() const
{
    QStringList volumes;
    for (const Prompt &prompt : m_prompts)
        volumes += prompt.volumePath;
    return volumes;
}
