// The prompter the helper runs with: each prompt is a run of the prompt
// program (PromptProgram in prompt/installprompter.h), watched from the event
// loop. An unmount asks the volume's prompts to close; a prompt that found
// no host application ends the helper.
#pragma once

#include "platform/childprocess.h"
#include "prompt/installprompter.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

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
    // Asks every prompt to close and waits a moment for them (a window closed
    // that way keeps its place for next time); prompts still open then are
    // killed.
    void closeAllPrompts();

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
