// Shows the install prompt for a volume, as the helper would, and saves a
// picture of its window; scripts/screenshot-prompt sets the scene.
//
//   raruru-prompt-screenshot WINDOW.ui VOLUME PACKAGE-NAME FILE.png
//
// The host applications are looked up as the helper does, in the user's
// session; the prompt speaks the user's language when the resources folder
// that holds WINDOW.ui has a translation for it. Nothing is installed or stored: no button is ever
// pressed.
#include "platform/translations.h"
#include "platform/userdefaults.h"
#include "platform/workspace.h"
#include "prompt/cdhelpercontroller.h"
#include "prompt/cdhelperprompter.h"

#include <QApplication>
#include <QFileInfo>

#include <cstdio>

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() != 5) {
        std::fprintf(stderr,
                     "usage: raruru-prompt-screenshot WINDOW.ui VOLUME PACKAGE-NAME FILE.png\n");
        return 2;
    }
    const std::unique_ptr<Workspace> workspace = Workspace::create();
    CDHelperPrompter prompter(PromptServices { *workspace,
                                               [] { return UserDefaults::create(); },
                                               {},
                                               std::nullopt,
                                               [] { QCoreApplication::exit(1); } },
                              arguments[1], translationsFolder(QFileInfo(arguments[1]).path()));
    prompter.promptForVolume(arguments[2], arguments[3], 0);
    const auto prompts = prompter.prompts();
    const auto prompt = prompts.empty() ? nullptr : prompts.front().lock();
    if (!prompt || !prompt->window()) {
        std::fprintf(stderr, "raruru-prompt-screenshot: no prompt was shown\n");
        return 1;
    }
    QApplication::processEvents();
    const bool saved = prompt->window()->grab().save(arguments[4], "PNG");
    prompter.closeAllPrompts();
    if (!saved) {
        std::fprintf(stderr, "raruru-prompt-screenshot: cannot write the picture\n");
        return 1;
    }
    return 0;
}
