// The prompter the helper runs with: each prompt is a run of the prompt
// program (prompt/promptprogram.h), watched from the event loop. An unmount
// asks the volume's prompts to close; a prompt that found no host
// application ends the helper.
#pragma once

#include "platform/childprocess.h"
#include "prompt/installprompter.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <list>
#include <memory>
#include <optional>

class PromptProcessPrompter final : public QObject, public InstallPrompter
{
    Q_OBJECT
public:
    // Prompts with 'program' (absent: the helper carries none, and no
    // prompt can be shown); 'terminate' asks the helper to end.
    PromptProcessPrompter(std::optional<QByteArray> program, std::function<void()> terminate);
    ~PromptProcessPrompter() override;

    // The prompt program of the running helper's bundle.
    [[nodiscard]] static std::optional<QByteArray> mainBundlePromptProgram();

    // Starts a prompt for the volume and returns at once.
    void promptForVolume(const QString &volumePath, const std::optional<QString> &packageName,
                         qsizetype selectedApp) override;
    // Asks the volume's prompts to close as their close buttons would.
    void volumeDidUnmount(const QString &volumePath) override;
    // Ends every prompt's input at once, which closes the prompts that are
    // not carrying out an answer, and waits up to 'bound' for all of them
    // together. A prompt that is carrying out an answer is left to finish;
    // one that neither closed nor acts (it hangs) is killed.
    void closeAllPrompts(std::chrono::milliseconds bound = std::chrono::seconds(2));

    // The volumes of the prompts running, oldest first.
    [[nodiscard]] QStringList promptedVolumes() const;

private:
    struct Prompt
    {
        QString volumePath;
        std::unique_ptr<ChildProcess> process;
    };

    std::optional<QByteArray> m_program;
    std::function<void()> m_terminate;
    std::list<Prompt> m_prompts;
};
