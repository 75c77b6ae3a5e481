#include "prompt/cdhelperprompter.h"

#include "platform/translations.h"
#include "prompt/cdhelpercontroller.h"
#include "prompt/promptlog_p.h"

#include <QCoreApplication>
#include <QWidget>

#include <algorithm>
#include <limits>

CDHelperPrompter::CDHelperPrompter(PromptServices services, std::optional<QString> windowNibPath,
                                   std::optional<QString> translationsPath)
    : m_services(std::move(services))
    , m_windowNibPath(std::move(windowNibPath))
    , m_translationsPath(std::move(translationsPath))
{ }

CDHelperPrompter::~CDHelperPrompter() = default;

void CDHelperPrompter::installTranslation()
{
    if (m_translationChosen || !m_translationsPath)
        return;
    m_translationChosen = true;
    Translation translation
        = loadTranslation(*m_translationsPath, preferredLanguages(LanguageEnvironment::current()));
    if (!translation.problem.isEmpty())
        qCWarning(lcPrompt).noquote() << translation.problem;
    m_translator = std::move(translation.translator);
    // The window description's texts are translated as it is loaded.
    if (m_translator)
        QCoreApplication::installTranslator(m_translator.get());
}

void CDHelperPrompter::promptForVolume(const QString &volumePath,
                                       const std::optional<QString> &packageName,
                                       qsizetype selectedApp)
{
    const auto leftAlone = [&volumePath] {
        qCWarning(lcPrompt).noquote()
            << QStringLiteral("No prompt can be shown; the volume at %1 is left alone")
                   .arg(volumePath);
    };
    if (!m_windowNibPath) {
        qCWarning(lcPrompt).noquote()
            << QStringLiteral("The helper bundle carries no window description %1.ui")
                   .arg(QString::fromUtf16(CDHelperController::kWindowNibName));
        leftAlone();
        return;
    }

    installTranslation();
    const auto controller = CDHelperController::create(*m_windowNibPath, m_services);
    controller->setVolumePath(volumePath);
    controller->setPackageName(packageName.value_or(QString()));
    controller->setSelectedApp(
        int(std::min<qsizetype>(selectedApp, std::numeric_limits<int>::max())));
    QWidget *window = controller->window();
    if (!window) {
        leftAlone(); // the controller said why
        return;
    }
    if (controller->quillmontAppList().isEmpty())
        return; // no host application: the application is ending

    // Linux desktops have no application to bring forward, only its window.
    window->show();
    window->raise();
    window->activateWindow();
    controller->setOwnsSelf(true);
    std::erase_if(m_prompts, [](const auto &prompt) { return prompt.expired(); });
    m_prompts.push_back(controller);
}

void CDHelperPrompter::volumeDidUnmount(const QString &volumePath)
{
    for (const auto &prompt : prompts()) {
        if (const auto controller = prompt.lock();
            controller && controller->volumePath() == volumePath)
            controller->close();
    }
}

void CDHelperPrompter::closeAllPrompts()
{
    for (const auto &prompt : prompts()) {
        if (const auto controller = prompt.lock())
            controller->close();
    }
    // The closes gave up the controllers' references to themselves, to be
    // dropped once control is back in the event loop: that is now.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    m_prompts.clear();
}

std::vector<std::weak_ptr<CDHelperController>> CDHelperPrompter::prompts()
{
    std::erase_if(m_prompts, [](const auto &prompt) { return prompt.expired(); });
    return m_prompts;
}
