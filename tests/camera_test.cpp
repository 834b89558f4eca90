// The camera command object and its register map.
#include <algorithm>
#include <functional>
#include <array>
#include <optional>
#include <tuple>

#include "bus_fixture.h"
#include "camera/camera_control.h"

namespace zarnix::test {
namespace {

using Strings = std::vector<std::string>;
const Strings kReadFailed = {"TIMEOUT, no response", "Camera settings not correctly read, default values displayed"};

std::string Line(const char* format, std::size_t ms, unsigned a, unsigned b = 0)
{
    char text[64];
    return std::string(text, std::snprintf(text, sizeof text, format, static_cast<unsigned long>(ms), a, b));
}
bool ReadBack(unsigned i) { return std::count(kReadBackIndexes.begin(), kReadBackIndexes.end(), i) == 1; }
std::uint8_t Live(unsigned i) { return static_cast<std::uint8_t>(0x5A ^ (i * 3)); } // tells the entries apart

class CameraTest : public BusTest {
protected:
    CCameraControl control{context, 0x70};
    void SetUp() override
    {
        for (unsigned i = 0; i < kShadowSize; ++i)
            camera.Poke(kBankLive, static_cast<std::uint8_t>(i), Live(i));
    }
};

TEST_F(CameraTest, ReadBackReadsTheMirrorInOrderPausingEveryPassAndGoesQuietAfterAFailure)
{
    Strings whole; // the transactions when nothing fails: 40 ms to the receive, 40 ms after it
    for (std::size_t pass = 0; pass < kReadBackIndexes.size(); ++pass) {
        whole.push_back(Line("@%lu SendSub 70 01 a1 %02x =0", pass * 80, kReadBackIndexes[pass]));
        whole.push_back(Line("@%lu Receive 71 %02x =0", pass * 80 + 40, Live(kReadBackIndexes[pass])));
    }
    // The frame lost once at `index` (with none lost: the read a stop comes before, kShadowSize for
    // none), the transactions made, when it ended, the messages.
    const std::tuple<std::optional<ESimFrame>, unsigned, std::size_t, std::size_t, Strings> cases[] = {
        {{}, kShadowSize, 88, 44 * 80, {}},
        {ESimFrame::ReadRequest, 0x00, 1, 44 * 40, kReadFailed},
        {ESimFrame::ReadRequest, 0x10, 23, 11 * 80 + 33 * 40, kReadFailed}, // then 33 quiet passes
        {ESimFrame::Receive, 0x05, 12, 6 * 80 + 38 * 40, kReadFailed},
        {{}, 0x02, 4, 2 * 80, {}}}; // a stop ends it at once, with no message
    for (const auto& [lost, index, transactions, endMs, texts] : cases) {
        SCOPED_TRACE(index);
        bus.ClearLog();
        messages.Clear();
        clock = CVirtualClock{};
        if (lost)
            camera.FailOn(*lost, kBankLiveMirror, static_cast<std::uint8_t>(index), kStatusTimeout, 1);
        std::size_t n = 0; // reads asked for
        CCameraControl cam(context, 0x70);
        const CCameraResult read = cam.ReadSettings(30, [&] { return !lost && kReadBackIndexes[n++] == index; });
        EXPECT_EQ(read.outcome, index == kShadowSize ? EOutcome::Ok : lost ? EOutcome::Failed : EOutcome::Stopped);
        EXPECT_EQ(read.index, read.Ok() ? 0u : index);
        EXPECT_EQ(read.status, lost ? kStatusTimeout : kStatusOk);
        const Strings made = Transactions();
        ASSERT_EQ(made.size(), transactions);
        EXPECT_TRUE(std::equal(made.begin(), made.end() - (lost ? 1 : 0), whole.begin())); // the lost one aside
        EXPECT_EQ(clock.Now(), Micros(endMs * 1000));
        EXPECT_EQ(messages.Texts(), texts);
        for (unsigned i = 0; i < kShadowSize; ++i) { // a lost receive keeps its 0 but is not read whole
            const bool lostReceive = i == index && lost == ESimFrame::Receive;
            EXPECT_EQ(cam.Shadow()[i], ReadBack(i) && i < index ? Live(i) : lostReceive ? 0 : kNotRead) << i;
            EXPECT_EQ(cam.ReadWhole()[i], ReadBack(i) && i < index) << i;
        }
    }
}

TEST_F(CameraTest, SingleAccessesSayWhetherTheyWentThroughAndAReadGivesOneForALostRequest)
{
    camera.FailOn(ESimFrame::AddressFrame, 0x30, 0x42, kStatusNoAck, 1);
    const CCameraResult written = control.WriteRegisterChecked(0x30, 0x42, Live(0x42));
    EXPECT_EQ(std::tuple(written.outcome, written.bank, written.index, written.status),
              std::tuple(EOutcome::Failed, 0x30, 0x42, kStatusNoAck));
    const std::pair<std::optional<ESimFrame>, std::uint16_t> cases[] = {
        {{}, Live(0x42)}, {ESimFrame::ReadRequest, 1}, {ESimFrame::Receive, 0}};
    for (const auto& [lost, value] : cases) {
        if (lost)
            camera.FailOn(*lost, kBankLive, 0x42, kStatusUsbRead, 2);
        EXPECT_EQ(control.ReadRegister(kBankLive, 0x42), value);
        const CReadResult read = control.ReadRegisterChecked(kBankLive, 0x42);
        EXPECT_EQ(read.Failed(), lost.has_value());
        EXPECT_EQ(read.status, lost ? kStatusUsbRead : kStatusOk);
    }
}

TEST_F(CameraTest, CommandsApplyTheirValueRuleAndWriteTheLowByteToTheirRegister)
{
    using R = EValueRule;
    const std::tuple<R, std::uint16_t, std::uint16_t> rules[] = {
        {R::Unchanged, 0x1AB, 0x1AB}, {R::AtMost1, 1, 1}, {R::AtMost1, 2, 1}, {R::AtMost3, 3, 3}, {R::AtMost3, 4, 3},
        {R::AtMost4, 4, 4}, {R::AtMost4, 5, 4}, {R::AtMostCB, 0xCB, 0xCB}, {R::AtMostCB, 0xCC, 0xCB},
        {R::AtLeast8, 7, 8}, {R::AtLeast8, 0x108, 0x108}, {R::OsdSwitch, 0x100, 0}, {R::OsdSwitch, 0x101, 5}};
    for (const auto& [rule, in, out] : rules)
        EXPECT_EQ(ApplyValueRule(rule, in), out) << static_cast<int>(rule) << " " << in;
    CCameraControl& c = control;
    const std::tuple<std::function<void()>, unsigned, unsigned, unsigned> cases[] = {
        {[&] { c.SetBrightness(0x1AB); }, 0x30, 0x04, 0xAB}, {[&] { c.SetTiltPosition(0xCC); }, 0x30, 0x2C, 0xCB},
        {[&] { c.SetOsdControl(1); }, 0x30, 0x40, 0x05}, {[&] { c.CommitSettings(); }, 0x88, 0x13, 0xAA},
        {[&] { c.SendOsdKey(3); }, 0x30, 0x40, 0x03}, {[&] { c.WriteRegister(0xF2, 0x7F, 0x1EF); }, 0xF2, 0x7F, 0xEF}};
    for (const auto& [command, bank, index, byte] : cases) {
        bus.ClearLog();
        const auto t = static_cast<std::size_t>(clock.Now().count() / 1000);
        command();
        EXPECT_EQ(Transactions(), (Strings{Line("@%lu SendSub 70 00 %02x %02x =0", t, bank, index),
                                           Line("@%lu Send 70 %02x =0", t + 10, byte)}));
    }
    EXPECT_EQ(camera.CommitCount(), 1u);
}

// Its traffic and pauses are in the recorded runs of zarnixctl save and the window's SAVE.
TEST_F(CameraTest, StoreTellsEachRegisterItStoredOrSaysWhereItStopped)
{
    std::array<std::uint16_t, kShadowSize> settings{};
    std::vector<std::uint8_t> heard;
    EXPECT_TRUE(control.StoreSettings(settings, [&](std::uint8_t i) { heard.push_back(i); }).Ok());
    EXPECT_EQ(heard, std::vector<std::uint8_t>(kStoredIndexes.begin(), kStoredIndexes.end()));
    for (const auto& [allowed, text] : {std::pair<std::size_t, const char*>{0, "Stopped before storing, stored "
                                                                               "settings unchanged"},
                                        {2, "Stopped after storing register a0:01, the rest not stored"}}) {
        bus.ClearLog();
        messages.Clear();
        std::size_t asked = 0;
        EXPECT_EQ(control.StoreSettings(settings, {}, [&, n = allowed] { return asked++ >= n; }).outcome,
                  EOutcome::Stopped);
        EXPECT_EQ(Transactions().size(), 2 * allowed);
        EXPECT_EQ(messages.Texts(), Strings{text});
    }
}

} // namespace
} // namespace zarnix::test
