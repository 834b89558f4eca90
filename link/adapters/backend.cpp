#include "link/adapters/backend.h"

#include <cstdlib>

#include "link/adapters/bus_list.h"
#include "link/adapters/i2c_dev_adapter.h"
#include "link/adapters/library_adapter.h"

namespace zarnix {

std::string SysfsRoot()
{
    const char* root = std::getenv("ZARNIX_SYSFS");
    return root && *root ? root : "/sys";
}

EBackendOpen OpenBackend(const CBackendChoice& choice, const std::string& sysfs, CBackend& backend,
                         std::string& error)
{
    if (choice.simulate)
        return EBackendOpen::Simulated;
    if (!choice.adapterLib.empty()) {
        auto library = CLibraryAdapter::Load(choice.adapterLib, error);
        if (!library)
            return EBackendOpen::Failed;
        backend.description = "the adapter library " + choice.adapterLib;
        if (!backend.lock.TakeFile(library->LoadedFile(), backend.description, error))
            return EBackendOpen::Failed;
        backend.adapter = std::move(library);
        return EBackendOpen::Opened;
    }
    const auto buses = ListI2cBuses(sysfs);
    std::optional<CI2cBus> bus;
    if (!choice.bus.empty()) {
        bus = FindI2cBus(buses, choice.bus);
        if (!bus) {
            error = "Error: no i2c-dev bus is named '" + choice.bus + "'; --list-buses shows them";
            return EBackendOpen::Failed;
        }
    } else {
        bus = FirstUsbBus(buses);
        if (!bus) {
            error = std::string("Error: no USB-to-I2C adapter found") +
                    (buses.empty() ? " (no i2c-dev buses at all: sudo modprobe i2c-dev)" : "") +
                    ". Give --bus N for another bus, or --simulate to use the simulated camera.";
            return EBackendOpen::NoAdapter;
        }
    }
    auto adapter = std::make_unique<CI2cDevAdapter>(LinuxI2cDevSystem(), bus->device, choice.force);
    const CBusCheck check = adapter->CheckBus();
    if (!check.usable) {
        error = check.message;
        return EBackendOpen::Failed;
    }
    if (!backend.lock.TakeFile(DeviceNodeOf(bus->device, sysfs), bus->device, error))
        return EBackendOpen::Failed;
    backend.adapter = std::move(adapter);
    backend.description = bus->device + (bus->name.empty() ? "" : " (" + bus->name + ")");
    return EBackendOpen::Opened;
}

} // namespace zarnix
