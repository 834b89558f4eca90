// The camera link: adapter transactions, status texts, frames and the address search.
#include <gtest/gtest.h>

#include <cstring>

#include "bus_fixture.h"
#include "link/iic_link.h"

namespace zarnix::test {
namespace {

using Strings = std::vector<std::string>;

// Answers every transfer with one raw 32-bit status, to see what the link keeps of it.
class CFixedStatusAdapter final : public CAdapter {
public:
    std::uint32_t status = 0;
    std::int32_t IICInit(std::uint32_t, std::uint32_t, std::uint32_t) override { return 7; }
    std::uint32_t SetAddress(std::int32_t, std::uint32_t) override { return 0; }
    std::uint32_t SendSub(std::int32_t, std::uint32_t, std::uint32_t, const std::uint8_t*, std::uint32_t,
                          std::uint32_t) override { return status; }
    std::uint32_t Send(std::int32_t, const std::uint8_t*, std::uint32_t, std::uint32_t) override { return status; }
    std::uint32_t Receive(std::int32_t, std::uint8_t* data, std::uint32_t, std::uint32_t) override
    {
        data[0] = 0x5C; // a byte left behind even when the transfer fails
        return status;
    }
    std::uint32_t IICClose(std::int32_t) override { return 0; }
};

struct StatusCase {
    std::uint32_t raw;
    const char* text; // nullptr: success, nothing shown
};

TEST(StatusMessages, EveryCodeShowsItsTextAndRaisesTheFlag)
{
    const StatusCase cases[] = {
        {0, nullptr},
        {0x10000, nullptr}, // high bits alone are success
        {0xFFFF0000, nullptr},
        {2, "error ILLEGAL_BIT"},
        {3, "error arbitration problem"},
        {4, "TIMEOUT, no response"},
        {5, "not a correct acknowledge recieved"},
        {6, "error bus is bussy or occupied"},
        {7, "init error"},
        {8, "no correct stop condition"},
        {10, "unknown command"},
        {11, "USB command error"},
        {12, "USB_WRITE_ERROR"},
        {13, "USB_READ_ERROR"},
        {14, "error: USB_I2C_NACK"},
        {15, "error: device not present"},
        {16, "WRONG_OPERATING_SYSTEM"},
        {22, "error USB_DEVICE_NOT_FOUND"},
        {23, "MAX_DEVICES_EXCEEDED"},
        {33, "USB_DATA_OVERFLOW"},
        {0x30021, "USB_DATA_OVERFLOW"}, // only the low 16 bits count
        {1, " error"},
        {9, " error"},
        {17, " error"},
        {21, " error"},
        {24, " error"},
        {32, " error"},
        {34, " error"},
        {0x7FFF, " error"},
        {0x8002, " error"}, // negative as a 16-bit number, not code 2
        {0xFFFF, " error"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.raw);
        CFixedStatusAdapter adapter;
        adapter.status = c.raw;
        CVirtualClock clock;
        CRecordingMessages messages;
        CRecordingAdapter bus(adapter, clock);
        CLinkContext context{bus, clock, messages};
        CIicLink link(context);
        link.SendCommand(0x70, 0x00, 0x30, 0x04);
        link.SendByte(0x70, 0x80);
        const std::uint8_t received = link.ReceiveByte(0x71);
        if (c.text == nullptr) {
            EXPECT_TRUE(messages.Texts().empty());
            EXPECT_FALSE(link.TestAndClearError());
        } else {
            EXPECT_EQ(messages.Texts(), Strings(3, c.text));
            EXPECT_TRUE(link.TestAndClearError());
        }
        EXPECT_EQ(received, 0x5C);
        EXPECT_TRUE(bus.OpenHandles().empty());
        EXPECT_EQ(bus.HandleFaults(), 0u);
    }
}

TEST(FormatMsg, TruncatesToTheMessageBuffer)
{
    char text[kMsgBufferSize];
    const std::string longer(120, 'x');
    FormatMsg(text, "%s", longer.c_str());
    EXPECT_EQ(std::strlen(text), kMsgBufferSize - 1);
    FormatMsg(text, "Failed to create %s:", "front.qcs");
    EXPECT_STREQ(text, "Failed to create front.qcs:");
}

class LinkTest : public BusTest {
protected:
    CIicLink link{context};
};

TEST_F(LinkTest, RegisterWriteIsAddressFramePauseDataFrame)
{
    link.WriteFrame(0x70, 0x30, 0x19, 0x80);
    EXPECT_EQ(Calls(), (Strings{
                           "@0 IICInit(0x70, 20000, 1000) = 1",
                           "@0 SetAddress(1, 0x70) = 0",
                           "@0 SendSub(1, 1, 0x00, [30 19], 2, 0) = 0",
                           "@0 IICClose(1) = 0",
                           "@10 IICInit(0x70, 20000, 1000) = 2",
                           "@10 SetAddress(2, 0x70) = 0",
                           "@10 Send(2, [80], 0, 1) = 0",
                           "@10 IICClose(2) = 0",
                       }));
    EXPECT_TRUE(messages.Texts().empty());
    EXPECT_EQ(camera.Peek(0x30, 0x19), 0x80);
}

TEST_F(LinkTest, RegisterWriteSendsItsDataFrameAfterAFailedAddressFrame)
{
    camera.FailOn(ESimFrame::AddressFrame, 0x30, 0x19, kStatusTimeout);
    link.WriteFrame(0x70, 0x30, 0x19, 0x80);
    // The camera lost the register address, so it refuses the byte as well: two boxes.
    EXPECT_EQ(Transactions(), (Strings{"@0 SendSub 70 00 30 19 =4", "@10 Send 70 80 =10"}));
    EXPECT_EQ(messages.Texts(), (Strings{"TIMEOUT, no response", "unknown command"}));
}

TEST_F(LinkTest, RegisterWriteWithAFailedDataFrameShowsOneMessage)
{
    camera.FailOn(ESimFrame::DataFrame, 0x30, 0x19, kStatusNoAck);
    link.WriteFrame(0x70, 0x30, 0x19, 0x80);
    EXPECT_EQ(Transactions(), (Strings{"@0 SendSub 70 00 30 19 =0", "@10 Send 70 80 =5"}));
    EXPECT_EQ(messages.Texts(), Strings{"not a correct acknowledge recieved"});
    EXPECT_TRUE(link.TestAndClearError());
}

TEST_F(LinkTest, RegisterReadIsRequestPauseReceiveAtTheReadAddress)
{
    camera.Poke(0xE2, 0x42, 0x9D);
    const CReadResult read = link.ReadFrame(0x70, 0xE2, 0x42);
    EXPECT_EQ(Calls(), (Strings{
                           "@0 IICInit(0x70, 20000, 1000) = 1",
                           "@0 SetAddress(1, 0x70) = 0",
                           "@0 SendSub(1, 1, 0x01, [e2 42], 2, 0) = 0",
                           "@0 IICClose(1) = 0",
                           "@40 IICInit(0x71, 20000, 1000) = 2",
                           "@40 Receive(2, [9d], 0, 1) = 0",
                           "@40 IICClose(2) = 0",
                       }));
    EXPECT_EQ(read.value, 0x9D);
    EXPECT_FALSE(read.Failed());
}

TEST_F(LinkTest, RegisterReadMakesNoReceiveAfterAFailedRequest)
{
    camera.FailOn(ESimFrame::ReadRequest, 0xE2, 0x42, kStatusBusBusy);
    const CReadResult read = link.ReadFrame(0x70, 0xE2, 0x42);
    EXPECT_EQ(Transactions(), Strings{"@0 SendSub 70 01 e2 42 =6"});
    EXPECT_TRUE(read.requestFailed);
    EXPECT_EQ(clock.Now().count(), 0);
    EXPECT_EQ(messages.Texts(), Strings{"error bus is bussy or occupied"});
    EXPECT_FALSE(link.TestAndClearError()); // the read consumed the flag
}

TEST_F(LinkTest, FailedReceiveReturnsThePresetAndFlagsOnce)
{
    link.SendCommand(0x70, kSubAddressRead, 0xA0, 0x04);
    camera.FailNthTransfer(2, kStatusUsbRead);
    EXPECT_EQ(link.ReceiveByte(0x71), 0);
    EXPECT_EQ(messages.Texts(), Strings{"USB_READ_ERROR"});
    EXPECT_TRUE(link.TestAndClearError());
    EXPECT_FALSE(link.TestAndClearError());
}

TEST_F(LinkTest, EachTransactionClearsTheFlagAtItsStart)
{
    link.m_bError = true;
    link.SendByte(0x70, 0x00); // refused: no address frame before it
    EXPECT_TRUE(link.TestAndClearError());
    link.m_bError = true;
    link.SendCommand(0x70, kSubAddressWrite, 0x30, 0x04);
    EXPECT_FALSE(link.TestAndClearError());
}

// The order in which the search probes: 0x70, then every even address from 0x00
// to 0xFA except 0x70.
std::vector<std::uint32_t> ProbeOrder()
{
    std::vector<std::uint32_t> order{0x70};
    for (std::uint32_t a = 0x00; a <= 0xFA; a += 2)
        if (a != 0x70)
            order.push_back(a);
    return order;
}

// Each probe is IICInit, SetAddress, SendSub of the read request for 0xA0:0x00.
std::vector<std::uint32_t> ProbedAddresses(const std::vector<CAdapterCallRecord>& log)
{
    std::vector<std::uint32_t> probed;
    for (std::size_t i = 2; i < log.size(); ++i)
        if (log[i].call == EAdapterCall::SendSub) {
            EXPECT_EQ(log[i].subAddress, kSubAddressRead);
            EXPECT_EQ(log[i].data, (std::vector<std::uint8_t>{0xA0, 0x00}));
            probed.push_back(log[i - 2].address);
        }
    return probed;
}

TEST_F(LinkTest, SearchFindsTheCameraAtItsPlaceInTheProbeOrder)
{
    const struct {
        std::uint16_t address;
        std::size_t probes;
    } cases[] = {{0x70, 1}, {0x00, 2}, {0x02, 3}, {0x6E, 57}, {0x72, 58}, {0xFA, 126}};
    const auto order = ProbeOrder();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address);
        bus.ClearLog();
        camera.MoveCamera(c.address);
        const Micros start = clock.Now();
        link.m_bError = true; // the probes leave it alone; the completing receive clears it
        EXPECT_EQ(link.ScanForCamera(), c.address);
        const auto probed = ProbedAddresses(bus.Log());
        EXPECT_EQ(probed, std::vector<std::uint32_t>(order.begin(), order.begin() + c.probes));
        const auto lines = Transactions();
        ASSERT_EQ(lines.size(), c.probes + 1);
        char receive[48];
        std::snprintf(receive, sizeof receive, "@%ld Receive %02x ", static_cast<long>(start.count() / 1000 + 10),
                      c.address | 1);
        EXPECT_EQ(lines.back().rfind(receive, 0), 0u) << lines.back();
        EXPECT_EQ(clock.Now() - start, Micros(10000));
        EXPECT_FALSE(link.m_bError);
    }
    EXPECT_TRUE(messages.Texts().empty());
}

