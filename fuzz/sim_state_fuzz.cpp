// The simulated camera's state file, as zarnixctl --sim-state reads it back.
//
// Oracles: a refusal names a line of the file and says why in one printable line
// of bounded length; what is accepted has every kept bank, a valid address, and
// survives being written and read again unchanged, and the writer's text is a
// fixed point of read-then-write.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "link/iic_link.h"
#include "sim/sim_state.h"

using namespace zarnix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CSimState state;
    state.commits = 12345; // must stay as it is when the file is refused
    CSimStateError error;
    if (!ParseSimState(text, state, error)) {
        ZARNIX_FUZZ_CHECK(state == CSimState{.commits = 12345});
        ZARNIX_FUZZ_CHECK(!error.message.empty() && error.message.size() < 200);
        for (const char c : error.message)
            ZARNIX_FUZZ_CHECK(c >= 0x20 && c <= 0x7E);
        const std::size_t lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
        ZARNIX_FUZZ_CHECK(error.line <= lines);
        return 0;
    }

    ZARNIX_FUZZ_CHECK(state.address % 2 == 0 && state.address < kNoCameraAddress);
    for (const std::uint8_t kept : kSimKeptBanks)
        ZARNIX_FUZZ_CHECK(state.banks.count(kept) == 1);
    ZARNIX_FUZZ_CHECK(state.banks.count(0xA1) == 0);

    const std::string written = FormatSimState(state);
    ZARNIX_FUZZ_CHECK(written.size() <= kSimStateMaxBytes);
    CSimState again;
    CSimStateError againError;
    ZARNIX_FUZZ_CHECK(ParseSimState(written, again, againError));
    ZARNIX_FUZZ_CHECK(again == state);
    ZARNIX_FUZZ_CHECK(FormatSimState(again) == written);
    return 0;
}
