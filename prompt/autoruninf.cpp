#include "prompt/autoruninf.h"

#include <QList>
#include <QStringDecoder>

namespace {

// The text of the file; absent when it is not text at all.
std::optional<QString> decode(QByteArrayView data)
{
    QStringDecoder decoder;
    if (data.startsWith("\xff\xfe"))
        decoder = QStringDecoder(QStringDecoder::Utf16LE);
    else if (data.startsWith("\xfe\xff"))
        decoder = QStringDecoder(QStringDecoder::Utf16BE);
    else if (data.contains('\0'))
        return std::nullopt;
    else
        decoder = QStringDecoder(QStringDecoder::Utf8);
    QString text = decoder.decode(data); // takes the byte-order mark off
    if (decoder.hasError()) {
        if (data.startsWith("\xff\xfe") || data.startsWith("\xfe\xff"))
            return std::nullopt;
        text = QString::fromLatin1(data); // an old disc, written in a Windows code page
    }
    if (text.contains(QChar::Null))
        return std::nullopt;
    return text;
}

// A value without the blanks and one pair of quotes around it.
QString unquoted(QStringView value)
{
    value = value.trimmed();
    if (value.size() >= 2 && value.startsWith(u'"') && value.endsWith(u'"'))
        value = value.sliced(1, value.size() - 2).trimmed();
    return value.toString();
}

// "file.ico,0" or "file.exe,-101" names one icon of a file: the file is the
// path, the index is for files that hold many icons, which we cannot read.
QString withoutIconIndex(const QString &value)
{
    const qsizetype comma = value.lastIndexOf(u',');
    if (comma < 0)
        return value;
    bool isNumber = false;
    (void)value.sliced(comma + 1).trimmed().toInt(&isNumber);
    return isNumber ? value.left(comma).trimmed() : value;
}

} // namespace

AutorunInf AutorunInf::fromData(QByteArrayView data)
{
    AutorunInf inf;
    const auto text = decode(data);
    if (!text)
        return inf;
    bool inAutorun = false;
    for (QStringView line : QStringView(*text).split(u'\n')) {
        line = line.trimmed(); // and the \r of a Windows line end
        if (line.isEmpty() || line.startsWith(u';'))
            continue;
        if (line.startsWith(u'[')) {
            const qsizetype end = line.indexOf(u']');
            inAutorun = end > 0
                && line.sliced(1, end - 1).trimmed().compare(u"autorun", Qt::CaseInsensitive) == 0;
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (!inAutorun || equals <= 0)
            continue;
        const QStringView key = line.first(equals).trimmed();
        const QString value = unquoted(line.sliced(equals + 1));
        if (value.isEmpty())
            continue;
        if (!inf.m_label && key.compare(u"label", Qt::CaseInsensitive) == 0) {
            inf.m_label = value;
        } else if (!inf.m_iconPath && key.compare(u"icon", Qt::CaseInsensitive) == 0) {
            QString path = unquoted(withoutIconIndex(value));
            path.replace(u'\\', u'/');
            if (!path.isEmpty())
                inf.m_iconPath = path;
        }
    }
    return inf;
}

AutorunInf AutorunInf::readFromVolume(const QString &volumePath)
{
    const auto bytes = ::readVolumeFile(volumePath, QStringLiteral("autorun.inf"), kMaxFileSize);
    return bytes ? fromData(*bytes) : AutorunInf();
}
