// The simulated camera: its protocol, mirror, commit and faults, and its state file.
#include <algorithm>
#include <functional>

#include "bus_fixture.h"
#include "camera/register_map.h"
#include "link/iic_link.h"
#include "sim/sim_state.h"

namespace zarnix::test {
namespace {

class SimTest : public BusTest {
protected:
    CIicLink link{context};
    std::string Statuses() const // the status of each transaction since the log was cleared: "0 10 ..."
    {
        std::string out;
        for (const auto& line : Transactions())
            out += (out.empty() ? "" : " ") + line.substr(line.rfind('=') + 1);
        return out;
    }
};

TEST_F(SimTest, AcknowledgesOnlyFramesInOrderAtItsOwnAddressesAndFailsWhereTold)
{
    const auto writes = [&](int n) { for (int k = 0; k < n; ++k) link.WriteFrame(0x70, 0x30, 0x06, 0x1F); };
    const std::pair<std::function<void()>, const char*> cases[] = {
        {[&] { link.SendByte(0x70, 0x12); }, "10"}, // nothing addressed
        {[&] { link.ReceiveByte(0x71); }, "10"},    // nothing requested
        {[&] { link.SendCommand(0x70, 0, 0x30, 4); link.ReceiveByte(0x71); }, "0 10"},
        {[&] { link.SendCommand(0x70, 1, 0x30, 4); link.SendByte(0x70, 0x12); }, "0 10"},
        {[&] { link.SendCommand(0x70, 2, 0x30, 4); }, "10"}, // no such sub-address
        {[&] { link.WriteFrame(0x72, 0x30, 4, 0x12); }, "5 5"},
        {[&] { link.SendCommand(0x70, 1, 0x30, 4); link.ReceiveByte(0x70); }, "0 5"}, // not the read address
        // The next transfer is an address frame; the camera then takes its byte as out of order.
        {[&] { camera.FailNthTransfer(camera.TransferCount() + 1, kStatusArbitration); writes(1); }, "3 10"},
        {[&] { camera.FailOn(ESimFrame::DataFrame, 0x30, 0x06, kStatusNoStop, 2); writes(3); }, "0 8 0 8 0 0"},
        {[&] { camera.DisappearAfter(camera.TransferCount() + 3); writes(2); }, "0 0 0 5"},
    };
    for (const auto& [run, statuses] : cases) {
        bus.ClearLog();
        run();
        EXPECT_EQ(Statuses(), statuses);
    }
    EXPECT_FALSE(camera.Present());
    EXPECT_EQ(camera.Peek(kBankLive, 0x04), 0x80); // the factory brightness, untouched
}

TEST_F(SimTest, MirrorReadsTheLiveBankAndOnlyAaAt8813Commits)
{
    link.WriteFrame(0x70, kBankLive, 0x22, 0x3F);
    link.WriteFrame(0x70, kBankLiveMirror, 0x22, 0x01); // acknowledged and dropped
    EXPECT_EQ(link.ReadFrame(0x70, kBankLiveMirror, 0x22).value, 0x3F);
    const std::tuple<std::uint8_t, std::uint8_t, std::uint8_t, unsigned> writes[] = {
        {0x88, 0x13, 0xAB, 0}, {0x88, 0x12, 0xAA, 0}, {0x30, 0x13, 0xAA, 0}, {0x88, 0x13, 0xAA, 1}};
    for (const auto& [bank, index, value, commits] : writes) {
        link.WriteFrame(0x70, bank, index, value);
        EXPECT_EQ(camera.CommitCount(), commits) << int(bank) << ":" << int(index) << "=" << int(value);
    }
    EXPECT_TRUE(messages.Texts().empty());
}

TEST(SimState, CameraSurvivesARoundTripThroughTheText)
{
    CSimCamera before(0x5A);
    before.Poke(0x30, 0x04, 0xFF);
    before.Poke(0x12, 0x34, 0x56); // a bank outside the kept ones
    before.SetCommitCount(4000000000u);
    before.SetPresent(false);
    const CSimState captured = CaptureSimState(before);
    EXPECT_EQ(captured.banks.size(), 8u); // the seven kept banks and 0x12; never the mirror
    CSimState parsed;
    CSimStateError error;
    ASSERT_TRUE(ParseSimState(FormatSimState(captured), parsed, error)) << error.line << ": " << error.message;
    EXPECT_EQ(parsed, captured);
    CSimCamera after;
    after.Poke(0x13, 0x00, 0x77); // a bank the state leaves out keeps what it held
    ApplySimState(parsed, after);
    EXPECT_EQ(after.Peek(0x13, 0x00), 0x77);
    after.Poke(0x13, 0x00, 0x00);
    EXPECT_EQ(CaptureSimState(after), captured);
    EXPECT_EQ(after.Peek(kBankLiveMirror, 0x04), 0xFF);
}

TEST(SimState, StrictParserNamesTheFirstBadLine)
{
    const std::string good = FormatSimState(CaptureSimState(CSimCamera{}));
    const auto edited = [&](const std::string& from, const std::string& to) {
        return std::string(good).replace(good.find(from), from.size(), to);
    };
    CSimState state;
    CSimStateError error;
    ASSERT_TRUE(ParseSimState(edited("bank 30\n0F", "\n# live\r\nbank 30\r\n0f"), state, error));
    // Lines: 1 magic, 2 comment, 3-5 settings, 6 "bank 30", 7-22 its rows, 23 "bank a0".
    constexpr std::size_t kRow = 48, kAtEnd = ~std::size_t{0}; // a row: 16 pairs, 15 spaces, the line end
    const auto lines = static_cast<std::size_t>(std::count(good.begin(), good.end(), '\n'));
    const std::tuple<std::string, std::size_t, const char*> cases[] = {
        {edited("state 1", "state 2"), 1, "version '2' is not supported"},
        {edited("address 70", "address 71"), 3, "address 71 is not an even write address below fc"},
        {edited("address 70", "address fc"), 3, "address fc is not an even"},
        {edited("commits 0", "commits 4294967296"), 5, "not a decimal count"},
        {edited("commits 0\n", ""), 5, "'bank' before the 'commits' line"},
        {edited("0F 00 40", "0F G0 40"), 7, "'G0' is not a two-digit hex value"},
        {edited("0F 00 40", "0F \xc3\xa9 40"), 7, "'\\xc3\\xa9' is not"}, // ASCII alone, whatever the terminal
        {edited(good.substr(good.find("bank a0") - kRow, kRow), ""), 22, "bank 30 has 15 of its 16 rows"},
        {edited("bank a0", "bank a1"), 23, "mirrors bank 30"},
        {good + "bank 55\n", lines + 1, "nothing may follow"},
        // Found once the whole file is read: which line they name is left open.
        {good.substr(0, good.find("bank e0") - 3 * kRow), kAtEnd, "ends inside bank a0 (13 of 16 rows)"},
        {good.substr(0, good.size() - 4), kAtEnd, "without its 'end' line"},
        {edited("bank 88", "bank 89"), kAtEnd, "bank 88 is missing"},
    };
    for (const auto& [text, line, message] : cases) {
        state.commits = 77;
        EXPECT_FALSE(ParseSimState(text, state, error)) << message;
        EXPECT_TRUE(line == kAtEnd || error.line == line) << error.line << ": " << error.message;
        EXPECT_NE(error.message.find(message), std::string::npos) << error.message;
        EXPECT_EQ(state.commits, 77u) << message << ": a refused file leaves the state alone";
    }
}

} // namespace
} // namespace zarnix::test
