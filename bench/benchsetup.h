// What the mount benches share: a private mount namespace, a throw-away
// home, and the test host installed there with a detectcd that answers at
// once. Each returns false (or nothing) where the bench cannot go on.
#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>

#include <sched.h>
#include <sys/mount.h>
#include <utility>

namespace benchsetup {

// Mounts made from here on stay in this process.
inline bool enterPrivateMountNamespace()
{
    return ::unshare(CLONE_NEWNS) == 0
        && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

// HOME and the XDG folders inside 'home'; call before GLib reads them.
inline void useHome(const QString &home)
{
    for (const auto &[name, value] : { std::pair { "HOME", home },
                                       { "XDG_CONFIG_HOME", home + QStringLiteral("/.config") },
                                       { "XDG_DATA_HOME", home + QStringLiteral("/.local/share") },
                                       { "XDG_DATA_DIRS", home + QStringLiteral("/none") } })
        qputenv(name, QFile::encodeName(value));
}

// Installs the host application with 'program' as its executable under
// home/Applications, its detectcd replaced by 'instantTool'; gives its path.
inline QString installHost(const QString &home, const QString &program, const QString &instantTool)
{
    QProcess install;
    install.start(QStringLiteral(RARURU_MAKE_HOST_APP),
                  { QStringLiteral("--program"), program, QStringLiteral("--applications"),
                    home + QStringLiteral("/Applications") });
    install.waitForFinished(-1);
    const QString host = QString::fromUtf8(install.readAllStandardOutput()).trimmed();
    const QString tool = host + QStringLiteral("/Contents/SharedSupport/Quillmont/bin/detectcd");
    QFile::remove(tool);
    if (host.isEmpty() || !QFile::copy(instantTool, tool))
        return {};
    return host;
}

// The main edition's preferences domain, holding the dictionary 'entries'.
inline bool writeMainDomain(const QString &home, const QByteArray &entries)
{
    QDir().mkpath(home + QStringLiteral("/.config/preferences"));
    QFile domain(home + QStringLiteral("/.config/preferences/com.tallowcraft.Quillmont.plist"));
    return domain.open(QIODevice::WriteOnly)
        && domain.write("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>" + entries
                        + "</dict></plist>\n")
        > 0;
}

} // namespace benchsetup
