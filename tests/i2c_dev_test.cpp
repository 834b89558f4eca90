// The i2c-dev backend against buses emulated by umockdev: the program's own
// open, ioctl, read, write and flock calls on /dev/i2c-N, and sysfs as the
// kernel lays it out. CTest runs this program under umockdev-wrapper.
#include <gtest/gtest.h>
#include <linux/i2c.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>

#include "backend/backend.h"
#include "emulated_bus.h"
#include "link/adapters/bus_list.h"
#include "link/adapters/i2c_dev_adapter.h"
#include "link/iic_link.h"
#include "tests/folder_fixture.h"

namespace zarnix::test {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

// This program's descriptors of bus nodes (the emulation's own sockets left out).
std::size_t OpenBusNodes()
{
    std::size_t count = 0;
    for (const auto& fd : fs::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        count += fs::read_symlink(fd.path(), error).string().find("/dev/i2c-") != std::string::npos;
    }
    return count;
}

class I2cDevTest : public FolderTest {
protected:
    void SetUp() override
    {
        if (!CEmulatedBench::Preloaded())
            GTEST_SKIP() << "the emulated buses need umockdev-wrapper (CTest runs this program under it)";
        FolderTest::SetUp();
    }
    CVirtualClock clock;
    CRecordingMessages messages;
};

// One row per kernel answer: what the bus check says, what the operator reads
// after reading brightness back (0xA1:04), and what crossed the bus.
TEST_F(I2cDevTest, AdapterOnEachKernelAnswer)
{
    const std::string nack = "not a correct acknowledge recieved", gone = "error USB_DEVICE_NOT_FOUND";
    const Strings request = {"timeout 64", "retries 00", "slave 38", "write 01 a1 04"};
    const Strings receive = {"timeout 64", "retries 00", "slave 38", "read 1"};
    Strings both = request;
    both.insert(both.end(), receive.begin(), receive.end());
    const struct {
        const char* fault;
        std::function<void(CEmulatedBench&, CEmulatedBus&)> inject;
        Strings texts;
        std::string says = "";
        Strings traffic = {};
        bool force = false;
    } cases[] = {
        {"none", [](auto&, auto&) {}, {}, "", both},
        {"no acknowledge of the address", [](auto&, CEmulatedBus& b) { b.Fail(EBusCall::Write, ENXIO, 1); },
         {nack}, "", request},
        {"no acknowledge of a byte", [](auto&, CEmulatedBus& b) { b.Fail(EBusCall::Write, EREMOTEIO, 1); }, {nack}},
        {"clock stretched too long", [](auto&, CEmulatedBus& b) { b.Fail(EBusCall::Read, ETIMEDOUT, 1); },
         {"TIMEOUT, no response"}, "", both},
        {"arbitration lost", [](auto&, CEmulatedBus& b) { b.Fail(EBusCall::Write, EAGAIN, 1); },
         {"error arbitration problem"}},
        {"unknown to the table", [](auto&, CEmulatedBus& b) { b.Fail(EBusCall::Read, EFAULT, 1); },
         {"USB command error"}},
        {"address held by a driver", [](auto&, CEmulatedBus& b) { b.HoldByDriver(0x38); },
         {"error bus is bussy or occupied"}, "", {"timeout 64", "retries 00", "slave 38"}},
        {"address held, forced", [](auto&, CEmulatedBus& b) { b.HoldByDriver(0x38); }, {}, "",
         {"timeout 64", "retries 00", "slave-force 38", "write 01 a1 04", "timeout 64", "retries 00",
          "slave-force 38", "read 1"}, true},
        {"bridge unplugged between the frames", [](auto&, CEmulatedBus& b) { b.UnplugAfter(1); }, {gone}, "",
         {"timeout 64", "retries 00", "slave 38", "write 01 a1 04", "timeout 64", "retries 00", "slave 38"}},
        {"bridge gone", [](CEmulatedBench& bench, CEmulatedBus& b) { bench.Remove(b); }, {gone},
         "Error: Could not open /dev/i2c-3: No such file or directory\n  No such bus."},
        {"SMBus only", [](auto&, CEmulatedBus& b) { b.SetFuncs(I2C_FUNC_SMBUS_BYTE_DATA); }, {},
         "Error: The adapter of /dev/i2c-3 cannot do plain I2C transfers; it only speaks SMBus."},
        {"I2C_FUNCS refused", [](auto&, CEmulatedBus& b) { b.Fail(EBusCall::Funcs, ENODEV, 1); }, {},
         "Error: Could not get the adapter functionality of /dev/i2c-3: No such device"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        CEmulatedBench bench;
        CEmulatedBus& bus = bench.AddUsbBridge(3);
        const std::uint8_t brightness = bus.Camera().Peek(0x30, 0x04);
        c.inject(bench, bus);
                CI2cDevAdapter adapter("/dev/i2c-3", c.force);
        const CBusCheck check = adapter.CheckBus();
        EXPECT_EQ(check.usable, c.says.empty()) << check.message;
        EXPECT_EQ(check.message.substr(0, c.says.empty() ? std::string::npos : c.says.size()), c.says);
        bus.ClearLog();
        messages.Clear();
        CLinkContext context{adapter, clock, messages};
        const CReadResult read = CIicLink(context).ReadFrame(0x70, 0xA1, 0x04);
        EXPECT_EQ(messages.Texts(), c.texts);
        EXPECT_EQ(read.Failed(), !c.texts.empty());
        if (c.texts.empty()) {
            EXPECT_EQ(read.value, brightness);
        }
        if (!c.traffic.empty()) {
            EXPECT_EQ(bus.Log(), c.traffic);
        }
        EXPECT_EQ(OpenBusNodes(), 0u) << "bus nodes opened but not closed";
    }
}

// The search on a machine's bus skips the addresses the bus reserves, as i2cdetect does, unless forced,
// and never writes to an address a kernel driver holds, forced or not.
TEST_F(I2cDevTest, SearchSkipsReservedAndDriverHeldAddressesUnlessForced)
{
    messages.answer = true; // search the rest of the bus
    for (const bool force : {false, true}) {
        CEmulatedBench bench;
        CEmulatedBus& bus = bench.AddUsbBridge(3);
        bus.Camera().SetPresent(false);
        bus.HoldByDriver(0x50);
        CI2cDevAdapter adapter("/dev/i2c-3", force);
        CLinkContext context{adapter, clock, messages};
        EXPECT_EQ(CIicLink(context).ScanForCamera(), kNoCameraAddress);
        std::set<unsigned long> written; // the addresses a probe's bytes went to
        unsigned long claimed = 0;
        for (const std::string& line : bus.Log()) {
            if (line.rfind("slave", 0) == 0)
                claimed = std::stoul(line.substr(line.find(' ') + 1), nullptr, 16);
            else if (line.rfind("write", 0) == 0)
                written.insert(claimed);
        }
        ASSERT_FALSE(written.empty());
        EXPECT_EQ(*written.begin(), force ? 0x00u : 0x08u);
        EXPECT_EQ(*written.rbegin(), force ? 0x7Du : 0x77u);
        EXPECT_EQ(written.count(0x50), 0u);
    }
}

// Buses as sysfs lists them: a board's SMBus on PCI beside two USB bridges of the same make.
TEST_F(I2cDevTest, BusListFindsAndFormatsTheBuses)
{
    CEmulatedBench bench;
    bench.AddUsbBridge(10);
    bench.AddBoardSmbus(0);
    bench.AddUsbBridge(4);
    const auto buses = ListI2cBuses();
    EXPECT_EQ(FormatBusList(buses), "i2c-0\t-\tSMBus I801 adapter at efa0\n"
                                    "i2c-4\tusb\tCP2112 SMBus Bridge on hidraw0\n"
                                    "i2c-10\tusb\tCP2112 SMBus Bridge on hidraw0\n");
    EXPECT_EQ(FirstUsbBus(buses)->device, "/dev/i2c-4");
    const struct { const char* wanted; const char* device; /* "": refused */ const char* why; } cases[] = {
        {"10", "/dev/i2c-10", ""}, {"/dev/i2c-0", "/dev/i2c-0", ""}, {"7", "/dev/i2c-7", ""}, // 7: the open tells
        {"SMBus I801 adapter at efa0", "/dev/i2c-0", ""},
        {"CP2112", "", "no i2c-dev bus is named 'CP2112'; --list-buses shows them"},
        {"CP2112 SMBus Bridge on hidraw0", "",
         "2 i2c-dev buses are named 'CP2112 SMBus Bridge on hidraw0' (i2c-4, i2c-10); give the bus by its number"},
    };
    for (const auto& c : cases) {
        std::string why;
        const auto bus = FindI2cBus(buses, c.wanted, why);
        EXPECT_EQ(bus ? bus->device : "", c.device) << c.wanted;
        EXPECT_EQ(why, c.why) << c.wanted;
    }
}

// The backend takes the first bus on USB, refuses an address a driver holds unless forced, and holds
// the bus node's lock for as long as it is open.
TEST_F(I2cDevTest, BackendChoosesLocksAndRefuses)
{
    CEmulatedBench bench;
    bench.AddBoardSmbus(0);
    CEmulatedBus& bridge = bench.AddUsbBridge(3, "MCP2221 usb-i2c bridge");
    std::string error;
    auto first = std::make_unique<CBackend>();
    ASSERT_EQ(first->Open({}, error), EBackendOpen::Opened) << error;
    EXPECT_EQ(first->Description(), "/dev/i2c-3 (MCP2221 usb-i2c bridge)");
    CBackendChoice byName;
    byName.bus = "MCP2221 usb-i2c bridge";
    CBackend second;
    EXPECT_EQ(second.Open(byName, error), EBackendOpen::Busy);
    EXPECT_EQ(error.rfind("Error: /dev/i2c-3 is in use by ", 0), 0u) << error;
    first.reset();

    bridge.HoldByDriver(0x38);
    CBackend held;
    EXPECT_EQ(held.Open(byName, error), EBackendOpen::Failed);
    EXPECT_EQ(error.rfind("Error: A kernel driver holds address 0x38 (the camera's 70) on /dev/i2c-3", 0), 0u) << error;
    byName.force = true;
    CBackend forced;
    EXPECT_EQ(forced.Open(byName, error), EBackendOpen::Opened) << error;
}

} // namespace
} // namespace zarnix::test