TEST_F(LinkTest, SearchWithNothingAnsweringProbesEveryAddressOnceAndSaysSo)
{
    camera.SetPresent(false);
    link.m_bError = false;
    EXPECT_EQ(link.ScanForCamera(), kNoCameraAddress);
    EXPECT_EQ(ProbedAddresses(bus.Log()), ProbeOrder());
    EXPECT_EQ(Only("SendSub").size(), 126u);
    EXPECT_TRUE(Only("Receive").empty());
    EXPECT_EQ(clock.Now().count(), 0); // probes follow each other without pauses
    EXPECT_EQ(messages.Texts(), Strings{"No valid address found, re-power cam and retry."});
    EXPECT_FALSE(link.m_bError);

    link.m_bError = true;
    link.ScanForCamera();
    EXPECT_TRUE(link.m_bError);
}

TEST_F(LinkTest, SearchKeepsTheAddressWhenTheCompletingReceiveFails)
{
    camera.FailOn(ESimFrame::Receive, 0xA0, 0x00, kStatusUsbRead);
    EXPECT_EQ(link.ScanForCamera(), 0x70);
    EXPECT_EQ(messages.Texts(), Strings{"USB_READ_ERROR"});
    EXPECT_TRUE(link.m_bError);
}

// A machine's bus with other devices on it: the camera's own address is probed
// as always, the rest only when the operator agrees, and never an address that a
// kernel driver holds.
class CSharedBus final : public CForwardingAdapter {
public:
    using CForwardingAdapter::CForwardingAdapter;
    std::uint32_t held = 0x50;
    bool SharesBusWithOtherDevices() const override { return true; }
    bool AddressHeldByDriver(std::uint32_t address) override { return address == held; }
};

