// The command line of zarnixctl: options shared by every command, the command
// itself and its arguments, and the hex numbers that name the camera's registers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "backend/backend.h"
#include "backend/options.h"

namespace zarnix::cli {

struct CCliOptions {
    bool help = false;
    bool version = false;
    bool yes = false;  // -y: no question before changing what the camera keeps
    bool all = false;  // --all: dump and load take the ISP and Stat blocks too
    bool list = false; // set --list
    std::optional<std::uint16_t> address; // the camera's 8-bit write address
    CBackendChoice backend;               // which camera, and the trace
    bool listBuses = false;               // --list-buses
    bool json = false;                    // --json: results as one JSON document
    // Several cameras at once: every --bus and --sim-state given, or with
    // --all-buses every i2c-dev bus on USB.
    std::vector<std::string> buses;
    std::vector<std::string> simStates;
    bool allBuses = false;
    bool SeveralCameras() const { return allBuses || buses.size() + simStates.size() > 1; }
    std::string command;                  // as typed; empty when none was given
    std::vector<std::string> args;        // the command's own arguments
};

// Every option of the tool, in the order --help lists them.
const std::vector<COptionRow>& ToolOptionRows();

// False with `error` (no "Error: " prefix) when the command line is bad usage.
bool ParseCommandLine(int argc, const char* const* argv, CCliOptions& options, std::string& error);

enum class EHexParse { Ok, NotANumber, TooLarge };

// A hexadecimal number with or without 0x, nothing else around it, at most `max`.
// A value too large is refused, never cut down to its low byte.
EHexParse ParseHex(std::string_view text, unsigned max, unsigned& value);

} // namespace zarnix::cli
