#include "app/cdnames.h"

#include <QStringDecoder>

const std::array<CDName, 29> CDNames = { {
    { u"Quicken", u"Quicken" },
    { u"_msoffice97_", u"Microsoft Office 97" },
    { u"_msoffice2000_", u"Microsoft Office 2000" },
    { u"_msofficexp_", u"Microsoft Office XP" },
    { u"_msoffice2003_", u"Microsoft Office 2003" },
    { u"_msoffice2007_", u"Microsoft Office 2007" },
    { u"_msproject2000_", u"Microsoft Project 2000" },
    { u"_msproject2002_", u"Microsoft Project 2002" },
    { u"_msproject2003_", u"Microsoft Project 2003" },
    { u"_visio2003_", u"Microsoft Visio 2003" },
    { u"_visio2002_", u"Microsoft Visio 2002" },
    { u"Visio", u"Microsoft Visio" },
    { u"_worldofwarcraft_", u"World of Warcraft" },
    { u"60268FDB-04EC-47DE-8410-CD53BDBBD83F", u"Ichitaro 2006" },
    { u"CEF62F0A-3BD6-41C0-9195-1D3C3A80EF7E", u"Ichitaro 2007" },
    { u"985BE5F7-EB70-49F8-BA74-DC663760D2D0", u"Ichitaro 2008" },
    { u"A5F3B2A6-CB42-11D6-9161-00E02975BB40", u"Ichitaro Viewer" },
    { u"DE031239-8D9F-4E6E-9135-0C36B1B95411", u"IBM Homepage Builder 13" },
    { u"C12BC664-B5AB-4C85-8AEC-85F43BA39AFC", u"IBM Homepage Builder 12" },
    { u"B1ABE481-F759-4F02-85D3-B09CAFF462E1", u"IBM Homepage Builder 11" },
    { u"A3EFC567-851F-4083-84CB-E670D991818C", u"IBM Homepage Builder 10" },
    { u"YSO_WIN", u"Falcom Ys ORIGIN" },
    { u"ED6_WIN", u"Falcom THE LEGEND OF HEROES VI \"SORA NO KISEKI\"" },
    { u"ED_SORA2", u"Falcom THE LEGEND OF HEROES \"SORA NO KISEKI : SECOND CHAPTER\"" },
    { u"ED_SORA3", u"Falcom THE LEGEND OF HEROES \"SORA NO KISEKI the 3rd\"" },
    { u"36B3F8D7-F1C7-4558-A348-7C8171BB6404", u"KOGADO GADGET TRIAL" },
    { u"KGD_PX", u"KOGADO JyouKyouKaishi!" },
    { u"F1C1C21B-F56E-400B-B0B0-270D817889F3", u"Vocaloid 2" },
    { u"B123B3B1-C2A0-47E7-AAAB-D1E2DBE259CB", u"Vocaloid" },
} };

QString englishDisplayName(const QString &identifier)
{
    for (const CDName &row : CDNames) {
        if (identifier == QStringView(row.identifier))
            return QString::fromUtf16(row.displayName);
    }
    return identifier;
}

std::optional<QString> discIdentifierFromOutput(const QByteArray &output)
{
    // A leading byte-order mark is part of the text, not a marker to drop.
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless
                               | QStringDecoder::Flag::ConvertInitialBom);
    const QString text = decoder.decode(output);
    if (decoder.hasError())
        return std::nullopt;
    qsizetype start = 0, end = text.size();
    while (start < end && text.at(start).isSpace())
        ++start;
    while (end > start && text.at(end - 1).isSpace())
        --end;
    return text.sliced(start, end - start);
}
