// Text operations shared by the helper: quoting a text as one word for bash
// and as an AppleScript string expression, splitting command lines, splitting
// ASCII from non-ASCII runs, removing characters, canonical decomposition, the
// file-system form of a text, and a byte search.
//
// All but stringInFileSystemRepresentationForm() are pure functions; every
// one may be called from any thread. Texts are UTF-16; every character these
// operations test for lies in the Basic Multilingual Plane.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <utility>
#include <vector>

// "Not found": the position or offset every layer of the helper gives for
// what is not there (a search's miss, a stored choice missing from a list).
// A signed 32-bit value, so it fits every index type the helper uses.
inline constexpr qint32 kNotFound = 0x7fffffff;

// A set of Unicode characters, tested one UTF-16 unit at a time.
class CharacterSet
{
public:
    CharacterSet() = default; // the empty set
    // Characters first .. first + length - 1.
    static CharacterSet withRange(char16_t first, int length);
    static CharacterSet withCharactersInString(const QString &characters);
    // U+0009..U+000D, U+0085 and the categories Zs, Zl and Zp.
    static CharacterSet whitespaceAndNewline();

    [[nodiscard]] CharacterSet united(const CharacterSet &other) const;
    [[nodiscard]] bool contains(QChar c) const;

private:
    std::vector<std::pair<char16_t, char16_t>> m_ranges; // inclusive bounds
    bool m_whitespaceAndNewline = false;
};

// The four sets the operations below use, made once per process.
struct CharacterSets
{
    CharacterSet emptyCharacterSet;
    CharacterSet skipBetweenComponents; // white space and line ends
    CharacterSet delimitersOutsideOfQuotes; // the above and the double quote
    CharacterSet asciiCharacterSet; // U+0000..U+007F
};
const CharacterSets &characterSets();

// 'text' with every ' written as '\'' : bash reads it back as exactly 'text'.
[[nodiscard]] QString stringQuotedForBash(const QString &text);

// The characters of 'text' that are not in 'set', in order.
[[nodiscard]] QString stringByRemovingCharactersInSet(const QString &text, const CharacterSet &set);

// Words separated by white space; double-quoted pieces keep their white space
// and join the unquoted pieces beside them; no escape character.
[[nodiscard]] QStringList componentsOfCommandLine(const QString &text);

// Alternating runs, always starting with an ASCII run (empty when the text
// starts with a non-ASCII character): even positions ASCII, odd non-ASCII.
[[nodiscard]] QStringList componentsSeparatedIntoAsciiAndNonAscii(const QString &text);

// AppleScript string expressions for an ASCII run, a non-ASCII run, and any text.
[[nodiscard]] QString asciiStringQuotedForAppleScript(const QString &text);
[[nodiscard]] QString nonAsciiStringQuotedForAppleScript(const QString &text);
[[nodiscard]] QString stringQuotedForAppleScript(const QString &text);

// Normalization Form D in UTF-8; the QByteArray is NUL-terminated as always.
[[nodiscard]] QByteArray decomposedUTF8String(const QString &text);

// The text as the file system stores it: through its byte form and back.
// Linux stores names unchanged, so this is the text itself, cut at its first
// NUL; a text without a byte form (a stray surrogate) gives an empty text.
[[nodiscard]] QString stringInFileSystemRepresentationForm(const QString &text);

// Offset of the first occurrence of the NUL-terminated bytes 's' in 'data',
// or kNotFound. An empty 's' is found at 0 of any non-empty buffer.
[[nodiscard]] qint32 findString(const char *s, const QByteArray &data);
