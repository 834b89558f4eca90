#include "cli/options.h"

#include "link/iic_link.h"

namespace zarnix::cli {

namespace {

enum class EOption {
    Simulate, Address, SimState, SimClock, Trace, Bus, AdapterLib, Force, ListBuses, Yes, All, List, Help, Version
};

struct COptionInfo {
    const char* name;
    EOption option;
    bool takesValue;
};

constexpr COptionInfo kOptions[] = {
    {"--simulate", EOption::Simulate, false},
    {"--address", EOption::Address, true},
    {"--sim-state", EOption::SimState, true},
    {"--sim-clock", EOption::SimClock, true},
    {"--trace", EOption::Trace, true},
    {"--bus", EOption::Bus, true},
    {"--adapter-lib", EOption::AdapterLib, true},
    {"--force", EOption::Force, false},
    {"--list-buses", EOption::ListBuses, false},
    {"-y", EOption::Yes, false},
    {"--yes", EOption::Yes, false},
    {"--all", EOption::All, false},
    {"--list", EOption::List, false},
    {"-h", EOption::Help, false},
    {"--help", EOption::Help, false},
    {"--version", EOption::Version, false},
};

const COptionInfo* FindOption(std::string_view name)
{
    for (const auto& info : kOptions)
        if (name == info.name)
            return &info;
    return nullptr;
}

bool ParseAddress(const std::string& text, CCliOptions& options, std::string& error)
{
    unsigned value = 0;
    if (ParseHex(text, 0xFF, value) != EHexParse::Ok) {
        error = "--address '" + text + "' is not an 8-bit hex address such as 70";
        return false;
    }
    // The window and the camera's manual give the 8-bit write address; the 7-bit
    // form (0x38 for 70) is what i2c-tools print, and an odd number is a read address.
    if (value % 2 != 0) {
        error = "--address " + text + " is odd: give the camera's 8-bit write address, e.g. 70 (7-bit 0x38)";
        return false;
    }
    if (value >= kNoCameraAddress) {
        error = "--address " + text + " is not below fc, where no camera can answer";
        return false;
    }
    options.address = static_cast<std::uint16_t>(value);
    return true;
}

bool Apply(const COptionInfo& info, const std::string& value, CCliOptions& options, std::string& error)
{
    switch (info.option) {
    case EOption::Simulate:
        options.simulate = true;
        return true;
    case EOption::Address:
        return ParseAddress(value, options, error);
    case EOption::SimState:
        if (value.empty()) {
            error = "--sim-state needs a file name";
            return false;
        }
        options.simState = value;
        options.simulate = true;
        return true;
    case EOption::SimClock:
        if (value != "real" && value != "virtual") {
            error = "--sim-clock takes real or virtual, not '" + value + "'";
            return false;
        }
        options.virtualClock = value == "virtual";
        options.simulate = true;
        return true;
    case EOption::Trace:
        if (value.empty()) {
            error = "--trace needs a file name";
            return false;
        }
        options.trace = value;
        return true;
    case EOption::Bus:
        if (value.empty()) {
            error = "--bus needs a bus number, device path or adapter name";
            return false;
        }
        options.bus = value;
        return true;
    case EOption::AdapterLib:
        if (value.empty()) {
            error = "--adapter-lib needs a file name";
            return false;
        }
        options.adapterLib = value;
        return true;
    case EOption::Force:
        options.force = true;
        return true;
    case EOption::ListBuses:
        options.listBuses = true;
        return true;
    case EOption::Yes:
        options.yes = true;
        return true;
    case EOption::All:
        options.all = true;
        return true;
    case EOption::List:
        options.list = true;
        return true;
    case EOption::Help:
        options.help = true;
        return true;
    case EOption::Version:
        options.version = true;
        return true;
    }
    return false;
}

} // namespace

EHexParse ParseHex(std::string_view text, unsigned max, unsigned& value)
{
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.remove_prefix(2);
    if (text.empty())
        return EHexParse::NotANumber;
    unsigned v = 0;
    bool tooLarge = false;
    for (char c : text) {
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            return EHexParse::NotANumber;
        // Keep reading after an overflow, so "1zz" still counts as not a number.
        // Compared before multiplying: with a large `max` the product would wrap.
        if (!tooLarge) {
            tooLarge = digit > max || v > (max - digit) / 16;
            if (!tooLarge)
                v = v * 16 + digit;
        }
    }
    if (tooLarge)
        return EHexParse::TooLarge;
    value = v;
    return EHexParse::Ok;
}

bool ParseCommandLine(int argc, const char* const* argv, CCliOptions& options, std::string& error)
{
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            if (options.command.empty()) {
                // An empty word (an unset variable in a script) must not let the
                // next argument take the command's place.
                if (arg.empty()) {
                    error = "the command is an empty word";
                    return false;
                }
                options.command = arg;
            } else {
                options.args.push_back(arg);
            }
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        const std::size_t equals = arg.rfind("--", 0) == 0 ? arg.find('=') : std::string::npos;
        const std::string name = arg.substr(0, equals);
        const COptionInfo* info = FindOption(name);
        if (!info) {
            error = "unknown option '" + arg + "'";
            return false;
        }
        std::string value;
        if (equals != std::string::npos) {
            if (!info->takesValue) {
                error = "option " + name + " takes no value";
                return false;
            }
            value = arg.substr(equals + 1);
        } else if (info->takesValue) {
            if (i + 1 >= argc) {
                error = "option " + name + " needs a value";
                return false;
            }
            value = argv[++i];
        }
        if (!Apply(*info, value, options, error))
            return false;
    }
    const int backends = (options.simulate ? 1 : 0) + (options.bus.empty() ? 0 : 1) + (options.adapterLib.empty() ? 0 : 1);
    if (backends > 1) {
        error = "choose one of --simulate (or --sim-state, --sim-clock), --bus and --adapter-lib";
        return false;
    }
    if (options.force && options.bus.empty() && (options.simulate || !options.adapterLib.empty())) {
        error = "--force is for an i2c-dev bus";
        return false;
    }
    return true;
}

} // namespace zarnix::cli
