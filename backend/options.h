// Command lines of both programs: getopt_long over tables of options, each row
// serving the parser, the --help text (and the manual page made from it, and the
// bash completion that reads it) alike. The options that choose the backend are
// one table that both programs take.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <vector>

#include "backend/backend.h"

namespace zarnix {

struct COptionRow {
    const char* name;  // long name, without "--"
    int key;           // what getopt_long returns: the short letter, or a code of 256 and above
    const char* value; // the value's name in the help; nullptr for an option that takes none
    const char* help;  // one or more lines; nullptr keeps the option out of the help
};

// Keys of the backend options.
enum EBackendOptionKey : int {
    kOptionBus = 256,
    kOptionForce,
    kOptionAdapterLib,
    kOptionSimulate,
    kOptionSimState,
    kOptionSimClock,
    kOptionTrace,
    kFirstProgramOption, // the programs number their own options from here
};

// --bus, --force, --adapter-lib, --simulate, --sim-state, --sim-clock, --trace.
std::span<const COptionRow> BackendOptionRows();
// Puts a backend option into `choice`; false with `error` for a bad value.
bool ApplyBackendOption(int key, const std::string& value, CBackendChoice& choice, std::string& error);

// Parses `args` (args[0] the program) with getopt_long over `rows`, options
// before and after the operands alike, up to "--". Abbreviated option names are
// refused. `apply` gets each option with its value and may refuse it. The
// operands come back in order. False with `error` (no "Error: ") on bad usage.
using COptionHandler = std::function<bool(int key, const std::string& value, std::string& error)>;
bool ParseOptions(const std::vector<std::string>& args, const std::vector<COptionRow>& rows,
                  const COptionHandler& apply, std::vector<std::string>& operands, std::string& error);

// The help lines of `rows`: "  --bus N|/dev/i2c-N|NAME" and the help beside or below.
std::string FormatOptionHelp(const std::vector<COptionRow>& rows);

} // namespace zarnix
