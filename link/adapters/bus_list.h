// The i2c-dev buses of this machine, as sysfs describes them: what `i2cdetect -l`
// lists, plus whether the adapter sits on USB (the bridges a camera is wired to).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zarnix {

struct CI2cBus {
    int number = -1;     // N of /dev/i2c-N
    std::string device;  // "/dev/i2c-N"
    std::string name;    // the adapter's name, e.g. "CP2112 SMBus Bridge on hidraw0"
    bool usb = false;    // a USB device is among the adapter's parents in the device tree
};

// Every bus under `sysfs`/class/i2c-dev, by number. Device paths are under `dev`.
std::vector<CI2cBus> ListI2cBuses(const std::string& sysfs = "/sys", const std::string& dev = "/dev");

// The bus `wanted` names: a number ("3"), a device path ("/dev/i2c-3") or the
// adapter's name exactly as listed (which survives re-plugging, the number may
// not). A number or device path that is not listed is still taken as it is; a
// name that no adapter has, or that two have, is refused with `why`.
std::optional<CI2cBus> FindI2cBus(const std::vector<CI2cBus>& buses, const std::string& wanted, std::string& why);

// The node the kernel made for the character device at `path`, found by its
// device number, so that one bus has one lock however its path is spelt (a
// copy of the node made elsewhere included); `path` itself when there is none.
std::string DeviceNodeOf(const std::string& path, const std::string& sysfs = "/sys", const std::string& dev = "/dev");

// The first bus whose adapter is on USB.
std::optional<CI2cBus> FirstUsbBus(const std::vector<CI2cBus>& buses);

// One line per bus, like i2cdetect -l: "i2c-3\tusb\tCP2112 SMBus Bridge on hidraw0".
std::string FormatBusList(const std::vector<CI2cBus>& buses);

} // namespace zarnix
