// Application bundles: a folder Name.app laid out as
//     Contents/Info.plist              information property list
//     Contents/MacOS/<executable>
//     Contents/Resources/[<lang>.lproj/]<resources, Table.strings>
//     Contents/SharedSupport/
// A Bundle reads its folder when it is made and keeps nothing between
// openings: a bundle replaced or changed on disk, by any route, is seen anew
// by the next opening.
//
// Localizations are chosen from LC_ALL, LC_MESSAGES or LANG (the first that is
// set) against the bundle's *.lproj folders, then "en", "English" and "Base".
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

#include <memory>
#include <optional>

class Bundle
{
public:
    // The bundle at a folder; null when nothing at the path is a directory.
    // A folder without (or with an unreadable) Info.plist opens with an empty
    // information dictionary.
    [[nodiscard]] static std::unique_ptr<Bundle> create(const QString &path);
    // The bundle of the running program: the *.app folder whose Contents/MacOS
    // holds /proc/self/exe; null when the program does not run from one.
    [[nodiscard]] static std::unique_ptr<Bundle> mainBundle();
    // The bundle folder that holds a program directly in its Contents/MacOS
    // (".../Name.app/Contents/MacOS/program", ".app" in any letter case);
    // absent for any other path.
    [[nodiscard]] static std::optional<QString> bundlePathForProgram(const QString &programPath);
    // Localization folder names to try, best first, for the current locale.
    [[nodiscard]] static QStringList preferredLocalizationNames();

    ~Bundle();
    Bundle(const Bundle &) = delete;
    Bundle &operator=(const Bundle &) = delete;

    [[nodiscard]] QString bundlePath() const { return m_path; }
    [[nodiscard]] QVariantMap infoDictionary() const { return m_info; }
    // A value of the information dictionary, translated by the InfoPlist
    // strings table of the chosen localization where it has the key.
    [[nodiscard]] QVariant valueForInfoDictionaryKey(const QString &key) const;
    // CFBundleIdentifier, when it is a string.
    [[nodiscard]] std::optional<QString> bundleIdentifier() const;
    // Contents/MacOS/<CFBundleExecutable>, when named and present.
    [[nodiscard]] std::optional<QString> executablePath() const;
    [[nodiscard]] QString resourcePath() const;
    [[nodiscard]] QString sharedSupportPath() const;
    // Resources/<name>.<type> (or <name> with an empty type), looked for
    // outside the localizations first, then in them, best first.
    [[nodiscard]] std::optional<QString> pathForResource(const QString &name,
                                                         const QString &type) const;
    // The *.lproj folders the bundle has, best first for the current locale.
    [[nodiscard]] QStringList localizations() const;
    // The text for 'key' in strings table 'table' ("Localizable" when empty)
    // of the best localization that has that table; else 'value' when it is
    // not empty; else the key itself.
    [[nodiscard]] QString localizedString(const QString &key, const QString &value,
                                          const QString &table = {}) const;

private:
    Bundle(QString path, QVariantMap info);
    const QHash<QString, QString> *stringsTable(const QString &table) const;

    QString m_path;
    QVariantMap m_info;
    mutable std::optional<QStringList> m_localizations;
    mutable QHash<QString, std::optional<QHash<QString, QString>>> m_tables;
};
