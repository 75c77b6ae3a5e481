#include "platform/propertylist.h"

#include "tests/testsupport.h"

#include <QFile>
#include <QUrl>
#include <QtEndian>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <bit>
#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 kInt64Min = std::numeric_limits<qint64>::min();
constexpr qint64 kInt64Max = std::numeric_limits<qint64>::max();
constexpr quint64 kUInt64Max = std::numeric_limits<quint64>::max();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

QByteArray bigEndian(quint64 value, int width)
{
    QByteArray out(8, '\0');
    qToBigEndian(value, out.data());
    return out.right(width);
}

// A binary list of encoded objects, object 0 at the root, 4-byte references;
// `gap` unused bytes pad it before the offset table.
QByteArray binaryList(const QList<QByteArray> &objects, qsizetype gap = 0)
{
    QByteArray out = "bplist00", offsets;
    for (const QByteArray &object : objects) {
        offsets += bigEndian(quint64(out.size()), 4);
        out += object;
    }
    const quint64 table = quint64(out.size() + gap);
    return out + QByteArray(gap, '\0') + offsets + QByteArray(6, '\0') + "\x04\x04"
        + bigEndian(quint64(objects.size()), 8) + bigEndian(0, 8) + bigEndian(table, 8);
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
    return "\x33" + bigEndian(std::bit_cast<quint64>(secondsSince2001), 8);
}

// Arrays nested `depth` levels as a chain of objects; with `sharedTails`, the
// root starts chains every 200 levels that all end in the same tail.
QByteArray nestedBinary(int depth, bool sharedTails = false)
{
    QList<quint32> starts;
    for (int start = depth - 200; sharedTails && start > 0; start -= 200)
        starts.append(quint32(start));
    QList<QByteArray> objects;
    if (sharedTails)
        objects.append(arrayObject(starts));
    const int first = int(objects.size());
    for (int i = first + 1; i < depth + first; ++i)
        objects.append(arrayObject({ quint32(i) }));
    objects.append(arrayObject({}));
    return binaryList(objects);
}

QVariant nestedVariant(int depth)
{
    QVariant value = QVariantList();
    for (int i = 1; i < depth; ++i)
        value = QVariantList { value };
    return value;
}

QVariant roundTrip(const QVariant &value, PropertyList::Format format = PropertyList::Format::Xml)
{
    const std::optional<QByteArray> bytes = PropertyList::toData(value, format);
    return bytes ? PropertyList::fromData(*bytes).value_or(u"<not read>"_s) : u"<not written>"_s;
}

QVariant date(double secondsSince2001)
{
    return QVariant::fromValue(PropertyList::Date { secondsSince2001 });
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
        { u"Modified"_s, date(702367628) }, // 2023-04-05T06:07:08Z
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
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(integers[i].typeId(), i < 4 ? QMetaType::LongLong : QMetaType::ULongLong);
    }
}

TEST(PropertyList, ScalarsSurviveWriteAndRead)
{
    const std::pair<QVariant, QVariant> cases[] = {
        { kInt64Min, kInt64Min },
        { quint64(kInt64Max) + 1, quint64(kInt64Max) + 1 },
        { 5e-324, 5e-324 },
        { kInfinity, kInfinity },
        { QByteArray("\0\xFF", 2), QByteArray("\0\xFF", 2) },
        { -0.0, -0.0 },
        { u"  <&>\"' ]]> \t\r\n Grüße 😀  "_s, u"  <&>\"' ]]> \t\r\n Grüße 😀  "_s },
        // What XML cannot carry goes binary.
        { QString::fromLatin1("KEY-1234\0-SECRET-TAIL", 21),
          QString::fromLatin1("KEY-1234\0-SECRET-TAIL", 21) },
        { u"\u0001\uFFFE\uFFFF"_s, u"\u0001\uFFFE\uFFFF"_s },
        // A leading U+FEFF is the value's own, not a byte-order mark.
        { u"\uFEFF\uFEFFx"_s, u"\uFEFF\uFEFFx"_s },
        // Dates to the last bit: 2024-05-01T12:00:00.123456Z, before 1970, the
        // year 999 (binary only), -0.
        { date(736257600.123456), date(736257600.123456) },
        { date(-1000000000), date(-1000000000) },
        { date(-31588531201), date(-31588531201) },
        { date(-0.0), date(-0.0) },
        { QStringList { u"a"_s, u"b"_s }, QVariantList { u"a"_s, u"b"_s } },
        { QVariantHash { { u"\uFEFFk\u00e9y"_s, 1 } },
          QVariantMap { { u"\uFEFFk\u00e9y"_s, qint64(1) } } },
    };
    for (const auto format : { PropertyList::Format::Xml, PropertyList::Format::Binary }) {
        for (const auto &[written, expected] : cases) {
            SCOPED_TRACE(written.toString().toStdString());
            const QVariant read = roundTrip(written, format);
            EXPECT_EQ(read, expected);
            EXPECT_EQ(read.typeId(), expected.typeId());
            EXPECT_EQ(std::signbit(read.toDouble()), std::signbit(expected.toDouble()));
        }
    }
}

