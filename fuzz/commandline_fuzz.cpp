// componentsOfCommandLine() on any text: no word keeps a double quote; a line
// without quotes splits exactly at white space; and the words, each put in
// double quotes and joined by blanks, split back into the same words (empty
// ones included).
#include "fuzz/fuzzsupport.h"
#include "util/stringadditions.h"

#include <QStringList>

namespace {

QByteArray describe(const QStringList &words)
{
    QByteArray out;
    for (const QString &word : words)
        out += '[' + fuzz::printable(word) + "] ";
    return out;
}

QStringList splitAtWhiteSpace(const QString &text)
{
    QStringList words;
    QString word;
    for (const QChar c : text) {
        if (!c.isSpace()) {
            word += c;
            continue;
        }
        if (!word.isEmpty())
            words.append(word);
        word.clear();
    }
    if (!word.isEmpty())
        words.append(word);
    return words;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = fuzz::utf8Text(data, size);
    const QStringList words = componentsOfCommandLine(text);

    for (const QString &word : words)
        FUZZ_CHECK(!word.contains(u'"'), describe(words));
    if (!text.contains(u'"')) {
        const QStringList expected = splitAtWhiteSpace(text);
        FUZZ_CHECK(words == expected, "got " + describe(words) + "\nwant " + describe(expected));
    }

    QStringList quoted;
    for (const QString &word : words)
        quoted.append(u'"' + word + u'"');
    const QStringList again = componentsOfCommandLine(quoted.join(u' '));
    FUZZ_CHECK(again == words, "first " + describe(words) + "\nthen " + describe(again));
    return 0;
}
