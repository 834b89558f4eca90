// Both transfers between the camera and a settings file, SAVE and the read-back
// of the live settings, each as the camera session makes it, with one bus
// fault at each of their transactions in turn, and separately with the camera
// gone from that transaction on. What must hold whatever the fault: no adapter
// handle left open; the operation ends as a failure that names the first failed
// register and its adapter status as a value; a transfer stops at the failure,
// makes no bus traffic after it and tells the operator once, naming the register
// (SAVE goes on as it always has, a box per failed frame); no commit after a
// failure; no settings file touched; and the same operation works again once the
// fault is gone. All on the virtual clock.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>

#include "backend/camera_session.h"
#include "tests/bus_fixture.h"
#include "tests/folder_fixture.h"

namespace zarnix::test {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

constexpr Status kInjected = kStatusArbitration;

struct CFault {
    unsigned at = 0;     // 1-based transaction of the operation
    bool vanish = false; // the camera is gone from there on; else that one fails
    std::string Describe() const
    {
        return (vanish ? "camera gone from transaction " : "fail at transaction ") + std::to_string(at);
    }
};

void Arm(CSimCamera& camera, const CFault& fault)
{
    const unsigned n = camera.TransferCount() + fault.at;
    if (!fault.vanish)
        camera.FailNthTransfer(n, kInjected);
    else if (n == 1)
        camera.SetPresent(false);
    else
        camera.DisappearAfter(n - 1);
}

void Disarm(CSimCamera& camera)
{
    camera.DisappearAfter(0);
    camera.SetPresent(true);
}

// Every transaction of a short operation; of a long one the first `head`, the
// last 32 and every 17th between: each kind of transaction comes up, at a cost
// that stays linear.
std::vector<unsigned> Points(unsigned total, unsigned head = ~0u)
{
    std::vector<unsigned> points;
    for (unsigned at = 1; at <= total; ++at)
        if (at <= head || at + 32 > total || (at - head) % 17 == 0)
            points.push_back(at);
    return points;
}

using CBench = CBusBench;

// The first failed transfer: its place in the log, its status, and the register
// its frame was about.
struct CFailure {
    std::size_t call = 0;
    Status status = 0;
    std::uint8_t bank = 0, index = 0;
    bool read = false; // a read request or its receive
};
std::optional<CFailure> FirstFailure(const CRecordingAdapter& bus)
{
    CFailure failure;
    for (std::size_t i = 0; i < bus.Log().size(); ++i) {
        const auto& r = bus.Log()[i];
        if (r.call == EAdapterCall::SendSub) {
            failure.bank = r.data.at(0);
            failure.index = r.data.at(1);
            failure.read = r.subAddress == kSubAddressRead;
        }
        const bool transfer =
            r.call == EAdapterCall::SendSub || r.call == EAdapterCall::Send || r.call == EAdapterCall::Receive;
        if (transfer && StatusOf(r.result) != kStatusOk) {
            failure.call = i;
            failure.status = StatusOf(r.result);
            return failure;
        }
    }
    return std::nullopt;
}

// An operation under the sweep. `tells` gives the message after the adapter's own
// that names the register; without it the operation goes on past a failure.
struct COperation {
    std::string name;
    std::function<CCameraResult(CBench&)> run;
    std::function<std::string(const CFailure&)> tells;
    std::function<void(CBench&, const std::string& where)> afterFault;
};

// How a transfer ended, as its caller learns it; `whole` adds what the caller
// checks of a clean end (the file, the commit).
CCameraResult Ended(const CTransferResult& result, bool whole)
{
    if (result.failed && !result.Done())
        return CCameraResult::Failure(result.failed->bank, result.failed->index, result.failedStatus);
    return {result.Done() && whole ? EOutcome::Ok : EOutcome::Stopped};
}

// Runs `op` clean, then with each fault; returns how many faults were injected.
unsigned Sweep(const COperation& op, unsigned head = ~0u)
{
    CBench clean;
    EXPECT_TRUE(op.run(clean).Ok()) << op.name;
    const unsigned total = clean.camera.TransferCount();
    unsigned injected = 0;
    for (const bool vanish : {false, true})
        for (const unsigned at : Points(total, head)) {
            const CFault fault{at, vanish};
            const std::string where = fault.Describe() + " of " + op.name;
            CBench bench;
            Arm(bench.camera, fault);
            const CCameraResult result = op.run(bench);
            ++injected;
            bench.ExpectHandlesClosed(where);
            const auto failure = FirstFailure(bench.bus);
            EXPECT_TRUE(failure) << where;
            if (failure) {
                EXPECT_EQ(std::tuple(result.outcome, result.bank, result.index, result.status),
                          std::tuple(EOutcome::Failed, failure->bank, failure->index, failure->status))
                    << where;
                char text[kMsgBufferSize];
                FormatMsg(text, "%s", StatusText(failure->status));
                if (op.tells) {
                    EXPECT_EQ(bench.messages.Texts(), (Strings{text, op.tells(*failure)})) << where;
                    // Nothing after the transaction that failed but its close.
                    EXPECT_EQ(bench.bus.Log().size(), failure->call + 2) << where;
                } else {
                    // The adapter's box for the failed frame first, and the bus traffic of a clean run.
                    EXPECT_EQ(bench.messages.Texts().at(0), text) << where;
                    EXPECT_EQ(bench.bus.Log().size(), clean.bus.Log().size()) << where;
                }
            }
            if (op.afterFault)
                op.afterFault(bench, where);
            Disarm(bench.camera);
            bench.messages.Clear();
            EXPECT_TRUE(op.run(bench).Ok()) << where << ": does not work again";
            EXPECT_EQ(bench.messages.Texts(), Strings{}) << where;
            if (::testing::Test::HasFailure())
                return injected; // one fault reported once
        }
    return injected;
}

std::string Register(const char* format, const CFailure& failure)
{
    char text[kMsgBufferSize];
    FormatMsg(text, format, failure.bank, failure.index);
    return text;
}

class TransferSweep : public FolderTest {
protected:
    std::size_t Files() const { return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), {})); }
};

