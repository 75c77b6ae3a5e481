// Disc identification: the table of discs the helper can name, and reading
// the identifier the host's detectcd tool prints.
#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <optional>

struct CDName
{
    const char16_t *identifier;
    const char16_t *displayName; // English; the host's TCL table may translate it
};

// The known discs, first match wins; identifiers compare whole and with letter case.
extern const std::array<CDName, 29> CDNames;

// The English name of a disc identifier: the table's name, or the identifier
// itself for a disc the table does not know.
[[nodiscard]] QString englishDisplayName(const QString &identifier);

// The identifier in detectcd's output: the bytes as UTF-8 with white space
// and line ends (U+0009..U+000D, U+0085, Zs, Zl, Zp) removed from both ends;
// inner characters stay, and so does a leading byte-order mark (U+FEFF is no
// white space). Absent when the output is not valid UTF-8.
[[nodiscard]] std::optional<QString> discIdentifierFromOutput(const QByteArray &output);
