// The two version readers on any text, each against a reading of its own
// contract made with a POSIX regular expression (leftmost longest) and the C
// library: versionPairFromText() gives "major . minor ." from the start
// (white space before each item, signs allowed, clamped to 32 bits), and
// LoginItems::versionNumber() the nearest float to the longest leading
// decimal number (white space before it skipped), or 0.
#include "fuzz/fuzzsupport.h"
#include "hostapps/candidatejudging.h"
#include "prefs/loginitems.h"

#include <QVariant>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <locale.h>
#include <regex.h>
#include <string>
#include <vector>

namespace {

// The text with white space as ' ' and every other character the readers
// cannot take as part of a number as '?', so an ASCII regular expression can
// read it.
std::string asAscii(const QString &text)
{
    std::string out;
    for (const QChar c : text) {
        if (c.isSpace())
            out += ' ';
        else
            out += c.unicode() > 0 && c.unicode() < 0x80 ? char(c.unicode()) : '?';
    }
    return out;
}

int clampedInt(const std::string &number)
{
    const bool negative = number.front() == '-';
    std::string digits = number.substr(number.front() == '+' || negative ? 1 : 0);
    digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
    if (digits.size() > 10)
        return negative ? INT_MIN : INT_MAX;
    const long long value = std::stoll(digits.empty() ? "0" : digits) * (negative ? -1 : 1);
    return int(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

float nearestFloat(const std::string &number)
{
    static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    return strtof_l(number.c_str(), nullptr, c);
}

class Pattern
{
public:
    explicit Pattern(const char *expression)
    {
        if (regcomp(&m_regex, expression, REG_EXTENDED) != 0)
            fuzz::fail("regcomp", __FILE__, __LINE__, expression);
    }
    Pattern(const Pattern &) = delete;
    Pattern &operator=(const Pattern &) = delete;
    ~Pattern() { regfree(&m_regex); }

    // The groups of the match at the start of 'text'; none when there is none.
    [[nodiscard]] std::vector<std::string> match(const std::string &text) const
    {
        regmatch_t groups[4];
        if (regexec(&m_regex, text.c_str(), 4, groups, 0) != 0)
            return {};
        std::vector<std::string> result;
        for (const regmatch_t &group : groups)
            result.push_back(group.rm_so < 0 ? std::string()
                                             : text.substr(size_t(group.rm_so),
                                                           size_t(group.rm_eo - group.rm_so)));
        return result;
    }

private:
    regex_t m_regex;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const Pattern pairPattern(R"(^ *([+-]?[0-9]+) *\. *([+-]?[0-9]+) *\.)");
    static const Pattern numberPattern(R"(^ *([+-]?([0-9]+\.?[0-9]*|\.[0-9]+)([eE][+-]?[0-9]+)?))");
    const QString text = fuzz::utf8Text(data, size);

    const std::optional<VersionPair> pair = versionPairFromText(text);
    const std::vector<std::string> pairMatch = pairPattern.match(asAscii(text));
    if (!pairMatch.empty()) {
        const int major = clampedInt(pairMatch[1]), minor = clampedInt(pairMatch[2]);
        FUZZ_CHECK(pair && pair->major == major && pair->minor == minor,
                   fuzz::printable(text) + (pair ? " gives a different pair" : " gives no pair"));
    } else {
        FUZZ_CHECK(!pair, fuzz::printable(text) + " gives a pair");
    }

    const float number = LoginItems::versionNumber(text);
    const std::vector<std::string> numberMatch = numberPattern.match(asAscii(text));
    const float expected = numberMatch.empty() ? 0.0f : nearestFloat(numberMatch[1]);
    FUZZ_CHECK(number == expected,
               fuzz::printable(text) + " reads as " + QByteArray::number(number, 'g', 9) + ", not "
                   + QByteArray::number(expected, 'g', 9));
    return 0;
}
