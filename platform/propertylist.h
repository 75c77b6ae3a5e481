// Property lists: the value format of Info.plist files, preferences domains
// and .strings tables.
//
// Read from XML (through libplist) or binary files; written in either form.
// Values are held as QVariant:
//   dictionary -> QVariantMap       array   -> QVariantList
//   string     -> QString           integer -> qint64 (quint64 above 2^63-1)
//   real       -> double            boolean -> bool
//   date       -> QDateTime (UTC)   data    -> QByteArray
// Integers stay integers and every value survives a write and a read, to the
// millisecond for dates.
#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <optional>

namespace PropertyList {

// Files larger than this are not read: no property list of ours comes near it,
// and a hostile file must not take the helper's memory.
inline constexpr qint64 kMaxFileSize = 64 * 1024 * 1024;
// Deeper nesting than this makes a list unreadable (no recursion blow-up).
inline constexpr int kMaxDepth = 256;

// The value in XML or binary property-list bytes; absent when the bytes are
// not a whole, well-formed property list of supported types.
[[nodiscard]] std::optional<QVariant> fromData(const QByteArray &bytes);

// fromData() of a file's contents; absent when it cannot be read.
[[nodiscard]] std::optional<QVariant> readFile(const QString &path);

enum class Format { Xml, Binary };

// The form of property-list bytes, told by their header.
[[nodiscard]] Format formatOf(QByteArrayView bytes);

// XML bytes for a value; absent when the value holds a type that a property
// list cannot carry (the list of types above; QStringList counts as an array),
// or a value that XML cannot carry exactly: text with characters XML 1.0
// forbids (controls other than tab, line feed and carriage return, U+FFFE,
// U+FFFF), a date with a fraction of a second or outside the years 1000-9999.
[[nodiscard]] std::optional<QByteArray> toXmlData(const QVariant &value);

// Binary bytes for a value ("bplist00"); absent only for types a property list
// cannot carry, unpaired surrogates, and dictionary keys holding NUL (which
// other readers cannot take).
[[nodiscard]] std::optional<QByteArray> toBinaryData(const QVariant &value);

// Bytes in 'preferred' form, or binary when XML cannot carry the value exactly.
[[nodiscard]] std::optional<QByteArray> toData(const QVariant &value, Format preferred);

} // namespace PropertyList