TEST_F(LinkTest, SearchOnASharedBusAsksBeforeGoingPastTheCameraAddress)
{
    const std::string question = "? No camera answers at 70. Search the rest of the bus? Each probe writes 3 bytes "
                                 "to any device that answers; an EEPROM there would change.";
    CSharedBus shared(bus);
    CLinkContext sharedContext{shared, clock, messages};
    const struct {
        const char* what;
        std::uint16_t at;
        bool agree;
        std::uint16_t found;
        std::size_t probes;
        Strings texts;
    } cases[] = {
        {"at 70: nothing asked", 0x70, false, 0x70, 1, {}},
        {"declined", 0x3C, false, kNoCameraAddress, 1, {question, "No valid address found, re-power cam and retry."}},
        {"agreed", 0x3C, true, 0x3C, 32, {question}},
        {"agreed, camera beyond the held address", 0x52, true, 0x52, 42, {question}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        bus.ClearLog();
        messages.Clear();
        messages.answer = c.agree;
        camera.MoveCamera(c.at);
        CIicLink sharedLink(sharedContext);
        EXPECT_EQ(sharedLink.ScanForCamera(), c.found);
        const auto probed = ProbedAddresses(bus.Log());
        EXPECT_EQ(probed.size(), c.probes);
        EXPECT_EQ(std::count(probed.begin(), probed.end(), 0x50u), 0);
        EXPECT_EQ(messages.Texts(), c.texts);
    }
}

} // namespace
} // namespace zarnix::test
