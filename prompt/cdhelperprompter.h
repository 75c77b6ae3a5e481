// The prompter the prompt program runs with (prompt/program/main.cpp): one
// install prompt window for each volume it is asked about, each living by
// itself until it is answered, closed, or its volume goes. The program asks
// for one prompt; the helper itself never loads this (its prompter is
// PromptProcessPrompter, app/promptprocessprompter.h).
#pragma once

#include "prompt/installprompter.h"
#include "prompt/promptservices.h"

#include <QString>
#include <QTranslator>

#include <memory>
#include <optional>
#include <vector>

class CDHelperController;

class CDHelperPrompter final : public InstallPrompter
{
public:
    // Prompts with the window described at 'windowNibPath' (absent: the
    // helper bundle carries none, and no prompt can be shown), in the user's
    // language when 'translationsPath' has a translation for it, else in
    // English. 'services' must outlive the prompter; the prompter must
    // outlive its prompts' events, see closeAllPrompts().
    CDHelperPrompter(PromptServices services, std::optional<QString> windowNibPath,
                     std::optional<QString> translationsPath = std::nullopt);
    ~CDHelperPrompter() override;
    CDHelperPrompter(const CDHelperPrompter &) = delete;
    CDHelperPrompter &operator=(const CDHelperPrompter &) = delete;

    // Makes a prompt for the volume, loads its window and shows it in front;
    // the prompt then owns itself. The first prompt installs the translator
    // for the user's language, for the prompter's lifetime. Without a window (its .ui file
    // cannot be loaded) the volume is left alone, which the log says. With no host application
    // installed the prompt has asked the application to end and is not shown.
    void promptForVolume(const QString &volumePath, const std::optional<QString> &packageName,
                         qsizetype selectedApp) override;
    // Closes the open prompts of the volume as their close buttons would.
    void volumeDidUnmount(const QString &volumePath) override;

    // Closes every open prompt as its close button would and lets the
    // controllers go before returning. Call it while the application object
    // exists, before it goes: the prompts' windows need it to be deleted.
    void closeAllPrompts();

    // The prompts made so far that still live, oldest first.
    [[nodiscard]] std::vector<std::weak_ptr<CDHelperController>> prompts();

private:
    void installTranslation();

    PromptServices m_services;
    std::optional<QString> m_windowNibPath;
    std::optional<QString> m_translationsPath;
    // Chosen once, when the first prompt needs it: starts that never prompt
    // never read a translation.
    bool m_translationChosen = false;
    std::unique_ptr<QTranslator> m_translator;
    std::vector<std::weak_ptr<CDHelperController>> m_prompts;
};
