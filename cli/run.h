// A command run on one camera, or on several at once: one worker a camera, each
// with its own backend (adapter, lock, clock, link), nothing shared but the
// output; a summary at the end.
#pragma once

#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/options.h"

namespace zarnix::cli {

// One camera of the run: its name ("i2c-3" as --list-buses names the bus, or
// the state file) and the options its worker runs with.
struct CCamera {
    std::string name;
    CCliOptions options;
};

// The cameras `options` name for `command`; false with `error` and `status`
// (kExitUsage for bad usage) when they cannot be run. One camera, unnamed,
// unless several were asked for.
bool CamerasOf(const CCommandInfo& command, const CCliOptions& options, std::vector<CCamera>& cameras,
               std::string& error, int& status);

// Runs `command` on every camera at once and returns the run's exit status:
// 0 only when every camera succeeded.
int RunOnCameras(const CCommandInfo& command, const CCliOptions& options, std::vector<CCamera>& cameras);

// The placeholder a file name takes for the camera's name with several cameras.
constexpr const char* kCameraPlaceholder = "{camera}";

} // namespace zarnix::cli
