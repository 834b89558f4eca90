#include "camera/register_map.h"

#include <cctype>
#include <cstdio>

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

namespace {

bool EqualNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

} // namespace

std::string SettingName(const CSetCommand& command)
{
    std::string_view camel = command.command;
    for (std::string_view verb : {"Set", "Send"}) {
        if (camel.size() > verb.size() && camel.substr(0, verb.size()) == verb) {
            camel.remove_prefix(verb.size());
            break;
        }
    }
    // Every capital starts a word; digits stay with what stands before them.
    std::string name;
    for (char c : camel) {
        const auto u = static_cast<unsigned char>(c);
        if (std::isupper(u) && !name.empty())
            name += '-';
        name += static_cast<char>(std::tolower(u));
    }
    return name;
}

std::string SettingNameAt(std::uint8_t index)
{
    // Where two commands share a register (0x40: OSD key and OSD control), the
    // first in the map names it.
    for (const auto& command : kSetCommands)
        if (command.index == index)
            return SettingName(command);
    return "";
}

std::string RegisterName(std::uint8_t index)
{
    if (std::string name = SettingNameAt(index); !name.empty())
        return name;
    char name[16];
    std::snprintf(name, sizeof name, "reserved-%02x", index);
    return name;
}

const CSetCommand* FindSetCommand(std::string_view name)
{
    for (const auto& command : kSetCommands)
        if (EqualNoCase(name, SettingName(command)) || EqualNoCase(name, command.command))
            return &command;
    return nullptr;
}

} // namespace zarnix
