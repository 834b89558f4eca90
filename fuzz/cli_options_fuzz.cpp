// zarnixctl's command line, one argument per NUL-separated piece of the input.
//
// Oracles: bad usage always says why and good usage always holds a consistent
// choice (one backend, a usable address, --force only for i2c-dev, the simulated
// camera's options only with it).
#include <cstddef>
#include <cstdint>
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

bool Parse(const std::vector<std::string>& args, CCliOptions& options, std::string& error)
{
    std::vector<const char*> argv;
    for (const auto& arg : args)
        argv.push_back(arg.c_str());
    argv.push_back(nullptr); // as main() gets it
    return ParseCommandLine(static_cast<int>(args.size()), argv.data(), options, error);
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
    return 0;
}
