// zarnixctl's command line, one argument per NUL-separated piece of the input.
//
// Oracles: bad usage always says why and good usage always holds a consistent
// choice (one backend, a usable address, --force only for i2c-dev); the command and
// its arguments are exactly the words that are neither options nor their values;
// and the options written back as a canonical command line parse to the same.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "cli/options.h"
#include "fuzz/fuzz_check.h"
#include "link/iic_link.h"

using namespace zarnix;
using namespace zarnix::cli;

namespace {

constexpr std::size_t kMaxArgs = 64;

bool TakesValue(std::string_view name)
{
    for (const std::string_view option : {"--address", "--sim-state", "--sim-clock", "--trace", "--bus", "--adapter-lib"})
        if (name == option)
            return true;
    return false;
}

// The words the parser should hand to the command, found without the parser.
std::vector<std::string> Positionals(const std::vector<std::string>& args)
{
    std::vector<std::string> words;
    bool ended = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (ended || arg.size() < 2 || arg[0] != '-') {
            words.push_back(arg);
        } else if (arg == "--") {
            ended = true;
        } else if (arg.rfind("--", 0) != 0 || arg.find('=') == std::string::npos) {
            if (TakesValue(arg))
                ++i;
        }
    }
    return words;
}

bool Parse(const std::vector<std::string>& args, CCliOptions& options, std::string& error)
{
    std::vector<const char*> argv;
    for (const auto& arg : args)
        argv.push_back(arg.c_str());
    argv.push_back(nullptr); // as main() gets it
    return ParseCommandLine(static_cast<int>(args.size()), argv.data(), options, error);
}

std::vector<std::string> Canonical(const CCliOptions& o)
{
    std::vector<std::string> args = {"zarnixctl"};
    auto flag = [&](bool on, const char* name) {
        if (on)
            args.push_back(name);
    };
    auto value = [&](const std::string& v, const char* name) {
        if (!v.empty())
            args.push_back(std::string(name) + "=" + v);
    };
    flag(o.help, "--help");
    flag(o.version, "--version");
    flag(o.yes, "-y");
    flag(o.all, "--all");
    flag(o.list, "--list");
    flag(o.backend.simulate, "--simulate");
    flag(o.backend.virtualClock, "--sim-clock=virtual");
    flag(o.backend.force, "--force");
    flag(o.listBuses, "--list-buses");
    if (o.address) {
        char text[8];
        std::snprintf(text, sizeof text, "%x", *o.address);
        args.push_back(std::string("--address=") + text);
    }
    value(o.backend.simState, "--sim-state");
    value(o.backend.trace, "--trace");
    value(o.backend.bus, "--bus");
    value(o.backend.adapterLib, "--adapter-lib");
    args.push_back("--");
    if (!o.command.empty() || !o.args.empty())
        args.push_back(o.command);
    args.insert(args.end(), o.args.begin(), o.args.end());
    return args;
}

bool Same(const CCliOptions& a, const CCliOptions& b)
{
    return a.help == b.help && a.version == b.version && a.yes == b.yes && a.all == b.all && a.list == b.list &&
           a.address == b.address && a.backend.simState == b.backend.simState && a.backend.virtualClock == b.backend.virtualClock &&
           a.backend.trace == b.backend.trace && a.backend.simulate == b.backend.simulate && a.backend.bus == b.backend.bus && a.backend.adapterLib == b.backend.adapterLib &&
           a.backend.force == b.backend.force && a.listBuses == b.listBuses && a.command == b.command && a.args == b.args;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> args = {"zarnixctl"};
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    while (!rest.empty() && args.size() < kMaxArgs) {
        const std::size_t end = rest.find('\0');
        args.emplace_back(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    }

    CCliOptions options;
    std::string error;
    if (!Parse(args, options, error)) {
        ZARNIX_FUZZ_CHECK(!error.empty());
        return 0;
    }
    ZARNIX_FUZZ_CHECK(error.empty());
    const int backends = int{options.backend.simulate} + int{!options.backend.bus.empty()} + int{!options.backend.adapterLib.empty()};
    ZARNIX_FUZZ_CHECK(backends <= 1);
    ZARNIX_FUZZ_CHECK(!options.backend.force || !(options.backend.simulate || !options.backend.adapterLib.empty()));
    ZARNIX_FUZZ_CHECK(options.backend.simState.empty() || options.backend.simulate);
    ZARNIX_FUZZ_CHECK(!options.backend.virtualClock || options.backend.simulate);
    if (options.address)
        ZARNIX_FUZZ_CHECK(*options.address % 2 == 0 && *options.address < kNoCameraAddress);

    std::vector<std::string> words = {options.command};
    words.insert(words.end(), options.args.begin(), options.args.end());
    if (options.command.empty() && options.args.empty())
        words.clear();
    ZARNIX_FUZZ_CHECK(words == Positionals(args));

    CCliOptions again;
    std::string againError;
    ZARNIX_FUZZ_CHECK(Parse(Canonical(options), again, againError));
    ZARNIX_FUZZ_CHECK(Same(options, again));
    return 0;
}
