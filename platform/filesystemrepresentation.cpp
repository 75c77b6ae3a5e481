#include "platform/filesystemrepresentation.h"

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

// Length of the valid UTF-8 sequence at s[0..n), or 0 when it is not one.
// Follows RFC 3629: no overlong forms, no surrogates, nothing past U+10FFFF.
int validSequenceLength(const unsigned char *s, qsizetype n)
{
    const unsigned char c = s[0];
    if (c < 0x80)
        return 1;
    int length = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        if (c == 0xE0)
            low = 0xA0;
        else if (c == 0xED)
            high = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        if (c == 0xF0)
            low = 0x90;
        else if (c == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (n < length || s[1] < low || s[1] > high)
        return 0;
    for (int i = 2; i < length; ++i) {
        if (s[i] < 0x80 || s[i] > 0xBF)
            return 0;
    }
    return length;
}

} // namespace

std::optional<QByteArray> fileSystemRepresentation(const QString &path)
{
    QByteArray bytes;
    bytes.reserve(path.size());
    for (qsizetype i = 0; i < path.size(); ++i) {
        const char16_t u = path.at(i).unicode();
        if (u == 0)
            return std::nullopt;
        if (QChar::isHighSurrogate(u)) {
            if (i + 1 >= path.size() || !QChar::isLowSurrogate(path.at(i + 1).unicode()))
                return std::nullopt;
            bytes += path.mid(i, 2).toUtf8();
            ++i;
        } else if (QChar::isLowSurrogate(u)) {
            if (u < kEscapeBase + 0x80 || u > kEscapeBase + 0xFF)
                return std::nullopt;
            bytes += char(u - kEscapeBase);
        } else if (u < 0x80) {
            bytes += char(u);
        } else {
            bytes += QString(QChar(u)).toUtf8();
        }
    }
    return bytes;
}

QString stringWithFileSystemRepresentation(const char *bytes, qsizetype length)
{
    const auto *s = reinterpret_cast<const unsigned char *>(bytes);
    QString text;
    text.reserve(length);
    qsizetype runStart = 0;
    qsizetype i = 0;
    while (i < length) {
        const int n = validSequenceLength(s + i, length - i);
        if (n > 0) {
            i += n;
            continue;
        }
        text += QString::fromUtf8(bytes + runStart, i - runStart);
        text += QChar(char16_t(kEscapeBase + s[i]));
        ++i;
        runStart = i;
    }
    text += QString::fromUtf8(bytes + runStart, length - runStart);
    return text;
}

QString stringWithFileSystemRepresentation(const QByteArray &bytes)
{
    return stringWithFileSystemRepresentation(bytes.constData(), bytes.size());
}

QString displayableString(const QString &path)
{
    QString shown = path;
    for (qsizetype i = 0; i < shown.size(); ++i) {
        if (shown.at(i).isHighSurrogate() && i + 1 < shown.size()
            && shown.at(i + 1).isLowSurrogate()) {
            ++i; // a real character outside the BMP
        } else if (shown.at(i).isSurrogate()) {
            shown[i] = QChar::ReplacementCharacter;
        }
    }
    return shown;
}
