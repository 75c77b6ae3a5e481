#include "platform/propertylist.h"

#include "platform/fileio_p.h"
#include "platform/filesystemrepresentation.h"
#include "platform/propertylist_p.h"

#include <QDateTime>

#include <plist/plist.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <locale.h>
#include <memory>

using namespace Qt::StringLiterals;

namespace PropertyList {

namespace {

struct NodeDeleter
{
    void operator()(plist_t node) const { plist_free(node); }
};
using Node = std::unique_ptr<void, NodeDeleter>;

// libplist reads <real> with strtod(), which follows the locale: under a
// comma-decimal one "2.25" reads as 2, and an update would write that back.
// Its XML reader runs in the C locale (for this thread only).
class CLocaleScope
{
public:
    CLocaleScope()
        : m_previous(::uselocale(cLocale()))
    { }
    ~CLocaleScope() { ::uselocale(m_previous); }
    CLocaleScope(const CLocaleScope &) = delete;
    CLocaleScope &operator=(const CLocaleScope &) = delete;

private:
    static locale_t cLocale()
    {
        static const locale_t c = ::newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
        return c;
    }
    locale_t m_previous;
};

struct XmlBufferDeleter
{
    void operator()(char *buffer) const { plist_to_xml_free(buffer); }
};
struct BinaryBufferDeleter
{
    void operator()(char *buffer) const { plist_to_bin_free(buffer); }
};
struct MallocDeleter
{
    void operator()(void *memory) const { std::free(memory); }
};

using detail::kBinaryMagic;
using detail::readBigEndian;
constexpr QByteArrayView kUtf8Bom = "\xEF\xBB\xBF";

// --- libplist tree to QVariant ------------------------------------------------

QByteArray xmlOf(plist_t node)
{
    char *raw = nullptr;
    uint32_t length = 0;
    {
        const CLocaleScope cLocale;
        plist_to_xml(node, &raw, &length);
    }
    const std::unique_ptr<char, XmlBufferDeleter> buffer(raw);
    return raw ? QByteArray(raw, length) : QByteArray();
}

std::optional<QVariant> integerValue(plist_t node)
{
    uint64_t raw = 0;
    plist_get_uint_val(node, &raw);
    if (raw <= uint64_t(std::numeric_limits<qint64>::max()))
        return QVariant(qint64(raw));
    // libplist holds both halves of the range in one uint64 and only its
    // writer knows which was meant.
    const QByteArray xml = xmlOf(node);
    const qsizetype at = xml.indexOf("<integer>");
    if (at < 0)
        return std::nullopt;
    if (xml.mid(at + 9, 1) == "-")
        return QVariant(qint64(raw));
    return QVariant(quint64(raw));
}

std::optional<QVariant> dateValue(plist_t node)
{
    // plist_get_date_val() truncates to int32 seconds (years 1933 to 2069 only)
    // and loses the sign of dates less than a second before 2001. The binary
    // writer stores the exact double: a one-object list keeps it right after
    // the header, behind the marker 0x33.
    char *raw = nullptr;
    uint32_t length = 0;
    plist_to_bin(node, &raw, &length);
    const std::unique_ptr<char, BinaryBufferDeleter> buffer(raw);
    if (!raw || length < 17 || uchar(raw[8]) != 0x33)
        return std::nullopt;
    const quint64 bits = readBigEndian(reinterpret_cast<const uchar *>(raw) + 9, 8);
    return detail::dateFromSeconds(std::bit_cast<double>(bits));
}

// The <data> values the shape check decoded, in document order, which is the
// order toVariant() meets them in.
struct DataValues
{
    const QList<QByteArray> &values;
    qsizetype next = 0;
};

std::optional<QVariant> toVariant(plist_t node, int depth, DataValues &data)
{
    switch (plist_get_node_type(node)) {
    case PLIST_DICT: {
        if (depth >= kMaxDepth)
            return std::nullopt;
        plist_dict_iter rawIter = nullptr;
        plist_dict_new_iter(node, &rawIter);
        const std::unique_ptr<void, MallocDeleter> iter(rawIter);
        if (!iter)
            return std::nullopt;
        QVariantMap map;
        for (;;) {
            char *rawKey = nullptr;
            plist_t child = nullptr;
            plist_dict_next_item(node, iter.get(), &rawKey, &child);
            const std::unique_ptr<char, MallocDeleter> key(rawKey);
            if (!child)
                break;
            if (!key)
                return std::nullopt;
            std::optional<QString> name = detail::decodeUtf8(key.get());
            std::optional<QVariant> value = toVariant(child, depth + 1, data);
            if (!name || !value)
                return std::nullopt;
            map.insert(*name, *value);
        }
        return QVariant(map);
    }
    case PLIST_ARRAY: {
        if (depth >= kMaxDepth)
            return std::nullopt;
        const uint32_t size = plist_array_get_size(node);
        QVariantList list;
        list.reserve(size);
        for (uint32_t i = 0; i < size; ++i) {
            std::optional<QVariant> value
                = toVariant(plist_array_get_item(node, i), depth + 1, data);
            if (!value)
                return std::nullopt;
            list.append(*value);
        }
        return QVariant(list);
    }
    case PLIST_STRING: {
        uint64_t length = 0;
        const char *text = plist_get_string_ptr(node, &length);
        if (!text)
            return std::nullopt;
        std::optional<QString> string = detail::decodeUtf8(QByteArrayView(text, qsizetype(length)));
        return string ? std::optional(QVariant(*string)) : std::nullopt;
    }
    case PLIST_UINT:
        return integerValue(node);
    case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        return QVariant(value);
    }
    case PLIST_BOOLEAN: {
        uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return QVariant(value != 0);
    }
    case PLIST_DATE:
        return dateValue(node);
    case PLIST_DATA:
        if (data.next >= data.values.size())
            return std::nullopt;
        return QVariant(data.values.at(data.next++));
    default:
        // Keys out of place, UIDs and nulls have no faithful QVariant: a list
        // holding them must not be read, or it would be rewritten without them.
        return std::nullopt;
    }
}

// --- Writing XML ----------------------------------------------------------------

// Whether XML 1.0 can carry the text: it has no form for NUL, most other
// controls, U+FFFE, U+FFFF or unpaired surrogates, not even as references.
bool isXmlText(const QString &text)
{
    if (!text.isValidUtf16())
        return false;
    return std::none_of(text.cbegin(), text.cend(), [](QChar c) {
        const char16_t u = c.unicode();
        return (u < 0x20 && u != u'\t' && u != u'\n' && u != u'\r') || u == 0xFFFE || u == 0xFFFF;
    });
}

// Text escaped for XML. A carriage return is written as a reference: XML
// readers turn a raw one into a line feed.
QByteArray escaped(const QString &text)
{
    QByteArray out;
    for (const char c : text.toUtf8()) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '\r':
            out += "&#13;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// The shortest text that reads back as the same double, sign of zero included.
QByteArray realText(double value)
{
    if (std::isnan(value))
        return "nan";
    if (std::isinf(value))
        return value > 0 ? "+infinity" : "-infinity";
    QByteArray text = QByteArray::number(value, 'g', QLocale::FloatingPointShortest);
    if (value == 0 && std::signbit(value) && !text.startsWith('-'))
        text.prepend('-');
    return text;
}

class XmlWriter
{
public:
    static std::optional<QByteArray> document(const QVariant &value)
    {
        XmlWriter writer;
        writer.m_out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                       "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                       "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                       "<plist version=\"1.0\">\n";
        if (!writer.add(value, 0))
            return std::nullopt;
        return writer.m_out + "</plist>\n";
    }

private:
    template<typename Writer>
    friend bool PropertyList::detail::addContainer(Writer &, const QVariant &, int);
    bool add(const QVariant &value, int depth)
    {
        const QByteArray indent(depth, '\t');
        switch (value.typeId()) {
        case QMetaType::Bool:
            return line(indent, value.toBool() ? "<true/>" : "<false/>");
        case QMetaType::Int:
        case QMetaType::LongLong:
            return element(indent, "integer", QByteArray::number(value.toLongLong()));
        case QMetaType::UInt:
        case QMetaType::ULongLong:
            return element(indent, "integer", QByteArray::number(value.toULongLong()));
        case QMetaType::Double:
        case QMetaType::Float:
            return element(indent, "real", realText(value.toDouble()));
        case QMetaType::QString: {
            const QString text = value.toString();
            return isXmlText(text) && element(indent, "string", escaped(text));
        }
        case QMetaType::QByteArray:
            return element(indent, "data", value.toByteArray().toBase64());
        default:
            if (value.metaType() == QMetaType::fromType<Date>())
                return date(indent, value.value<Date>().seconds);
            return PropertyList::detail::addContainer(*this, value, depth);
        }
    }

    // Whole seconds only (not -0, which reads back as 0), and years that
    // readers take as four digits.
    bool date(const QByteArray &indent, double seconds)
    {
        constexpr double kBound = 1e12; // beyond the year 9999 either way
        if (!(std::fabs(seconds) < kBound) || std::trunc(seconds) != seconds
            || (seconds == 0 && std::signbit(seconds)))
            return false;
        const QDateTime date
            = QDateTime::fromSecsSinceEpoch(detail::kReferenceDateSecs + qint64(seconds), Qt::UTC);
        if (date.date().year() < 1000 || date.date().year() > 9999)
            return false;
        return element(indent, "date", date.toString(Qt::ISODate).toLatin1());
    }

    bool line(const QByteArray &indent, const char *text)
    {
        m_out += indent;
        m_out += text;
        m_out += '\n';
        return true;
    }

    bool element(const QByteArray &indent, const char *name, const QByteArray &text)
    {
        m_out += indent + '<' + name + '>' + text + "</" + name + ">\n";
        return true;
    }

    template<typename Map> bool addDictionary(const Map &map, int depth)
    {
        const QByteArray indent(depth, '\t');
        if (map.isEmpty())
            return line(indent, "<dict/>");
        line(indent, "<dict>");
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            if (!isXmlText(it.key()))
                return false;
            element(indent + '\t', "key", escaped(it.key()));
            if (!add(it.value(), depth + 1))
                return false;
        }
        return line(indent, "</dict>");
    }

    template<typename List> bool addArray(const List &list, int depth)
    {
        const QByteArray indent(depth, '\t');
        if (list.isEmpty())
            return line(indent, "<array/>");
        line(indent, "<array>");
        for (const auto &item : list) {
            if (!add(QVariant(item), depth + 1))
                return false;
        }
        return line(indent, "</array>");
    }

    QByteArray m_out;
};

} // namespace

