// How the window's boxes show numbers: lower-case hexadecimal, no prefix, no
// leading zeros (0x00FF shows "ff").
#pragma once

#include <QString>

namespace zarnix {

inline QString Hex(unsigned value) { return QString::number(value, 16); }

} // namespace zarnix
