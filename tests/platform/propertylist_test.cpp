#include "platform/propertylist.h"

#include "tests/testsupport.h"

#include <QDateTime>
#include <QFile>
#include <QUrl>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <limits>

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 kInt64Min = std::numeric_limits<qint64>::min();
constexpr qint64 kInt64Max = std::numeric_limits<qint64>::max();
constexpr quint64 kUInt64Max = std::numeric_limits<quint64>::max();

QByteArray bigEndian(quint64 value, int width)
{
    QByteArray out(width, '\0');
    for (int i = width - 1; i >= 0; --i, value >>= 8)
        out[i] = char(value & 0xFF);
    return out;
}

// A binary list of encoded objects, object 0 at the root, 4-byte references;
// `gap` unused bytes pad it before the offset table.
QByteArray binaryList(const QList<QByteArray> &objects, qsizetype gap = 0)
{
    QByteArray out = "bplist00";
    QList<qsizetype> offsets;
    for (const QByteArray &object : objects) {
        offsets.append(out.size());
        out += object;
    }
    const qsizetype table = out.size() + gap;
    out.reserve(table + offsets.size() * 4 + 32);
    out.append(gap, '\0');
    for (qsizetype offset : offsets)
        out += bigEndian(quint64(offset), 4);
    out += QByteArray(6, '\0') + "\x04\x04";
    out += bigEndian(quint64(objects.size()), 8) + bigEndian(0, 8) + bigEndian(quint64(table), 8);
    return out;
}

QByteArray arrayObject(const QList<quint32> &refs)
{
    QByteArray out = refs.size() < 15 ? QByteArray(1, char(0xA0 | refs.size()))
                                      : "\xAF\x12" + bigEndian(quint64(refs.size()), 4);
    for (quint32 ref : refs)
        out += bigEndian(ref, 4);
    return out;
}

QByteArray dateObject(double secondsSince2001)
{
    quint64 bits = 0;
    std::memcpy(&bits, &secondsSince2001, sizeof bits);
    return "\x33" + bigEndian(bits, 8);
}

// Arrays nested `depth` levels: as a chain of objects, or as XML.
QByteArray nestedBinary(int depth)
{
    QList<QByteArray> objects;
    for (int i = 1; i < depth; ++i)
        objects.append(arrayObject({ quint32(i) }));
    objects.append(arrayObject({}));
    return binaryList(objects);
}
// The same depth reached through chains that end in the same, shared tail.
QByteArray nestedThroughSharedTails(int depth)
{
    QList<quint32> starts;
    for (int start = depth - 200; start > 0; start -= 200)
        starts.append(quint32(start));
    QList<QByteArray> objects { arrayObject(starts) };
    for (int i = 1; i < depth; ++i)
        objects.append(arrayObject({ quint32(i + 1) }));
    objects.append(arrayObject({}));
    return binaryList(objects);
}
QByteArray nestedXml(int depth)
{
    return "<plist>" + QByteArray("<array>").repeated(depth)
        + QByteArray("</array>").repeated(depth) + "</plist>";
}

QVariant nestedVariant(int depth)
{
    QVariant value = QVariantList();
    for (int i = 1; i < depth; ++i)
        value = QVariantList { value };
    return value;
}

QVariant roundTrip(const QVariant &value)
{
    const std::optional<QByteArray> xml = PropertyList::toXmlData(value);
    if (!xml)
        return u"<not written>"_s;
    return PropertyList::fromData(*xml).value_or(u"<not read>"_s);
}

QDateTime utc(const char *iso)
{
    return QDateTime::fromString(QLatin1String(iso), Qt::ISODateWithMs).toUTC();
}

TEST(PropertyList, ReadsEveryTypeFromXmlAndBinary)
{
    const QVariantMap expected {
        { u"Name"_s, u"Café <&> \"✓\""_s },
        { u"Integers"_s,
          QVariantList { qint64(0), qint64(-1), kInt64Min, kInt64Max, QVariant(kUInt64Max) } },
        { u"Ratio"_s, -2.5 },
        { u"Enabled"_s, true },
        { u"Hidden"_s, false },
        { u"Modified"_s, utc("2023-04-05T06:07:08Z") },
        { u"Blob"_s, QByteArray("\x00\x01\x02\xFF", 4) },
        { u"Nested"_s, QVariantMap { { u"Empty"_s, QVariantList() }, { u"Text"_s, u""_s } } },
    };
    for (const QString &file : { u"plist/sample.xml"_s, u"plist/sample.bplist"_s }) {
        SCOPED_TRACE(file.toStdString());
        const std::optional<QVariant> value = PropertyList::readFile(test::dataPath(file));
        ASSERT_TRUE(value);
        EXPECT_EQ(*value, QVariant(expected));
        // Equality above compares numbers across types; the types matter too.
        const QVariantList integers = value->toMap().value(u"Integers"_s).toList();
        ASSERT_EQ(integers.size(), 5);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(integers[i].typeId(), QMetaType::LongLong) << i;
        EXPECT_EQ(integers[4].typeId(), QMetaType::ULongLong);
    }
}

