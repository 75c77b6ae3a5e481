#include "platform/translations.h"

#include <QFileInfo>

#include <algorithm>

namespace {

QString variable(const char *name)
{
    return QString::fromLocal8Bit(qgetenv(name));
}

// language[_territory][.codeset][@modifier] without codeset and modifier.
QString withoutCodesetAndModifier(const QString &name)
{
    return name.section(u'@', 0, 0).section(u'.', 0, 0);
}

bool isCLocale(const QString &name)
{
    const QString bare = withoutCodesetAndModifier(name);
    return bare == QStringLiteral("C") || bare == QStringLiteral("POSIX");
}

bool isWord(QStringView text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
    });
}

} // namespace

LanguageEnvironment LanguageEnvironment::current()
{
    return { variable("LANGUAGE"), variable("LC_ALL"), variable("LC_MESSAGES"), variable("LANG") };
}

QStringList preferredLanguages(const LanguageEnvironment &environment)
{
    QString locale;
    for (const QString *value :
         { &environment.lcAll, &environment.lcMessages, &environment.lang }) {
        if (!value->isEmpty()) {
            locale = *value;
            break;
        }
    }
    if (locale.isEmpty() || isCLocale(locale))
        return {};

    const QStringList names = environment.language.isEmpty()
        ? QStringList { locale }
        : environment.language.split(u':', Qt::SkipEmptyParts);
    QStringList languages;
    for (const QString &name : names) {
        if (isCLocale(name))
            break;
        const QString bare = withoutCodesetAndModifier(name);
        const QString language = bare.section(u'_', 0, 0);
        const QString territory = bare.section(u'_', 1);
        // Names become file names: anything but letters and digits is no language.
        if (!isWord(language) || (bare.contains(u'_') && !isWord(territory)))
            continue;
        if (language == QStringLiteral("en"))
            break;
        if (!territory.isEmpty() && !languages.contains(bare))
            languages << bare;
        if (!languages.contains(language))
            languages << language;
    }
    return languages;
}

QString translationsFolder(const QString &resourcePath)
{
    return resourcePath + QStringLiteral("/translations");
}

QStringList translatedLanguages()
{
    return QStringLiteral(RARURU_TRANSLATED_LANGUAGES).split(u' ', Qt::SkipEmptyParts);
}

Translation loadTranslation(const QString &folder, const QStringList &languages)
{
    const QStringList carried = translatedLanguages();
    for (const QString &language : languages) {
        if (!carried.contains(language))
            continue;
        const QString path = folder + QStringLiteral("/raruru_") + language + QStringLiteral(".qm");
        // Looked for first: QTranslator, missing a file, tries names cut at
        // every '_' and '.' of the whole path.
        if (!QFileInfo(path).isFile())
            return {
                nullptr,
                QStringLiteral("The translation %1 is missing; the texts stay in English").arg(path)
            };
        auto translator = std::make_unique<QTranslator>();
        if (!translator->load(path))
            return { nullptr,
                     QStringLiteral("The translation %1 cannot be read; the texts stay in English")
                         .arg(path) };
        return { std::move(translator), {} };
    }
    return {};
}
