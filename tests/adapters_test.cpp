// The adapters behind the six calls: i2c-dev through its system-call seam, a vendor
// library loaded at run time, and the bus list from a made-up sysfs tree.
#include <gtest/gtest.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "link/adapters/bus_list.h"
#include "link/adapters/i2c_dev_adapter.h"
#include "link/adapters/library_adapter.h"
#include "link/iic_link.h"

namespace zarnix::test {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

// Logs every call as a line ("slave 38", "write 00 30 04"), fails the kinds in
// `fail` (a line's first word) with their errno and counts the open descriptors.
class CFakeI2cDev final : public CI2cDevSystem {
public:
    Strings calls;
    std::map<std::string, int> fail;
    unsigned long funcs = I2C_FUNC_I2C;
    int open = 0;
    int Open(const std::string& path) override { return Call("open " + path) ? -fail["open"] : 3 + open++; }
    int Close(int fd) override { --open; return -Call("close", {static_cast<unsigned long>(fd)}); }
    int Ioctl(int, unsigned long request, unsigned long argument) override
    {
        return -Call(request == I2C_SLAVE ? "slave" : request == I2C_SLAVE_FORCE ? "slave-force"
                     : request == I2C_TIMEOUT ? "timeout" : "retries", {argument});
    }
    int Funcs(int, unsigned long* answer) override { *answer = funcs; return -Call("funcs"); }
    long Write(int, const std::uint8_t* data, std::size_t length) override
    {
        const int e = Call("write", std::vector<unsigned long>(data, data + length));
        return e ? -e : static_cast<long>(length);
    }
    long Read(int, std::uint8_t* data, std::size_t length) override
    {
        if (const int e = Call("read", {length}))
            return -e;
        data[0] = 0x5A;
        return static_cast<long>(length);
    }

private:
    int Call(std::string line, const std::vector<unsigned long>& values = {})
    {
        const auto it = fail.find(line.substr(0, line.find(' ')));
        for (const unsigned long v : values) {
            char hex[24];
            std::snprintf(hex, sizeof hex, " %02lx", v);
            line += hex;
        }
        calls.push_back(line);
        return it == fail.end() ? 0 : it->second;
    }
};

class AdapterTest : public ::testing::Test {
protected:
    CFakeI2cDev system;
    CVirtualClock clock;
    CRecordingMessages messages;
    void TearDown() override { EXPECT_EQ(system.open, 0) << "bus nodes opened but not closed"; }
};

// The bus check, then a write and a read: each transaction opens the bus, sets a 1 s timeout and no
// retries, claims the 7-bit address, moves its bytes and closes it. Kernel errors reach the operator.
TEST_F(AdapterTest, I2cDevBusCheckTransactionsAndKernelErrors)
{
    const std::string nack = "not a correct acknowledge recieved", gone = "error USB_DEVICE_NOT_FOUND";
    const struct {
        bool force; const char* call; int error; Strings texts; std::string says{}; unsigned long funcs = I2C_FUNC_I2C;
    } cases[] = {
        {false, "", 0, {}}, {true, "", 0, {}}, {false, "write", ENXIO, {nack}},
        {false, "", 0, {}, "Error: The adapter of /dev/i2c-3 cannot do plain I2C transfers", I2C_FUNC_SMBUS_BYTE_DATA},
        {false, "read", ETIMEDOUT, {"TIMEOUT, no response"}}, {false, "write", EFAULT, {"USB command error"}}, // unknown
        {false, "slave", EBUSY, Strings(2, "error bus is bussy or occupied")}, // a kernel driver holds the address
        {false, "open", ENOENT, {gone, gone}, "Error: Could not open /dev/i2c-3: No such file or directory\n  No such"},
        {false, "open", EACCES, {"init error", "init error"}, "Error: Could not open /dev/i2c-3: Permission denied\n  Join"},
    };
    for (const auto& c : cases) {
        CI2cDevAdapter bus(system, "/dev/i2c-3", c.force);
        CLinkContext context{bus, clock, messages};
        system.fail = {{c.call, c.error}};
        system.funcs = c.funcs;
        messages.Clear();
        const CBusCheck check = bus.CheckBus();
        EXPECT_EQ(check.usable, c.says.empty()) << check.message;
        EXPECT_EQ(check.message.substr(0, c.says.empty() ? std::string::npos : c.says.size()), c.says);
        system.calls.clear();
        CIicLink link(context);
        link.SendCommand(0x70, 0x00, 0x30, 0x04);
        EXPECT_EQ(link.ReceiveByte(0x71), c.texts.empty() || c.call == std::string("write") ? 0x5A : 0);
        EXPECT_EQ(messages.Texts(), c.texts) << c.call << " " << c.error;
        if (!c.texts.empty())
            continue;
        const char* slave = c.force ? "slave-force 38" : "slave 38";
        EXPECT_EQ(system.calls, (Strings{"open /dev/i2c-3", "timeout 64", "retries 00", slave, "write 00 30 04", "close 03",
                                         "open /dev/i2c-3", "timeout 64", "retries 00", slave, "read 01", "close 03"}));
    }
}

// The search on a machine's bus skips the addresses the bus reserves, as i2cdetect does, unless forced.
TEST_F(AdapterTest, I2cDevSearchSkipsReservedAddressesUnlessForced)
{
    messages.answer = true; // search the rest of the bus
    system.fail = {{"write", ENXIO}};
    for (const bool force : {false, true}) {
        CI2cDevAdapter bus(system, "/dev/i2c-3", force);
        CLinkContext context{bus, clock, messages};
        system.calls.clear();
        EXPECT_EQ(CIicLink(context).ScanForCamera(), kNoCameraAddress);
        std::set<unsigned long> probed;
        for (const std::string& call : system.calls)
            if (call.rfind(force ? "slave-force " : "slave ", 0) == 0)
                probed.insert(std::stoul(call.substr(call.find(' ') + 1), nullptr, 16));
        ASSERT_FALSE(probed.empty());
        EXPECT_EQ(*probed.begin(), force ? 0x00u : 0x08u);
        EXPECT_EQ(*probed.rbegin(), force ? 0x7Du : 0x77u);
    }
}

TEST_F(AdapterTest, LibraryLoadsAndPassesCallsThrough)
{
    std::string error;
    const auto adapter = CLibraryAdapter::Load(ZARNIX_TEST_ADAPTER, error);
    ASSERT_TRUE(adapter) << error;
    CLinkContext context{*adapter, clock, messages};
    CIicLink link(context); // the library's own simulated camera answers
    EXPECT_FALSE(link.WriteFrameChecked(0x70, 0x30, 0x04, 0x5E).Failed());
    EXPECT_EQ(link.ReadFrame(0x70, 0xA1, 0x04).value, 0x5E); // 0xA1 reads back bank 0x30
    ::setenv("ZARNIX_TEST_ADAPTER_STATUS", "0xffff0021", 1); // the library's status, as it returns it
    link.SendByte(0x70, 0x5E);
    ::unsetenv("ZARNIX_TEST_ADAPTER_STATUS");
    EXPECT_EQ(messages.Texts(), Strings{"USB_DATA_OVERFLOW"}); // 0x21: only the low 16 bits count
    for (const auto& [path, says] : {std::pair{ZARNIX_TEST_ADAPTER_INCOMPLETE, "does not export Receive"},
                                     {"/nonexistent/libadapter.so", "Could not load"}}) {
        EXPECT_EQ(CLibraryAdapter::Load(path, error), nullptr);
        EXPECT_NE(error.find(path), std::string::npos) << error;
        EXPECT_NE(error.find(says), std::string::npos) << error;
    }
}

TEST(BusListTest, ListsFindsAndFormatsTheBuses)
{
    char dir[] = "/tmp/zarnix-sysfs-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const fs::path root = dir;
    // A bus's class entry links to its adapter below `parent`, whose `subsystem` link names its bus type.
    const auto add = [&](int number, const std::string& parent, const std::string& subsystem, const char* name) {
        const std::string node = "i2c-" + std::to_string(number);
        const fs::path device = root / "devices" / parent / "1-2:1.0" / node;
        fs::create_directories(device);
        fs::create_directories(root / "class/i2c-dev");
        std::ofstream(device / "name") << name << "\n";
        fs::create_directory_symlink(device, root / "class/i2c-dev" / node);
        if (!subsystem.empty()) // the link's target need not exist
            fs::create_directory_symlink(root / "bus" / subsystem, root / "devices" / parent / "subsystem");
    };
    add(10, "pci0000:00/usb1/1-2", "usb", "CP2112 SMBus Bridge on hidraw0");
    add(2, "platform/usb-lookalike", "platform", "Synopsys DesignWare I2C adapter"); // "usb" only in its name
    add(1, "platform/dw.1", "", "Synopsys DesignWare I2C adapter");
    const auto buses = ListI2cBuses(dir, "/dev");
    fs::remove_all(root);
    EXPECT_EQ(FormatBusList(buses), "i2c-1\t-\tSynopsys DesignWare I2C adapter\n"
                                    "i2c-2\t-\tSynopsys DesignWare I2C adapter\n"
                                    "i2c-10\tusb\tCP2112 SMBus Bridge on hidraw0\n");
    const struct { const char* wanted; const char* device; /* "": refused */ const char* why; } cases[] = {
        {"10", "/dev/i2c-10", ""}, {"/dev/i2c-2", "/dev/i2c-2", ""}, {"7", "/dev/i2c-7", ""}, // 7: the open tells
        {"CP2112 SMBus Bridge on hidraw0", "/dev/i2c-10", ""},
        {"CP2112", "", "no i2c-dev bus is named 'CP2112'; --list-buses shows them"},
        {"Synopsys DesignWare I2C adapter", "",
         "2 i2c-dev buses are named 'Synopsys DesignWare I2C adapter' (i2c-1, i2c-2); give the bus by its number"},
    };
    for (const auto& c : cases) {
        std::string why;
        const auto bus = FindI2cBus(buses, c.wanted, why);
        EXPECT_EQ(bus ? bus->device : "", c.device) << c.wanted;
        EXPECT_EQ(why, c.why) << c.wanted;
    }
}

} // namespace
} // namespace zarnix::test