TEST(PropertyList, ScalarsSurviveWriteAndRead)
{
    const struct
    {
        QVariant written;
        QVariant read;
    } cases[] = {
        { kInt64Min, kInt64Min },
        { kUInt64Max, kUInt64Max },
        { quint64(kInt64Max) + 1, quint64(kInt64Max) + 1 },
        { 5e-324, 5e-324 },
        { std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity() },
        { QByteArray("\0\xFF", 2), QByteArray("\0\xFF", 2) },
        { u"<&>\"' ]]> \t\r\n Grüße 😀"_s, u"<&>\"' ]]> \t\r\n Grüße 😀"_s },
        { u"  padded  "_s, u"  padded  "_s },
        // XML lists keep whole seconds: the fraction goes, rounding down.
        { utc("1969-07-20T20:17:40.999Z"), utc("1969-07-20T20:17:40Z") },
        { QDateTime::fromString(u"2020-06-01T12:00:00+02:00"_s, Qt::ISODate),
          utc("2020-06-01T10:00:00Z") },
        { QStringList { u"a"_s, u"b"_s }, QVariantList { u"a"_s, u"b"_s } },
        { QVariantHash { { u"k\u00e9y"_s, 1 } }, QVariantMap { { u"k\u00e9y"_s, qint64(1) } } },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.written.toString().toStdString());
        const QVariant read = roundTrip(c.written);
        EXPECT_EQ(read, c.read);
        EXPECT_EQ(read.typeId(), c.read.typeId());
    }
}

TEST(PropertyList, RefusesToWriteWhatItCannotReadBack)
{
    const QVariant cases[] = {
        QVariant(),
        QVariantMap { { u"nested"_s, QVariantMap { { u"url"_s, QUrl() } } } },
        u"nul \0 inside"_s,
        u"\uFFFF"_s,
        QString(QChar(0xD800)),
        QVariantMap { { u"key \x1b"_s, 1 } },
        utc("0999-12-31T23:59:59Z"),
        QDateTime(QDate(10000, 1, 1), QTime(0, 0), Qt::UTC),
        nestedVariant(PropertyList::kMaxDepth + 1),
    };
    for (const QVariant &value : cases)
        EXPECT_FALSE(PropertyList::toXmlData(value)) << value.toString().toStdString();
    EXPECT_EQ(roundTrip(nestedVariant(PropertyList::kMaxDepth)),
              nestedVariant(PropertyList::kMaxDepth));
}

TEST(PropertyList, BinaryDatesKeepMillisecondsAndRange)
{
    const auto read = [](double seconds) {
        const auto value
            = PropertyList::fromData(binaryList({ arrayObject({ 1 }), dateObject(seconds) }));
        return value ? value->toList().value(0) : QVariant(u"<not read>"_s);
    };
    EXPECT_EQ(read(0.001), utc("2001-01-01T00:00:00.001Z"));
    EXPECT_EQ(read(-12344.321), utc("2000-12-31T20:34:15.679Z"));
    EXPECT_EQ(read(-63113904000.0), utc("0001-01-01T00:00:00.000Z")); // far outside 32-bit seconds
    for (double seconds : { std::nan(""), std::numeric_limits<double>::infinity(), 1e300 })
        EXPECT_FALSE(PropertyList::fromData(binaryList({ dateObject(seconds) }))) << seconds;
}

