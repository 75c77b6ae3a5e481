#include "platform/propertylist.h"

#include "platform/fileio_p.h"
#include "platform/filesystemrepresentation.h"
#include "platform/textdigits_p.h"

#include <QDateTime>
#include <QStringDecoder>
#include <QXmlStreamReader>

#include <plist/plist.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <locale.h>
#include <memory>
#include <vector>

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
// Its XML readers and writer run in the C locale (for this thread only).
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

constexpr QByteArrayView kBinaryMagic = "bplist00";
constexpr QByteArrayView kUtf8Bom = "\xEF\xBB\xBF";
// Dates count seconds from 2001-01-01T00:00:00Z.
constexpr qint64 kReferenceDateMSecs = 978307200000;

// --- Checks made before libplist sees the bytes --------------------------------

quint64 readBigEndian(const uchar *at, int width)
{
    quint64 value = 0;
    for (int i = 0; i < width; ++i)
        value = (value << 8) | at[i];
    return value;
}

// libplist parses binary lists recursively and copies an object for every
// reference to it, so a small hostile file can overflow the stack by nesting
// or exhaust memory by sharing containers; and it aborts on a dictionary key
// holding NUL. Walk the object graph first, without recursion, and refuse
// lists nested deeper than kMaxDepth, keys that are not NUL-free strings, and
// lists expanding to more nodes than the file has bytes (one without shared
// containers never does: every node costs at least a byte of reference).
bool binaryShapeIsSafe(QByteArrayView bytes)
{
    constexpr quint64 kHeaderSize = 8;
    constexpr quint64 kTrailerSize = 32;
    const auto *data = reinterpret_cast<const uchar *>(bytes.data());
    const quint64 size = quint64(bytes.size());
    if (size < kHeaderSize + kTrailerSize)
        return false;

    const quint64 end = size - kTrailerSize;
    const uchar *trailer = data + end;
    const int offsetSize = trailer[6];
    const int refSize = trailer[7];
    const quint64 objectCount = readBigEndian(trailer + 8, 8);
    const quint64 root = readBigEndian(trailer + 16, 8);
    const quint64 tableOffset = readBigEndian(trailer + 24, 8);
    if (offsetSize < 1 || offsetSize > 8 || refSize < 1 || refSize > 8 || objectCount == 0
        || root >= objectCount || tableOffset < kHeaderSize || tableOffset > end
        || (end - tableOffset) / quint64(offsetSize) < objectCount)
        return false;

    // An object's marker, the count of items it holds and where they start.
    struct Object
    {
        int type = 0;
        quint64 count = 0;
        quint64 contents = 0;
    };
    const auto objectAt = [&](quint64 object) -> std::optional<Object> {
        const quint64 at
            = readBigEndian(data + tableOffset + object * quint64(offsetSize), offsetSize);
        if (at < kHeaderSize || at >= end)
            return std::nullopt;
        Object found { data[at] >> 4, quint64(data[at] & 0x0F), at + 1 };
        if (found.count == 0x0F) { // the count follows as an integer object
            const quint64 marker = found.contents;
            if (marker >= end || (data[marker] >> 4) != 0x1 || (data[marker] & 0x0F) > 3)
                return std::nullopt;
            const int width = 1 << (data[marker] & 0x0F);
            if (end - marker - 1 < quint64(width))
                return std::nullopt;
            found.count = readBigEndian(data + marker + 1, width);
            found.contents = marker + 1 + quint64(width);
        }
        return found;
    };
    const auto isContainer = [](int type) { return type == 0xA || type == 0xC || type == 0xD; };
    const auto isSafeKey = [&](const Object &key) {
        const quint64 unit = key.type == 0x6 ? 2 : 1; // UTF-16 or ASCII string
        if ((key.type != 0x5 && key.type != 0x6) || key.count > (end - key.contents) / unit)
            return false;
        for (quint64 i = 0; i < key.count; ++i) {
            const uchar *c = data + key.contents + i * unit;
            if (c[0] == 0 && (unit == 1 || c[1] == 0))
                return false;
        }
        return true;
    };

    enum : quint8 { Unvisited, Open, Done };
    struct Measure
    {
        quint64 nodes = 0; // what libplist would allocate for the object
        quint32 height = 0; // container levels, the object's own included
        quint8 state = Unvisited;
        bool safeKey = false;
    };
    struct Frame
    {
        quint64 object;
        Object container;
        quint64 next = 0;
        Measure measure;
    };
    const quint64 nodeBudget = size;
    std::vector<Measure> measures(objectCount);
    std::vector<Frame> path;

    const auto addChild = [&](Measure &parent, const Measure &child) {
        parent.nodes = std::min(parent.nodes + child.nodes, nodeBudget + 1);
        parent.height = std::max(parent.height, child.height + 1);
    };
    // Measures a leaf or a container seen before, or opens a new container.
    const auto enter = [&](quint64 object, bool asKey) {
        Measure &measure = measures[object];
        if (measure.state == Done && (!asKey || measure.safeKey))
            return true;
        if (measure.state == Open) // a cycle
            return false;
        const std::optional<Object> found = objectAt(object);
        if (!found || (asKey && !isSafeKey(*found)))
            return false;
        measure.safeKey = measure.safeKey || asKey;
        if (measure.state == Done)
            return true;
        if (!isContainer(found->type)) {
            measure.nodes = 1;
            measure.state = Done;
            return true;
        }
        Object container = *found;
        const quint64 available = (end - container.contents) / quint64(refSize);
        if (container.type == 0xD) { // keys, then values
            if (container.count > available / 2)
                return false;
            container.count *= 2;
        }
        if (container.count > available || path.size() >= size_t(kMaxDepth))
            return false;
        measure.state = Open;
        path.push_back({ object, container, 0, { 1, 1, Open, false } });
        return true;
    };

    if (!enter(root, false))
        return false;
    while (!path.empty()) {
        Frame &frame = path.back();
        if (frame.next < frame.container.count) {
            const quint64 child = readBigEndian(
                data + frame.container.contents + frame.next * quint64(refSize), refSize);
            const bool asKey
                = frame.container.type == 0xD && frame.next < frame.container.count / 2;
            ++frame.next;
            if (child >= objectCount || !enter(child, asKey))
                return false;
            if (measures[child].state == Done)
                addChild(path.back().measure, measures[child]);
            continue;
        }
        Measure finished = frame.measure;
        finished.state = Done;
        measures[frame.object] = finished;
        path.pop_back();
        if (!path.empty())
            addChild(path.back().measure, finished);
    }
    const Measure &whole = measures[root];
    return whole.nodes <= nodeBudget && whole.height <= quint32(kMaxDepth);
}

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
    case Element::Data: {
        QByteArray base64 = text.toLatin1();
        base64.removeIf([](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; });
        return bool(
            QByteArray::fromBase64Encoding(base64, QByteArray::AbortOnBase64DecodingErrors));
    }
    case Element::True:
    case Element::False:
        return text.trimmed().isEmpty();
    default:
        return true;
    }
}

