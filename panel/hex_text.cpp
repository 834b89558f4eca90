#include "panel/hex_text.h"

#include <limits>

namespace zarnix {

namespace {

// The digit's value, or -1 when the character is no hexadecimal digit.
int HexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

bool IsCSpace(QChar c)
{
    const char16_t u = c.unicode();
    return u == u' ' || (u >= u'\t' && u <= u'\r');
}

} // namespace

std::uint32_t HexTextValue(const QString& text)
{
    constexpr std::uint32_t kLargest = std::numeric_limits<std::uint32_t>::max();
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && IsCSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-'))
        negative = text[i++] == u'-';
    // "0x" is a prefix only when a digit follows it; otherwise the 0 is the number.
    if (i + 2 < n && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X') && HexDigit(text[i + 2]) >= 0)
        i += 2;
    std::uint32_t value = 0;
    bool overflow = false;
    for (int digit; i < n && (digit = HexDigit(text[i])) >= 0; ++i) {
        if (value > (kLargest - static_cast<std::uint32_t>(digit)) / 16)
            overflow = true;
        else
            value = value * 16 + static_cast<std::uint32_t>(digit);
    }
    if (overflow)
        return kLargest;
    return negative ? 0u - value : value;
}

} // namespace zarnix
