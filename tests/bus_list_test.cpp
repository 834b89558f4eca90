// Finding the i2c-dev buses and the USB bridge among them, on a made-up sysfs tree.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "link/adapters/bus_list.h"

namespace zarnix::test {
namespace {

namespace fs = std::filesystem;

class BusListTest : public ::testing::Test {
protected:
    fs::path root = fs::path(::testing::TempDir()) / ("zarnix_sysfs_" + std::to_string(getpid()));

    void SetUp() override { fs::remove_all(root); }
    void TearDown() override { fs::remove_all(root); }

    // A bus whose class entry links to `devicePath` under the tree's devices folder.
    void AddBus(int number, const std::string& devicePath, const std::string& name)
    {
        const fs::path device = root / "devices" / devicePath / ("i2c-" + std::to_string(number)) / "i2c-dev" /
                                ("i2c-" + std::to_string(number));
        fs::create_directories(device);
        std::ofstream(device / "name") << name << "\n";
        fs::create_directories(root / "class" / "i2c-dev");
        fs::create_directory_symlink(device, root / "class" / "i2c-dev" / ("i2c-" + std::to_string(number)));
    }
};

TEST_F(BusListTest, ListsBusesInOrderAndFindsTheUsbBridge)
{
    AddBus(10, "pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/0003:10C4:EA90.0001", "CP2112 SMBus Bridge on hidraw0");
    AddBus(0, "pci0000:00/0000:00:02.0/drm/card0", "i915 gmbus dpc");
    AddBus(2, "platform/i2c_designware.0", "Synopsys DesignWare I2C adapter");
    fs::create_directories(root / "class" / "i2c-dev" / "not-a-bus");

    const auto buses = ListI2cBuses(root.string(), "/dev");
    ASSERT_EQ(buses.size(), 3u);
    EXPECT_EQ(buses[0].number, 0);
    EXPECT_EQ(buses[2].device, "/dev/i2c-10");
    EXPECT_FALSE(buses[1].usb);
    EXPECT_TRUE(buses[2].usb);
    EXPECT_EQ(FirstUsbBus(buses)->number, 10);
    EXPECT_EQ(FormatBusList(buses), "i2c-0\t-\ti915 gmbus dpc\n"
                                    "i2c-2\t-\tSynopsys DesignWare I2C adapter\n"
                                    "i2c-10\tusb\tCP2112 SMBus Bridge on hidraw0\n");

    const struct {
        const char* spec;
        const char* device; // nullptr: not found
    } cases[] = {
        {"10", "/dev/i2c-10"},
        {"/dev/i2c-2", "/dev/i2c-2"},
        {"CP2112 SMBus Bridge on hidraw0", "/dev/i2c-10"},
        {"7", "/dev/i2c-7"},               // not listed: the open will say why
        {"/dev/i2c-9", "/dev/i2c-9"},
        {"CP2112", nullptr},               // names match whole
        {"", nullptr},
    };
    for (const auto& c : cases) {
        const auto bus = FindI2cBus(buses, c.spec);
        if (c.device) {
            ASSERT_TRUE(bus) << c.spec;
            EXPECT_EQ(bus->device, c.device) << c.spec;
        } else {
            EXPECT_FALSE(bus) << c.spec;
        }
    }
}

TEST_F(BusListTest, NoBusesWithoutTheModule)
{
    EXPECT_TRUE(ListI2cBuses(root.string()).empty());
    AddBus(1, "platform/i2c_designware.1", "Synopsys DesignWare I2C adapter");
    EXPECT_FALSE(FirstUsbBus(ListI2cBuses(root.string())));
}

} // namespace
} // namespace zarnix::test
