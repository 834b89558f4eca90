#include "cli/options.h"

#include <charconv>

#include "link/iic_link.h"

namespace zarnix::cli {

namespace {

enum EToolOptionKey : int {
    kOptionAddress = kFirstProgramOption,
    kOptionListBuses,
    kOptionAll,
    kOptionList,
    kOptionVersion,
    kOptionJson,
    kOptionAllBuses,
};

bool ParseAddress(const std::string& text, CCliOptions& options, std::string& error)
{
    unsigned value = 0;
    if (ParseHex(text, 0xFF, value) != EHexParse::Ok) {
        error = "--address '" + text + "' is not an 8-bit hex address such as 70";
        return false;
    }
    // The window and the camera's manual give the 8-bit write address; the 7-bit
    // form (0x38 for 70) is what i2c-tools print.
    switch (CheckCameraAddress(value)) {
    case ECameraAddress::Ok:
        break;
    case ECameraAddress::Odd:
        error = "--address " + text + " is odd: give the camera's 8-bit write address, e.g. 70 (7-bit 0x38)";
        return false;
    case ECameraAddress::NotBelowFc:
        error = "--address " + text + " is not below fc, where no camera can answer";
        return false;
    }
    options.address = static_cast<std::uint16_t>(value);
    return true;
}

// The options that only switch something on.
constexpr std::pair<int, bool CCliOptions::*> kFlags[] = {
    {kOptionListBuses, &CCliOptions::listBuses}, {'y', &CCliOptions::yes},   {kOptionAll, &CCliOptions::all},
    {kOptionList, &CCliOptions::list},           {'h', &CCliOptions::help}, {kOptionVersion, &CCliOptions::version},
    {kOptionJson, &CCliOptions::json},           {kOptionAllBuses, &CCliOptions::allBuses},
};

bool Apply(int key, const std::string& value, CCliOptions& options, std::string& error)
{
    if (key == kOptionAddress)
        return ParseAddress(value, options, error);
    for (const auto& [flag, member] : kFlags)
        if (key == flag)
            return options.*member = true;
    if (key == kOptionBus && !value.empty())
        options.buses.push_back(value);
    if (key == kOptionSimState && !value.empty())
        options.simStates.push_back(value);
    return ApplyBackendOption(key, value, options.backend, error);
}

} // namespace

const std::vector<COptionRow>& ToolOptionRows()
{
    static const std::vector<COptionRow> rows = [] {
        std::vector<COptionRow> all = {
            {"address", kOptionAddress, "HEX",
             "the camera's 8-bit write address, as the window shows it\n"
             "(70; i2c-tools print the 7-bit form, 0x38). Even, below fc.\n"
             "Without it the tool searches the bus first."},
        };
        all.insert(all.end(), BackendOptionRows().begin(), BackendOptionRows().end());
        all.insert(all.end(), {
            {"all-buses", kOptionAllBuses, nullptr,
             "run the command on the camera of every i2c-dev bus on USB\n"
             "at once; --bus and --sim-state given more than once do\n"
             "the same for the cameras they name"},
            {"json", kOptionJson, nullptr,
             "print the result as one JSON document (search, show, read,\n"
             "check, verify, --list-buses, and the summary of a run on\n"
             "several cameras)"},
            {"list-buses", kOptionListBuses, nullptr, "list the i2c-dev buses, with usb for adapters on USB"},
            {"yes", 'y', nullptr, "do not ask before changing what the camera keeps"},
            {"help", 'h', nullptr, "this help; 'zarnixctl COMMAND --help' for a command"},
            {"version", kOptionVersion, nullptr, "the version"},
            // The commands' own options, shown in their usage lines.
            {"all", kOptionAll, nullptr, nullptr},
            {"list", kOptionList, nullptr, nullptr},
        });
        return all;
    }();
    return rows;
}

EHexParse ParseHex(std::string_view text, unsigned max, unsigned& value)
{
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.remove_prefix(2);
    // from_chars takes no sign, prefix or space, so only the digits are left to it.
    unsigned long long v = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), v, 16);
    if (text.empty() || end != text.data() + text.size())
        return EHexParse::NotANumber;
    if (error == std::errc::result_out_of_range || v > max)
        return EHexParse::TooLarge;
    value = static_cast<unsigned>(v);
    return EHexParse::Ok;
}

bool ParseCommandLine(int argc, const char* const* argv, CCliOptions& options, std::string& error)
{
    const std::vector<std::string> args(argv, argv + argc);
    std::vector<std::string> operands;
    if (!ParseOptions(args, ToolOptionRows(),
                      [&](int key, const std::string& value, std::string& why) { return Apply(key, value, options, why); },
                      operands, error))
        return false;
    if (!operands.empty()) {
        // An empty word (an unset variable in a script) must not let the next
        // argument take the command's place.
        if (operands.front().empty()) {
            error = "the command is an empty word";
            return false;
        }
        options.command = operands.front();
        options.args.assign(operands.begin() + 1, operands.end());
    }
    error = options.backend.Problem();
    if (error.empty() && options.allBuses && (options.backend.simulate || !options.backend.adapterLib.empty() ||
                                              !options.buses.empty()))
        error = "--all-buses takes every i2c-dev bus on USB; give no other backend with it";
    return error.empty();
}

} // namespace zarnix::cli
