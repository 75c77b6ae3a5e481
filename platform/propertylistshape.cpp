// The checks an XML property list passes before libplist reads it. libplist
// trusts its input: it reads malformed documents, turns unreadable numbers,
// dates and data into zero or empty values, and recurses without limit.
#include "platform/propertylist.h"
#include "platform/propertylist_p.h"
#include "platform/textdigits_p.h"

#include <QDateTime>
#include <QSet>
#include <QXmlStreamReader>

#include <limits>
#include <vector>

namespace PropertyList::detail {

namespace {

enum class Element { Plist, Dict, Array, Key, String, Integer, Real, Date, Data, True, False };

std::optional<Element> elementNamed(QStringView name)
{
    static constexpr std::pair<QStringView, Element> names[] = {
        { u"dict", Element::Dict },       { u"array", Element::Array },
        { u"key", Element::Key },         { u"string", Element::String },
        { u"integer", Element::Integer }, { u"real", Element::Real },
        { u"date", Element::Date },       { u"data", Element::Data },
        { u"true", Element::True },       { u"false", Element::False },
    };
    for (const auto &[candidate, element] : names) {
        if (name == candidate)
            return element;
    }
    return std::nullopt;
}

// libplist reads out-of-range integers as the nearest limit, a leading 0 as
// octal and junk as zero; accept only text that means the same number to every
// reader.
bool isIntegerText(QStringView text)
{
    const bool negative = text.startsWith(u'-');
    if (negative || text.startsWith(u'+'))
        text = text.mid(1);
    quint64 base = 10;
    if (!negative && (text.startsWith(u"0x") || text.startsWith(u"0X"))) {
        base = 16;
        text = text.mid(2);
    } else if (text.size() > 1 && text.startsWith(u'0')) {
        return false;
    }
    if (text.isEmpty())
        return false;
    const quint64 limit = negative ? quint64(1) << 63 : std::numeric_limits<quint64>::max();
    quint64 value = 0;
    for (const QChar c : text) {
        const int found = hexDigitValue(c.unicode());
        const quint64 digit = found < 0 ? base : quint64(found);
        if (digit >= base || value > (limit - digit) / base)
            return false;
        value = value * base + digit;
    }
    return true;
}

bool isRealText(QStringView text)
{
    static constexpr QStringView special[]
        = { u"nan", u"inf", u"+inf", u"-inf", u"infinity", u"+infinity", u"-infinity" };
    for (QStringView word : special) {
        if (text.compare(word, Qt::CaseInsensitive) == 0)
            return true;
    }
    bool ok = false;
    (void)text.toDouble(&ok);
    return ok;
}

bool isLeafTextValid(Element element, QStringView text)
{
    switch (element) {
    case Element::Integer:
        return isIntegerText(text.trimmed());
    case Element::Real:
        return isRealText(text.trimmed());
    case Element::Date: {
        // libplist ignores fractions and time zones; a date it would shift is refused.
        const QStringView trimmed = text.trimmed();
        return trimmed.size() == 20 && trimmed.at(4) == u'-' && trimmed.endsWith(u'Z')
            && QDateTime::fromString(trimmed.toString(), Qt::ISODate).isValid();
    }
    case Element::True:
    case Element::False:
        return text.trimmed().isEmpty();
    default:
        return true;
    }
}

// Base64 as other readers take it: white space anywhere, the padding optional.
std::optional<QByteArray> base64Value(QStringView text)
{
    QByteArray base64 = text.toLatin1();
    base64.removeIf([](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; });
    while (base64.endsWith('='))
        base64.chop(1);
    base64.append((4 - base64.size() % 4) % 4, '=');
    auto decoded = QByteArray::fromBase64Encoding(base64, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return std::nullopt;
    return std::move(*decoded);
}

} // namespace

bool xmlShapeIsSafe(QByteArrayView bytes, QList<QByteArray> &data)
{
    struct Open
    {
        Element element;
        int children = 0;
        QSet<QString> keys; // a dictionary's
    };
    QXmlStreamReader reader(QByteArray::fromRawData(bytes.data(), bytes.size()));
    std::vector<Open> open;
    QString text;
    int containers = 0;
    bool sawRoot = false;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement: {
            if (open.empty()) {
                if (sawRoot || reader.name() != u"plist")
                    return false;
                sawRoot = true;
                open.push_back({ Element::Plist, 0, {} });
                break;
            }
            const std::optional<Element> element = elementNamed(reader.name());
            Open &parent = open.back();
            if (!element)
                return false;
            const bool isKey = *element == Element::Key;
            const int index = parent.children++;
            switch (parent.element) {
            case Element::Plist:
                if (isKey) // more than one value is caught at the end
                    return false;
                break;
            case Element::Dict:
                if (isKey != (index % 2 == 0))
                    return false;
                break;
            case Element::Array:
                if (isKey)
                    return false;
                break;
            default: // scalars hold text only
                return false;
            }
            if (*element == Element::Dict || *element == Element::Array) {
                if (++containers > kMaxDepth)
                    return false;
            }
            open.push_back({ *element, 0, {} });
            text.clear();
            break;
        }
        case QXmlStreamReader::EndElement: {
            const Open closed = open.back();
            open.pop_back();
            switch (closed.element) {
            case Element::Plist:
                if (closed.children != 1)
                    return false;
                break;
            case Element::Dict:
                if (closed.children % 2 != 0)
                    return false;
                Q_FALLTHROUGH();
            case Element::Array:
                --containers;
                break;
            case Element::Key: // its dictionary is open below it
                if (open.back().keys.contains(text))
                    return false;
                open.back().keys.insert(text);
                break;
            case Element::Data: {
                auto value = base64Value(text);
                if (!value)
                    return false;
                data.append(std::move(*value));
                break;
            }
            default:
                if (!isLeafTextValid(closed.element, text))
                    return false;
            }
            break;
        }
        case QXmlStreamReader::Characters:
            if (!open.empty() && open.back().element != Element::Dict
                && open.back().element != Element::Array && open.back().element != Element::Plist)
                text += reader.text();
            else if (!reader.isWhitespace())
                return false;
            break;
        default:
            break;
        }
    }
    return !reader.hasError() && sawRoot;
}

} // namespace PropertyList::detail
