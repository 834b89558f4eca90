// The simulated camera: what it acknowledges, what it refuses, and its faults.
#include <gtest/gtest.h>

#include "bus_fixture.h"
#include "camera/camera_control.h"

namespace zarnix::test {
namespace {

using Strings = std::vector<std::string>;

class SimTest : public BusTest {
protected:
    CIicLink link{context};
};

TEST_F(SimTest, RefusesFramesOutOfProtocolOrder)
{
    link.SendByte(0x70, 0x12); // no register addressed
    link.ReceiveByte(0x71);    // no read requested
    link.SendCommand(0x70, kSubAddressWrite, 0x30, 0x04);
    link.ReceiveByte(0x71); // a write was addressed, not a read
    link.SendCommand(0x70, kSubAddressRead, 0x30, 0x04);
    link.SendByte(0x70, 0x12); // a read was requested, not a write
    link.SendCommand(0x70, 0x02, 0x30, 0x04); // no such frame
    EXPECT_EQ(messages.Texts(), Strings(5, "unknown command"));
    EXPECT_EQ(camera.Peek(0x30, 0x04), 0x80); // factory brightness untouched
}

TEST_F(SimTest, AnswersOnlyAtItsOwnAddresses)
{
    link.WriteFrame(0x72, 0x30, 0x04, 0x11);
    link.ReadFrame(0x72, 0x30, 0x04);
    link.SendCommand(0x70, kSubAddressRead, 0x30, 0x04);
    link.ReceiveByte(0x70); // a receive must go to the read address
    link.SendCommand(0x71, kSubAddressRead, 0x30, 0x04);
    EXPECT_EQ(messages.Texts(), Strings(5, "not a correct acknowledge recieved"));
    EXPECT_EQ(camera.Peek(0x30, 0x04), 0x80);
}

TEST_F(SimTest, MirrorsTheLiveBankAndCommits)
{
    link.WriteFrame(0x70, 0x30, 0x22, 0x3F);
    EXPECT_EQ(link.ReadFrame(0x70, 0xA1, 0x22).value, 0x3F);
    link.WriteFrame(0x70, 0xA1, 0x22, 0x01); // the mirror only reads
    EXPECT_EQ(link.ReadFrame(0x70, 0x30, 0x22).value, 0x3F);
    link.WriteFrame(0x70, 0x88, 0x13, 0xAB);
    EXPECT_EQ(camera.CommitCount(), 0u);
    link.WriteFrame(0x70, 0x88, 0x13, 0xAA);
    EXPECT_EQ(camera.CommitCount(), 1u);
    EXPECT_TRUE(messages.Texts().empty());
}

TEST_F(SimTest, FactorySettingsStoreWhatIsLive)
{
    for (unsigned i = 0; i < kStoreSettingsEnd; ++i)
        EXPECT_EQ(camera.Peek(0xA0, i), camera.Peek(0x30, i)) << i;
    CCameraControl control(context);
    control.m_wAddress = 0x70;
    EXPECT_TRUE(control.ReadSettings(30));
    EXPECT_EQ(control.m_awShadow[0x04], 0x80);
    EXPECT_EQ(control.m_awShadow[0x2A], kNotRead); // zoom is not read back
}

TEST_F(SimTest, FaultsHitTheChosenTransactions)
{
    camera.FailNthTransfer(3, kStatusArbitration);
    camera.FailOn(ESimFrame::DataFrame, 0x30, 0x06, kStatusNoStop, 2);
    for (int n = 0; n < 3; ++n)
        link.WriteFrame(0x70, 0x30, 0x06, 0x1F);
    // Transfer 3 is the second address frame; the lost frame then leaves its byte out of order.
    EXPECT_EQ(Transactions(), (Strings{"@0 SendSub 70 00 30 06 =0", "@10 Send 70 1f =8",
                                       "@10 SendSub 70 00 30 06 =3", "@20 Send 70 1f =10",
                                       "@20 SendSub 70 00 30 06 =0", "@30 Send 70 1f =8"}));
    bus.ClearLog();
    link.WriteFrame(0x70, 0x30, 0x06, 0x1F); // both uses of the data-frame fault are spent
    EXPECT_EQ(camera.Peek(0x30, 0x06), 0x1F);
    EXPECT_EQ(camera.TransferCount(), 8u);
}

TEST_F(SimTest, DisappearsAfterTheChosenNumberOfTransfers)
{
    camera.DisappearAfter(3);
    link.WriteFrame(0x70, 0x30, 0x04, 0x01);
    link.WriteFrame(0x70, 0x30, 0x04, 0x02);
    EXPECT_FALSE(camera.Present());
    EXPECT_EQ(messages.Texts(), Strings{"not a correct acknowledge recieved"});
    EXPECT_EQ(link.ScanForCamera(), kNoCameraAddress);
}

TEST_F(SimTest, RefusesHandlesItNeverOpened)
{
    CSimCamera bare;
    const std::uint8_t body[2] = {0x30, 0x04};
    EXPECT_EQ(bare.SendSub(42, 1, 0, body, 2, 0), kSimBadHandleStatus);
    const std::int32_t h = bare.IICInit(0x70, kIicSpeed, kIicTimeout);
    EXPECT_EQ(bare.IICClose(h), 0u);
    EXPECT_EQ(bare.IICClose(h), kSimBadHandleStatus);
}

TEST_F(SimTest, HandlesOpenTogetherKeepTheirOwnAddressWhenAnotherCloses)
{
    CSimCamera bare;
    const std::uint8_t body[2] = {0x30, 0x04};
    const std::int32_t elsewhere = bare.IICInit(0x20, kIicSpeed, kIicTimeout);
    const std::int32_t first = bare.IICInit(0x70, kIicSpeed, kIicTimeout);
    const std::int32_t second = bare.IICInit(0x70, kIicSpeed, kIicTimeout);
    EXPECT_EQ(bare.SetAddress(second, 0x70), 0u);
    EXPECT_EQ(bare.IICClose(first), 0u);
    EXPECT_EQ(bare.SendSub(first, 1, 0, body, 2, 0), kSimBadHandleStatus);
    EXPECT_EQ(bare.SendSub(elsewhere, 1, 0, body, 2, 0), kSimNoSlaveStatus);
    EXPECT_EQ(bare.SendSub(second, 1, 0, body, 2, 0), 0u);
    EXPECT_EQ(bare.IICClose(second), 0u);
    EXPECT_EQ(bare.IICClose(elsewhere), 0u);
    EXPECT_EQ(bare.SetAddress(elsewhere, 0x70), kSimBadHandleStatus);
}

} // namespace
} // namespace zarnix::test
