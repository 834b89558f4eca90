#include "link/adapters/bus_list.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace zarnix {

namespace fs = std::filesystem;

namespace {

std::string FirstLine(const fs::path& file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

bool IsNumber(const std::string& text)
{
    return !text.empty() && text.size() < 6 && std::all_of(text.begin(), text.end(), [](char c) {
        return c >= '0' && c <= '9';
    });
}

// The class entry links into the device tree; a USB bridge's bus sits below its
// USB interface there, whose subsystem is usb.
bool OnUsb(const fs::path& classEntry)
{
    std::error_code error;
    fs::path device = fs::canonical(classEntry, error);
    if (error)
        return false;
    for (; device.has_relative_path() && device != device.root_path(); device = device.parent_path()) {
        const fs::path subsystem = fs::read_symlink(device / "subsystem", error);
        if (!error && subsystem.filename() == "usb")
            return true;
    }
    return false;
}

} // namespace

std::vector<CI2cBus> ListI2cBuses(const std::string& sysfs, const std::string& dev)
{
    std::vector<CI2cBus> buses;
    std::error_code error;
    const fs::path classDir = fs::path(sysfs) / "class" / "i2c-dev";
    for (const auto& entry : fs::directory_iterator(classDir, error)) {
        const std::string node = entry.path().filename().string();
        if (node.rfind("i2c-", 0) != 0 || !IsNumber(node.substr(4)))
            continue;
        CI2cBus bus;
        bus.number = std::stoi(node.substr(4));
        bus.device = dev + "/" + node;
        bus.name = FirstLine(entry.path() / "name");
        if (bus.name.empty())
            bus.name = FirstLine(entry.path() / "device" / "name");
        bus.usb = OnUsb(entry.path());
        buses.push_back(bus);
    }
    std::sort(buses.begin(), buses.end(), [](const CI2cBus& a, const CI2cBus& b) { return a.number < b.number; });
    return buses;
}

std::optional<CI2cBus> FindI2cBus(const std::vector<CI2cBus>& buses, const std::string& wanted, std::string& why)
{
    const bool number = IsNumber(wanted);
    for (const CI2cBus& bus : buses)
        if ((number && std::stoi(wanted) == bus.number) || wanted == bus.device)
            return bus;
    if (number || wanted.rfind("/dev/", 0) == 0) {
        // Not in sysfs (no i2c-dev module yet, or a bus that just went): the open
        // will tell what is wrong with it.
        CI2cBus bus;
        bus.number = number ? std::stoi(wanted) : -1;
        bus.device = number ? "/dev/i2c-" + wanted : wanted;
        return bus;
    }
    std::vector<const CI2cBus*> named;
    for (const CI2cBus& bus : buses)
        if (!wanted.empty() && wanted == bus.name)
            named.push_back(&bus);
    if (named.size() == 1)
        return *named.front();
    if (named.empty()) {
        why = "no i2c-dev bus is named '" + wanted + "'; --list-buses shows them";
    } else {
        // As i2c-tools refuse a name that is not unique: the wrong one could be written.
        why = std::to_string(named.size()) + " i2c-dev buses are named '" + wanted + "' (";
        for (std::size_t i = 0; i < named.size(); ++i)
            why += (i ? ", i2c-" : "i2c-") + std::to_string(named[i]->number);
        why += "); give the bus by its number";
    }
    return std::nullopt;
}

std::string DeviceNodeOf(const std::string& path, const std::string& sysfs, const std::string& dev)
{
    struct stat given {};
    if (::stat(path.c_str(), &given) != 0 || !S_ISCHR(given.st_mode))
        return path;
    std::ifstream uevent(fs::path(sysfs) / "dev" / "char" /
                         (std::to_string(major(given.st_rdev)) + ":" + std::to_string(minor(given.st_rdev))) / "uevent");
    for (std::string line; std::getline(uevent, line);) {
        if (line.rfind("DEVNAME=", 0) != 0)
            continue;
        const std::string node = dev + "/" + line.substr(8);
        struct stat made {};
        if (::stat(node.c_str(), &made) == 0 && S_ISCHR(made.st_mode) && made.st_rdev == given.st_rdev)
            return node;
    }
    return path;
}

std::optional<CI2cBus> FirstUsbBus(const std::vector<CI2cBus>& buses)
{
    for (const CI2cBus& bus : buses)
        if (bus.usb)
            return bus;
    return std::nullopt;
}

std::string FormatBusList(const std::vector<CI2cBus>& buses)
{
    std::string out;
    for (const CI2cBus& bus : buses)
        out += "i2c-" + std::to_string(bus.number) + "\t" + (bus.usb ? "usb" : "-") + "\t" + bus.name + "\n";
    return out;
}

} // namespace zarnix
