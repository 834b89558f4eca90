// The window's value boxes: the text the operator types, as HexTextValue reads it.
//
// Oracle: the C library's strtoull with base 16, brought to what strtoul gives
// where unsigned long has 32 bits (the boxes' documented behaviour): a magnitude
// beyond 32 bits gives the largest value, a minus sign negates modulo 2^32.
// strtoul only sees plain ASCII, so for other text the oracle reads the part
// before the first character that is not; the box must stop there as well.
#include <cctype>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include <QString>

#include "fuzz/fuzz_check.h"
#include "panel/hex_text.h"

using namespace zarnix;

namespace {

std::uint32_t Strtoul32(const std::string& ascii)
{
    constexpr std::uint64_t kLargest = 0xFFFFFFFFu;
    errno = 0;
    const unsigned long long read = std::strtoull(ascii.c_str(), nullptr, 16);
    if (errno == ERANGE)
        return kLargest;
    std::size_t i = 0;
    while (i < ascii.size() && std::isspace(static_cast<unsigned char>(ascii[i])))
        ++i;
    const bool negative = i < ascii.size() && ascii[i] == '-';
    const std::uint64_t magnitude = negative ? 0 - read : read;
    if (magnitude > kLargest)
        return kLargest;
    return static_cast<std::uint32_t>(negative ? 0 - magnitude : magnitude);
}

// The text up to its first character that is not plain ASCII (or is NUL).
std::string AsciiPrefix(const QString& text)
{
    std::string ascii;
    for (const QChar c : text) {
        if (c.unicode() == 0 || c.unicode() > 0x7F)
            break;
        ascii += static_cast<char>(c.unicode());
    }
    return ascii;
}

void Check(const QString& text)
{
    const std::string ascii = AsciiPrefix(text);
    const std::uint32_t expected = Strtoul32(ascii);
    ZARNIX_FUZZ_CHECK(HexTextValue(text) == expected);
    ZARNIX_FUZZ_CHECK(HexTextValue(QString::fromLatin1(ascii.data(), static_cast<qsizetype>(ascii.size()))) == expected);
    // What a box shows for a value reads back as that value.
    ZARNIX_FUZZ_CHECK(HexTextValue(Hex(expected)) == expected);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Typed text is any Unicode; the bytes once as Latin-1, once as UTF-16 code units.
    Check(QString::fromLatin1(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    QString wide;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        wide += QChar(static_cast<char16_t>(data[i] | data[i + 1] << 8));
    Check(wide);
    return 0;
}
