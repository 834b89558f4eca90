// How the window's boxes show and read numbers: shown in lower-case
// hexadecimal, no prefix, no leading zeros (0x00FF shows "ff"); read the way the
// C library's strtoul reads base 16 with a 32-bit unsigned long.
#pragma once

#include <QString>

#include <cstdint>

namespace zarnix {

inline QString Hex(unsigned value) { return QString::number(value, 16); }

// Leading white space, an optional sign and a "0x" prefix skipped, digits up to
// the first character that is none; no digits give 0, too many the largest
// value, and a minus sign negates modulo 2^32.
std::uint32_t HexTextValue(const QString& text);

} // namespace zarnix
