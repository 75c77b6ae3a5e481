// A bundle's desktop entries in $XDG_DATA_HOME/applications, where desktops
// look up the application behind a window (Wayland app_id, X11 window
// class) for its name and icon. The entry is the bundle's own, comments and
// translations kept, with Exec set to the bundle's program; the file is
// written only when its text changes, so desktops watching the folder are
// not woken by every install.
#include <glib.h>

#include "platform/applicationentries_p.h"

#include "platform/bundle.h"
#include "platform/desktopentry_p.h"
#include "platform/fileio_p.h"
#include "platform/filemanager.h"
#include "platform/filesystemrepresentation.h"
#include "platform/standardpaths.h"

#include <QSaveFile>

#include <functional>
#include <memory>

namespace ApplicationEntries {

namespace {

const char kGroup[] = "Desktop Entry";
constexpr qint64 kMaxEntrySize = qint64(64) * 1024;

struct KeyFileFree
{
    void operator()(GKeyFile *file) const { g_key_file_free(file); }
};
using KeyFile = std::unique_ptr<GKeyFile, KeyFileFree>;
struct GFree
{
    void operator()(gpointer p) const { g_free(p); }
};

QString applicationsFolder()
{
    return xdgBaseFolder(XdgBaseFolder::Data) + QStringLiteral("/applications");
}

KeyFile loadEntry(const QString &path)
{
    const auto bytes = readRegularFile(path, kMaxEntrySize);
    KeyFile file(g_key_file_new());
    if (!bytes
        || !g_key_file_load_from_data(
            file.get(), bytes->constData(), gsize(bytes->size()),
            GKeyFileFlags(G_KEY_FILE_KEEP_COMMENTS | G_KEY_FILE_KEEP_TRANSLATIONS), nullptr)
        || !g_key_file_has_group(file.get(), kGroup))
        return nullptr;
    return file;
}

// The program an entry starts, as its Exec line quotes it.
std::optional<QString> execProgram(GKeyFile *entry)
{
    std::unique_ptr<char, GFree> exec(g_key_file_get_string(entry, kGroup, "Exec", nullptr));
    gchar **argv = nullptr;
    if (!exec || !g_shell_parse_argv(exec.get(), nullptr, &argv, nullptr))
        return std::nullopt;
    QString program = QString::fromUtf8(argv[0]).replace(QStringLiteral("%%"), QStringLiteral("%"));
    g_strfreev(argv);
    return program;
}

// Calls 'each' with the name of every entry the bundle carries and the
// bundle's program; false when the bundle has no program.
bool forEachCarriedEntry(const QString &bundlePath,
                         const std::function<bool(const QString &, const QString &)> &each)
{
    const auto bundle = Bundle::create(bundlePath);
    const auto program = bundle ? bundle->executablePath() : std::nullopt;
    if (!program)
        return false;
    const QString resources = bundle->resourcePath();
    bool ok = true;
    const auto names = FileManager::defaultManager().directoryContentsAtPath(resources);
    for (const QString &name : names.value_or(QStringList {})) {
        if (name.endsWith(QStringLiteral(".desktop")))
            ok = each(resources + u'/' + name, *program) && ok;
    }
    return ok;
}

} // namespace

bool registerBundle(const QString &bundlePath)
{
    return forEachCarriedEntry(bundlePath, [](const QString &carried, const QString &program) {
        const KeyFile entry = loadEntry(carried);
        const auto programBytes = fileSystemRepresentation(program);
        // Desktop entries are UTF-8: a program path that is not cannot be named.
        if (!entry || !programBytes || QString::fromUtf8(*programBytes) != program)
            return false;
        g_key_file_set_string(entry.get(), kGroup, "Exec",
                              quotedExecArgument(program).toUtf8().constData());
        gsize size = 0;
        const std::unique_ptr<char, GFree> text(g_key_file_to_data(entry.get(), &size, nullptr));
        const QByteArray contents(text.get(), qsizetype(size));
        const QString folder = applicationsFolder();
        const QString target = folder + u'/' + carried.section(u'/', -1);
        if (readRegularFile(target, kMaxEntrySize) == contents)
            return true;
        if (!makeFolders(fileSystemRepresentation(folder).value_or(QByteArray()), 0700))
            return false;
        // Replaced whole: a desktop that reads the folder as it changes never
        // sees half an entry.
        QSaveFile file(target);
        return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size()
            && file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                   | QFileDevice::ReadGroup | QFileDevice::ReadOther)
            && file.commit();
    });
}

bool unregisterBundle(const QString &bundlePath)
{
    return forEachCarriedEntry(bundlePath, [](const QString &carried, const QString &program) {
        const QString target = applicationsFolder() + u'/' + carried.section(u'/', -1);
        const KeyFile entry = loadEntry(target);
        if (!entry || execProgram(entry.get()) != program)
            return true; // none, or another copy's
        return FileManager::defaultManager().removeFileAtPath(target);
    });
}

} // namespace ApplicationEntries
