// .strings tables: the key-to-text tables of a bundle's localizations.
//
// Two forms are read: a property list (XML or binary) holding a dictionary of
// strings, and the classic text form
//     /* comment */  "key" = "value";   // comment
// in UTF-8, or UTF-16 with a byte-order mark (either byte order). Escapes in
// quoted text: \n \t \r \" \\ \' \a \b \f \v, octal \NNN, and \UXXXX (four
// hex digits; a surrogate pair may be written as two). Unquoted words
// (letters, digits, _ $ : . / -) are allowed as keys and values, and
// "key"; alone means the value is the key.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <optional>

namespace StringsTable {

using Table = QHash<QString, QString>;

// The table in a file's bytes; absent when the bytes are neither form, or the
// text form has a syntax error or a bad escape anywhere (a half-read table
// would show some translations and silently drop others).
[[nodiscard]] std::optional<Table> fromData(const QByteArray &bytes);

// fromData() of a file; absent when it cannot be read.
[[nodiscard]] std::optional<Table> readFile(const QString &path);

} // namespace StringsTable
