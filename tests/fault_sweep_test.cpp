// Every operation on the camera, with one bus fault at each of its transactions
// in turn, and separately with the camera gone from that transaction on. What
// must hold whatever the fault: no adapter handle left open; an operation that
// stops at a failure makes no bus traffic after it and tells the operator once,
// naming the register; no commit after a failure; no settings file touched; and
// the same operation works again once the fault is gone. All on the virtual clock.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>

#include "camera/camera_control.h"
#include "cli/commands.h"
#include "cli/session.h"
#include "link/adapters/recording_adapter.h"
#include "settings/transfer.h"
#include "sim/sim_camera.h"
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

struct CBench {
    CSimCamera camera;
    CVirtualClock clock;
    CRecordingMessages messages;
    CRecordingAdapter bus{camera, clock};
    CLinkContext context{bus, clock, messages};
};

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

void ExpectHandlesClosed(const CRecordingAdapter& bus, const std::string& where)
{
    EXPECT_TRUE(bus.OpenHandles().empty()) << where << ": handles left open";
    EXPECT_EQ(bus.HandleFaults(), 0u) << where;
}

// An operation under the sweep. `tells`, for one that stops at the first failure,
// gives the message after the adapter's own that names the register.
struct COperation {
    std::string name;
    std::function<bool(CBench&)> run;
    std::function<std::string(const CFailure&)> tells;
    std::function<void(CBench&, const std::string& where)> afterFault;
};