// libplist accepts XML that is not well-formed (a missing end, trailing junk, a
// key without a value) and silently reads unreadable numbers, dates and data
// as zero or empty; it also recurses without limit. Check the document with a
// strict, non-recursive reader before trusting libplist with it.
bool xmlShapeIsSafe(QByteArrayView bytes)
{
    struct Open
    {
        Element element;
        int children = 0;
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
                open.push_back({ Element::Plist });
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
            open.push_back({ *element });
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

// --- libplist tree to QVariant ------------------------------------------------

std::optional<QString> decodeUtf8(const char *data, qsizetype length)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(QByteArrayView(data, length));
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

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
    double seconds = 0;
    static_assert(sizeof(seconds) == sizeof(bits));
    std::memcpy(&seconds, &bits, sizeof(seconds));
    if (!std::isfinite(seconds) || std::fabs(seconds) > 9e15)
        return std::nullopt;
    const QDateTime date = QDateTime::fromMSecsSinceEpoch(
        kReferenceDateMSecs + std::llround(seconds * 1000), Qt::UTC);
    if (!date.isValid())
        return std::nullopt;
    return QVariant(date);
}

std::optional<QVariant> toVariant(plist_t node, int depth)
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
            std::optional<QString> name = decodeUtf8(key.get(), qsizetype(std::strlen(key.get())));
            std::optional<QVariant> value = toVariant(child, depth + 1);
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
            std::optional<QVariant> value = toVariant(plist_array_get_item(node, i), depth + 1);
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
        std::optional<QString> string = decodeUtf8(text, qsizetype(length));
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
    case PLIST_DATA: {
        uint64_t length = 0;
        const char *data = plist_get_data_ptr(node, &length);
        if (!data && length != 0)
            return std::nullopt;
        return QVariant(QByteArray(data, qsizetype(length)));
    }
    default:
        // Keys out of place, UIDs and nulls have no faithful QVariant: a list
        // holding them must not be read, or it would be rewritten without them.
        return std::nullopt;
    }
}

// --- QVariant to libplist tree ------------------------------------------------

// libplist copies strings as C strings and writes characters unescaped, so
// text with NUL, with characters XML forbids, or with unpaired surrogates would
// be cut short or make a file nobody can read back.
bool isWritableText(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if ((c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') || c == 0xFFFE || c == 0xFFFF
            || QChar::isLowSurrogate(c))
            return false;
        if (QChar::isHighSurrogate(c)) {
            if (i + 1 == text.size() || !QChar::isLowSurrogate(text.at(i + 1).unicode()))
                return false;
            ++i;
        }
    }
    return true;
}

