// Finding and opening host applications through the workspace.
//
// A host application is named by its bundle identifier and, optionally, the
// private URL scheme every installed copy claims. A running copy wins
// outright; otherwise the copies claiming the scheme are judged (see
// candidatejudging.h) and the newest usable one is chosen; otherwise the
// registry's lookup by identifier decides.
#pragma once

#include "platform/eventdescriptor.h"
#include "platform/processlist.h"
#include "platform/workspace.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <optional>

// The first of the user's processes, in process-id order, whose bundle
// identifier equals 'bundleIdentifier' without regard to case; {0, 0} when none.
[[nodiscard]] ProcessSerialNumber
QM_findrunningAppProcessWithIdentifier(Workspace &workspace, const QString &bundleIdentifier);

// The bundle path of that process; absent when none runs or it reports no bundle.
[[nodiscard]] std::optional<QString>
QM_findRunningAppBundleWithIdentifier(Workspace &workspace, const QString &bundleIdentifier);

// The path of the host application to use: a running copy, else the best
// installed copy claiming 'scheme', else the registry's lookup by identifier.
[[nodiscard]] std::optional<QString>
QM_absolutePathForAppBundleWithIdentifier(Workspace &workspace, const QString &bundleIdentifier,
                                          const std::optional<QString> &scheme);

// Opens the items (encoded URLs) with the named host application, or, with
// neither identifier nor scheme, with each item's default handler. False when
// no such application is found (nothing is started) or the request is refused.
bool QM_openURLs(Workspace &workspace, const QList<QByteArray> &itemURLs,
                 const std::optional<QString> &bundleIdentifier,
                 const std::optional<QString> &scheme, std::uint32_t options,
                 const std::optional<EventDescriptor> &additionalEventParams);

// True at once when the application runs (nothing is sent to it); otherwise
// starts it with no items.
bool QM_launchAppWithBundleIdentifier(Workspace &workspace, const QString &bundleIdentifier,
                                      const std::optional<QString> &scheme, std::uint32_t options,
                                      const std::optional<EventDescriptor> &additionalEventParams);

// Opens the volume at 'volumePath' for installation with the host
// application named by 'bundleIdentifier' and 'scheme', with the host's
// launch options and 'additionalEventParams' (the express record). The one
// way both the helper and the prompt program start a host with a disc: a
// failure is logged with the application and the reason. Whether the host
// was started.
bool QM_openVolume(Workspace &workspace, const QString &volumePath,
                   const std::optional<QString> &bundleIdentifier,
                   const std::optional<QString> &scheme,
                   const std::optional<EventDescriptor> &additionalEventParams);
