// What a disc's autorun.inf says about how the disc is shown: the "label" and
// "icon" of its [autorun] section. A disc is whatever someone burnt, so the
// file is read with care: with a size limit, and the icon only from inside
// the volume.
#pragma once

#include "platform/volumefiles.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

class AutorunInf
{
public:
    // autorun.inf files are a few lines; anything longer is no such file.
    static constexpr qint64 kMaxFileSize = 64 * 1024;
    // Icon files with every size up to 256 pixels stay well below this.
    static constexpr qint64 kMaxIconSize = 1024 * 1024;

    // The section read from the text of an autorun.inf: UTF-8, UTF-16 with a
    // byte-order mark, or else Latin-1; keys and section names in any
    // letter case; the first of a key counts. Text holding NUL bytes (other
    // than as UTF-16) is not an autorun.inf and says nothing.
    [[nodiscard]] static AutorunInf fromData(QByteArrayView data);
    // The autorun.inf at the top of the volume mounted at 'volumePath', its
    // name in any letter case. Says nothing when there is none, or when it
    // is not a plain file (a symbolic link, a device) of at most kMaxFileSize.
    [[nodiscard]] static AutorunInf readFromVolume(const QString &volumePath);

    // The disc's name, surrounding blanks and quotes taken off; absent when
    // not given or empty.
    [[nodiscard]] const std::optional<QString> &label() const { return m_label; }
    // The icon file as named, relative to the volume's top, with '/' for
    // '\' and without the icon index of "file.ico,0".
    [[nodiscard]] const std::optional<QString> &iconPath() const { return m_iconPath; }

private:
    std::optional<QString> m_label;
    std::optional<QString> m_iconPath;
};
