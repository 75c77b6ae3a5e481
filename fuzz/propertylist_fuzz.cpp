// PropertyList::fromData() on any bytes, XML or binary: no crash, hang or
// runaway memory; and a value it reads, written with toXmlData() and read
// again, is the same value with the same types. XML dates carry whole
// seconds, so a date comes back with its fraction dropped. Values the XML
// form cannot carry (toXmlData() refuses them) end the check.
#include "fuzz/fuzzsupport.h"
#include "platform/propertylist.h"

#include <QDateTime>
#include <QVariantList>
#include <QVariantMap>

#include <cmath>

namespace {

bool sameDouble(double a, double b)
{
    if (std::isnan(a) || std::isnan(b))
        return std::isnan(a) && std::isnan(b);
    return a == b && std::signbit(a) == std::signbit(b); // tells 0 from -0
}

QDateTime wholeSeconds(const QDateTime &date)
{
    const qint64 ms = date.toMSecsSinceEpoch();
    const qint64 seconds = ms / 1000 - (ms % 1000 < 0 ? 1 : 0);
    return QDateTime::fromMSecsSinceEpoch(seconds * 1000, Qt::UTC);
}

// 'written' as 'read' should come back from a write and a read.
bool same(const QVariant &written, const QVariant &read)
{
    if (written.typeId() != read.typeId())
        return false;
    switch (written.typeId()) {
    case QMetaType::QVariantMap: {
        const QVariantMap a = written.toMap(), b = read.toMap();
        if (a.size() != b.size())
            return false;
        for (auto i = a.cbegin(), j = b.cbegin(); i != a.cend(); ++i, ++j) {
            if (i.key() != j.key() || !same(i.value(), j.value()))
                return false;
        }
        return true;
    }
    case QMetaType::QVariantList: {
        const QVariantList a = written.toList(), b = read.toList();
        if (a.size() != b.size())
            return false;
        for (qsizetype i = 0; i < a.size(); ++i) {
            if (!same(a.at(i), b.at(i)))
                return false;
        }
        return true;
    }
    case QMetaType::Double:
        return sameDouble(written.toDouble(), read.toDouble());
    case QMetaType::QDateTime:
        return wholeSeconds(written.toDateTime()) == read.toDateTime();
    default:
        return written == read;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::optional<QVariant> value = PropertyList::fromData(fuzz::bytes(data, size));
    if (!value)
        return 0;
    const std::optional<QByteArray> xml = PropertyList::toXmlData(*value);
    if (!xml)
        return 0;
    const std::optional<QVariant> again = PropertyList::fromData(*xml);
    FUZZ_CHECK(again, "its own XML does not read:\n" + *xml);
    FUZZ_CHECK(same(*value, *again),
               "the value changed; written:\n" + *xml + "\nrewritten:\n"
                   + PropertyList::toXmlData(*again).value_or("(none)"));
    return 0;
}
