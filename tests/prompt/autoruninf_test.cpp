// Reading what a disc's autorun.inf says: discs are whatever someone burnt.
// Finding autorun.inf in any letter case is the prompt's test.
#include "prompt/autoruninf.h"

#include <QStringEncoder>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// UTF-16 with its byte-order mark.
QByteArray utf16(const QString &text, QStringConverter::Encoding encoding)
{
    return QStringEncoder(encoding, QStringConverter::Flag::WriteBom).encode(text);
}

TEST(AutorunInf, ReadsLabelAndIcon)
{
    const std::optional<QString> none;
    const struct
    {
        const char *name;
        QByteArray data;
        std::optional<QString> label, icon;
    } cases[] = {
        { "Windows line ends, any letter case, blanks",
          "[AutoRun]\r\n  Label = My Disc \r\nICON=Icons\\Disc.ico,0\r\n", u"My Disc"_s,
          u"Icons/Disc.ico"_s },
        { "quotes and a negative icon index", "[autorun]\nlabel=\"Quoted\"\nicon=\"a b.exe\",-101",
          u"Quoted"_s, u"a b.exe"_s },
        { "other sections say nothing",
          "label=Before\n[autorun.amd64]\nlabel=x64\n[strings]\nicon=s.ico\n[autorun]\n;label=no\n",
          none, none },
        { "UTF-8 with a byte-order mark", "\xef\xbb\xbf[autorun]\nlabel=Caf\xc3\xa9\n",
          u"Caf\u00e9"_s, none },
        { "UTF-16, little end first",
          utf16(u"[autorun]\r\nlabel=Sp\u00e4t\r\n"_s, QStringConverter::Utf16LE), u"Sp\u00e4t"_s,
          none },
        { "UTF-16, big end first", utf16(u"[autorun]\nicon=x.ico\n"_s, QStringConverter::Utf16BE),
          none, u"x.ico"_s },
        { "binary", QByteArray("[autorun]\nlabel=x\n\0\x01\x02", 20), none, none },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const AutorunInf inf = AutorunInf::fromData(c.data);
        EXPECT_EQ(inf.label(), c.label);
        EXPECT_EQ(inf.iconPath(), c.icon);
    }
}

} // namespace
