// Digit values for the text parsers (property lists, strings tables).
#pragma once

// The value of a hexadecimal digit in either letter case; -1 for any other
// character. Decimal and octal readers reject values of their base or more.
constexpr int hexDigitValue(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}
