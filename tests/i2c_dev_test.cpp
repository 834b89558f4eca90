// The i2c-dev backend against buses emulated by umockdev: the program's own
// open, ioctl, read, write and flock calls on /dev/i2c-N, and sysfs as the
// kernel lays it out. CTest runs this program under umockdev-wrapper.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <memory>

#include <nlohmann/json.hpp>

#include "backend/backend.h"
#include "emulated_bus.h"
#include "link/adapters/bus_list.h"
#include "link/adapters/i2c_dev_adapter.h"
#include "link/iic_link.h"
#include "tests/folder_fixture.h"
#include "tests/recording_messages.h"

namespace zarnix::test {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

// This program's descriptors of bus nodes (the emulation's own sockets left out).
std::size_t OpenBusNodes()
{
    return std::count_if(fs::directory_iterator("/proc/self/fd"), {}, [](const fs::directory_entry& fd) {
        std::error_code error;
        return fs::read_symlink(fd.path(), error).string().find("/dev/i2c-") != std::string::npos;
    });
}

struct CRun {
    int status = -1;
    std::string out;
    std::string err;
};

class I2cDevTest : public FolderTest {
protected:
    // zarnixctl `command` in the bed, as a user runs it, its pauses taking no time.
    CRun Run(const std::string& command, const char* program = ZARNIXCTL_PATH)
    {
        const std::string preload = std::string(::getenv("LD_PRELOAD")) + ":" + ZARNIX_VIRTUAL_TIME;
        const std::string out = (dir / "out").string(), err = (dir / "err").string();
        const int status = std::system(("LD_PRELOAD=" + preload + " " + program + " " + command + " >" + out +
                                        " 2>" + err + " </dev/null").c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(out), ReadFile(err)};
    }
#ifdef ZARNIX_PYTHON
    // The Python module in the bed: the buses it lists, the camera open() takes without a bus (a
    // setting written and read back), the cameras of open_all(), or why there is no camera.
    std::string Python()
    {
        const CRun run = Run(R"(-c 'import zarnix
print([(bus["device"], bus["usb"]) for bus in zarnix.buses()])
try:
    with zarnix.open() as camera:
        camera.set("brightness", 0x22)
        print(camera.backend, camera.read(0x30, 0x04))
    print([camera.backend for camera in zarnix.open_all()])
except zarnix.NoCameraError as error:
    print(error)')", ZARNIX_PYTHON);
        return run.out + run.err;
    }
#endif
    CVirtualClock clock;
    CRecordingMessages messages;
};

// One row per kernel answer: what the bus check says, what the operator reads
// after reading brightness back (0xA1:04), and how far the traffic went.
TEST_F(I2cDevTest, AdapterOnEachKernelAnswer)
{
    const std::string nack = "not a correct acknowledge recieved", gone = "error USB_DEVICE_NOT_FOUND";
    using Inject = void (*)(CEmulatedBus&);
    const struct {
        const char* fault;
        Inject inject;
        Strings texts;
        std::size_t traffic; // lines of the fault-free traffic that crossed the bus
        std::string says = "";
        bool force = false;
    } cases[] = {
        {"none", [](auto&) {}, {}, 8},
        {"no acknowledge of the address", [](auto& b) { b.Fail(EBusCall::Write, ENXIO); }, {nack}, 4},
        {"no acknowledge of a byte", [](auto& b) { b.Fail(EBusCall::Write, EREMOTEIO); }, {nack}, 4},
        {"clock stretched", [](auto& b) { b.Fail(EBusCall::Read, ETIMEDOUT); }, {"TIMEOUT, no response"}, 8},
        {"arbitration lost", [](auto& b) { b.Fail(EBusCall::Write, EAGAIN); }, {"error arbitration problem"}, 4},
        {"address held by a driver", [](auto& b) { b.driverHeld.insert(0x38); },
         {"error bus is bussy or occupied"}, 3},
        {"address held, forced", [](auto& b) { b.driverHeld.insert(0x38); }, {}, 8, "", true},
        {"bridge unplugged between the frames", [](auto& b) { b.UnplugAfter(1); }, {gone}, 7},
        {"SMBus only", [](auto& b) { b.funcs = I2C_FUNC_SMBUS_BYTE_DATA; }, {}, 8,
         "Error: The adapter of /dev/i2c-3 cannot do plain I2C transfers; it only speaks SMBus."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        CEmulatedBench bench;
        CEmulatedBus& bus = bench.AddUsbBridge(3);
        c.inject(bus);
        CI2cDevAdapter adapter("/dev/i2c-3", c.force);
        const CBusCheck check = adapter.CheckBus();
        EXPECT_EQ(check.usable, c.says.empty()) << check.message;
        EXPECT_EQ(check.message.substr(0, c.says.empty() ? std::string::npos : c.says.size()), c.says);
        bus.log.clear();
        messages.Clear();
        CLinkContext context{adapter, clock, messages};
        const CReadResult read = CIicLink(context).ReadFrame(0x70, 0xA1, 0x04);
        EXPECT_EQ(messages.Texts(), c.texts);
        EXPECT_EQ(read.Failed() ? -1 : read.value, c.texts.empty() ? bus.camera.Peek(0x30, 0x04) : -1);
        const char* slave = c.force ? "slave-force 38" : "slave 38";
        const Strings traffic{"timeout 64", "retries 00", slave, "write 01 a1 04", "timeout 64", "retries 00", slave,
                              "read 1"};
        EXPECT_EQ(bus.log, Strings(traffic.begin(), traffic.begin() + static_cast<long>(c.traffic)));
        EXPECT_EQ(adapter.AddressHeldByDriver(0x70), !bus.driverHeld.empty());
        EXPECT_EQ(OpenBusNodes(), 0u) << "bus nodes opened but not closed";
    }
}

// The buses as sysfs lists them, a board's SMBus on PCI beside USB bridges. The backend takes the
// first bus on USB, refuses an address a driver holds unless forced, and holds
// the bus node's lock for as long as it is open. The search leaves out the addresses the bus reserves,
// as i2cdetect does, unless forced.
TEST_F(I2cDevTest, BackendChoosesLocksAndRefuses)
{
    CEmulatedBench bench;
    bench.AddUsbBridge(10);
    bench.AddBoardSmbus(0);
    CEmulatedBus& bridge = bench.AddUsbBridge(3, "MCP2221 usb-i2c bridge");
    bench.AddUsbBridge(4);
    const auto buses = ListI2cBuses();
    EXPECT_EQ(FormatBusList(buses), "i2c-0\t-\tSMBus I801 adapter at efa0\n"
                                    "i2c-3\tusb\tMCP2221 usb-i2c bridge\n"
                                    "i2c-4\tusb\tCP2112 SMBus Bridge on hidraw0\n"
                                    "i2c-10\tusb\tCP2112 SMBus Bridge on hidraw0\n");
    const struct { const char* wanted; const char* device; /* "": refused */ const char* why; } cases[] = {
        {"10", "/dev/i2c-10", ""}, {"7", "/dev/i2c-7", ""}, {"SMBus I801 adapter at efa0", "/dev/i2c-0", ""},
        {"CP2112 SMBus Bridge on hidraw0", "",
         "2 i2c-dev buses are named 'CP2112 SMBus Bridge on hidraw0' (i2c-4, i2c-10); give the bus by its number"}};
    for (const auto& [wanted, device, why] : cases) {
        std::string said;
        const auto bus = FindI2cBus(buses, wanted, said);
        EXPECT_EQ((bus ? bus->device : "") + said, std::string(device) + why) << wanted;
    }
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

    bridge.driverHeld.insert(0x38);
    CBackend held;
    EXPECT_EQ(held.Open(byName, error), EBackendOpen::Failed);
    EXPECT_EQ(error.rfind("Error: A kernel driver holds address 0x38 (the camera's 70) on /dev/i2c-3", 0), 0u) << error;
    byName.force = true;
    CBackend forced;
    EXPECT_EQ(forced.Open(byName, error), EBackendOpen::Opened) << error;
    const CI2cDevAdapter plain("/dev/i2c-3");
    for (const unsigned reserved : {0x00u, 0x0Eu, 0xF0u, 0xFEu})
        EXPECT_TRUE(!forced.Adapter().AddressReserved(reserved) && plain.AddressReserved(reserved)) << reserved;
    EXPECT_FALSE(plain.AddressReserved(0x10) || plain.AddressReserved(0xEE));
    byName.bus = "9";
    EXPECT_EQ(CBackend().Open(byName, error), EBackendOpen::NoBus);
    EXPECT_EQ(error.rfind("Error: Could not open /dev/i2c-9: No such file or directory\n  No such bus. Is the", 0), 0u);
}

// zarnixctl, the Python module and the window on two USB bridges and the board's SMBus: without a
// bus they take the first bridge, and --all-buses and open_all() both; the SMBus is never touched,
// nor taken when it is the only bus. A bridge pulled out during load commits nothing.
TEST_F(I2cDevTest, FrontEndsOnEmulatedBridges)
{
    {
        CEmulatedBench boardOnly;
        boardOnly.AddBoardSmbus(0);
        const CRun none = Run("show");
        EXPECT_EQ(none.status, 1);
        EXPECT_EQ(none.err.rfind("Error: no USB-to-I2C adapter found. Give --bus N for another bus, or --sim", 0), 0u);
        EXPECT_EQ(Run("--list-buses").out, "i2c-0\t-\tSMBus I801 adapter at efa0\n");
        // A bus named in bytes that are not UTF-8 is shown with U+FFFD; one that is not there fails on its own.
        const auto named = nlohmann::json::parse(Run("--bus 'x\xff' --bus 2 --json show").out, nullptr, false)["cameras"];
        EXPECT_TRUE(named[0]["camera"] == "x\uFFFD" && named[1]["error"].contains("message")) << named;
#ifdef ZARNIX_PYTHON
        EXPECT_EQ(Python(), "[('/dev/i2c-0', False)]\nno USB-to-I2C adapter found. Give bus=N for another bus, or "
                            "simulate=True to use the simulated camera.\n");
#endif
        const CRun every = Run("--all-buses --json show");
        EXPECT_EQ(every.err, "Error: --all-buses: no i2c-dev bus on USB; --list-buses shows the buses\n");
        EXPECT_EQ(nlohmann::json::parse(every.out, nullptr, false)["error"]["message"],
                  "--all-buses: no i2c-dev bus on USB; --list-buses shows the buses");
    }
    CEmulatedBench bench;
    CEmulatedBus& board = bench.AddBoardSmbus(0);
    CEmulatedBus& first = bench.AddUsbBridge(3);
    CEmulatedBus& second = bench.AddUsbBridge(4, "MCP2221 usb-i2c bridge");
    const std::string file = (dir / "f.qcs").string();
    const auto ok = [&](const std::string& command) {
        const CRun run = Run(command);
        EXPECT_EQ(run.status, 0) << command << ": " << run.err;
        return run;
    };
#ifdef ZARNIX_WINDOW
    // The window's start-up finds the camera and reads its settings as on the simulated camera: the
    // wire carries the recorded start-up's transactions, each write with its bytes, each read by its length.
    // It quits once painted; its exit status tells nothing here (a sanitizer's report at exit would set it).
    Run("--startup-probe", ZARNIX_WINDOW);
    Strings recorded, wire;
    std::ifstream trace(ZARNIX_WINDOW_STARTUP);
    for (std::string time, kind, address, bytes; trace >> time >> kind >> address && std::getline(trace, bytes);)
        recorded.push_back(kind == "Receive" ? "read " + std::to_string(bytes.find(" =") / 3)
                                             : "write" + bytes.substr(0, bytes.find(" =")));
    for (const std::string& line : first.log)
        if (line.starts_with("read ") || line.starts_with("write "))
            wire.push_back(line);
    EXPECT_EQ(wire, recorded);
#endif
    EXPECT_EQ(ok("search").out, "70\n");
    const CRun reserved = Run("--address 0e read 30 04"); // a bus's reserved address reaches every device
    EXPECT_NE(reserved.err.find("Error: --address 0e (7-bit 0x07) is reserved on an I2C bus; --force uses it anyway\n"),
              std::string::npos) << reserved.err;
    EXPECT_TRUE(second.log.empty());
    EXPECT_NE(ok("show").out.find("brightness"), std::string::npos);
#ifdef ZARNIX_PYTHON
    EXPECT_EQ(Python(), "[('/dev/i2c-0', False), ('/dev/i2c-3', True), ('/dev/i2c-4', True)]\n"
                        "/dev/i2c-3 (CP2112 SMBus Bridge on hidraw0) 34\n['/dev/i2c-3 (CP2112 SMBus Bridge on hidraw0)', "
                        "'/dev/i2c-4 (MCP2221 usb-i2c bridge)']\n");
#endif
    first.camera.Poke(0xA0, 0x04, 0xA0); // the stored brightness
    ok("dump " + file);
    ok("--address 70 set brightness 10");
    ok("save -y");
    EXPECT_EQ(first.camera.Peek(0xA0, 0x04), 0x10);
    ok("load " + file + " -y");
    EXPECT_EQ(first.camera.Peek(0xA0, 0x04), 0xA0);
    EXPECT_EQ(first.camera.CommitCount(), 1u);
    bench.HideDeviceNumbers(); // two workers stat() at once, which the emulation mixes up
    const CRun every = ok("--all-buses show");
    EXPECT_NE(every.out.find("i2c-4: 30:04 brightness 80"), std::string::npos) << every.out;
    EXPECT_FALSE(second.log.empty());
    EXPECT_TRUE(board.log.empty());

    first.UnplugAfter(20);
    const CRun unplugged = Run("--bus 3 load " + file + " -y");
    EXPECT_EQ(unplugged.status, 1);
    EXPECT_NE(unplugged.err.find("USB_DEVICE_NOT_FOUND"), std::string::npos) << unplugged.err;
    EXPECT_EQ(first.camera.CommitCount(), 1u);
}

// i2c-tools' i2ctransfer, which nobody here wrote, and zarnixctl on one bus: each
// reads what the other wrote, so the emulation is held to a program of its own.
TEST_F(I2cDevTest, ZarnixctlAndI2ctransferShareTheBus)
{
    CEmulatedBench bench;
    bench.AddUsbBridge(3);
    EXPECT_EQ(Run("-y 3 w3@0x38 0x00 0x30 0x04 w1@0x38 0x5e", I2CTRANSFER).status, 0);
    EXPECT_EQ(Run("--bus 3 --address 70 read 30 04").out, "5e\n");
    EXPECT_EQ(Run("--bus 3 --address 70 write -y 30 04 22").status, 0);
    EXPECT_EQ(Run("-y 3 w3@0x38 0x01 0x30 0x04 r1@0x38", I2CTRANSFER).out, "0x22\n");
}

} // namespace
} // namespace zarnix::test
