// Binary property lists ("bplist00": a header, the objects, an offset table
// and a 32-byte trailer), read and written here rather than by libplist:
// libplist 2.2 keeps strings as C strings, so a host's string holding NUL
// would come back cut short, and it has no way to write one.
#include "platform/propertylist.h"
#include "platform/propertylist_p.h"

#include <QHash>
#include <QStringDecoder>

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <unordered_map>
#include <vector>

namespace PropertyList {

using detail::readBigEndian;

namespace {

constexpr quint64 kHeaderSize = 8;
constexpr quint64 kTrailerSize = 32;
constexpr quint64 kInt64Max = quint64(std::numeric_limits<qint64>::max());

// An object's marker, the count of items it holds and where they start.
struct Object
{
    int type = 0;
    quint64 count = 0;
    quint64 contents = 0;
};

// The trailer of a binary list, checked to lie within the bytes.
struct Layout
{
    const uchar *data = nullptr;
    quint64 end = 0; // where the trailer starts
    int offsetSize = 0;
    int refSize = 0;
    quint64 objectCount = 0;
    quint64 root = 0;
    quint64 tableOffset = 0;

    static std::optional<Layout> of(QByteArrayView bytes)
    {
        Layout layout;
        layout.data = reinterpret_cast<const uchar *>(bytes.data());
        const quint64 size = quint64(bytes.size());
        if (size < kHeaderSize + kTrailerSize)
            return std::nullopt;
        layout.end = size - kTrailerSize;
        const uchar *trailer = layout.data + layout.end;
        layout.offsetSize = trailer[6];
        layout.refSize = trailer[7];
        layout.objectCount = readBigEndian(trailer + 8, 8);
        layout.root = readBigEndian(trailer + 16, 8);
        layout.tableOffset = readBigEndian(trailer + 24, 8);
        if (layout.offsetSize < 1 || layout.offsetSize > 8 || layout.refSize < 1
            || layout.refSize > 8 || layout.objectCount == 0 || layout.root >= layout.objectCount
            || layout.tableOffset < kHeaderSize || layout.tableOffset > layout.end
            || (layout.end - layout.tableOffset) / quint64(layout.offsetSize) < layout.objectCount)
            return std::nullopt;
        return layout;
    }

    // Where an object's marker is; absent outside the object area.
    std::optional<quint64> offsetOf(quint64 object) const
    {
        const quint64 at
            = readBigEndian(data + tableOffset + object * quint64(offsetSize), offsetSize);
        if (at < kHeaderSize || at >= end)
            return std::nullopt;
        return at;
    }

    std::optional<Object> objectAt(quint64 object) const
    {
        const auto at = offsetOf(object);
        if (!at)
            return std::nullopt;
        Object found { data[*at] >> 4, quint64(data[*at] & 0x0F), *at + 1 };
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
    }

    quint64 reference(const Object &container, quint64 index) const
    {
        return readBigEndian(data + container.contents + index * quint64(refSize), refSize);
    }

