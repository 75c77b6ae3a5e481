// The icon a disc names in its autorun.inf, decoded within bounds. The file
// comes from whoever burnt the disc: a small file can describe images far
// larger than itself (a PNG of zeros packs a thousandfold), and a Windows
// icon's directory can give one size while its images have another.
#pragma once

#include <QByteArray>
#include <QIcon>
#include <QString>

struct DiscIcon
{
    // Windows icons hold a handful of sizes, none above 256 pixels (the
    // largest their directory can give): so a prompt's icon never holds
    // more than 32 images of 256 x 256, 8 MiB of pixels.
    static constexpr int kMaxImages = 32;
    static constexpr int kMaxEdge = 256;

    // The images of a Windows icon file (.ico), or the one image of a BMP or
    // PNG file, whose own headers give at most kMaxEdge pixels a side;
    // anything larger is not decoded at all, nor are other formats. Only the
    // first kMaxImages images of an icon file count.
    [[nodiscard]] static DiscIcon fromData(const QByteArray &data);

    QIcon icon; // null when no image could be read
    QString error; // why, when the icon is null: one line for the log
};
