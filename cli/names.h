// The names zarnixctl gives the camera's live registers, derived from the set
// commands of the register map so that a new command gets its name for free.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "camera/register_map.h"

namespace zarnix::cli {

// "SetBrightness" -> "brightness", "Set3dnrLevel" -> "3dnr-level", "SendOsdKey" -> "osd-key".
std::string SettingName(const CSetCommand& command);

// The register 0x30:index as show prints it: the first set command there, or
// "reserved-XX" for a register that is read back but has no command.
std::string RegisterName(std::uint8_t index);

// By its tool name or its command name ("brightness", "SetBrightness"), any case.
const CSetCommand* FindSetCommand(std::string_view name);

// The live registers the read-back reads, in its order.
std::vector<std::uint8_t> ReadBackIndexes();

} // namespace zarnix::cli