// Builds a scalar node the public creators cannot make.
Node parsedNode(const QByteArray &element)
{
    const QByteArray xml = "<plist>" + element + "</plist>";
    plist_t node = nullptr;
    const CLocaleScope cLocale;
    plist_from_xml(xml.constData(), uint32_t(xml.size()), &node);
    return Node(node);
}

Node fromVariant(const QVariant &value, int depth);

template<typename Map> Node dictionaryFrom(const Map &map, int depth)
{
    Node dict(plist_new_dict());
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        if (!isWritableText(it.key()))
            return nullptr;
        Node child = fromVariant(it.value(), depth + 1);
        if (!child)
            return nullptr;
        plist_dict_set_item(dict.get(), it.key().toUtf8().constData(), child.release());
    }
    return dict;
}

template<typename List> Node arrayFrom(const List &list, int depth)
{
    Node array(plist_new_array());
    for (const auto &item : list) {
        Node child = fromVariant(QVariant(item), depth + 1);
        if (!child)
            return nullptr;
        plist_array_append_item(array.get(), child.release());
    }
    return array;
}

Node fromVariant(const QVariant &value, int depth)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
        return Node(plist_new_bool(value.toBool()));
    case QMetaType::Int:
    case QMetaType::LongLong:
        // Negative numbers are stored as their two's complement and written signed.
        return Node(plist_new_uint(uint64_t(value.toLongLong())));
    case QMetaType::UInt:
    case QMetaType::ULongLong: {
        const quint64 number = value.toULongLong();
        if (number <= quint64(std::numeric_limits<qint64>::max()))
            return Node(plist_new_uint(number));
        // plist_new_uint() would come out negative; parsed text is marked unsigned.
        return parsedNode("<integer>" + QByteArray::number(number) + "</integer>");
    }
    case QMetaType::Double:
    case QMetaType::Float:
        return Node(plist_new_real(value.toDouble()));
    case QMetaType::QString: {
        const QString text = value.toString();
        if (!isWritableText(text))
            return nullptr;
        return Node(plist_new_string(text.toUtf8().constData()));
    }
    case QMetaType::QByteArray: {
        const QByteArray data = value.toByteArray();
        return Node(plist_new_data(data.constData(), uint64_t(data.size())));
    }
    case QMetaType::QDateTime: {
        // XML lists carry whole seconds; the fraction is dropped (rounding
        // down). libplist writes years as plain numbers, and reads back only
        // four-digit ones.
        const QDateTime date = value.toDateTime().toUTC();
        if (!date.isValid() || date.date().year() < 1000 || date.date().year() > 9999)
            return nullptr;
        return parsedNode("<date>" + date.toString(Qt::ISODate).toLatin1() + "</date>");
    }
    case QMetaType::QVariantMap:
        return depth < kMaxDepth ? dictionaryFrom(value.toMap(), depth) : nullptr;
    case QMetaType::QVariantHash:
        return depth < kMaxDepth ? dictionaryFrom(value.toHash(), depth) : nullptr;
    case QMetaType::QVariantList:
        return depth < kMaxDepth ? arrayFrom(value.toList(), depth) : nullptr;
    case QMetaType::QStringList:
        return depth < kMaxDepth ? arrayFrom(value.toStringList(), depth) : nullptr;
    default:
        return nullptr;
    }
}

} // namespace

std::optional<QVariant> fromData(const QByteArray &bytes)
{
    if (bytes.size() > kMaxFileSize)
        return std::nullopt;
    plist_t raw = nullptr;
    if (bytes.startsWith(kBinaryMagic)) {
        if (!binaryShapeIsSafe(bytes))
            return std::nullopt;
        plist_from_bin(bytes.constData(), uint32_t(bytes.size()), &raw);
    } else {
        // libplist does not expect a byte-order mark.
        const QByteArrayView xml
            = bytes.startsWith(kUtf8Bom) ? QByteArrayView(bytes).sliced(3) : QByteArrayView(bytes);
        if (!xmlShapeIsSafe(xml))
            return std::nullopt;
        const CLocaleScope cLocale;
        plist_from_xml(xml.data(), uint32_t(xml.size()), &raw);
    }
    const Node root(raw);
    if (!root)
        return std::nullopt;
    return toVariant(root.get(), 0);
}

std::optional<QVariant> readFile(const QString &path)
{
    const std::optional<QByteArray> bytes = readRegularFile(path, kMaxFileSize);
    return bytes ? fromData(*bytes) : std::nullopt;
}

std::optional<QByteArray> toXmlData(const QVariant &value)
{
    const Node root = fromVariant(value, 0);
    if (!root)
        return std::nullopt;
    QByteArray xml = xmlOf(root.get());
    if (xml.isEmpty())
        return std::nullopt;
    return xml;
}

} // namespace PropertyList
