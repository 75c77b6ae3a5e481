#include "prefs/loginitems.h"

#include "host/hostproduct.h"

#include <QVariantList>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <locale.h>

namespace LoginItems {

std::optional<QString> fileName(const QVariant &item)
{
    const QVariant path = item.toMap().value(QString::fromUtf16(kPathKey));
    if (path.typeId() != QMetaType::QString)
        return std::nullopt;
    QString trimmed = path.toString();
    while (trimmed.endsWith(u'/'))
        trimmed.chop(1);
    return trimmed.mid(trimmed.lastIndexOf(u'/') + 1);
}

bool isHelperLoginItem(const QVariant &item)
{
    const auto name = fileName(item);
    return name
        && name->compare(QString::fromUtf16(HostProduct::kHelperBundleName), Qt::CaseInsensitive)
        == 0;
}

QVariantMap editedLoginWindowDomain(const std::optional<QVariantMap> &domain, bool activate,
                                    const std::optional<QString> &helperPath)
{
    QVariantMap edited = domain.value_or(QVariantMap {});
    const QString listKey = QString::fromUtf16(kListKey);
    QVariantList kept;
    bool keep = activate;
    for (const QVariant &item : edited.value(listKey).toList()) {
        if (isHelperLoginItem(item)) {
            if (!keep)
                continue;
            keep = false;
        }
        kept += item;
    }
    if (keep && helperPath) {
        kept += QVariantMap { { QString::fromUtf16(kHideKey), qint64(0) },
                              { QString::fromUtf16(kPathKey), *helperPath } };
    }
    edited[listKey] = kept;
    return edited;
}

std::optional<QString> registeredHelperPath(const std::optional<QVariantMap> &domain)
{
    if (!domain)
        return std::nullopt;
    for (const QVariant &item : domain->value(QString::fromUtf16(kListKey)).toList()) {
        const auto name = fileName(item);
        if (name && name->endsWith(QStringLiteral("DI Raruru.app")))
            return item.toMap().value(QString::fromUtf16(kPathKey)).toString();
    }
    return std::nullopt;
}

float versionNumber(const QVariant &version)
{
    switch (version.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
        return version.toFloat();
    case QMetaType::QString:
        break;
    default:
        return 0;
    }
    // Any Unicode white space leads, not only Latin-1's; what follows is read
    // in Latin-1, where every character beyond it is no part of a number.
    const QString whole = version.toString();
    qsizetype skipped = 0;
    while (skipped < whole.size() && whole.at(skipped).isSpace())
        ++skipped;
    const QByteArray text = QStringView(whole).sliced(skipped).toLatin1();
    qsizetype i = 0;
    // The longest leading [+-]digits[.digits][e[+-]digits] that holds a digit.
    const qsizetype start = i;
    const auto digits = [&] {
        const qsizetype from = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9')
            ++i;
        return i - from;
    };
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    qsizetype mantissaDigits = digits();
    if (i < text.size() && text[i] == '.') {
        ++i;
        mantissaDigits += digits();
    }
    if (mantissaDigits == 0)
        return 0;
    qsizetype end = i;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            ++i;
        if (digits() > 0)
            end = i;
    }
    // from_chars takes no '+' and reads the same in every locale.
    const qsizetype from = text[start] == '+' ? start + 1 : start;
    float value = 0;
    const auto result = std::from_chars(text.constData() + from, text.constData() + end, value);
    if (result.ec == std::errc::result_out_of_range) {
        // Too large and too small alike: strtof() tells them apart (infinity,
        // or zero for "1e-99"), read in the C locale as from_chars() reads.
        static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
        return strtof_l(text.mid(start, end - start).constData(), nullptr, cLocale);
    }
    return result.ec == std::errc() ? value : 0;
}

} // namespace LoginItems