TEST_F(TransferSweep, CameraToFileAndBack)
{
    const fs::path file = dir / "backup.qcs";
    const std::string earlier = "an earlier backup\r\n";
    unsigned injected = 0;
    for (const bool all : {false, true}) {
        injected += Sweep({std::string("a camera to file") + (all ? " with all blocks" : ""),
                           [&](CBench& b) {
                               std::ofstream(file, std::ios::binary) << earlier;
                               const CTransferResult result = CCameraSession(b.context, 0x70).Dump(file, all, {}, {});
                               return Ended(result, CheckSettingsFile(file).ok);
                           },
                           [](const CFailure& f) { return Register("Reading register %02x:%02x failed, no file written", f); },
                           [&](CBench&, const std::string& where) {
                               EXPECT_EQ(ReadFile(file), earlier) << where;
                               EXPECT_EQ(Files(), 1u) << where << ": a temporary file was left";
                           }},
                          512);
    }
    // A backup unlike a factory camera, so that every write changes a register.
    const fs::path source = dir / "front.qcs";
    std::vector<std::uint16_t> values(kSettingsFileValues);
    for (std::size_t n = 0; n < values.size(); ++n) // every block marked as written
        values[n] = n > 255 && n % 256 == 255 ? n / 256 : (n % 256) ^ 0x5A;
    std::ofstream(source, std::ios::binary) << FormatSettingsFile(values, source);
    const std::string contents = ReadFile(source);
    const CSettingsFileRead image = CCameraSession::ReadSettingsFile(source, {});
    for (const bool all : {false, true}) {
        injected += Sweep({std::string("a file to camera") + (all ? " with all blocks" : ""),
                           [&](CBench& b) {
                               const unsigned commits = b.camera.CommitCount();
                               CCameraSession session(b.context, 0x70);
                               const CTransferResult result = session.Load(image.image, all, {}, {});
                               return Ended(result, b.camera.CommitCount() == commits + 1);
                           },
                           [](const CFailure& f) {
                               return Register(f.read ? "Reading back register %02x:%02x failed, settings not stored"
                                                      : "Writing register %02x:%02x failed, settings not stored",
                                               f);
                           },
                           [&](CBench& b, const std::string& where) {
                               EXPECT_EQ(b.camera.CommitCount(), 0u) << where << ": committed after a failure";
                           }},
                          98);
    }
    EXPECT_EQ(ReadFile(source), contents);
    // SAVE with the camera failing or gone at each of its 66 frames: a failure, never "stored".
    std::array<std::uint16_t, kShadowSize> settings{};
    settings.fill(0x5A);
    const auto save = [&](CBench& b) { return CCameraSession(b.context, 0x70).Store(settings, {}, {}); };
    injected += Sweep({"a SAVE", save, {}, {}});
    // The live settings, all or nothing: the read mirror's register that failed, and no values.
    const auto show = [&](CBench& b) {
        const CLiveSettings live = CCameraSession(b.context, 0x70).Show({}, {});
        EXPECT_EQ(live.values[0x04], live.read.Ok() ? 0x80 : 0);
        return live.read;
    };
    const auto unread = [](const CFailure&) {
        return std::string("Camera settings not correctly read, default values displayed");
    };
    injected += Sweep({"a show", show, unread, {}});
    std::printf("injected faults: %u\n", injected);
}

} // namespace
} // namespace zarnix::test