// Runs `op` clean, then with each fault; returns how many faults were injected.
unsigned Sweep(const COperation& op, unsigned head = ~0u)
{
    CBench clean;
    EXPECT_TRUE(op.run(clean)) << op.name;
    const unsigned total = clean.camera.TransferCount();
    unsigned injected = 0;
    for (const bool vanish : {false, true})
        for (const unsigned at : Points(total, head)) {
            const CFault fault{at, vanish};
            const std::string where = fault.Describe() + " of " + op.name;
            CBench bench;
            Arm(bench.camera, fault);
            const bool ok = op.run(bench);
            ++injected;
            ExpectHandlesClosed(bench.bus, where);
            const auto failure = FirstFailure(bench.bus);
            EXPECT_TRUE(failure) << where;
            if (op.tells && failure) {
                EXPECT_FALSE(ok) << where;
                char text[kMsgBufferSize];
                FormatMsg(text, "%s", StatusText(failure->status));
                EXPECT_EQ(bench.messages.Texts(), (Strings{text, op.tells(*failure)})) << where;
                // Nothing after the transaction that failed but its close.
                EXPECT_EQ(bench.bus.Log().size(), failure->call + 2) << where;
            } else {
                for (const std::string& message : bench.messages.Texts())
                    EXPECT_TRUE(message == StatusText(kInjected) || message == StatusText(kSimNoSlaveStatus) ||
                                message == StatusText(kSimOutOfOrderStatus) ||
                                message == "No valid address found, re-power cam and retry.")
                        << where << ": " << message;
            }
            if (op.afterFault)
                op.afterFault(bench, where);
            Disarm(bench.camera);
            bench.messages.Clear();
            EXPECT_TRUE(op.run(bench)) << where << ": does not work again";
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

TEST(FaultSweep, SearchReadBackAndCommands)
{
    unsigned injected = 0;
    // A camera away from its factory address: four silent probes before it answers.
    injected += Sweep({"the search",
                       [](CBench& b) {
                           b.camera.MoveCamera(0x04);
                           return SearchAddress(b.context) == 0x04;
                       },
                       {}, {}});
    injected += Sweep({"the read-back",
                       [](CBench& b) {
                           b.camera.Poke(kBankLive, 0x04, 0x9A);
                           CCameraControl camera(b.context, 0x70);
                           const bool complete = camera.ReadSettings(30);
                           // Entries after a failure were never read.
                           bool failed = false;
                           for (const std::uint8_t i : kReadBackIndexes) {
                               EXPECT_TRUE(failed || !camera.ReadWhole()[i] ||
                                           camera.Shadow()[i] == b.camera.Peek(kBankLive, i));
                               failed = failed || !camera.ReadWhole()[i];
                               if (failed && camera.Shadow()[i] != 0) {
                                   EXPECT_EQ(camera.Shadow()[i], kNotRead) << int(i);
                               }
                           }
                           return complete && camera.Shadow()[0x04] == 0x9A;
                       },
                       [](const CFailure&) { return std::string("Camera settings not correctly read, default values displayed"); },
                       {}});
    // The window's commands send the data frame even after a failed address frame;
    // the camera refuses it alone, so the register keeps its value.
    for (const auto& [command, asked, sent] : {std::tuple{ESetCommand::SetBrightness, 0x9A, 0x9A},
                                               std::tuple{ESetCommand::SetZoomFactor, 0x02, 0x08},
                                               std::tuple{ESetCommand::SetPanPosition, 0xF0, 0xCB}}) {
        const CSetCommand& info = SetCommandInfo(command);
        injected += Sweep({info.command,
                           [&](CBench& b) {
                               b.camera.Poke(kBankLive, info.index, 0x77);
                               CCameraControl(b.context, 0x70).Set(command, static_cast<std::uint16_t>(asked));
                               return b.camera.Peek(kBankLive, info.index) == sent;
                           },
                           {},
                           [&](CBench& b, const std::string& where) {
                               EXPECT_EQ(b.camera.Peek(kBankLive, info.index), 0x77) << where;
                           }});
    }
    std::printf("injected faults: %u\n", injected);
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
                               return CSettingsTransfer(b.context, 0x70).CameraToFile(file, all) ==
                                          ETransferResult::Done &&
                                      CheckSettingsFile(file).ok;
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
    {
        CBench other;
        for (std::uint8_t bank : {0xA0, 0xE0, 0xE2, 0xF0, 0xF2})
            for (unsigned k = 0; k < 256; ++k)
                other.camera.Poke(bank, static_cast<std::uint8_t>(k), static_cast<std::uint8_t>(k ^ 0x5A));
        ASSERT_EQ(CSettingsTransfer(other.context, 0x70).CameraToFile(source, true), ETransferResult::Done);
    }
    const std::string contents = ReadFile(source);
    for (const bool all : {false, true}) {
        injected += Sweep({std::string("a file to camera") + (all ? " with all blocks" : ""),
                           [&](CBench& b) {
                               const unsigned commits = b.camera.CommitCount();
                               return CSettingsTransfer(b.context, 0x70).FileToCamera(source, all) ==
                                          ETransferResult::Done &&
                                      b.camera.CommitCount() == commits + 1;
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
    std::printf("injected faults: %u\n", injected);
}

// zarnixctl save, in this process, on a copy of the test adapter library whose
// camera the test arms: a failed read-back stores nothing, a failed store misses
// only the register it was writing.
TEST_F(TransferSweep, ZarnixctlSave)
{
    const std::string library = (dir / "adapter.so").string();
    fs::copy_file(ZARNIX_TEST_ADAPTER, library);
    void* handle = ::dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << ::dlerror();
    CSimCamera& sim = *reinterpret_cast<CSimCamera* (*)()>(::dlsym(handle, "ZarnixTestAdapterCamera"))();
    const auto openHandles = reinterpret_cast<int (*)()>(::dlsym(handle, "ZarnixTestAdapterOpenHandles"));
    for (const std::uint8_t i : kStoredIndexes)
        sim.Poke(kBankLive, i, static_cast<std::uint8_t>(sim.Peek(kBankEeprom, i) ^ 0x5A));
    std::array<std::uint8_t, 256> original{};
    for (unsigned i = 0; i < 256; ++i)
        original[i] = sim.Peek(kBankEeprom, static_cast<std::uint8_t>(i));

    cli::CCliOptions options;
    options.command = "save";
    options.backend.adapterLib = library;
    options.backend.virtualClock = true;
    options.address = 0x70;
    options.yes = true;
    const auto save = [&] {
        // The tool's messages go to stderr; the camera and the exit status are what count here.
        std::fflush(stderr);
        const int saved = ::dup(STDERR_FILENO);
        ::dup2(::open("/dev/null", O_WRONLY | O_CLOEXEC), STDERR_FILENO);
        int status = cli::kExitUsage;
        {
            cli::CSession session(options);
            const cli::CCommandInfo& info = *cli::FindCommand("save");
            status = info.run(session, info);
            session.Close();
        }
        std::fflush(stderr);
        ::dup2(saved, STDERR_FILENO);
        ::close(saved);
        return status;
    };
    const unsigned reads = 2 * static_cast<unsigned>(kReadBackIndexes.size());
    const unsigned total = reads + 2 * static_cast<unsigned>(kStoredIndexes.size());
    unsigned injected = 0;
    for (const bool vanish : {false, true})
        for (unsigned at = 1; at <= total; at += vanish ? 7 : 1) {
            const CFault fault{at, vanish};
            for (unsigned i = 0; i < 256; ++i)
                sim.Poke(kBankEeprom, static_cast<std::uint8_t>(i), original[i]);
            Arm(sim, fault);
            EXPECT_EQ(save(), cli::kExitFailure) << fault.Describe();
            EXPECT_EQ(openHandles(), 0) << fault.Describe();
            // The register whose frame failed first, and (camera gone) all after it.
            const unsigned missFrom = at <= reads ? 0 : (at - reads - 1) / 2;
            for (std::size_t s = 0; s < kStoredIndexes.size(); ++s) {
                const std::uint8_t i = kStoredIndexes[s];
                const bool missed = at <= reads || s == missFrom || (vanish && s >= missFrom);
                EXPECT_EQ(sim.Peek(kBankEeprom, i), missed ? original[i] : sim.Peek(kBankLive, i))
                    << fault.Describe() << ", stored register " << int(i);
            }
            ++injected;
            Disarm(sim);
            EXPECT_EQ(save(), cli::kExitOk) << fault.Describe() << ": does not work again";
            if (::testing::Test::HasFailure())
                break;
        }
    ::dlclose(handle);
    std::printf("injected faults: %u\n", injected);
}

} // namespace
} // namespace zarnix::test
