// raruru-cdtools: the helper's operations for host products written in any
// language. Install it in the host application's Contents/MacOS, beside the
// host's own program: the helper it installs is the one the host carries in
// its resources ("Quillmont DI Raruru.app").
#include "prefs/cdtools.h"

#include "platform/bundle.h"
#include "platform/filesystemrepresentation.h"
#include "platform/translations.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

namespace {

// Our texts, translated by the helper bundle the host carries.
const char kContext[] = "raruru-cdtools";

const char kUsage[] = QT_TRANSLATE_NOOP(
    "raruru-cdtools",
    "usage: raruru-cdtools COMMAND [ARGUMENTS]\n"
    "\n"
    "  install                      register the helper as a login item, keep one\n"
    "                               helper running and start it if none runs\n"
    "  remove                       remove the helper's login item and ask every\n"
    "                               running helper to quit\n"
    "  is-latest-version            exit 0 when the registered helper is at least as\n"
    "                               new as the one this host carries, else 1\n"
    "  is-valid-installer-volume PATH\n"
    "                               exit 0 when PATH looks like a Windows installer\n"
    "                               volume, else 1\n"
    "  update-preferences VALUE APP-ID [SCHEME]\n"
    "                               store what the helper does with installer discs\n"
    "                               (VALUE 1: install with APP-ID, 2: ignore and turn\n"
    "                               the helper off) in every host's preferences;\n"
    "                               exit 1 when one could not be stored\n"
    "\n"
    "Exit status 2 means the command line was not understood.\n");

QString translated(const char *text)
{
    return QCoreApplication::translate(kContext, text);
}

void print(const QString &text, FILE *stream)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
}

int usageError(const char *message)
{
    print(QStringLiteral("raruru-cdtools: %1\n\n%2").arg(translated(message), translated(kUsage)),
          stderr);
    return 2;
}

// The translation of the helper bundle the host carries, for the user's
// language; a damaged one is said once and the texts stay English.
std::unique_ptr<QTranslator> installTranslation(const std::optional<QString> &helper)
{
    const auto bundle = helper ? Bundle::create(*helper) : nullptr;
    if (!bundle)
        return nullptr;
    Translation translation = loadTranslation(translationsFolder(bundle->resourcePath()),
                                              preferredLanguages(LanguageEnvironment::current()));
    if (!translation.problem.isEmpty())
        qWarning().noquote() << translation.problem;
    if (translation.translator)
        QCoreApplication::installTranslator(translation.translator.get());
    return std::move(translation.translator);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const std::optional<QString> helper = CDTools::mainBundleHelperResourcePath();
    const std::unique_ptr<QTranslator> translator = installTranslation(helper);
    // Paths are taken as bytes: a volume's name need not be UTF-8.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments += stringWithFileSystemRepresentation(QByteArray(argv[i]));
    if (arguments.isEmpty())
        return usageError(QT_TRANSLATE_NOOP("raruru-cdtools", "a command is needed"));
    const QString command = arguments.takeFirst();
    if (command == QStringLiteral("-h") || command == QStringLiteral("--help")) {
        print(translated(kUsage), stdout);
        return 0;
    }
    const auto expect = [&](qsizetype least, qsizetype most) {
        return arguments.size() >= least && arguments.size() <= most;
    };

    if (command == QStringLiteral("is-valid-installer-volume")) {
        if (!expect(1, 1))
            return usageError(
                QT_TRANSLATE_NOOP("raruru-cdtools", "is-valid-installer-volume takes one path"));
        return CDTools::isValidInstallerVolume(arguments[0]) ? 0 : 1;
    }

    auto defaults = UserDefaults::create();
    auto workspace = Workspace::create();
    CDTools tools(*defaults, *workspace, helper);
    if (command == QStringLiteral("install") || command == QStringLiteral("remove")) {
        if (!expect(0, 0))
            return usageError(
                QT_TRANSLATE_NOOP("raruru-cdtools", "install and remove take no arguments"));
        if (command == QStringLiteral("install") && !helper) {
            print(QStringLiteral("raruru-cdtools: %1\n")
                      .arg(QCoreApplication::translate(
                               "raruru-cdtools",
                               "this program must run from a host application bundle whose "
                               "resources hold \"%1\"; nothing was installed")
                               .arg(QStringLiteral("Quillmont DI Raruru.app"))),
                  stderr);
            return 1;
        }
        tools.installAndActivateCDHelper(command == QStringLiteral("install"));
        return 0;
    }
    if (command == QStringLiteral("is-latest-version")) {
        if (!expect(0, 0))
            return usageError(
                QT_TRANSLATE_NOOP("raruru-cdtools", "is-latest-version takes no arguments"));
        return tools.runningCDHelperIsLatestVersion() ? 0 : 1;
    }
    if (command == QStringLiteral("update-preferences")) {
        bool isNumber = false;
        const int value = arguments.value(0).toInt(&isNumber);
        if (!expect(2, 3) || !isNumber || arguments[1].isEmpty())
            return usageError(QT_TRANSLATE_NOOP(
                "raruru-cdtools",
                "update-preferences takes a number, an application identifier and maybe a scheme"));
        return tools.updateHelperPrefForAllInstalls(
                   value, arguments[1],
                   arguments.size() > 2 ? std::optional(arguments[2]) : std::nullopt)
            ? 0
            : 1;
    }
    return usageError(QT_TRANSLATE_NOOP("raruru-cdtools", "unknown command"));
}
