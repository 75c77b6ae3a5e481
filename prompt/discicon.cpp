#include "prompt/discicon.h"

#include <QBuffer>
#include <QImageReader>
#include <QPixmap>
#include <QtEndian>

#include <optional>

namespace {

constexpr QByteArrayView kPngSignature("\x89PNG\r\n\x1a\n", 8);
constexpr QByteArrayView kIconSignature("\0\0\1\0", 4); // reserved 0, type 1 (not a cursor)
constexpr qsizetype kIconDirectorySize = 6;
constexpr qsizetype kIconEntrySize = 16;
constexpr qsizetype kBitmapInfoHeaderSize = 40;

template<typename T> T littleEndianAt(QByteArrayView data, qsizetype at)
{
    return qFromLittleEndian<T>(data.data() + at);
}

bool fits(qint64 width, qint64 height)
{
    return width > 0 && height > 0 && width <= DiscIcon::kMaxEdge && height <= DiscIcon::kMaxEdge;
}

// Whether an image of an icon file, by its own header (a PNG's IHDR, or the
// bitmap header whose height counts the mask too), is small enough to decode.
bool iconImageFits(QByteArrayView image)
{
    if (image.startsWith(kPngSignature)) {
        return image.size() >= 24 && image.sliced(12, 4) == "IHDR"
            && fits(qFromBigEndian<quint32>(image.data() + 16),
                    qFromBigEndian<quint32>(image.data() + 20));
    }
    return image.size() >= kBitmapInfoHeaderSize
        && littleEndianAt<quint32>(image, 0) >= kBitmapInfoHeaderSize
        && fits(littleEndianAt<qint32>(image, 4), littleEndianAt<qint32>(image, 8) / 2);
}

// The icon file's images that are whole and small enough, by their place in
// its directory; absent when the directory itself is cut short.
std::optional<QList<int>> iconImagesToRead(QByteArrayView data)
{
    if (data.size() < kIconDirectorySize)
        return std::nullopt;
    const int count = littleEndianAt<quint16>(data, 4);
    if (data.size() < kIconDirectorySize + count * kIconEntrySize)
        return std::nullopt;
    QList<int> images;
    for (int i = 0; i < std::min(count, DiscIcon::kMaxImages); ++i) {
        const qsizetype entry = kIconDirectorySize + i * kIconEntrySize;
        const qint64 size = littleEndianAt<quint32>(data, entry + 8);
        const qint64 offset = littleEndianAt<quint32>(data, entry + 12);
        if (offset + size <= data.size() && iconImageFits(data.sliced(offset, size)))
            images.append(i);
    }
    return images;
}

} // namespace

DiscIcon DiscIcon::fromData(const QByteArray &data)
{
    DiscIcon result;
    const bool isIconFile = data.startsWith(kIconSignature);
    const char *format = isIconFile             ? "ico"
        : data.startsWith(kPngSignature)        ? "png"
        : data.startsWith(QByteArrayView("BM")) ? "bmp"
                                                : nullptr;
    if (!format) {
        result.error = QStringLiteral("it is no Windows icon, BMP or PNG file");
        return result;
    }
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);

    // The images are read only where their own headers say they are small:
    // every place the reader seeks to lies inside the file.
    QList<int> images;
    if (isIconFile) {
        const auto found = iconImagesToRead(data);
        if (!found) {
            result.error = QStringLiteral("its directory of images is cut short");
            return result;
        }
        images = *found;
    } else if (const QSize size = reader.size(); fits(size.width(), size.height())) {
        images = { 0 };
    }
    for (const int i : std::as_const(images)) {
        if (isIconFile && !reader.jumpToImage(i))
            continue;
        const QImage image = reader.read();
        if (!image.isNull())
            result.icon.addPixmap(QPixmap::fromImage(image));
    }
    if (result.icon.isNull()) {
        result.error = QStringLiteral("it holds no readable image of at most %1 pixels a side")
                           .arg(kMaxEdge);
    }
    return result;
}