    // Whether 'count' items of 'unit' bytes fit between 'contents' and the trailer.
    bool fits(quint64 contents, quint64 count, quint64 unit) const
    {
        return contents <= end && count <= (end - contents) / unit;
    }
};

// Readers take lists recursively and copy an object for every reference to
// it, so a small hostile file could overflow the stack by nesting or exhaust
// memory by sharing containers; and libplist-based readers abort on a
// dictionary key holding NUL. Walk the object graph first, without recursion,
// and refuse lists nested deeper than kMaxDepth, keys that are not NUL-free
// strings, and lists expanding to more nodes than the file has bytes (one
// without shared containers never does: every node costs at least a byte of
// reference).
bool binaryShapeIsSafe(const Layout &layout, quint64 size)
{
    const uchar *data = layout.data;
    const quint64 end = layout.end;
    const quint64 refSize = quint64(layout.refSize);
    const auto isContainer = [](int type) { return type == 0xA || type == 0xC || type == 0xD; };
    const auto isSafeKey = [&](const Object &key) {
        const quint64 unit = key.type == 0x6 ? 2 : 1; // UTF-16 or ASCII string
        if ((key.type != 0x5 && key.type != 0x6) || !layout.fits(key.contents, key.count, unit))
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
        quint64 nodes = 0; // what a reader would allocate for the object
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
    std::vector<Measure> measures(layout.objectCount);
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
        const std::optional<Object> found = layout.objectAt(object);
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
        const quint64 available = (end - container.contents) / refSize;
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

    if (!enter(layout.root, false))
        return false;
    while (!path.empty()) {
        Frame &frame = path.back();
        if (frame.next < frame.container.count) {
            const quint64 child = layout.reference(frame.container, frame.next);
            const bool asKey
                = frame.container.type == 0xD && frame.next < frame.container.count / 2;
            ++frame.next;
            if (child >= layout.objectCount || !enter(child, asKey))
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
    const Measure &whole = measures[layout.root];
    return whole.nodes <= nodeBudget && whole.height <= quint32(kMaxDepth);
}

double doubleFromBits(quint64 bits)
{
    return std::bit_cast<double>(bits);
}

// Reads objects of a list whose shape was found safe: depth and size are
// bounded, every reference is in range, and there are no cycles.
class BinaryReader
{
public:
    explicit BinaryReader(const Layout &layout)
        : m_layout(layout)
    { }

    std::optional<QVariant> read(quint64 object, int depth) const
    {
        const auto at = m_layout.offsetOf(object);
        if (!at)
            return std::nullopt;
        const uchar marker = m_layout.data[*at];
        const quint64 contents = *at + 1;
        const int width = 1 << (marker & 0x0F);
        switch (marker >> 4) {
        case 0x0:
            if (marker == 0x08 || marker == 0x09)
                return QVariant(marker == 0x09);
            return std::nullopt; // null and fill have no QVariant we could write back
        case 0x1:
            if ((marker & 0x0F) > 4 || !m_layout.fits(contents, quint64(width), 1))
                return std::nullopt;
            return integer(m_layout.data + contents, width);
        case 0x2: {
            if ((width != 4 && width != 8) || !m_layout.fits(contents, quint64(width), 1))
                return std::nullopt;
            const quint64 bits = readBigEndian(m_layout.data + contents, width);
            return QVariant(width == 8 ? doubleFromBits(bits)
                                       : double(std::bit_cast<float>(quint32(bits))));
        }
        case 0x3:
            if (marker != 0x33 || !m_layout.fits(contents, 8, 1))
                return std::nullopt;
            return detail::dateFromSeconds(
                doubleFromBits(readBigEndian(m_layout.data + contents, 8)));
        default:
            break;
        }
        // An object referenced many times is read once and its value shared
        // (Qt's values share their data when copied): a list that names one
        // long string from thousands of places takes the string's memory once.
        if (const auto it = m_read.find(object); it != m_read.end())
            return it->second;
        auto value = sizedValue(object, depth);
        if (value)
            m_read.emplace(object, *value);
        return value;
    }

private:
    // Strings, data and containers: objects with a count.
    std::optional<QVariant> sizedValue(quint64 object, int depth) const
    {
        const auto found = m_layout.objectAt(object);
        if (!found)
            return std::nullopt;
        switch (found->type) {
        case 0x4:
            if (!m_layout.fits(found->contents, found->count, 1))
                return std::nullopt;
            return QVariant(
                QByteArray(reinterpret_cast<const char *>(m_layout.data) + found->contents,
                           qsizetype(found->count)));
        case 0x5:
        case 0x6: {
            auto text = string(*found);
            return text ? std::optional(QVariant(*text)) : std::nullopt;
        }
        case 0xA:
            return array(*found, depth);
        case 0xD:
            return dictionary(*found, depth);
        default:
            // UIDs and sets have no faithful QVariant: a list holding them
            // must not be read, or it would be rewritten without them.
            return std::nullopt;
        }
    }

    static std::optional<QVariant> integer(const uchar *at, int width)
    {
        if (width <= 8) // up to four bytes unsigned, eight bytes signed
            return QVariant(qint64(readBigEndian(at, width)));
        // Sixteen bytes: a 128-bit two's complement number; ours fit 64 bits.
        const quint64 high = readBigEndian(at, 8);
        const quint64 low = readBigEndian(at + 8, 8);
        if (high == 0)
            return low <= kInt64Max ? QVariant(qint64(low)) : QVariant(quint64(low));
        if (high == ~quint64(0) && low > kInt64Max)
            return QVariant(qint64(low));
        return std::nullopt;
    }

    std::optional<QString> string(const Object &object) const
    {
        const char *bytes = reinterpret_cast<const char *>(m_layout.data) + object.contents;
        if (object.type == 0x5) {
            if (!m_layout.fits(object.contents, object.count, 1))
                return std::nullopt;
            return detail::decodeUtf8(QByteArrayView(bytes, qsizetype(object.count)));
        }
        if (!m_layout.fits(object.contents, object.count, 2))
            return std::nullopt;
        QString text(qsizetype(object.count), Qt::Uninitialized);
        for (quint64 i = 0; i < object.count; ++i)
            text[qsizetype(i)]
                = QChar(char16_t(readBigEndian(m_layout.data + object.contents + 2 * i, 2)));
        return text.isValidUtf16() ? std::optional(text) : std::nullopt;
    }

    std::optional<QVariant> array(const Object &object, int depth) const
    {
        if (depth >= kMaxDepth)
            return std::nullopt;
        QVariantList list;
        list.reserve(qsizetype(object.count));
        for (quint64 i = 0; i < object.count; ++i) {
            auto item = read(m_layout.reference(object, i), depth + 1);
            if (!item)
                return std::nullopt;
            list.append(*item);
        }
        return QVariant(list);
    }

    std::optional<QVariant> dictionary(const Object &object, int depth) const
    {
        if (depth >= kMaxDepth)
            return std::nullopt;
        QVariantMap map;
        for (quint64 i = 0; i < object.count; ++i) {
            // The shape check found every key a string.
            const auto name = read(m_layout.reference(object, i), depth + 1);
            auto value = read(m_layout.reference(object, object.count + i), depth + 1);
            // A key twice would lose one of its values on the way back.
            if (!name || !value || map.contains(name->toString()))
                return std::nullopt;
            map.insert(name->toString(), *value);
        }
        return QVariant(map);
    }

    const Layout &m_layout;
    mutable std::unordered_map<quint64, QVariant> m_read;
};

// --- Writing ------------------------------------------------------------------

// Bytes needed for an unsigned number: 1, 2, 4 or 8.
int widthFor(quint64 value)
{
    if (value <= 0xFF)
        return 1;
    if (value <= 0xFFFF)
        return 2;
    if (value <= 0xFFFFFFFF)
        return 4;
    return 8;
}

void appendBigEndian(QByteArray &out, quint64 value, int width)
{
    for (int shift = (width - 1) * 8; shift >= 0; shift -= 8)
        out.append(char((value >> shift) & 0xFF));
}

void appendInteger(QByteArray &out, quint64 value)
{
    const int width = widthFor(value);
    out.append(char(0x10 | std::countr_zero(unsigned(width))));
    appendBigEndian(out, value, width);
}

// A marker with its count, the count following as an integer when large.
void appendMarker(QByteArray &out, int type, quint64 count)
{
    if (count < 0x0F) {
        out.append(char((type << 4) | int(count)));
        return;
    }
    out.append(char((type << 4) | 0x0F));
    appendInteger(out, count);
}

// Every container becomes one object, and every distinct scalar one object
// however often it occurs; containers refer to theirs by index, so the
// objects are collected first and written once their count is known.
class BinaryWriter
{
public:
    std::optional<QByteArray> write(const QVariant &value)
    {
        if (!add(value, 0))
            return std::nullopt;
        const quint64 count = m_objects.size();
        const int refSize = widthFor(count - 1);
        QByteArray out = QByteArray(detail::kBinaryMagic.data(), detail::kBinaryMagic.size());
        std::vector<quint64> offsets;
        offsets.reserve(count);
        for (const Pending &object : m_objects) {
            offsets.push_back(quint64(out.size()));
            if (object.type == 0) {
                out += object.bytes;
                continue;
            }
            const quint64 items
                = object.type == 0xD ? object.children.size() / 2 : object.children.size();
            appendMarker(out, object.type, items);
            for (const quint64 child : object.children)
                appendBigEndian(out, child, refSize);
        }
        const quint64 tableOffset = quint64(out.size());
        const int offsetSize = widthFor(offsets.empty() ? 0 : offsets.back());
        for (const quint64 offset : offsets)
            appendBigEndian(out, offset, offsetSize);
        out.append(6, '\0');
        out.append(char(offsetSize));
        out.append(char(refSize));
        appendBigEndian(out, count, 8);
        appendBigEndian(out, 0, 8); // the root is the first object
        appendBigEndian(out, tableOffset, 8);
        return out;
    }

private:
    template<typename Writer>
    friend bool PropertyList::detail::addContainer(Writer &, const QVariant &, int);
    struct Pending
    {
        int type = 0; // 0xA or 0xD for containers, 0 for a ready scalar
        QByteArray bytes; // a scalar's whole encoding
        std::vector<quint64> children; // a dictionary's keys, then its values
    };

    bool addScalar(QByteArray bytes)
    {
        if (const auto it = m_scalars.constFind(bytes); it != m_scalars.constEnd()) {
            m_last = *it;
            return true;
        }
        m_last = m_objects.size();
        m_scalars.insert(bytes, m_last);
        m_objects.push_back({ 0, std::move(bytes), {} });
        return true;
    }

    bool addString(const QString &text)
    {
        if (!text.isValidUtf16())
            return false;
        QByteArray bytes;
        const bool ascii
            = std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; });
        appendMarker(bytes, ascii ? 0x5 : 0x6, quint64(text.size()));
        if (ascii)
            bytes += text.toLatin1();
        else
            for (const QChar c : text)
                appendBigEndian(bytes, c.unicode(), 2);
        return addScalar(std::move(bytes));
    }

    bool addNumber(quint64 bits, bool negative)
    {
        QByteArray bytes;
        if (negative) { // eight bytes are read as signed
            bytes.append(char(0x13));
            appendBigEndian(bytes, bits, 8);
        } else if (bits > kInt64Max) { // sixteen bytes keep it unsigned
            bytes.append(char(0x14));
            appendBigEndian(bytes, 0, 8);
            appendBigEndian(bytes, bits, 8);
        } else {
            appendInteger(bytes, bits);
        }
        return addScalar(std::move(bytes));
    }

    bool addDouble(int marker, double value)
    {
        QByteArray bytes(1, char(marker));
        appendBigEndian(bytes, std::bit_cast<quint64>(value), 8);
        return addScalar(std::move(bytes));
    }

    template<typename Map> bool addDictionary(const Map &map, int depth)
    {
        const size_t index = m_objects.size();
        m_objects.push_back({ 0xD, {}, {} });
        std::vector<quint64> keys, values;
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            if (it.key().contains(QChar(0)) || !addString(it.key()))
                return false;
            keys.push_back(m_last);
            if (!add(it.value(), depth + 1))
                return false;
            values.push_back(m_last);
        }
        keys.insert(keys.end(), values.begin(), values.end());
        m_objects[index].children = std::move(keys);
        m_last = index;
        return true;
    }

    template<typename List> bool addArray(const List &list, int depth)
    {
        const size_t index = m_objects.size();
        m_objects.push_back({ 0xA, {}, {} });
        std::vector<quint64> items;
        for (const auto &item : list) {
            if (!add(QVariant(item), depth + 1))
                return false;
            items.push_back(m_last);
        }
        m_objects[index].children = std::move(items);
        m_last = index;
        return true;
    }

    bool add(const QVariant &value, int depth)
    {
        switch (value.typeId()) {
        case QMetaType::Bool:
            return addScalar(QByteArray(1, value.toBool() ? char(0x09) : char(0x08)));
        case QMetaType::Int:
        case QMetaType::LongLong: {
            const qint64 number = value.toLongLong();
            return addNumber(quint64(number), number < 0);
        }
        case QMetaType::UInt:
        case QMetaType::ULongLong:
            return addNumber(value.toULongLong(), false);
        case QMetaType::Double:
        case QMetaType::Float:
            return addDouble(0x23, value.toDouble());
        case QMetaType::QString:
            return addString(value.toString());
        case QMetaType::QByteArray: {
            const QByteArray data = value.toByteArray();
            QByteArray bytes;
            appendMarker(bytes, 0x4, quint64(data.size()));
            return addScalar(bytes + data);
        }
        default:
            if (value.metaType() == QMetaType::fromType<Date>()) {
                const double seconds = value.value<Date>().seconds;
                return std::isfinite(seconds) && addDouble(0x33, seconds);
            }
            return PropertyList::detail::addContainer(*this, value, depth);
        }
    }

    std::vector<Pending> m_objects;
    // Each scalar's encoding and its object, so that equal ones are shared.
    QHash<QByteArray, quint64> m_scalars;
    quint64 m_last = 0; // the object the last add() made or found
};

} // namespace

namespace detail {

std::optional<QString> decodeUtf8(QByteArrayView bytes)
{
    // A leading U+FEFF is part of the value: a decoder would drop it as a
    // byte-order mark, and an update would lose it from the host's value.
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless
                               | QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

std::optional<QVariant> dateFromSeconds(double seconds)
{
    if (!std::isfinite(seconds))
        return std::nullopt;
    return QVariant::fromValue(Date { seconds });
}

std::optional<QVariant> fromBinaryData(QByteArrayView bytes)
{
    const auto layout = Layout::of(bytes);
    if (!layout || !binaryShapeIsSafe(*layout, quint64(bytes.size())))
        return std::nullopt;
    return BinaryReader(*layout).read(layout->root, 0);
}

} // namespace detail

std::optional<QByteArray> toBinaryData(const QVariant &value)
{
    return BinaryWriter().write(value);
}

} // namespace PropertyList