TEST(PropertyList, RefusesToWriteWhatItCannotReadBack)
{
    // Values no form can carry, and (false) values only binary lists carry.
    const std::pair<QVariant, bool> cases[] = {
        { QVariant(), true },
        { QVariantMap { { u"nested"_s, QVariantMap { { u"url"_s, QUrl() } } } }, true },
        { QString(QChar(0xD800)), true },
        { QVariantMap { { QString::fromLatin1("k\0y", 3), 1 } }, true },
        { nestedVariant(PropertyList::kMaxDepth + 1), true },
        { u"nul \0 inside"_s, false },
        { u"\uFFFF"_s, false },
        { QVariantMap { { u"key \x1b"_s, 1 } }, false },
        { date(0.5), false },
        { date(1e300), false },
        { date(std::nan("")), true },
    };
    for (const auto &[value, unwritable] : cases) {
        SCOPED_TRACE(value.toString().toStdString());
        EXPECT_FALSE(PropertyList::toXmlData(value));
        EXPECT_EQ(PropertyList::toBinaryData(value).has_value(), !unwritable);
    }
    EXPECT_EQ(roundTrip(nestedVariant(PropertyList::kMaxDepth)),
              nestedVariant(PropertyList::kMaxDepth));
}

TEST(PropertyList, BinaryDatesKeepEveryBitOfTheirSeconds)
{
    const auto read = [](double seconds) {
        return PropertyList::fromData(binaryList({ arrayObject({ 1 }), dateObject(seconds) }))
            .value_or(QVariantList { u"<not read>"_s })
            .toList()
            .value(0);
    };
    for (double seconds : { 0.001, -12344.321, 736257600.123456, -63113904000.0, 1e300 })
        EXPECT_EQ(read(seconds), date(seconds)) << seconds;
    for (double seconds : { std::nan(""), kInfinity })
        EXPECT_FALSE(PropertyList::fromData(binaryList({ dateObject(seconds) }))) << seconds;
}

TEST(PropertyList, XmlReadsAsXmlReadersReadIt)
{
    const std::pair<QByteArray, QVariant> cases[] = {
        // Line ends become LF before parsing; only a reference stands for CR.
        { "<plist><string>a\r\nb\rc&#13;\r\n</string></plist>", u"a\nb\nc\r\n"_s },
        { "<plist>\r<array>\r\n<string>x</string>\r</array></plist>", QVariantList { u"x"_s } },
        // Base64 with or without its padding, white space anywhere.
        { "<plist><data>YWJj ZA</data></plist>", QByteArray("abcd") },
        { "<plist><data>\r\n YW\tJjZA==\n</data></plist>", QByteArray("abcd") },
        { "<plist><data>YWJjZGU</data></plist>", QByteArray("abcde") },
        { "<plist><data></data></plist>", QByteArray("") },
        { "<plist><array><data>YQ</data><dict><key>k</key><data>Yg</data></dict>"
          "<data>Yw</data></array></plist>",
          QVariantList { QByteArray("a"), QVariantMap { { u"k"_s, QByteArray("b") } },
                         QByteArray("c") } },
    };
    for (const auto &[xml, expected] : cases)
        EXPECT_EQ(PropertyList::fromData(xml).value_or(u"<not read>"_s), expected) << xml.data();
}

