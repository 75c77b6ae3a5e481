// Launch services on Linux, after the freedesktop Desktop Entry and MIME
// Applications Associations specifications, through GIO: the applications
// that claim scheme S are the desktop entries GIO lists for
// x-scheme-handler/S (from MimeType=, via the mimeinfo.cache that
// update-desktop-database writes). An entry's application is the *.app bundle
// that holds the program of its Exec line. Opening with a bundle starts its
// executable detached, with "--event-param KEYWORD=VALUE" for each item of
// the pass-through record and then the item URLs; opening without one uses
// the desktop's default handler of each URL.
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include "platform/launchservices.h"

#include "platform/applicationentries_p.h"
#include "platform/bundle.h"
#include "platform/detachedprocess.h"
#include "platform/filesystemrepresentation.h"

#include <cerrno>
#include <memory>

namespace {

struct GObjectUnref
{
    void operator()(gpointer object) const { g_object_unref(object); }
};
template<typename T> using GPtr = std::unique_ptr<T, GObjectUnref>;

struct GListFree
{
    void operator()(GList *list) const { g_list_free_full(list, g_object_unref); }
};
using AppInfoList = std::unique_ptr<GList, GListFree>;

struct GFreeDeleter
{
    void operator()(gpointer p) const { g_free(p); }
};

bool isSchemeCharacter(QChar c, bool first)
{
    const bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
    return first ? letter
                 : letter || (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.';
}

// The URL's scheme (RFC 3986: a letter, then letters, digits, + - .).
std::optional<QString> schemeOf(const QString &url)
{
    const qsizetype colon = url.indexOf(u':');
    if (colon <= 0)
        return std::nullopt;
    for (qsizetype i = 0; i < colon; ++i) {
        if (!isSchemeCharacter(url.at(i), i == 0))
            return std::nullopt;
    }
    return url.left(colon);
}

// The bundle holding the program an entry's Exec line starts. GLib's own
// g_app_info_get_executable() cuts a quoted program path at its first blank,
// so the Exec line is split here with the quoting rules it follows.
std::optional<QString> bundleOfAppInfo(GAppInfo *info)
{
    if (!G_IS_DESKTOP_APP_INFO(info))
        return std::nullopt;
    std::unique_ptr<char, GFreeDeleter> exec(
        g_desktop_app_info_get_string(G_DESKTOP_APP_INFO(info), "Exec"));
    gchar **argv = nullptr;
    if (!exec || !g_shell_parse_argv(exec.get(), nullptr, &argv, nullptr))
        return std::nullopt;
    QByteArray program(argv[0]);
    g_strfreev(argv);
    // A path is taken as it stands (searching would only give it back, or
    // nothing); a bare name is looked for on PATH.
    if (!program.startsWith('/')) {
        if (std::unique_ptr<char, GFreeDeleter> found {
                g_find_program_in_path(program.constData()) })
            program = found.get();
    }
    if (!program.startsWith('/'))
        return std::nullopt;
    return Bundle::bundlePathForProgram(stringWithFileSystemRepresentation(program));
}

class GioLaunchServices final : public LaunchServices
{
public:
    std::optional<QStringList> applicationURLsForURL(const QString &url) override
    {
        const auto scheme = schemeOf(url);
        if (!scheme)
            return std::nullopt;
        const QByteArray type = "x-scheme-handler/" + scheme->toUtf8();
        AppInfoList infos(g_app_info_get_all_for_type(type.constData()));
        QStringList bundles;
        for (GList *item = infos.get(); item; item = item->next) {
            const auto bundle = bundleOfAppInfo(G_APP_INFO(item->data));
            if (bundle && !bundles.contains(*bundle))
                bundles += *bundle;
        }
        if (bundles.isEmpty())
            return std::nullopt;
        return bundles;
    }

    std::optional<QString>
    absolutePathForAppBundleWithIdentifier(const QString &bundleIdentifier) override
    {
        const QByteArray desktopId = bundleIdentifier.toUtf8() + ".desktop";
        if (GPtr<GDesktopAppInfo> named { g_desktop_app_info_new(desktopId.constData()) }) {
            if (auto bundle = bundleOfAppInfo(G_APP_INFO(named.get())))
                return bundle;
        }
        AppInfoList all(g_app_info_get_all());
        for (GList *item = all.get(); item; item = item->next) {
            auto bundle = bundleOfAppInfo(G_APP_INFO(item->data));
            if (!bundle)
                continue;
            const auto reader = Bundle::create(*bundle);
            const auto identifier = reader ? reader->bundleIdentifier() : std::nullopt;
            if (identifier && identifier->compare(bundleIdentifier, Qt::CaseInsensitive) == 0)
                return bundle;
        }
        return std::nullopt;
    }

    int openFromURLSpec(const LaunchURLSpec &spec) override
    {
        if (!spec.appPath) {
            for (const QByteArray &url : spec.itemURLs) {
                GError *error = nullptr;
                if (!g_app_info_launch_default_for_uri(url.constData(), nullptr, &error)) {
                    g_clear_error(&error);
                    return ENOENT;
                }
            }
            return 0;
        }
        const auto bundle = Bundle::create(*spec.appPath);
        const auto executable = bundle ? bundle->executablePath() : std::nullopt;
        const auto program = executable ? fileSystemRepresentation(*executable) : std::nullopt;
        if (!program)
            return ENOENT;
        QList<QByteArray> arguments;
        if (spec.passThroughParams) {
            for (const auto &[keyword, text] : spec.passThroughParams->items()) {
                arguments << QByteArrayLiteral("--event-param")
                          << (EventDescriptor::keywordText(keyword) + u'=' + text).toUtf8();
            }
        }
        arguments += spec.itemURLs;
        return startDetachedProcess(*program, arguments);
    }

    bool registerApplication(const QString &bundlePath) override
    {
        return ApplicationEntries::registerBundle(bundlePath);
    }

    bool unregisterApplication(const QString &bundlePath) override
    {
        return ApplicationEntries::unregisterBundle(bundlePath);
    }
};

} // namespace

LaunchServices::~LaunchServices() = default;

std::unique_ptr<LaunchServices> LaunchServices::create()
{
    return std::make_unique<GioLaunchServices>();
}

QByteArray fileURLWithPath(const QString &path)
{
    const auto bytes = fileSystemRepresentation(path);
    if (!bytes || !bytes->startsWith('/'))
        return {};
    return "file://" + bytes->toPercentEncoding("/");
}

std::optional<QString> pathWithFileURL(const QByteArray &url)
{
    QByteArray rest;
    for (const char *prefix : { "file://localhost/", "file:///" }) {
        if (url.startsWith(prefix)) {
            rest = url.mid(qstrlen(prefix) - 1);
            break;
        }
    }
    if (rest.isEmpty() || rest.contains('?') || rest.contains('#'))
        return std::nullopt;
    const QByteArray path = QByteArray::fromPercentEncoding(rest);
    if (path.contains('\0'))
        return std::nullopt;
    return stringWithFileSystemRepresentation(path);
}
