// Applications and the URLs they open: which applications claim a URL
// scheme, where an application with a bundle identifier is, and opening items
// with an application.
#pragma once

#include "platform/eventdescriptor.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>

// One open request.
struct LaunchURLSpec
{
    std::optional<QString> appPath; // bundle path; none: each item's default handler
    QList<QByteArray> itemURLs; // encoded URLs, as fileURLWithPath() makes them
    std::optional<EventDescriptor> passThroughParams; // the record handed to the application
    std::uint32_t launchFlags = 0;
};

// The file URL of an absolute path, its bytes percent-encoded
// ("file:///media/my%20disc"); empty for a relative path.
[[nodiscard]] QByteArray fileURLWithPath(const QString &path);
// The path of a local file URL ("file:///..." or "file://localhost/...");
// absent for any other URL. The inverse of fileURLWithPath().
[[nodiscard]] std::optional<QString> pathWithFileURL(const QByteArray &url);

class LaunchServices
{
public:
    virtual ~LaunchServices();
    LaunchServices(const LaunchServices &) = delete;
    LaunchServices &operator=(const LaunchServices &) = delete;

    // The desktop's application registry (GIO desktop entries).
    [[nodiscard]] static std::unique_ptr<LaunchServices> create();

    // Bundle paths of the applications that claim the URL's scheme, in the
    // registry's order; absent when there are none or the URL has no scheme.
    [[nodiscard]] virtual std::optional<QStringList> applicationURLsForURL(const QString &url) = 0;
    // The bundle of the application with this identifier; absent when none.
    [[nodiscard]] virtual std::optional<QString>
    absolutePathForAppBundleWithIdentifier(const QString &bundleIdentifier) = 0;
    // Starts the request, without waiting for the application: 0 when it was
    // accepted (the program started), an error number otherwise.
    [[nodiscard]] virtual int openFromURLSpec(const LaunchURLSpec &spec) = 0;

    // Makes the desktop know the application in the bundle by the desktop
    // entries it carries in its resources (*.desktop): each is written, under
    // its own name, to the user's applications folder, made to start the
    // bundle's program. True when every one is in place (also when the
    // bundle carries none).
    virtual bool registerApplication(const QString &bundlePath) = 0;
    // Removes the entries registerApplication() wrote for this bundle; an
    // entry of the same name that starts another copy stays. True when none
    // of this bundle's is left.
    virtual bool unregisterApplication(const QString &bundlePath) = 0;

protected:
    LaunchServices() = default;
};
