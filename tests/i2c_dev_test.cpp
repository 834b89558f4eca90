// The i2c-dev backend through its system-call seam: what each transaction asks of
// the kernel, and how the kernel's answers reach the operator.
#include <gtest/gtest.h>

#include <linux/i2c-dev.h>
#include <linux/i2c.h>

#include <cerrno>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "link/adapters/i2c_dev_adapter.h"
#include "link/iic_link.h"

namespace zarnix::test {
namespace {

using Strings = std::vector<std::string>;

// Logs every call as a line and answers from a script: an errno for a call kind,
// bytes for reads. Tracks open descriptors so that every path can be checked for
// one close per open.
class CFakeI2cDev final : public CI2cDevSystem {
public:
    Strings calls;
    std::map<std::string, int> fail; // call kind ("open", "slave", "write", ...) -> errno
    long shortWrite = -1;            // when >= 0, writes report this many bytes
    unsigned long funcs = I2C_FUNC_I2C | I2C_FUNC_SMBUS_EMUL;
    std::uint8_t readByte = 0x5A;
    std::set<int> open;
    int closesOfUnopened = 0;

    int Open(const std::string& path) override
    {
        calls.push_back("open " + path);
        if (int e = Fails("open"))
            return -e;
        int fd = 3; // the lowest free descriptor, as the kernel hands them out
        while (open.count(fd))
            ++fd;
        open.insert(fd);
        return fd;
    }
    int Close(int fd) override
    {
        calls.push_back("close " + std::to_string(fd));
        if (!open.erase(fd))
            ++closesOfUnopened;
        return 0;
    }
    int Ioctl(int, unsigned long request, unsigned long argument) override
    {
        const std::string name = request == I2C_SLAVE         ? "slave"
                                 : request == I2C_SLAVE_FORCE ? "slave-force"
                                 : request == I2C_TIMEOUT     ? "timeout"
                                 : request == I2C_RETRIES     ? "retries"
                                                              : "ioctl?";
        calls.push_back(name + " " + Hex(argument));
        if (int e = Fails(name))
            return -e;
        return 0;
    }
    int Funcs(int, unsigned long* answer) override
    {
        calls.push_back("funcs");
        if (int e = Fails("funcs"))
            return -e;
        *answer = funcs;
        return 0;
    }
    long Write(int, const std::uint8_t* data, std::size_t length) override
    {
        std::string line = "write";
        for (std::size_t i = 0; i < length; ++i)
            line += " " + Hex(data[i]);
        calls.push_back(line);
        if (int e = Fails("write"))
            return -e;
        return shortWrite >= 0 ? shortWrite : static_cast<long>(length);
    }
    long Read(int, std::uint8_t* data, std::size_t length) override
    {
        calls.push_back("read " + std::to_string(length));
        if (int e = Fails("read"))
            return -e;
        data[0] = readByte;
        return static_cast<long>(length);
    }

private:
    static std::string Hex(unsigned long v)
    {
        char text[16];
        std::snprintf(text, sizeof text, "%02lx", v);
        return text;
    }
    int Fails(const std::string& kind) const
    {
        const auto it = fail.find(kind);
        return it == fail.end() ? 0 : it->second;
    }
};

class I2cDevTest : public ::testing::Test {
protected:
    CFakeI2cDev system;
    CVirtualClock clock;
    CRecordingMessages messages;
    CI2cDevAdapter adapter{system, "/dev/i2c-3"};
    CLinkContext context{adapter, clock, messages};

    void TearDown() override
    {
        EXPECT_TRUE(system.open.empty()) << "a bus node was left open";
        EXPECT_EQ(system.closesOfUnopened, 0);
    }
};

TEST_F(I2cDevTest, EachTransactionIsOneOpenClaimTransferAndClose)
{
    CIicLink link(context);
    link.SendCommand(0x70, 0x00, 0x30, 0x04);
    link.SendByte(0x70, 0x5E);
    EXPECT_EQ(link.ReceiveByte(0x71), 0x5A);
    const Strings claim = {"open /dev/i2c-3", "timeout 64", "retries 00", "slave 38"};
    Strings expected;
    for (const Strings& transfer : {Strings{"write 00 30 04"}, Strings{"write 5e"}, Strings{"read 1"}}) {
        expected.insert(expected.end(), claim.begin(), claim.end());
        expected.insert(expected.end(), transfer.begin(), transfer.end());
        expected.push_back("close 3");
    }
    // Every transaction gets descriptor 3 again: none was left open in between.
    EXPECT_EQ(system.calls, expected);
    EXPECT_TRUE(messages.Texts().empty());
}

TEST_F(I2cDevTest, KernelErrorsReachTheOperatorAsAdapterStatuses)
{
    const struct {
        const char* where;
        int error;
        const char* text;
    } cases[] = {
        {"write", ENXIO, "not a correct acknowledge recieved"},
        {"write", EREMOTEIO, "not a correct acknowledge recieved"},
        {"write", ETIMEDOUT, "TIMEOUT, no response"},
        {"write", EAGAIN, "error arbitration problem"},
        {"write", EBUSY, "error bus is bussy or occupied"},
        {"write", EPROTO, "error ILLEGAL_BIT"},
        {"write", ENODEV, "error USB_DEVICE_NOT_FOUND"},
        {"write", ESHUTDOWN, "error USB_DEVICE_NOT_FOUND"},
        {"write", EOPNOTSUPP, "unknown command"},
        {"write", EMSGSIZE, "USB_DATA_OVERFLOW"},
        {"write", EIO, "USB command error"},
        {"write", EFAULT, "USB command error"}, // anything else: the bridge failed
        {"read", ENXIO, "not a correct acknowledge recieved"},
        {"open", ENOENT, "error USB_DEVICE_NOT_FOUND"},
        {"open", EACCES, "init error"},
        {"slave", EBUSY, "error bus is bussy or occupied"}, // a kernel driver holds 0x38
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.where) + " " + std::to_string(c.error));
        system.fail = {{c.where, c.error}};
        messages.Clear();
        CIicLink link(context);
        if (std::string(c.where) == "read")
            link.ReceiveByte(0x71);
        else
            link.SendCommand(0x70, 0x01, 0xA1, 0x10);
        EXPECT_EQ(messages.Texts(), Strings{c.text});
        EXPECT_TRUE(link.TestAndClearError());
    }
    // A message cut short is a slave that stopped acknowledging.
    system.fail.clear();
    system.shortWrite = 1;
    messages.Clear();
    CIicLink(context).SendCommand(0x70, 0x00, 0x30, 0x04);
    EXPECT_EQ(messages.Texts(), Strings{"not a correct acknowledge recieved"});
}

