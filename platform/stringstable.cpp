#include "platform/stringstable.h"

#include "platform/fileio_p.h"
#include "platform/propertylist.h"
#include "platform/textdigits_p.h"

#include <QStringDecoder>
#include <QVariant>

#include <utility>

namespace StringsTable {

namespace {

// Text tables never start with '<', so anything that does is a property list.
bool isPropertyList(QByteArrayView bytes)
{
    if (bytes.startsWith("bplist"))
        return true;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes = bytes.sliced(3);
    while (!bytes.isEmpty() && QChar::isSpace(uchar(bytes.front())))
        bytes = bytes.sliced(1);
    return bytes.startsWith("<");
}

std::optional<Table> fromPropertyList(const QByteArray &bytes)
{
    const std::optional<QVariant> value = PropertyList::fromData(bytes);
    if (!value || value->typeId() != QMetaType::QVariantMap)
        return std::nullopt;
    const QVariantMap map = value->toMap();
    Table table;
    table.reserve(map.size());
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        if (it.value().typeId() != QMetaType::QString)
            return std::nullopt;
        table.insert(it.key(), it.value().toString());
    }
    return table;
}

bool hasUnpairedSurrogate(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i).isLowSurrogate())
            return true;
        if (text.at(i).isHighSurrogate()) {
            if (i + 1 == text.size() || !text.at(i + 1).isLowSurrogate())
                return true;
            ++i;
        }
    }
    return false;
}

std::optional<QString> decodeText(const QByteArray &bytes)
{
    QStringDecoder::Encoding encoding = QStringDecoder::Utf8;
    if (bytes.startsWith("\xFF\xFE"))
        encoding = QStringDecoder::Utf16LE;
    else if (bytes.startsWith("\xFE\xFF"))
        encoding = QStringDecoder::Utf16BE;
    // Qt's UTF-16 decoder silently keeps a trailing odd byte and passes
    // unpaired surrogates through; both mean a damaged file.
    if (encoding != QStringDecoder::Utf8 && bytes.size() % 2 != 0)
        return std::nullopt;
    QStringDecoder decoder(encoding, QStringDecoder::Flag::Stateless); // drops the mark
    QString text = decoder(bytes);
    if (decoder.hasError() || hasUnpairedSurrogate(text))
        return std::nullopt;
    return text;
}

class Parser
{
public:
    explicit Parser(QStringView text)
        : m_text(text)
    { }

    std::optional<Table> parse();

private:
    bool atEnd() const { return m_pos >= m_text.size(); }
    char16_t peek(qsizetype ahead = 0) const
    {
        return m_pos + ahead < m_text.size() ? m_text.at(m_pos + ahead).unicode() : u'\0';
    }
    static bool isWordChar(char16_t c)
    {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')
            || c == u'_' || c == u'$' || c == u':' || c == u'.' || c == u'/' || c == u'-';
    }

    bool skipSpaceAndComments();
    std::optional<QString> token();
    bool readQuoted(QString &out);
    bool readEscape(QString &out);
    std::optional<char16_t> readHexUnit();

    QStringView m_text;
    qsizetype m_pos = 0;
};

std::optional<Table> Parser::parse()
{
    Table table;
    for (;;) {
        if (!skipSpaceAndComments())
            return std::nullopt;
        if (atEnd())
            return table;
        const std::optional<QString> key = token();
        if (!key || !skipSpaceAndComments())
            return std::nullopt;
        std::optional<QString> value = key; // "key"; alone
        if (peek() == u'=') {
            ++m_pos;
            if (!skipSpaceAndComments())
                return std::nullopt;
            value = token();
            if (!value || !skipSpaceAndComments())
                return std::nullopt;
        }
        if (atEnd() || peek() != u';')
            return std::nullopt;
        ++m_pos;
        table.insert(*key, *value);
    }
}

