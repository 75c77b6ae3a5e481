#include "util/stringadditions.h"

#include "platform/filesystemrepresentation.h"

#include <algorithm>
#include <cstring>

using namespace Qt::StringLiterals;

CharacterSet CharacterSet::withRange(char16_t first, int length)
{
    CharacterSet set;
    if (length <= 0)
        return set;
    // Clamp so a range running past U+FFFF cannot wrap round to U+0000.
    const int last = std::min(int(first) + length - 1, 0xFFFF);
    set.m_ranges.emplace_back(first, char16_t(last));
    return set;
}

CharacterSet CharacterSet::withCharactersInString(const QString &characters)
{
    CharacterSet set;
    set.m_ranges.reserve(characters.size());
    for (const QChar c : characters)
        set.m_ranges.emplace_back(c.unicode(), c.unicode());
    return set;
}

CharacterSet CharacterSet::whitespaceAndNewline()
{
    // QChar::isSpace() covers exactly U+0009..U+000D, U+0085, Zs, Zl and Zp,
    // and follows Qt's Unicode tables rather than a list copied here.
    CharacterSet set;
    set.m_whitespaceAndNewline = true;
    return set;
}

CharacterSet CharacterSet::united(const CharacterSet &other) const
{
    CharacterSet set = *this;
    set.m_ranges.insert(set.m_ranges.end(), other.m_ranges.begin(), other.m_ranges.end());
    set.m_whitespaceAndNewline = m_whitespaceAndNewline || other.m_whitespaceAndNewline;
    return set;
}

bool CharacterSet::contains(QChar c) const
{
    if (m_whitespaceAndNewline && c.isSpace())
        return true;
    const char16_t u = c.unicode();
    return std::any_of(m_ranges.begin(), m_ranges.end(),
                       [u](const auto &range) { return u >= range.first && u <= range.second; });
}

const CharacterSets &characterSets()
{
    static const CharacterSets sets = [] {
        CharacterSets s;
        s.skipBetweenComponents = CharacterSet::whitespaceAndNewline();
        s.delimitersOutsideOfQuotes
            = s.skipBetweenComponents.united(CharacterSet::withCharactersInString(u"\""_s));
        s.asciiCharacterSet = CharacterSet::withRange(0, 128);
        return s;
    }();
    return sets;
}

namespace {

// Index of the first character at or after 'from' whose membership in 'set'
// equals 'wanted', or text.size().
qsizetype scan(const QString &text, qsizetype from, const CharacterSet &set, bool wanted)
{
    while (from < text.size() && set.contains(text.at(from)) != wanted)
        ++from;
    return from;
}

} // namespace

QString stringQuotedForBash(const QString &text)
{
    // Inside single quotes bash takes everything literally except the closing
    // quote, so each ' ends the quoted part, adds an escaped ', and reopens.
    QString quoted = text;
    quoted.replace(u'\'', u"'\\''"_s);
    return u'\'' + quoted + u'\'';
}

QString stringByRemovingCharactersInSet(const QString &text, const CharacterSet &set)
{
    QString result;
    result.reserve(text.size());
    for (const QChar c : text) {
        if (!set.contains(c))
            result += c;
    }
    return result;
}

QStringList componentsOfCommandLine(const QString &text)
{
    const CharacterSets &sets = characterSets();
    QStringList words;
    qsizetype p = 0;
    const qsizetype end = text.size();
    while (true) {
        p = scan(text, p, sets.skipBetweenComponents, false);
        if (p >= end)
            return words;
        QString word;
        while (p < end) {
            const qsizetype unquotedEnd = scan(text, p, sets.delimitersOutsideOfQuotes, true);
            word += QStringView(text).sliced(p, unquotedEnd - p);
            p = unquotedEnd;
            if (p >= end || text.at(p) != u'"')
                break;
            ++p;
            qsizetype quotedEnd = text.indexOf(u'"', p);
            if (quotedEnd < 0)
                quotedEnd = end; // an unclosed quote runs to the end
            word += QStringView(text).sliced(p, quotedEnd - p);
            p = quotedEnd;
            if (p < end)
                ++p; // the closing quote
        }
        // Kept even when empty: "" is a deliberate empty argument.
        words.append(word);
    }
}

QStringList componentsSeparatedIntoAsciiAndNonAscii(const QString &text)
{
    const CharacterSet &ascii = characterSets().asciiCharacterSet;
    QStringList runs;
    qsizetype p = 0;
    while (p < text.size()) {
        // The ASCII run is appended even when empty so positions keep their
        // meaning: even ASCII, odd non-ASCII.
        const qsizetype asciiEnd = scan(text, p, ascii, false);
        runs.append(text.sliced(p, asciiEnd - p));
        p = asciiEnd;
        const qsizetype otherEnd = scan(text, p, ascii, true);
        if (otherEnd > p) {
            runs.append(text.sliced(p, otherEnd - p));
            p = otherEnd;
        }
    }
    return runs;
}

QString asciiStringQuotedForAppleScript(const QString &text)
{
    // The order matters: the quote replacement adds quotes of its own, which
    // must not be rewritten again, and it adds no backslashes or line feeds.
    QString quoted = text;
    quoted.replace(u'"', u"\" & quote & \""_s);
    quoted.replace(u'\\', u"\" & (ASCII character 92) & \""_s);
    quoted.replace(u'\n', u"\" & return & \""_s);
    return u'"' + quoted + u'"';
}

QString nonAsciiStringQuotedForAppleScript(const QString &text)
{
    if (text.isEmpty())
        return u"\"\""_s;
    // A raw data literal survives any text encoding of the script itself.
    return u"(\u00ABdata utf8"_s + QString::fromLatin1(text.toUtf8().toHex())
        + u"\u00BB as Unicode text)"_s;
}

QString stringQuotedForAppleScript(const QString &text)
{
    if (text.isEmpty())
        return u"\"\""_s;
    const QStringList runs = componentsSeparatedIntoAsciiAndNonAscii(text);
    QStringList parts;
    parts.reserve(runs.size());
    for (qsizetype i = 0; i < runs.size(); ++i) {
        parts.append(i % 2 == 0 ? asciiStringQuotedForAppleScript(runs.at(i))
                                : nonAsciiStringQuotedForAppleScript(runs.at(i)));
    }
    return parts.join(u" & "_s);
}

QByteArray decomposedUTF8String(const QString &text)
{
    return text.normalized(QString::NormalizationForm_D).toUtf8();
}

QString stringInFileSystemRepresentationForm(const QString &text)
{
    // The byte form ends at a NUL, like the C string it becomes.
    const qsizetype nul = text.indexOf(QChar(0));
    const std::optional<QByteArray> bytes
        = fileSystemRepresentation(nul < 0 ? text : text.first(nul));
    if (!bytes)
        return QString();
    return stringWithFileSystemRepresentation(*bytes);
}

qint32 findString(const char *s, const QByteArray &data)
{
    const qsizetype n = qsizetype(std::strlen(s));
    // Offsets must fit the signed 32-bit result without colliding with kNotFound.
    const qsizetype length = std::min<qsizetype>(data.size(), kNotFound);
    for (qsizetype i = 0; i < length; ++i) {
        if (i + n <= data.size() && std::memcmp(data.constData() + i, s, size_t(n)) == 0)
            return qint32(i);
    }
    return kNotFound;
}