std::optional<QVariant> fromData(const QByteArray &bytes)
{
    if (bytes.size() > kMaxFileSize)
        return std::nullopt;
    if (formatOf(bytes) == Format::Binary)
        return detail::fromBinaryData(bytes);
    // libplist does not expect a byte-order mark.
    QByteArray xml = bytes.startsWith(kUtf8Bom) ? bytes.sliced(3) : bytes;
    // An XML reader takes CR LF and a lone CR as one LF before anything else,
    // in text too (a CR in a value is written "&#13;"); libplist keeps them.
    if (xml.contains('\r'))
        xml.replace("\r\n", "\n").replace('\r', '\n');
    QList<QByteArray> data;
    if (!detail::xmlShapeIsSafe(xml, data))
        return std::nullopt;
    plist_t raw = nullptr;
    {
        const CLocaleScope cLocale;
        plist_from_xml(xml.data(), uint32_t(xml.size()), &raw);
    }
    const Node root(raw);
    if (!root)
        return std::nullopt;
    DataValues values { data };
    return toVariant(root.get(), 0, values);
}

std::optional<QVariant> readFile(const QString &path)
{
    const std::optional<QByteArray> bytes = readRegularFile(path, kMaxFileSize);
    return bytes ? fromData(*bytes) : std::nullopt;
}

Format formatOf(QByteArrayView bytes)
{
    return bytes.startsWith(kBinaryMagic) ? Format::Binary : Format::Xml;
}

std::optional<QByteArray> toXmlData(const QVariant &value)
{
    return XmlWriter::document(value);
}

std::optional<QByteArray> toData(const QVariant &value, Format preferred)
{
    if (preferred == Format::Xml) {
        if (auto xml = toXmlData(value))
            return xml;
    }
    return toBinaryData(value);
}

} // namespace PropertyList