TEST(PropertyList, RejectsWhatItCannotReadFaithfully)
{
    const QByteArray sampleXml = test::readFile(test::dataPath(u"plist/sample.xml"_s));
    const QByteArray sampleBinary = test::readFile(test::dataPath(u"plist/sample.bplist"_s));
    const auto scalar = [](const QByteArray &element) { return "<plist>" + element + "</plist>"; };
    const QByteArray dict("\xD1\0\0\0\x01\0\0\0\x02", 9); // object 1 = object 2
    const struct
    {
        const char *what;
        QByteArray bytes;
    } cases[] = {
        { "empty", "" },
        { "truncated XML", sampleXml.left(sampleXml.size() / 2) },
        { "key without value", scalar("<dict><key>a</key></dict>") },
        { "integer above range", scalar("<integer>18446744073709551616</integer>") },
        { "integer octal or decimal", scalar("<integer>010</integer>") },
        { "real junk", scalar("<real>abc</real>") },
        { "date zone", scalar("<date>2001-01-01T00:00:00+02:00</date>") },
        { "data junk", scalar("<data>!!!!</data>") },
        { "invalid UTF-8", scalar("<string>\xFF\xFE</string>") },
        { "forbidden character", scalar("<string>&#1;</string>") },
        { "XML too deep", nestedXml(PropertyList::kMaxDepth + 1) },
        { "XML very deep", nestedXml(2000000) },
        { "truncated binary", sampleBinary.left(sampleBinary.size() - 10) },
        { "binary UID", binaryList({ "\x80\x01" }) },
        { "binary key invalid UTF-8", binaryList({ dict, "\x52\xC3\x28", "\x09" }) },
        // "a" and a NUL, as a two-character string
        { "binary key with NUL", binaryList({ dict, QByteArray("\x52\x61", 3), "\x09" }) },
        { "binary key not a string", binaryList({ dict, "\x10\x05", "\x09" }) },
        { "binary cycle", binaryList({ arrayObject({ 1 }), arrayObject({ 0 }) }) },
        { "binary reference out of range", binaryList({ arrayObject({ 9 }) }) },
        { "binary too deep", nestedBinary(PropertyList::kMaxDepth + 1) },
        { "binary very deep", nestedBinary(200000) },
        { "binary too deep through shared tails", nestedThroughSharedTails(600) },
    };
    for (const auto &c : cases)
        EXPECT_FALSE(PropertyList::fromData(c.bytes)) << c.what;

    // Each level shares the next one four times: 4^40 nodes from a few hundred bytes.
    QList<QByteArray> shared;
    for (quint32 i = 1; i <= 40; ++i)
        shared.append(arrayObject({ i, i, i, i }));
    shared.append(arrayObject({}));
    EXPECT_FALSE(PropertyList::fromData(binaryList(shared)));

    // Up to the limits, the same shapes are read.
    const QVariant deepest = nestedVariant(PropertyList::kMaxDepth);
    EXPECT_EQ(PropertyList::fromData(nestedXml(PropertyList::kMaxDepth)), deepest);
    EXPECT_EQ(PropertyList::fromData(nestedBinary(PropertyList::kMaxDepth)), deepest);
    // A little sharing of containers is fine while it stays small.
    const QVariant pair = QVariantList { QVariantList(), QVariantList() };
    EXPECT_EQ(PropertyList::fromData(binaryList({ arrayObject({ 1, 1 }), arrayObject({}) })), pair);
    EXPECT_EQ(PropertyList::fromData("\xEF\xBB\xBF<plist><true/></plist>"), QVariant(true));
    EXPECT_EQ(PropertyList::fromData("<plist><integer> 0x10 </integer></plist>"), qint64(16));
}

TEST(PropertyList, ReadsOnlyRegularFilesOfBoundedSize)
{
    // A well-formed list (a lone true) padded to the size limit, and one byte over.
    const qsizetype padding = PropertyList::kMaxFileSize - 45;
    EXPECT_EQ(PropertyList::fromData(binaryList({ "\x09" }, padding)), QVariant(true));
    EXPECT_FALSE(PropertyList::fromData(binaryList({ "\x09" }, padding + 1)));

    QTemporaryDir dir;
    const QString big = dir.filePath(u"big.plist"_s);
    const QString fifo = dir.filePath(u"fifo"_s);
    test::writeFile(big, "<plist><true/></plist>");
    ASSERT_TRUE(PropertyList::readFile(big));
    ASSERT_TRUE(QFile(big).resize(PropertyList::kMaxFileSize + 1)); // sparse
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString &path : { big, fifo, dir.path(), dir.filePath(u"missing"_s) })
        EXPECT_FALSE(PropertyList::readFile(path)) << path.toStdString();
}

} // namespace
