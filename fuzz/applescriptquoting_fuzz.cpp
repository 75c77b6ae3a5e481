// stringQuotedForAppleScript() on any text: the result is one expression of
// the shapes the quoting writes, joined by " & ": string literals of ASCII
// without backslash or line feed, `quote`, `return` (a line feed, as the
// quoting means it), `(ASCII character 92)` and `(«data utf8HEX» as Unicode
// text)` holding valid, non-empty UTF-8. Outside the guillemets it is ASCII,
// so it survives any encoding of the script; and read back it gives exactly
// the text.
#include "fuzz/fuzzsupport.h"
#include "util/stringadditions.h"

#include <QStringDecoder>

#include <optional>

namespace {

bool isAscii(QStringView text)
{
    for (const QChar c : text) {
        if (c.unicode() >= 0x80)
            return false;
    }
    return true;
}

// The text of the data literal's hex digits; absent when they are not valid
// UTF-8 written as lower-case pairs.
std::optional<QString> utf8FromHex(QStringView hex)
{
    if (hex.isEmpty() || hex.size() % 2 != 0)
        return std::nullopt;
    for (const QChar c : hex) {
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f')))
            return std::nullopt;
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(QByteArray::fromHex(hex.toLatin1()));
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

// The text the expression stands for; absent when it is not well-formed.
std::optional<QString> evaluate(QStringView script)
{
    static constexpr QStringView kDataStart = u"(\u00ABdata utf8";
    static constexpr QStringView kDataEnd = u"\u00BB as Unicode text)";
    QString value;
    for (;;) {
        if (script.startsWith(u'"')) {
            const qsizetype close = script.indexOf(u'"', 1);
            if (close < 0)
                return std::nullopt;
            const QStringView literal = script.sliced(1, close - 1);
            if (!isAscii(literal) || literal.contains(u'\\') || literal.contains(u'\n'))
                return std::nullopt;
            value += literal;
            script = script.sliced(close + 1);
        } else if (script.startsWith(u"quote")) {
            value += u'"';
            script = script.sliced(5);
        } else if (script.startsWith(u"return")) {
            value += u'\n';
            script = script.sliced(6);
        } else if (script.startsWith(u"(ASCII character 92)")) {
            value += u'\\';
            script = script.sliced(20);
        } else if (script.startsWith(kDataStart)) {
            script = script.sliced(kDataStart.size());
            const qsizetype end = script.indexOf(kDataEnd);
            const std::optional<QString> text
                = end < 0 ? std::nullopt : utf8FromHex(script.first(end));
            if (!text)
                return std::nullopt;
            value += *text;
            script = script.sliced(end + kDataEnd.size());
        } else {
            return std::nullopt;
        }
        if (script.isEmpty())
            return value;
        if (!script.startsWith(u" & "))
            return std::nullopt;
        script = script.sliced(3);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = fuzz::utf8Text(data, size);
    const QString quoted = stringQuotedForAppleScript(text);
    const std::optional<QString> value = evaluate(quoted);
    FUZZ_CHECK(value, "not well-formed: " + fuzz::printable(quoted));
    FUZZ_CHECK(*value == text,
               "quoted " + fuzz::printable(quoted) + "\nreads back as " + fuzz::printable(*value));
    return 0;
}
