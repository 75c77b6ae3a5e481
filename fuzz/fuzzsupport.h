// What the fuzz targets share: the input as bytes or text, and a property
// check that aborts, so that libFuzzer keeps the input that broke it.
#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace fuzz {

// A copy, not QByteArray::fromRawData(): code may rely on the terminating NUL
// that every other QByteArray has.
inline QByteArray bytes(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

inline QString utf8Text(const uint8_t *data, size_t size)
{
    return QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
}

// Bytes for a failure report: printable ASCII as it is, the rest as \xNN.
inline QByteArray printable(const QByteArray &bytes)
{
    QByteArray out;
    for (const char c : bytes) {
        if (c >= 0x20 && c < 0x7F && c != '\\')
            out += c;
        else
            out += "\\x" + QByteArray::number(uchar(c), 16).rightJustified(2, '0');
    }
    return out;
}

inline QByteArray printable(const QString &text)
{
    return printable(text.toUtf8());
}

// Whether 'read' is 'written' with the same types throughout, doubles to the
// bit (NaN equals NaN, 0 and -0 differ).
inline bool sameValue(const QVariant &written, const QVariant &read)
{
    if (written.typeId() != read.typeId())
        return false;
    switch (written.typeId()) {
    case QMetaType::QVariantMap: {
        const QVariantMap a = written.toMap(), b = read.toMap();
        if (a.size() != b.size())
            return false;
        for (auto i = a.cbegin(), j = b.cbegin(); i != a.cend(); ++i, ++j) {
            if (i.key() != j.key() || !sameValue(i.value(), j.value()))
                return false;
        }
        return true;
    }
    case QMetaType::QVariantList: {
        const QVariantList a = written.toList(), b = read.toList();
        if (a.size() != b.size())
            return false;
        for (qsizetype i = 0; i < a.size(); ++i) {
            if (!sameValue(a.at(i), b.at(i)))
                return false;
        }
        return true;
    }
    case QMetaType::Double: {
        const double a = written.toDouble(), b = read.toDouble();
        if (std::isnan(a) || std::isnan(b))
            return std::isnan(a) && std::isnan(b);
        return a == b && std::signbit(a) == std::signbit(b);
    }
    default:
        return written == read;
    }
}

[[noreturn]] inline void fail(const char *condition, const char *file, int line,
                              const QByteArray &detail)
{
    std::fprintf(stderr, "\n%s:%d: property does not hold: %s\n%s\n", file, line, condition,
                 detail.constData());
    std::abort();
}

} // namespace fuzz

// DETAIL (a QByteArray) says what was compared; it is built only on failure.
#define FUZZ_CHECK(condition, detail)                                                              \
    do {                                                                                           \
        if (!(condition))                                                                          \
            fuzz::fail(#condition, __FILE__, __LINE__, (detail));                                  \
    } while (false)
