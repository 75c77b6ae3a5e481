#include "platform/bundle.h"

#include "platform/filemanager.h"
#include "platform/filesystemrepresentation.h"
#include "platform/propertylist.h"
#include "platform/stringstable.h"

#include <climits>
#include <unistd.h>

namespace {

QString stripTrailingSlashes(QString path)
{
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    return path;
}

bool isDirectory(const QString &path)
{
    bool directory = false;
    return FileManager::defaultManager().fileExistsAtPath(path, &directory) && directory;
}

// Old bundles name their localizations in English words.
QString languageWord(const QString &code)
{
    static const QHash<QString, QString> words = {
        { QStringLiteral("en"), QStringLiteral("English") },
        { QStringLiteral("de"), QStringLiteral("German") },
        { QStringLiteral("fr"), QStringLiteral("French") },
        { QStringLiteral("ja"), QStringLiteral("Japanese") },
        { QStringLiteral("es"), QStringLiteral("Spanish") },
        { QStringLiteral("it"), QStringLiteral("Italian") },
        { QStringLiteral("nl"), QStringLiteral("Dutch") },
    };
    return words.value(code);
}

// Read afresh at every opening, never kept: no mark on a file tells for
// sure that it is unchanged (a volume mounted anew may show another file
// under the same device, inode, size and times, and a rewrite through a
// shared mapping keeps them all), and a small Info.plist parses in tens of
// microseconds.
QVariantMap readInfoDictionary(const QString &path)
{
    const auto info = PropertyList::readFile(path);
    return info && info->typeId() == QMetaType::QVariantMap ? info->toMap() : QVariantMap();
}

} // namespace

Bundle::Bundle(QString path, QVariantMap info)
    : m_path(std::move(path))
    , m_info(std::move(info))
{ }

Bundle::~Bundle() = default;

std::unique_ptr<Bundle> Bundle::create(const QString &path)
{
    const QString folder = stripTrailingSlashes(path);
    if (folder.isEmpty() || !isDirectory(folder))
        return nullptr;
    return std::unique_ptr<Bundle>(
        new Bundle(folder, readInfoDictionary(folder + QStringLiteral("/Contents/Info.plist"))));
}

std::optional<QString> Bundle::bundlePathForProgram(const QString &programPath)
{
    QStringList parts = programPath.split(u'/');
    const qsizetype n = parts.size();
    if (n < 5 || parts.at(n - 2) != QStringLiteral("MacOS")
        || parts.at(n - 3) != QStringLiteral("Contents")
        || !parts.at(n - 4).endsWith(QStringLiteral(".app"), Qt::CaseInsensitive)
        || parts.at(n - 4).size() == 4)
        return std::nullopt;
    parts.resize(n - 3);
    return parts.join(u'/');
}

std::unique_ptr<Bundle> Bundle::mainBundle()
{
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    if (n <= 0 || size_t(n) >= sizeof buffer)
        return nullptr;
    const auto bundle = bundlePathForProgram(stringWithFileSystemRepresentation(buffer, n));
    return bundle ? create(*bundle) : nullptr;
}

QStringList Bundle::preferredLocalizationNames()
{
    QStringList names;
    for (const char *variable : { "LC_ALL", "LC_MESSAGES", "LANG" }) {
        QString locale = QString::fromLocal8Bit(qgetenv(variable));
        if (locale.isEmpty())
            continue;
        // language[_territory][.codeset][@modifier]
        locale = locale.section(u'@', 0, 0).section(u'.', 0, 0);
        if (locale != QStringLiteral("C") && locale != QStringLiteral("POSIX")) {
            const QString language = locale.section(u'_', 0, 0);
            names << locale;
            if (locale.contains(u'_'))
                names << QString(locale).replace(u'_', u'-');
            names << language << languageWord(language);
        }
        break;
    }
    names << QStringLiteral("en") << QStringLiteral("English") << QStringLiteral("Base");
    names.removeAll(QString());
    names.removeDuplicates();
    return names;
}

QVariant Bundle::valueForInfoDictionaryKey(const QString &key) const
{
    if (const auto *table = stringsTable(QStringLiteral("InfoPlist"));
        table && table->contains(key))
        return table->value(key);
    return m_info.value(key);
}

std::optional<QString> Bundle::bundleIdentifier() const
{
    const QVariant value = m_info.value(QStringLiteral("CFBundleIdentifier"));
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    return value.toString();
}

std::optional<QString> Bundle::executablePath() const
{
    const QVariant value = m_info.value(QStringLiteral("CFBundleExecutable"));
    const QString name = value.toString();
    if (value.typeId() != QMetaType::QString || name.isEmpty() || name.contains(u'/')
        || name == QStringLiteral(".") || name == QStringLiteral(".."))
        return std::nullopt;
    const QString path = m_path + QStringLiteral("/Contents/MacOS/") + name;
    if (!FileManager::defaultManager().fileExistsAtPath(path))
        return std::nullopt;
    return path;
}

QString Bundle::resourcePath() const
{
    return m_path + QStringLiteral("/Contents/Resources");
}

QString Bundle::sharedSupportPath() const
{
    return m_path + QStringLiteral("/Contents/SharedSupport");
}

std::optional<QString> Bundle::pathForResource(const QString &name, const QString &type) const
{
    const QString file = type.isEmpty() ? name : name + u'.' + type;
    if (file.isEmpty())
        return std::nullopt;
    QStringList folders { resourcePath() };
    for (const QString &localization : localizations())
        folders << resourcePath() + u'/' + localization + QStringLiteral(".lproj");
    for (const QString &folder : folders) {
        const QString path = folder + u'/' + file;
        if (FileManager::defaultManager().fileExistsAtPath(path))
            return path;
    }
    return std::nullopt;
}

QStringList Bundle::localizations() const
{
    if (!m_localizations) {
        QStringList present;
        for (const QString &name : preferredLocalizationNames()) {
            if (isDirectory(resourcePath() + u'/' + name + QStringLiteral(".lproj")))
                present << name;
        }
        m_localizations = present;
    }
    return *m_localizations;
}

const QHash<QString, QString> *Bundle::stringsTable(const QString &table) const
{
    auto it = m_tables.find(table);
    if (it == m_tables.end()) {
        std::optional<QHash<QString, QString>> found;
        QStringList folders;
        for (const QString &localization : localizations())
            folders << resourcePath() + u'/' + localization + QStringLiteral(".lproj");
        folders << resourcePath();
        for (const QString &folder : folders) {
            const QString path = folder + u'/' + table + QStringLiteral(".strings");
            if (FileManager::defaultManager().fileExistsAtPath(path)) {
                found = StringsTable::readFile(path);
                break;
            }
        }
        it = m_tables.insert(table, found);
    }
    return it->has_value() ? &**it : nullptr;
}

QString Bundle::localizedString(const QString &key, const QString &value,
                                const QString &table) const
{
    const auto *strings = stringsTable(table.isEmpty() ? QStringLiteral("Localizable") : table);
    if (strings) {
        const auto it = strings->constFind(key);
        if (it != strings->constEnd())
            return *it;
    }
    return value.isEmpty() ? key : value;
}
