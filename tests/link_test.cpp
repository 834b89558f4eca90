// The camera link: status texts, the register frames, the error flag and the address search.
#include <algorithm>
#include <functional>
#include <optional>
#include <tuple>

#include "bus_fixture.h"
#include "link/iic_link.h"

namespace zarnix::test {
namespace {

using Strings = std::vector<std::string>;
const std::string kNoCamera = "No valid address found, re-power cam and retry.";

TEST(OperatorText, StatusCodesAndTheGapsBetweenThemAndTheBufferLimit)
{
    const std::pair<Status, const char*> cases[] = {
        {2, "error ILLEGAL_BIT"}, {5, "not a correct acknowledge recieved"}, {6, "error bus is bussy or occupied"},
        {8, "no correct stop condition"}, {10, "unknown command"}, {16, "WRONG_OPERATING_SYSTEM"},
        {22, "error USB_DEVICE_NOT_FOUND"}, {33, "USB_DATA_OVERFLOW"}, {1, " error"}, {9, " error"}, {34, " error"},
        {0x8021, " error"}}; // the last: negative as a 16-bit code, not 33
    for (const auto& [status, text] : cases)
        EXPECT_STREQ(StatusText(status), text) << status;
    char buffer[kMsgBufferSize];
    EXPECT_EQ(FormatMsg(buffer, "%s", std::string(120, 'x').c_str()), 120);
    EXPECT_EQ(std::string(buffer).size(), kMsgBufferSize - 1);
}

class LinkTest : public BusTest {
protected:
    CIicLink link{context};
    std::vector<unsigned> Probes() const // the addresses probed, each with the read request for 0xA0:0x00
    {
        std::vector<unsigned> out;
        for (const auto& line : Only("SendSub")) {
            const std::size_t at = line.find("SendSub ") + 8;
            EXPECT_EQ(line.substr(at + 3, 8), "01 a0 00") << line;
            out.push_back(static_cast<unsigned>(std::stoul(line.substr(at, 2), nullptr, 16)));
        }
        return out;
    }
};

TEST_F(LinkTest, FramesPauseBetweenTheirHalvesStopWhereTheyMustAndLeaveTheErrorFlagRight)
{
    using Run = std::function<std::string()>;
    const Run write = [&] { return std::to_string(link.WriteFrame(0x70, 0x30, 0x19, 0x80).status); };
    const Run checked = [&] { return std::to_string(link.WriteFrameChecked(0x70, 0x30, 0x19, 0x80).status); };
    const Run read = [&] {
        const CReadResult r = link.ReadFrame(0x70, 0x30, 0x19);
        return std::to_string(r.value) + (r.requestFailed ? " request" : "") + (r.receiveFailed ? " receive" : "") +
               " " + std::to_string(r.status);
    };
    const std::string w = "@0 SendSub 70 00 30 19 =", d = "@10 Send 70 80 =", r = "@0 SendSub 70 01 30 19 =";
    // What runs, the frame lost once (timeout, 4), what it reports (a write: the status of its first failed
    // transaction), its transactions, the error flag left: each transaction clears it first, a failure raises
    // it, and every frame takes it into its result.
    const std::tuple<Run, std::optional<ESimFrame>, std::string, Strings, bool> cases[] = {
        {write, {}, "0", {w + "0", d + "0"}, false},
        {write, ESimFrame::AddressFrame, "4", {w + "4", d + "10"}, false}, // the camera refuses the byte too
        {checked, {}, "0", {w + "0", d + "0"}, false},
        {checked, ESimFrame::AddressFrame, "4", {w + "4"}, false},
        {checked, ESimFrame::DataFrame, "4", {w + "0", d + "4"}, false},
        {read, {}, "128 0", {r + "0", "@40 Receive 71 80 =0"}, false},
        {read, ESimFrame::ReadRequest, "0 request 4", {r + "4"}, false},
        {read, ESimFrame::Receive, "0 receive 4", {r + "0", "@40 Receive 71 00 =4"}, false}};
    for (const auto& [run, lost, result, transactions, flagAfter] : cases) {
        link.ReportError(kStatusTimeout); // raised before: the frame's own transactions decide
        bus.ClearLog();
        clock = CVirtualClock{};
        if (lost)
            camera.FailOn(*lost, 0x30, 0x19, kStatusTimeout, 1);
        EXPECT_EQ(run(), result);
        EXPECT_EQ(Transactions(), transactions) << result;
        EXPECT_EQ(link.TestAndClearError(), flagAfter) << result;
    }
}

// A machine's bus with other devices on it: a driver holds 0x50, 0x00 is the general call.
class CSharedBus final : public CForwardingAdapter {
public:
    using CForwardingAdapter::CForwardingAdapter;
    bool SharesBusWithOtherDevices() const override { return true; }
    bool AddressHeldByDriver(std::uint32_t address) override { return address == 0x50; }
    bool AddressReserved(std::uint32_t address) const override { return address == 0x00; }
};

TEST_F(LinkTest, SearchProbesTheFactoryAddressFirstThenEveryEvenAddressAskingFirstOnASharedBus)
{
    const std::string asked = "? No camera answers at 70. Search the rest of the bus? Each probe writes 3 bytes "
                              "to any device that answers; an EEPROM there would change.";
    CSharedBus sharedBus(bus);
    CLinkContext sharedContext{sharedBus, clock, messages};
    constexpr std::uint16_t kNone = kNoCameraAddress; // nothing answers at 0xFC, which is never probed
    // Shared bus, the operator's answer, where the camera is, what the search finds, probes made.
    const std::tuple<bool, bool, std::uint16_t, std::uint16_t, std::size_t, Strings> cases[] = {
        {false, false, 0x70, 0x70, 1, {}},   {false, false, 0x00, 0x00, 2, {}},  {false, false, 0x02, 0x02, 3, {}},
        {false, false, 0x6E, 0x6E, 57, {}},  {false, false, 0x72, 0x72, 58, {}}, {false, false, 0xFA, 0xFA, 126, {}},
        {false, false, kNone, kNone, 126, {kNoCamera}}, {true, false, 0x70, 0x70, 1, {}},
        {true, false, 0x3C, kNone, 1, {asked, kNoCamera}}, {true, true, 0x52, 0x52, 41, {asked}}};
    for (const auto& [shared, agree, at, found, probes, texts] : cases) {
        SCOPED_TRACE(at);
        CIicLink scan(shared ? sharedContext : context);
        scan.ReportError(kStatusTimeout); // probes leave the flag alone; the completing receive clears it
        bus.ClearLog();
        messages.Clear();
        messages.answer = agree;
        clock = CVirtualClock{};
        camera.MoveCamera(at);
        EXPECT_EQ(scan.ScanForCamera(), found);
        std::vector<unsigned> order{0x70}; // then up from 0x00; never 0x00 or 0x50 on the shared bus
        for (unsigned a = 0x00; a < 0xFC && order.size() < probes; a += 2)
            if (a != 0x70 && !(shared && (a == 0x00 || a == 0x50)))
                order.push_back(a);
        EXPECT_EQ(Probes(), order);
        // A found camera's read request is completed after 10 ms; probes follow each other at once.
        char receive[32];
        std::snprintf(receive, sizeof receive, "@10 Receive %02x 0f =0", found | 1);
        EXPECT_EQ(Only("Receive"), found != kNone ? Strings{receive} : Strings{});
        EXPECT_EQ(messages.Texts(), texts);
        EXPECT_EQ(scan.TestAndClearError(), found == kNone); // a silent address is no failure
    }
}

} // namespace
} // namespace zarnix::test