// False for a comment that never ends.
bool Parser::skipSpaceAndComments()
{
    while (!atEnd()) {
        if (m_text.at(m_pos).isSpace()) {
            ++m_pos;
        } else if (peek() == u'/' && peek(1) == u'*') {
            const qsizetype close = m_text.indexOf(u"*/", m_pos + 2);
            if (close < 0)
                return false;
            m_pos = close + 2;
        } else if (peek() == u'/' && peek(1) == u'/') {
            while (!atEnd() && peek() != u'\n' && peek() != u'\r')
                ++m_pos;
        } else {
            break;
        }
    }
    return true;
}

std::optional<QString> Parser::token()
{
    QString out;
    if (peek() == u'"') {
        if (!readQuoted(out))
            return std::nullopt;
        return out;
    }
    // Words run on over '/', so paths and URLs need no quotes.
    const qsizetype start = m_pos;
    while (!atEnd() && isWordChar(peek()))
        ++m_pos;
    if (m_pos == start)
        return std::nullopt;
    return m_text.sliced(start, m_pos - start).toString();
}

bool Parser::readQuoted(QString &out)
{
    ++m_pos; // the opening quote
    while (!atEnd()) {
        const char16_t c = m_text.at(m_pos++).unicode();
        if (c == u'"')
            return true;
        if (c != u'\\')
            out.append(QChar(c));
        else if (!readEscape(out))
            return false;
    }
    return false;
}

bool Parser::readEscape(QString &out)
{
    if (atEnd())
        return false;
    // The one-letter escapes, as C spells them.
    static constexpr std::pair<char16_t, char16_t> kEscapes[]
        = { { u'n', u'\n' }, { u't', u'\t' }, { u'r', u'\r' }, { u'a', u'\a' },  { u'b', u'\b' },
            { u'f', u'\f' }, { u'v', u'\v' }, { u'"', u'"' },  { u'\\', u'\\' }, { u'\'', u'\'' } };
    const char16_t c = m_text.at(m_pos++).unicode();
    for (const auto &[letter, character] : kEscapes) {
        if (c == letter) {
            out.append(QChar(character));
            return true;
        }
    }
    if (c == u'U' || c == u'u') {
        const std::optional<char16_t> unit = readHexUnit();
        if (!unit || QChar::isLowSurrogate(*unit))
            return false;
        out.append(QChar(*unit));
        if (!QChar::isHighSurrogate(*unit))
            return true;
        // The low half has to follow as the very next escape.
        if (peek() != u'\\' || (peek(1) != u'U' && peek(1) != u'u'))
            return false;
        m_pos += 2;
        const std::optional<char16_t> low = readHexUnit();
        if (!low || !QChar::isLowSurrogate(*low))
            return false;
        out.append(QChar(*low));
        return true;
    }
    if (c < u'0' || c > u'7')
        return false;
    // Octal: up to three digits naming a Latin-1 character.
    int value = c - u'0';
    for (int digits = 1; digits < 3 && peek() >= u'0' && peek() <= u'7'; ++digits)
        value = value * 8 + (m_text.at(m_pos++).unicode() - u'0');
    if (value > 0377)
        return false;
    out.append(QChar(value));
    return true;
}

std::optional<char16_t> Parser::readHexUnit()
{
    char16_t unit = 0;
    for (int i = 0; i < 4; ++i) {
        const int digit = hexDigitValue(peek());
        if (digit < 0 || atEnd())
            return std::nullopt;
        unit = char16_t(unit * 16 + digit);
        ++m_pos;
    }
    return unit;
}

} // namespace

std::optional<Table> fromData(const QByteArray &bytes)
{
    if (isPropertyList(bytes))
        return fromPropertyList(bytes);
    const std::optional<QString> text = decodeText(bytes);
    if (!text)
        return std::nullopt;
    return Parser(*text).parse();
}

std::optional<Table> readFile(const QString &path)
{
    const std::optional<QByteArray> bytes = readRegularFile(path, PropertyList::kMaxFileSize);
    return bytes ? fromData(*bytes) : std::nullopt;
}

} // namespace StringsTable
