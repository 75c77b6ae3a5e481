// Login items as XDG autostart entries (freedesktop Desktop Application
// Autostart specification): the login window's list of applications opened
// at login is the set of desktop entries in the user's autostart folder, in
// file-name order.
#pragma once

#include <QByteArray>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

#include <optional>

namespace Autostart {

// Each login item read from an entry remembers its file under this key, so
// that writing the list back leaves that entry alone.
inline constexpr char16_t kEntryFileKey[] = u"X-Autostart-File";

// The login item of one entry: "Path" is X-Bundle-Path, else the bundle
// holding the Exec program, else that program; "Hide" is X-Bundle-Hide (0
// when absent). Absent when the bytes are not a desktop entry of type
// Application with an Exec or X-Bundle-Path.
[[nodiscard]] std::optional<QVariantMap> loginItemFromEntry(const QByteArray &entry);

// A new entry that starts 'executable' (the bundle's program) at login.
// Absent when a text cannot be written in a desktop entry.
[[nodiscard]] std::optional<QByteArray> entryForLoginItem(const QString &bundlePath,
                                                          const QString &executable, qint64 hide);

// The login items of the folder's entries, in file-name order.
[[nodiscard]] QVariantList readLoginItems(const QString &folder);

// Makes the folder hold 'items': an item without kEntryFileKey gets a new
// entry; an entry read before but no longer listed is deleted; every other
// file is left byte for byte as it was. False when something could not be
// written (what could be done is done).
bool writeLoginItems(const QString &folder, const QVariantList &items);

} // namespace Autostart
