// Parts of the property-list code shared between its XML and binary halves.
#pragma once

#include <QByteArray>
#include <QVariant>

#include <optional>

namespace PropertyList::detail {

inline constexpr QByteArrayView kBinaryMagic = "bplist00";
// Property-list dates count seconds from 2001-01-01T00:00:00Z.
inline constexpr qint64 kReferenceDateSecs = 978307200;

inline quint64 readBigEndian(const uchar *at, int width)
{
    quint64 value = 0;
    for (int i = 0; i < width; ++i)
        value = (value << 8) | at[i];
    return value;
}

// A string value's UTF-8 bytes as text, U+FEFF included wherever it stands;
// absent when they are no UTF-8.
std::optional<QString> decodeUtf8(QByteArrayView bytes);

// The date 'seconds' after the reference date, exactly; absent when it is no
// finite number (no date to any reader).
std::optional<QVariant> dateFromSeconds(double seconds);

// libplist accepts XML that is not well-formed (a missing end, trailing junk, a
// key without a value) and silently reads unreadable numbers, dates and data
// as zero or empty; it also recurses without limit. Whether the document
// passes a strict, non-recursive reader's check and may be given to libplist.
// Dictionaries holding a key twice fail too (one value would be lost). The
// value of each <data> element, in document order, goes to 'data': libplist
// drops a last group of base64 that has no padding.
[[nodiscard]] bool xmlShapeIsSafe(QByteArrayView bytes, QList<QByteArray> &data);

// Hands a container value to 'writer''s addDictionary or addArray, nested
// no deeper than kMaxDepth; false for anything that is not a container.
template<typename Writer> bool addContainer(Writer &writer, const QVariant &value, int depth)
{
    if (depth >= kMaxDepth)
        return false;
    switch (value.typeId()) {
    case QMetaType::QVariantMap:
        return writer.addDictionary(value.toMap(), depth);
    case QMetaType::QVariantHash:
        return writer.addDictionary(value.toHash(), depth);
    case QMetaType::QVariantList:
        return writer.addArray(value.toList(), depth);
    case QMetaType::QStringList:
        return writer.addArray(value.toStringList(), depth);
    default:
        return false;
    }
}

// The value of binary property-list bytes (starting with kBinaryMagic); absent
// when they are malformed, hostile (see the shape check), or hold a type we
// cannot keep faithfully.
std::optional<QVariant> fromBinaryData(QByteArrayView bytes);

} // namespace PropertyList::detail
