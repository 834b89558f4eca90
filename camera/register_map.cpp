#include "camera/register_map.h"

namespace zarnix {

std::uint16_t ApplyValueRule(EValueRule rule, std::uint16_t value)
{
    switch (rule) {
    case EValueRule::Unchanged: return value;
    case EValueRule::AtMost1: return value > 1 ? 1 : value;
    case EValueRule::AtMost3: return value > 3 ? 3 : value;
    case EValueRule::AtMost4: return value > 4 ? 4 : value;
    case EValueRule::AtMostCB: return value > 0xCB ? 0xCB : value;
    case EValueRule::AtLeast8: return value < 8 ? 8 : value;
    case EValueRule::OsdSwitch: return (value & 0xFF) != 0 ? 5 : 0;
    }
    return value;
}

} // namespace zarnix
