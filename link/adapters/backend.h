// The choice of adapter, the same for the window and the tool: the simulated
// camera, a Linux i2c-dev bus, or a vendor adapter library; with no choice, the
// first i2c-dev bus whose adapter sits on USB.
#pragma once

#include <memory>
#include <string>

#include "link/adapter.h"
#include "link/lock.h"

namespace zarnix {

struct CBackendChoice {
    bool simulate = false;  // the built-in simulated camera
    std::string bus;        // an i2c-dev bus: number, device path or adapter name
    std::string adapterLib; // a vendor adapter library
    bool force = false;     // claim the camera's address even where a kernel driver holds it
};

enum class EBackendOpen {
    Opened,    // a hardware adapter, or the simulated camera when that was chosen
    Simulated, // the simulated camera was chosen; the caller supplies it
    NoAdapter, // nothing chosen and no adapter on USB
    Failed,    // the chosen bus or library cannot serve; `error` says why and what to do
};

struct CBackend {
    std::unique_ptr<CAdapter> adapter; // the hardware adapter; empty for the simulated camera
    std::string description;           // "/dev/i2c-3 (CP2112 SMBus Bridge on hidraw0)"
    CResourceLock lock;                // on the bus node or the library, for as long as this lives
};

// Opens and locks the adapter. `sysfs` is where the buses are described ("/sys").
// Messages in `error` begin with "Error: ".
EBackendOpen OpenBackend(const CBackendChoice& choice, const std::string& sysfs, CBackend& backend,
                         std::string& error);

// ZARNIX_SYSFS for a made-up tree (the tests), else /sys.
std::string SysfsRoot();

} // namespace zarnix
