#include "panel/hex_text.h"

#include <cerrno>
#include <cstdlib>
#include <limits>

namespace zarnix {

namespace {

// The C locale's white space, whatever locale the window runs in.
bool IsCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

} // namespace

std::uint32_t HexTextValue(const QString& text)
{
    constexpr std::uint32_t kLargest = std::numeric_limits<std::uint32_t>::max();
    // Characters beyond Latin-1 become '?', which is no digit, as they are for strtoul.
    const QByteArray bytes = text.toLatin1();
    const char* p = bytes.constData();
    while (IsCSpace(*p))
        ++p;
    const bool negative = *p == '-';
    if (*p == '+' || *p == '-')
        ++p;
    // No digit (a space or a second sign after the sign among them): nothing read.
    if (!IsHexDigit(*p))
        return 0;
    // strtoull with the range of a 32-bit unsigned long: too many digits give the largest value.
    errno = 0;
    const unsigned long long magnitude = std::strtoull(p, nullptr, 16);
    if (errno == ERANGE || magnitude > kLargest)
        return kLargest;
    const auto value = static_cast<std::uint32_t>(magnitude);
    return negative ? 0u - value : value;
}

} // namespace zarnix