TEST_F(I2cDevTest, ForceClaimsAnAddressADriverHolds)
{
    system.fail = {{"slave", EBUSY}};
    EXPECT_TRUE(adapter.AddressHeldByDriver(0x70));
    CI2cDevAdapter forced(system, "/dev/i2c-3", true);
    CLinkContext forcedContext{forced, clock, messages};
    system.calls.clear();
    CIicLink(forcedContext).SendByte(0x70, 0x01);
    EXPECT_EQ(system.calls[3], "slave-force 38");
    EXPECT_TRUE(messages.Texts().empty());
    system.fail.clear();
    EXPECT_FALSE(adapter.AddressHeldByDriver(0x70));
}

// The search leaves the addresses the bus reserves (the general call at 00 among
// them) alone, as i2cdetect does, unless forced.
TEST_F(I2cDevTest, TheSearchSkipsReservedAddresses)
{
    for (const bool force : {false, true}) {
        SCOPED_TRACE(force ? "forced" : "not forced");
        CI2cDevAdapter bus(system, "/dev/i2c-3", force);
        CLinkContext busContext{bus, clock, messages};
        messages.answer = true; // search the rest of the bus
        system.fail = {{"write", ENXIO}};
        system.calls.clear();
        EXPECT_EQ(CIicLink(busContext).ScanForCamera(), kNoCameraAddress);
        std::set<unsigned long> probed;
        for (const std::string& call : system.calls)
            if (call.rfind(force ? "slave-force " : "slave ", 0) == 0)
                probed.insert(std::stoul(call.substr(call.find(' ') + 1), nullptr, 16));
        ASSERT_FALSE(probed.empty());
        EXPECT_EQ(*probed.begin(), force ? 0x00u : 0x08u);
        EXPECT_EQ(*probed.rbegin(), force ? 0x7Du : 0x77u);
        EXPECT_EQ(bus.AddressReserved(0x00), !force);
        EXPECT_EQ(bus.AddressReserved(0x10), false);
        EXPECT_EQ(bus.AddressReserved(0xF0), !force);
    }
}

TEST_F(I2cDevTest, BusCheckExplainsWhatToDo)
{
    const struct {
        const char* what;
        int openError;
        unsigned long funcs;
        const char* says; // nullptr: usable
    } cases[] = {
        {"plain I2C", 0, I2C_FUNC_I2C, nullptr},
        {"SMBus only", 0, I2C_FUNC_SMBUS_BYTE_DATA, "cannot do plain I2C transfers"},
        {"no permission", EACCES, 0, "i2c group"},
        {"no such bus", ENOENT, 0, "modprobe i2c-dev"},
        {"camera address held by a driver", 0, I2C_FUNC_I2C, "--force takes the address over"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        system.fail.clear();
        if (c.openError)
            system.fail["open"] = c.openError;
        system.funcs = c.funcs;
        if (std::string(c.what) == "camera address held by a driver")
            system.fail["slave"] = EBUSY;
        const CBusCheck check = adapter.CheckBus();
        EXPECT_EQ(check.usable, c.says == nullptr);
        if (c.says) {
            EXPECT_EQ(check.message.rfind("Error: ", 0), 0u) << check.message;
            EXPECT_NE(check.message.find("/dev/i2c-3"), std::string::npos) << check.message;
            EXPECT_NE(check.message.find(c.says), std::string::npos) << check.message;
        }
    }
    // Forced, the held address is no reason to refuse the bus.
    CI2cDevAdapter forced(system, "/dev/i2c-3", true);
    EXPECT_TRUE(forced.CheckBus().usable);
}

} // namespace
} // namespace zarnix::test