// A list that names one long string from many places (as Python's plistlib
// writes equal strings) is written back sharing it again, no larger.
TEST(PropertyList, SharedValuesStaySharedWhenWritten)
{
    const QByteArray text(20000, 'x');
    const QByteArray string = "\x5F\x11" + bigEndian(quint64(text.size()), 2) + text;
    const QByteArray list = binaryList({ arrayObject(QList<quint32>(3000, 1)), string });
    const auto value = PropertyList::fromData(list);
    ASSERT_TRUE(value);
    ASSERT_EQ(value->toList().size(), 3000);
    EXPECT_EQ(value->toList().at(2999), QString::fromLatin1(text));
    const auto written = PropertyList::toBinaryData(*value);
    ASSERT_TRUE(written);
    EXPECT_LE(written->size(), list.size());
    EXPECT_EQ(PropertyList::fromData(*written), value);
}

TEST(PropertyList, RejectsWhatItCannotReadFaithfully)
{
    const QByteArray sampleXml = test::readFile(test::dataPath(u"plist/sample.xml"_s));
    const QByteArray sampleBinary = test::readFile(test::dataPath(u"plist/sample.bplist"_s));
    const auto scalar = [](const QByteArray &element) { return "<plist>" + element + "</plist>"; };
    const QByteArray dict("\xD1\0\0\0\x01\0\0\0\x02", 9); // object 1 = object 2
    constexpr int kTooDeep = PropertyList::kMaxDepth + 1;
    // Each level shares the next one four times: 4^40 nodes from a few hundred bytes.
    QList<QByteArray> blowUp;
    for (quint32 i = 1; i <= 40; ++i)
        blowUp.append(arrayObject({ i, i, i, i }));
    blowUp.append(arrayObject({}));
    const std::pair<const char *, QByteArray> cases[] = {
        { "truncated XML", sampleXml.left(sampleXml.size() / 2) },
        { "key without value", scalar("<dict><key>a</key></dict>") },
        { "integer above range", scalar("<integer>18446744073709551616</integer>") },
        { "integer octal or decimal", scalar("<integer>010</integer>") },
        { "real junk", scalar("<real>abc</real>") },
        { "date zone", scalar("<date>2001-01-01T00:00:00+02:00</date>") },
        { "data junk", scalar("<data>!!!!</data>") },
        { "data with one character left over", scalar("<data>YWJjZ</data>") },
        { "key twice", scalar("<dict><key>a</key><true/><key>a</key><false/></dict>") },
        { "invalid UTF-8", scalar("<string>\xFF\xFE</string>") },
        { "forbidden character", scalar("<string>&#1;</string>") },
        { "XML too deep",
          scalar(QByteArray("<array>").repeated(kTooDeep)
                 + QByteArray("</array>").repeated(kTooDeep)) },
        { "truncated binary", sampleBinary.left(sampleBinary.size() - 10) },
        { "binary UID", binaryList({ "\x80\x01" }) },
        { "binary key invalid UTF-8", binaryList({ dict, "\x52\xC3\x28", "\x09" }) },
        // "a" and a NUL, as a two-character string
        { "binary key with NUL", binaryList({ dict, QByteArray("\x52\x61", 3), "\x09" }) },
        { "binary key not a string", binaryList({ dict, "\x10\x05", "\x09" }) },
        { "binary cycle", binaryList({ arrayObject({ 1 }), arrayObject({ 0 }) }) },
        { "binary reference out of range", binaryList({ arrayObject({ 9 }) }) },
        { "binary too deep", nestedBinary(kTooDeep) },
        { "binary too deep through shared tails", nestedBinary(600, true) },
        { "binary shared subtrees blow up", binaryList(blowUp) },
    };
    for (const auto &[what, bytes] : cases)
        EXPECT_FALSE(PropertyList::fromData(bytes)) << what;

    // Up to the limits, the same shapes are read, and a little sharing is fine.
    EXPECT_EQ(PropertyList::fromData(nestedBinary(PropertyList::kMaxDepth)),
              nestedVariant(PropertyList::kMaxDepth));
    EXPECT_EQ(PropertyList::fromData(binaryList({ arrayObject({ 1, 1 }), arrayObject({}) })),
              QVariant(QVariantList { QVariantList(), QVariantList() }));
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
    const QString big = dir.filePath(u"big.plist"_s), fifo = dir.filePath(u"fifo"_s);
    test::writeFile(big, "<plist><true/></plist>");
    ASSERT_TRUE(PropertyList::readFile(big));
    ASSERT_TRUE(QFile(big).resize(PropertyList::kMaxFileSize + 1)); // sparse
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString &path : { big, fifo, dir.path(), dir.filePath(u"missing"_s) })
        EXPECT_FALSE(PropertyList::readFile(path)) << path.toStdString();
}

} // namespace
