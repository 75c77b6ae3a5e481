// Property lists: the value format of Info.plist files, preferences domains
// and .strings tables.
//
// Read from XML (through libplist) or binary files; written in either form.
// Values are held as QVariant:
//   dictionary -> QVariantMap       array   -> QVariantList
//   string     -> QString           integer -> qint64 (quint64 above 2^63-1)
//   real       -> double            boolean -> bool
//   date       -> PropertyList::Date data    -> QByteArray
// Integers stay integers and every value survives a write and a read, dates
// to the last bit of their seconds.
#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <bit>
#include <optional>

namespace PropertyList {

// A date as binary lists store it: a 64-bit float of seconds since
// 2001-01-01T00:00:00Z. Kept as that float, not as a QDateTime (whole
// milliseconds), so that rewriting a host's list never rounds its dates.
// Equal when their bits are: -0 and 0 are told apart, as a rewrite keeps them.
struct Date
{
    double seconds = 0;
    friend bool operator==(const Date &a, const Date &b)
    {
        return std::bit_cast<quint64>(a.seconds) == std::bit_cast<quint64>(b.seconds);
    }
};

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
// U+FFFF), a date with a fraction of a second (or -0) or outside the years
// 1000-9999.
[[nodiscard]] std::optional<QByteArray> toXmlData(const QVariant &value);

// Binary bytes for a value ("bplist00"); absent only for types a property list
// cannot carry, unpaired surrogates, dates that are no finite number, and
// dictionary keys holding NUL (which other readers cannot take). Equal scalars
// (strings, data, numbers, dates) are written once and shared, as other
// writers do: a list read with shared values is written back no larger.
[[nodiscard]] std::optional<QByteArray> toBinaryData(const QVariant &value);

// Bytes in 'preferred' form, or binary when XML cannot carry the value exactly.
[[nodiscard]] std::optional<QByteArray> toData(const QVariant &value, Format preferred);

} // namespace PropertyList
