// The user's language and the translations of our own texts into it. Our
// texts are written in English; a translation is a Qt Linguist .qm file,
// raruru_<language>.qm, in a translations folder of the helper bundle.
#pragma once

#include <QString>
#include <QStringList>
#include <QTranslator>

#include <memory>

// The variables that name the user's language, as the environment holds them.
struct LanguageEnvironment
{
    QString language; // LANGUAGE: a colon-separated list, best first
    QString lcAll; // LC_ALL
    QString lcMessages; // LC_MESSAGES
    QString lang; // LANG

    // The running program's environment.
    [[nodiscard]] static LanguageEnvironment current();
};

// The languages to try for our texts, best first, read as gettext reads
// them: the locale is the first set of LC_ALL, LC_MESSAGES and LANG; under
// the C or POSIX locale (or none) the texts stay English and LANGUAGE is not
// looked at. Otherwise LANGUAGE, when set, lists the languages, else the
// locale alone names one. Each name gives language_TERRITORY, then language,
// without codeset or modifier ("de_DE.UTF-8@euro" gives de_DE, de). English,
// the texts' own language, ends the list, as "C" in LANGUAGE does: nothing
// after it is tried.
[[nodiscard]] QStringList preferredLanguages(const LanguageEnvironment &environment);

// The translations folder of the helper bundle whose resources folder is
// 'resourcePath'.
[[nodiscard]] QString translationsFolder(const QString &resourcePath);

// The languages the helper carries translations for, as the build made them.
[[nodiscard]] QStringList translatedLanguages();

struct Translation
{
    // The translator to install; null when the texts stay English.
    std::unique_ptr<QTranslator> translator;
    // Why a translation the helper carries for the language chosen could
    // not be used (the file is missing or damaged); empty otherwise.
    QString problem;
};

// The translation for the first of 'languages' the helper carries, read
// from raruru_<language>.qm in 'folder'. Languages the helper does not carry
// are passed over quietly; one it carries whose file cannot be loaded leaves
// the texts English, with the reason in 'problem'.
[[nodiscard]] Translation loadTranslation(const QString &folder, const QStringList &languages);

// The largest translation file taken; ours are a few KiB.
inline constexpr qsizetype kMaxTranslationSize = qsizetype(1) << 20;

// What is wrong with 'data' as a translation into 'language' in the form
// lrelease writes (see docs/security.md); empty when nothing is. Qt's own
// loader trusts every length and offset in the file once it has accepted it,
// so this looks at each of them first.
[[nodiscard]] QString translationDataProblem(const QByteArray &data, const QString &language);

// A translator for 'data', checked as above and by Qt's own loader; it keeps
// the bytes it reads from. Null, with the reason in 'problem', when either
// refuses them.
[[nodiscard]] std::unique_ptr<QTranslator>
translatorFromData(QByteArray data, const QString &language, QString *problem);
