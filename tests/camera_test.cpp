// The camera command object: read-back, single reads, set commands, store and commit.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>

#include "bus_fixture.h"
#include "camera/camera_control.h"

namespace zarnix::test {
namespace {

using Strings = std::vector<std::string>;

constexpr const char* kReadBackFailed = "Camera settings not correctly read, default values displayed";

// The live registers the read-back hands back, in the order it reads them.
std::vector<std::uint8_t> ReadBackIndexes()
{
    std::vector<std::uint8_t> out;
    for (auto [first, last] : {std::pair{0x00, 0x0A}, {0x10, 0x1B}, {0x20, 0x28}, {0x30, 0x30}, {0x40, 0x44},
                               {0x48, 0x4D}})
        for (int i = first; i <= last; ++i)
            out.push_back(static_cast<std::uint8_t>(i));
    return out;
}

class CameraTest : public BusTest {
protected:
    CCameraControl control{context};

    void SetUp() override
    {
        control.m_wAddress = 0x70;
        // A distinct value in every live register shows which entry came from where.
        for (unsigned i = 0; i < kShadowSize; ++i)
            camera.Poke(0x30, static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(0x5A ^ (i * 3)));
    }
    static std::uint8_t LiveValue(unsigned i) { return static_cast<std::uint8_t>(0x5A ^ (i * 3)); }
};

TEST_F(CameraTest, ReadBackReadsTheMirrorBankInOrderAndSkipsTheGaps)
{
    EXPECT_TRUE(control.ReadSettings(30));
    EXPECT_EQ(control.m_wDelay, 30);

    const auto indexes = ReadBackIndexes();
    ASSERT_EQ(indexes.size(), 44u);
    Strings expected;
    for (std::size_t pass = 0; pass < indexes.size(); ++pass) {
        const long t = static_cast<long>(pass) * 80; // 40 ms to the receive, 40 ms after it
        char line[64];
        std::snprintf(line, sizeof line, "@%ld SendSub 70 01 a1 %02x =0", t, indexes[pass]);
        expected.push_back(line);
        std::snprintf(line, sizeof line, "@%ld Receive 71 %02x =0", t + 40, LiveValue(indexes[pass]));
        expected.push_back(line);
    }
    EXPECT_EQ(Transactions(), expected);
    EXPECT_EQ(clock.Now(), Micros(44 * 80 * 1000));

    const std::set<std::uint8_t> read(indexes.begin(), indexes.end());
    for (unsigned i = 0; i < kShadowSize; ++i) {
        EXPECT_EQ(control.m_awShadow[i], read.count(i) ? LiveValue(i) : kNotRead) << "entry " << i;
        EXPECT_EQ(control.m_abRead[i], read.count(i) == 1) << "entry " << i;
    }
    EXPECT_TRUE(messages.Texts().empty());
}

struct ReadBackFailure {
    const char* what;
    ESimFrame frame;
    std::uint8_t index;
    std::size_t transactions; // made before the traffic stops
    long endMs;               // every pass still pauses
    const char* adapterText;
};

TEST_F(CameraTest, ReadBackStopsTheBusAtTheFirstFailureButRunsEveryPass)
{
    const ReadBackFailure cases[] = {
        // 11 full passes, the failed request, then 33 passes of 40 ms.
        {"request at 0x10", ESimFrame::ReadRequest, 0x10, 23, 11 * 80 + 33 * 40, "TIMEOUT, no response"},
        {"first request", ESimFrame::ReadRequest, 0x00, 1, 44 * 40, "TIMEOUT, no response"},
        // The failed receive still fills its entry, with the 0 that arrived.
        {"receive at 0x05", ESimFrame::Receive, 0x05, 12, 6 * 80 + 38 * 40, "TIMEOUT, no response"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        bus.ClearLog();
        messages.Clear();
        clock = CVirtualClock{};
        CCameraControl fresh(context);
        fresh.m_wAddress = 0x70;
        camera.FailOn(c.frame, 0xA1, c.index, kStatusTimeout, 1);

        EXPECT_FALSE(fresh.ReadSettings(30));
        EXPECT_EQ(Transactions().size(), c.transactions);
        EXPECT_EQ(clock.Now(), Micros(c.endMs * 1000));
        EXPECT_EQ(messages.Texts(), (Strings{c.adapterText, kReadBackFailed}));
        // Entries read before the failure hold camera values; a failed receive fills
        // its own entry with the 0 that arrived; everything else stays unread.
        for (unsigned i = 0; i < kShadowSize; ++i) {
            const auto all = ReadBackIndexes();
            const bool readBefore = i < c.index && std::count(all.begin(), all.end(), i);
            const std::uint16_t expected =
                i == c.index && c.frame == ESimFrame::Receive ? 0 : readBefore ? LiveValue(i) : kNotRead;
            EXPECT_EQ(fresh.m_awShadow[i], expected) << "entry " << i;
            // Only a whole read counts; the 0 of a failed receive is no camera value.
            EXPECT_EQ(fresh.m_abRead[i], readBefore) << "entry " << i;
        }
    }
}

TEST_F(CameraTest, SingleReadsAddressTheirBank)
{
    const struct {
        std::function<std::uint16_t(CCameraControl&)> read;
        std::uint8_t bank;
    } cases[] = {
        {[](CCameraControl& c) { return c.ReadEeprom(0x21); }, 0xA0},
        {[](CCameraControl& c) { return c.ReadIspB0(0x21); }, 0xE0},
        {[](CCameraControl& c) { return c.ReadIspB1(0x21); }, 0xE2},
        {[](CCameraControl& c) { return c.ReadStatB0(0x21); }, 0xF0},
        {[](CCameraControl& c) { return c.ReadStatB1(0x21); }, 0xF2},
        {[](CCameraControl& c) { return c.ReadRegister(0x47, 0x21); }, 0x47},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.bank));
        bus.ClearLog();
        camera.Poke(c.bank, 0x21, c.bank ^ 0x0F);
        EXPECT_EQ(c.read(control), c.bank ^ 0x0F);
        ASSERT_EQ(Transactions().size(), 2u);
        char request[48];
        std::snprintf(request, sizeof request, "SendSub 70 01 %02x 21 =0", c.bank);
        EXPECT_NE(Transactions()[0].find(request), std::string::npos);
    }
    EXPECT_EQ(control.m_wBank, 0); // single reads leave the staging fields alone
    EXPECT_EQ(control.m_awShadow[0], kNotRead);
}

TEST_F(CameraTest, SingleReadWithAFailedRequestReturnsOne)
{
    camera.Poke(0xA0, 0x04, 0x00);
    camera.FailOn(ESimFrame::ReadRequest, 0xA0, 0x04, kStatusNoAck, 1);
    EXPECT_EQ(control.ReadEeprom(0x04), 1);
    EXPECT_EQ(Transactions().size(), 1u);
    EXPECT_EQ(control.ReadEeprom(0x04), 0);
}

TEST_F(CameraTest, SingleReadWithAFailedReceiveReturnsWhatArrived)
{
    camera.FailOn(ESimFrame::Receive, 0xF0, 0x09, kStatusUsbRead);
    EXPECT_EQ(control.ReadStatB0(0x09), 0);
    EXPECT_EQ(messages.Texts(), Strings{"USB_READ_ERROR"});
}

struct WriteCase {
    std::function<void(CCameraControl&)> command;
    std::uint8_t bank;
    std::uint8_t index;
    std::uint8_t byte; // on the bus
};

TEST_F(CameraTest, CommandsApplyTheirValueRulesAndSendTheLowByte)
{
    using C = CCameraControl;
    const WriteCase cases[] = {
        {[](C& c) { c.Set3dnrLevel(0x80); }, 0x30, 0x19, 0x80},
        {[](C& c) { c.SetBrightness(0x1AB); }, 0x30, 0x04, 0xAB}, // no rule: low byte
        {[](C& c) { c.SetPanPosition(0xFF); }, 0x30, 0x2B, 0xCB},
        {[](C& c) { c.SetPanPosition(0xCB); }, 0x30, 0x2B, 0xCB},
        {[](C& c) { c.SetTiltPosition(0xCC); }, 0x30, 0x2C, 0xCB},
        {[](C& c) { c.SetTiltPosition(0xC8); }, 0x30, 0x2C, 0xC8},
        {[](C& c) { c.SetZoomFactor(3); }, 0x30, 0x2A, 0x08},
        {[](C& c) { c.SetZoomFactor(8); }, 0x30, 0x2A, 0x08},
        {[](C& c) { c.SetZoomFactor(0x108); }, 0x30, 0x2A, 0x08}, // passes the rule, low byte 8
        {[](C& c) { c.SetZoomFactor(0xFF); }, 0x30, 0x2A, 0xFF},
        {[](C& c) { c.SetOsdControl(1); }, 0x30, 0x40, 0x05},
        {[](C& c) { c.SetOsdControl(0x100); }, 0x30, 0x40, 0x00}, // only the low byte is tested
        {[](C& c) { c.SetOsdControl(0); }, 0x30, 0x40, 0x00},
        {[](C& c) { c.SendOsdKey(5); }, 0x30, 0x40, 0x05},
        {[](C& c) { c.SetHorMarkerHigh(7); }, 0x30, 0x4B, 0x03},
        {[](C& c) { c.SetVertMarkerHigh(2); }, 0x30, 0x4D, 0x02},
        {[](C& c) { c.SetHorMarkerLow(0x19D); }, 0x30, 0x4A, 0x9D},
        {[](C& c) { c.SetPixelAddress(9); }, 0x30, 0x49, 0x04},
        {[](C& c) { c.SetPixelAddress(3); }, 0x30, 0x49, 0x03},
        {[](C& c) { c.SetZoomOnOff(2); }, 0x30, 0x29, 0x01},
        {[](C& c) { c.SetAutoField(0xFFFF); }, 0x30, 0x45, 0x01},
        {[](C& c) { c.SetManualField(0); }, 0x30, 0x48, 0x00},
        {[](C& c) { c.AssignPixel(5); }, 0x30, 0x4E, 0x01},
        {[](C& c) { c.SetShutterMode(0x1F); }, 0x30, 0x00, 0x1F},
        {[](C& c) { c.SetIris(0); }, 0x30, 0x30, 0x00},
        {[](C& c) { c.WriteRegister(0x12, 0x34, 0x156); }, 0x12, 0x34, 0x56},
        {[](C& c) { c.WriteEeprom(0x30, 0x0E); }, 0xA0, 0x30, 0x0E},
        {[](C& c) { c.WriteIspB0(0xFE, 0x01); }, 0xE0, 0xFE, 0x01},
        {[](C& c) { c.WriteIspB1(0x00, 0x02); }, 0xE2, 0x00, 0x02},
        {[](C& c) { c.WriteStatB0(0x80, 0x03); }, 0xF0, 0x80, 0x03},
        {[](C& c) { c.WriteStatB1(0x7F, 0x1EF); }, 0xF2, 0x7F, 0xEF},
        {[](C& c) { c.CommitSettings(); }, 0x88, 0x13, 0xAA},
    };
    for (const auto& c : cases) {
        bus.ClearLog();
        const Micros start = clock.Now();
        c.command(control);
        char address[48], data[48];
        const long t = static_cast<long>(start.count() / 1000);
        std::snprintf(address, sizeof address, "@%ld SendSub 70 00 %02x %02x =0", t, c.bank, c.index);
        std::snprintf(data, sizeof data, "@%ld Send 70 %02x =0", t + 10, c.byte);
        EXPECT_EQ(Transactions(), (Strings{address, data}));
        EXPECT_EQ(camera.Peek(c.bank, c.index), c.byte);
    }
    EXPECT_EQ(camera.CommitCount(), 1u);
    EXPECT_TRUE(messages.Texts().empty());
}

TEST(RegisterMap, CommandsCoverTheLiveRegistersOnceExceptTheOsdPair)
{
    std::multiset<unsigned> used;
    for (const auto& command : kSetCommands)
        used.insert(command.index);
    EXPECT_EQ(std::set<unsigned>(used.begin(), used.end()).size(), 49u);
    EXPECT_EQ(used.count(0x40), 2u);
    // The live registers that no command writes.
    for (unsigned i : {0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x17, 0x1C, 0x1D, 0x1E, 0x1F, 0x2D, 0x2E, 0x2F, 0x46, 0x47})
        EXPECT_EQ(used.count(i), 0u) << i;
    for (unsigned i = 0x31; i <= 0x3F; ++i)
        EXPECT_EQ(used.count(i), 0u) << i;
    EXPECT_LT(*used.rbegin(), kShadowSize);
}

TEST_F(CameraTest, BothHalvesFailingShowTwoMessagesAndTheCommandReturns)
{
    camera.SetPresent(false);
    control.SetBrightness(0x10);
    EXPECT_EQ(messages.Texts(), Strings(2, "not a correct acknowledge recieved"));
    EXPECT_EQ(Transactions().size(), 2u);
}

TEST_F(CameraTest, StoreWritesTheThirtyThreeStoredRegisters340msApart)
{
    for (unsigned i = 0; i < kShadowSize; ++i)
        control.m_awShadow[i] = static_cast<std::uint16_t>(0x20 + i);
    for (unsigned i = 0x0B; i <= 0x0F; ++i)
        control.m_awShadow[i] = kNotRead;
    control.StoreSettings();

    std::vector<std::uint8_t> stored;
    for (std::uint8_t i : ReadBackIndexes())
        if (i <= 0x30)
            stored.push_back(i);
    ASSERT_EQ(stored.size(), 33u);
    Strings expected;
    for (std::size_t k = 0; k < stored.size(); ++k) {
        const long t = static_cast<long>(k) * 340;
        char line[48];
        std::snprintf(line, sizeof line, "@%ld SendSub 70 00 a0 %02x =0", t, stored[k]);
        expected.push_back(line);
        std::snprintf(line, sizeof line, "@%ld Send 70 %02x =0", t + 10, 0x20 + stored[k]);
        expected.push_back(line);
    }
    EXPECT_EQ(Transactions(), expected);
    EXPECT_EQ(clock.Now(), Micros(33 * 340 * 1000));
    EXPECT_EQ(control.m_wBank, 0xA0);
}

TEST_F(CameraTest, StoreOnAnAbsentCameraShowsEveryFailedTransaction)
{
    camera.SetPresent(false);
    control.StoreSettings();
    EXPECT_EQ(messages.Texts().size(), 66u);
}

TEST_F(CameraTest, SearchAddressReturnsTheLinkSearch)
{
    camera.MoveCamera(0x3C);
    EXPECT_EQ(control.SearchAddress(), 0x3C);
    camera.SetPresent(false);
    EXPECT_EQ(control.SearchAddress(), kNoCameraAddress);
}

} // namespace
} // namespace zarnix::test
