// Autostart entries, read with GLib's key-file parser (the Desktop Entry
// specification's syntax) and written with its Exec quoting: the program in
// double quotes with " ` $ \ escaped, % doubled, then the value's own
// escapes (\\ \n \t \r) on top.
#include <glib.h>

#include "platform/autostart.h"

#include "platform/bundle.h"
#include "platform/desktopentry_p.h"
#include "platform/fileio_p.h"
#include "platform/filemanager.h"
#include "platform/filesystemrepresentation.h"

#include <QSet>

#include <algorithm>
#include <memory>

namespace Autostart {

namespace {

const char kGroup[] = "Desktop Entry";

struct KeyFileFree
{
    void operator()(GKeyFile *file) const { g_key_file_free(file); }
};
struct GFree
{
    void operator()(gpointer p) const { g_free(p); }
};
using GString_ = std::unique_ptr<char, GFree>;

std::optional<QString> stringValue(GKeyFile *file, const char *key)
{
    GString_ value(g_key_file_get_string(file, kGroup, key, nullptr));
    if (!value)
        return std::nullopt;
    return QString::fromUtf8(value.get());
}

// The program of an Exec line: its first word under the entry's quoting.
std::optional<QString> execProgram(const QString &exec)
{
    gchar **argv = nullptr;
    if (!g_shell_parse_argv(exec.toUtf8().constData(), nullptr, &argv, nullptr))
        return std::nullopt;
    const QString program
        = QString::fromUtf8(argv[0]).replace(QStringLiteral("%%"), QStringLiteral("%"));
    g_strfreev(argv);
    return program;
}

bool isWritable(const QString &text)
{
    const auto bytes = fileSystemRepresentation(text);
    return bytes && QString::fromUtf8(*bytes) == text; // desktop entries are UTF-8
}

// A string value with the key file's escapes; a leading blank is written as
// \s, or the reader would take it for space after the "=".
QString escapedValue(const QString &text)
{
    QString out;
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u' ':
            out += out.isEmpty() ? QStringLiteral("\\s") : QStringLiteral(" ");
            break;
        case u'\\':
            out += QStringLiteral("\\\\");
            break;
        case u'\n':
            out += QStringLiteral("\\n");
            break;
        case u'\t':
            out += QStringLiteral("\\t");
            break;
        case u'\r':
            out += QStringLiteral("\\r");
            break;
        default:
            out += c;
        }
    }
    return out;
}

// A file name for a new entry: the bundle's name in lower case, letters,
// digits and dashes only, with a number added when it is taken.
QString newEntryName(const QString &folder, const QString &bundlePath, QSet<QString> &taken)
{
    QString base = FileManager::defaultManager().displayNameAtPath(bundlePath).toLower();
    for (QChar &c : base) {
        if (!((c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9')))
            c = u'-';
    }
    if (base.isEmpty())
        base = QStringLiteral("login-item");
    for (int n = 1;; ++n) {
        QString name
            = base + (n > 1 ? u'-' + QString::number(n) : QString()) + QStringLiteral(".desktop");
        if (!taken.contains(name)
            && !FileManager::defaultManager().fileExistsAtPath(folder + u'/' + name)) {
            taken.insert(name);
            return name;
        }
    }
}

} // namespace

std::optional<QVariantMap> loginItemFromEntry(const QByteArray &entry)
{
    std::unique_ptr<GKeyFile, KeyFileFree> file(g_key_file_new());
    if (!g_key_file_load_from_data(file.get(), entry.constData(), gsize(entry.size()),
                                   G_KEY_FILE_NONE, nullptr)
        || stringValue(file.get(), "Type") != QStringLiteral("Application"))
        return std::nullopt;
    std::optional<QString> path = stringValue(file.get(), "X-Bundle-Path");
    if (!path) {
        const auto exec = stringValue(file.get(), "Exec");
        const auto program = exec ? execProgram(*exec) : std::nullopt;
        if (!program)
            return std::nullopt;
        path = Bundle::bundlePathForProgram(*program).value_or(*program);
    }
    const qint64 hide
        = stringValue(file.get(), "X-Bundle-Hide").value_or(QStringLiteral("0")).toLongLong();
    return QVariantMap { { QStringLiteral("Path"), *path }, { QStringLiteral("Hide"), hide } };
}

std::optional<QByteArray> entryForLoginItem(const QString &bundlePath, const QString &executable,
                                            qint64 hide)
{
    // The reader drops white space after the "=", and of it only the blank
    // has an escape; the Exec value starts with a quote.
    if (!isWritable(bundlePath) || !isWritable(executable) || bundlePath.startsWith(u'\f')
        || bundlePath.startsWith(u'\v'))
        return std::nullopt;
    const QString name = FileManager::defaultManager().displayNameAtPath(bundlePath);
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=%1\n"
                          "Exec=%2\n"
                          "X-Bundle-Path=%3\n"
                          "X-Bundle-Hide=%4\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(escapedValue(name), escapedValue(quotedExecArgument(executable)),
             escapedValue(bundlePath), QString::number(hide))
        .toUtf8();
}

QVariantList readLoginItems(const QString &folder)
{
    auto names
        = FileManager::defaultManager().directoryContentsAtPath(folder).value_or(QStringList {});
    names.sort();
    QVariantList items;
    for (const QString &name : std::as_const(names)) {
        if (!name.endsWith(QStringLiteral(".desktop")))
            continue;
        const auto bytes = readRegularFile(folder + u'/' + name, 1 << 20);
        auto item = bytes ? loginItemFromEntry(*bytes) : std::nullopt;
        if (!item)
            continue;
        item->insert(QString::fromUtf16(kEntryFileKey), name);
        items += *item;
    }
    return items;
}

bool writeLoginItems(const QString &folder, const QVariantList &items)
{
    FileManager &fm = FileManager::defaultManager();
    QSet<QString> listed;
    for (const QVariant &item : items)
        listed.insert(item.toMap().value(QString::fromUtf16(kEntryFileKey)).toString());
    bool ok = true;
    // Entries that were login items and are no longer listed go.
    for (const QVariant &current : readLoginItems(folder)) {
        const QString name = current.toMap().value(QString::fromUtf16(kEntryFileKey)).toString();
        if (!listed.contains(name))
            ok = fm.removeFileAtPath(folder + u'/' + name) && ok;
    }
    QSet<QString> taken = listed;
    for (const QVariant &value : items) {
        const QVariantMap item = value.toMap();
        if (item.contains(QString::fromUtf16(kEntryFileKey)))
            continue; // an entry that is there stays as it is
        const QString bundlePath = item.value(QStringLiteral("Path")).toString();
        const auto bundle = Bundle::create(bundlePath);
        const auto executable = bundle ? bundle->executablePath() : std::nullopt;
        const auto entry = executable
            ? entryForLoginItem(bundlePath, *executable,
                                item.value(QStringLiteral("Hide")).toLongLong())
            : std::nullopt;
        if (!entry || !makeFolders(fileSystemRepresentation(folder).value_or(QByteArray()), 0700)) {
            ok = false;
            continue;
        }
        ok = fm.createFileAtPath(folder + u'/' + newEntryName(folder, bundlePath, taken), *entry,
                                 { 0644 })
            && ok;
    }
    return ok;
}

} // namespace Autostart

QString quotedExecArgument(const QString &argument)
{
    QString quoted = QStringLiteral("\"");
    for (const QChar c : argument) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
        if (c == u'%')
            quoted += u'%';
    }
    return quoted + u'"';
}
