// Every operation on the camera, with one bus fault at each of its transactions
// in turn, and separately with the camera gone from that transaction on. Each run
// is held against what the link's and the transfers' rules say the operator must
// see, with every adapter handle closed, settings files and the commit left alone
// where a failure says so, and the same operation working again once the fault
// is gone. All on the virtual clock.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <stdlib.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>

#include "camera/camera_control.h"
#include "cli/commands.h"
#include "cli/session.h"
#include "settings/transfer.h"
#include "tests/fault_model.h"

namespace zarnix::test {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

// A camera of its own for each run, behind the recorder that watches the handles.
struct CBench {
    explicit CBench(std::uint16_t address = 0x70) : camera(address) {}
    CSimCamera camera;
    CVirtualClock clock;
    CRecordingMessages messages;
    CRecordingAdapter bus{camera, clock};
    CLinkContext context{bus, clock, messages};

    // Forgets the run before, for the one after the fault.
    void Restart()
    {
        Disarm(camera);
        messages.Clear();
        bus.ClearLog();
    }
};

// What every run must leave behind, fault or not.
void ExpectRules(const CBench& bench, const CExpected& expected, const std::string& where)
{
    EXPECT_EQ(bench.messages.Texts(), expected.messages) << where;
    EXPECT_EQ(CountCalls(bench.bus, EAdapterCall::Init), expected.transactions) << where;
    EXPECT_EQ(CountCalls(bench.bus, EAdapterCall::Init), CountCalls(bench.bus, EAdapterCall::Close)) << where;
    EXPECT_TRUE(bench.bus.OpenHandles().empty()) << where << ": handles left open";
    EXPECT_EQ(bench.bus.HandleFaults(), 0u) << where;
}

// Runs `body` for every point in both modes; stops at the first run that broke a
// rule, so one fault is reported once. Returns how many faults were injected.
unsigned Sweep(const std::vector<unsigned>& points, const std::function<void(const CFault&, std::size_t)>& body)
{
    unsigned injected = 0;
    for (EFaultMode mode : {EFaultMode::Fail, EFaultMode::Vanish})
        for (std::size_t p = 0; p < points.size(); ++p) {
            ++injected;
            body(CFault{points[p], mode}, p);
            if (::testing::Test::HasFailure())
                return injected;
        }
    return injected;
}

void Report(unsigned injected)
{
    ::testing::Test::RecordProperty("injected_faults", static_cast<int>(injected));
    std::printf("injected faults: %u\n", injected);
}

// The run after a fault is checked on every `stride`-th point (odd, so that both
// halves of a frame come up) and the last one: enough to take each kind of
// transaction in both modes without doubling the long sweeps.
bool CheckRecovery(std::size_t point, std::size_t points, std::size_t stride)
{
    return point % stride == 0 || point + 1 == points;
}

// ----- address search ---------------------------------------------------------

TEST(FaultSweep, AddressSearch)
{
    unsigned injected = 0;
    // At the factory address the search is one probe and its receive; at 0x04 four
    // silent probes come first.
    for (std::uint16_t address : {std::uint16_t{0x70}, std::uint16_t{0x04}}) {
        CExpected clean(CFault{}, address);
        ASSERT_EQ(clean.Search(), address);
        injected += Sweep(SweepPoints(clean.transactions), [&](const CFault& fault, std::size_t) {
            const std::string where = Describe(fault) + " of the search for a camera at " + std::to_string(address);
            CBench bench(address);
            Arm(bench.camera, fault);
            CCameraControl control(bench.context);
            const std::uint16_t found = control.SearchAddress();
            CExpected expected(fault, address);
            EXPECT_EQ(found, expected.Search()) << where;
            ExpectRules(bench, expected, where);

            bench.Restart();
            EXPECT_EQ(CCameraControl(bench.context).SearchAddress(), address) << where;
            EXPECT_EQ(bench.messages.Texts(), Strings{}) << where;
            EXPECT_TRUE(bench.bus.OpenHandles().empty()) << where;
        });
    }
    Report(injected);
}

// ----- read-back --------------------------------------------------------------

TEST(FaultSweep, ReadBack)
{
    CExpected clean(CFault{});
    ASSERT_TRUE(clean.ReadSettings(0x70).complete);
    ASSERT_EQ(clean.transactions, 88u);
    const auto order = ReadBackOrder();
    const unsigned injected = Sweep(SweepPoints(clean.transactions), [&](const CFault& fault, std::size_t) {
        const std::string where = Describe(fault) + " of the read-back";
        CBench bench;
        bench.camera.Poke(kBankLive, 0x04, 0x9A); // not the preset of a failed receive
        Arm(bench.camera, fault);
        CCameraControl control(bench.context);
        control.m_wAddress = 0x70;
        const bool complete = control.ReadSettings(30);
        CExpected expected(fault);
        const auto readBack = expected.ReadSettings(0x70);
        EXPECT_EQ(complete, readBack.complete) << where;
        ExpectRules(bench, expected, where);
        // Entries read before the failure hold the camera's values; the one whose
        // receive failed holds what arrived (nothing: 0); the rest were never read.
        for (std::size_t r = 0; r < order.size(); ++r) {
            const std::uint8_t i = order[r];
            const bool before = readBack.complete || r < readBack.failedRead;
            const std::uint16_t value = before ? bench.camera.Peek(kBankLive, i)
                                        : r == readBack.failedRead &&
                                                  readBack.how == CExpected::ERead::ReceiveFailed
                                            ? 0
                                            : kNotRead;
            EXPECT_EQ(control.m_awShadow[i], value) << where << ", entry " << int(i);
            EXPECT_EQ(control.m_abRead[i], before) << where << ", entry " << int(i);
        }

        bench.Restart();
        CCameraControl again(bench.context);
        again.m_wAddress = 0x70;
        EXPECT_TRUE(again.ReadSettings(30)) << where;
        EXPECT_EQ(again.m_awShadow[0x04], 0x9A) << where;
        EXPECT_EQ(bench.messages.Texts(), Strings{}) << where;
    });
    Report(injected);
}

// ----- set commands -----------------------------------------------------------

TEST(FaultSweep, SetCommands)
{
    // One command of each value rule: what is asked, and what reaches the register.
    struct CCase {
        ESetCommand command;
        std::uint16_t asked;
        std::uint8_t sent;
    };
    const CCase cases[] = {
        {ESetCommand::SetBrightness, 0x9A, 0x9A},  // sent as given
        {ESetCommand::SetZoomOnOff, 0x05, 0x01},   // on/off
        {ESetCommand::SetZoomFactor, 0x02, 0x08},  // at least 8
        {ESetCommand::SetPanPosition, 0xF0, 0xCB}, // at most 0xCB
        {ESetCommand::SetOsdControl, 0x03, 0x05},  // menu switch
    };
    unsigned injected = 0;
    for (const CCase& c : cases) {
        const CSetCommand& info = SetCommandInfo(c.command);
        CExpected clean(CFault{});
        clean.Write(0x70);
        injected += Sweep(SweepPoints(clean.transactions), [&](const CFault& fault, std::size_t) {
            const std::string where = Describe(fault) + " of " + info.command;
            CBench bench;
            bench.camera.Poke(kBankLive, info.index, 0x77);
            Arm(bench.camera, fault);
            CCameraControl control(bench.context);
            control.m_wAddress = 0x70;
            control.Set(c.command, c.asked);
            CExpected expected(fault);
            expected.Write(0x70);
            ExpectRules(bench, expected, where);
            // Either half failing leaves the register as it was: a stray data byte
            // is refused by the camera, never written somewhere.
            EXPECT_EQ(bench.camera.Peek(kBankLive, info.index), 0x77) << where;

            bench.Restart();
            control.Set(c.command, c.asked);
            EXPECT_EQ(bench.camera.Peek(kBankLive, info.index), c.sent) << where;
            EXPECT_EQ(bench.messages.Texts(), Strings{}) << where;
        });
    }
    Report(injected);
}

// ----- file transfers ---------------------------------------------------------

class TransferSweep : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Thousands of runs create, replace and look for files: in memory where
        // the machine has it, so that none waits on the disk.
        char shm[] = "/dev/shm/zarnix-sweep-XXXXXX";
        char tmp[] = "/tmp/zarnix-sweep-XXXXXX";
        const char* made = ::mkdtemp(shm);
        if (!made)
            made = ::mkdtemp(tmp);
        ASSERT_NE(made, nullptr);
        dir = made;
    }
    void TearDown() override { fs::remove_all(dir); }

    static std::string Bytes(const fs::path& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::set<std::string> Listing() const
    {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir))
            names.insert(entry.path().filename().string());
        return names;
    }

    // Sweep points of a transfer with all five blocks, whose first block takes
    // `head` transactions: every one of these, and of the last 32 (the end of the
    // last block, the commit), every 17th between. Each run costs as many
    // transactions as come before its fault, so the last block whole would cost
    // more than all the rest; its kinds of transaction are all among the 32, and
    // the Eeprom-only transfers are swept whole.
    static std::vector<unsigned> Points(unsigned total, unsigned head) { return SweepPoints(total, head, 32, 17); }
    static std::size_t RecoveryStride(bool all) { return all ? 37 : 5; }

    fs::path dir;
};

TEST_F(TransferSweep, CameraToFile)
{
    const fs::path file = dir / "backup.qcs";
    const std::string previous = "an earlier backup\r\n"; // not even a settings file: only its bytes count
    unsigned injected = 0;
    for (bool all : {false, true}) {
        CExpected clean(CFault{});
        ASSERT_TRUE(clean.CameraToFile(0x70, all));
        ASSERT_EQ(clean.transactions, all ? 2560u : 512u);
        const auto points = all ? Points(clean.transactions, 512) : SweepPoints(clean.transactions);
        injected += Sweep(points, [&](const CFault& fault, std::size_t p) {
            const std::string where =
                Describe(fault) + " of a camera to file" + (all ? " with all registers" : "");
            // Half the runs find an earlier backup there, half find no file.
            const bool existing = (fault.at / 2) % 2 == 0;
            fs::remove(file);
            if (existing)
                std::ofstream(file, std::ios::binary) << previous;
            CBench bench;
            Arm(bench.camera, fault);
            CSettingsTransfer transfer(bench.context, 0x70);
            const ETransferResult result = transfer.CameraToFile(file.string(), all);
            CExpected expected(fault);
            ASSERT_FALSE(expected.CameraToFile(0x70, all));
            EXPECT_EQ(result, ETransferResult::BusFailure) << where;
            ExpectRules(bench, expected, where);
            if (existing) {
                EXPECT_TRUE(Bytes(file) == previous) << where << ": the earlier backup was touched";
                EXPECT_EQ(Listing(), std::set<std::string>{"backup.qcs"}) << where;
            } else {
                EXPECT_EQ(Listing(), std::set<std::string>{}) << where << ": a file was created";
            }

            if (!CheckRecovery(p, points.size(), RecoveryStride(all)))
                return;
            bench.Restart();
            EXPECT_EQ(CSettingsTransfer(bench.context, 0x70).CameraToFile(file.string(), all), ETransferResult::Done)
                << where;
            EXPECT_EQ(bench.messages.Texts(), Strings{}) << where;
            std::array<std::uint16_t, kSettingsImageSize> image{};
            const CSettingsFileCheck check = CheckSettingsFile(file.string(), image);
            EXPECT_TRUE(check.ok) << where << ": " << check.problem;
            EXPECT_EQ(image[0x04], bench.camera.Peek(kBankEeprom, 0x04)) << where;
        });
    }
    Report(injected);
}

TEST_F(TransferSweep, FileToCamera)
{
    // A full backup of a camera whose blocks differ from a factory camera's, so
    // every write changes a register.
    const fs::path file = dir / "front.qcs";
    {
        CBench source;
        for (std::uint8_t bank : {0xA0, 0xE0, 0xE2, 0xF0, 0xF2})
            for (unsigned k = 0; k < 256; ++k)
                source.camera.Poke(bank, static_cast<std::uint8_t>(k),
                                   static_cast<std::uint8_t>(source.camera.Peek(bank, static_cast<std::uint8_t>(k)) ^ 0x5A));
        ASSERT_EQ(CSettingsTransfer(source.context, 0x70).CameraToFile(file.string(), true), ETransferResult::Done);
    }
    const std::string contents = Bytes(file);
    const auto timeBefore = fs::last_write_time(file);

    unsigned injected = 0;
    for (bool all : {false, true}) {
        CExpected clean(CFault{});
        ASSERT_TRUE(clean.FileToCamera(0x70, all));
        ASSERT_EQ(clean.transactions, all ? 4046u : 198u);
        // The Eeprom writes are the first block.
        const auto points = all ? Points(clean.transactions, 98) : SweepPoints(clean.transactions);
        injected += Sweep(points, [&](const CFault& fault, std::size_t p) {
            const std::string where =
                Describe(fault) + " of a file to camera" + (all ? " with all registers" : "");
            CBench bench;
            Arm(bench.camera, fault);
            CSettingsTransfer transfer(bench.context, 0x70);
            const ETransferResult result = transfer.FileToCamera(file.string(), all);
            CExpected expected(fault);
            ASSERT_FALSE(expected.FileToCamera(0x70, all));
            EXPECT_EQ(result, ETransferResult::BusFailure) << where;
            ExpectRules(bench, expected, where);
            EXPECT_EQ(bench.camera.CommitCount(), 0u) << where << ": committed after a failure";
            // The commit's address frame goes out only when nothing failed before it.
            unsigned commitFrames = 0;
            for (const auto& r : bench.bus.Log())
                commitFrames += r.call == EAdapterCall::SendSub && r.subAddress == kSubAddressWrite &&
                                r.data == std::vector<std::uint8_t>{kBankControl, kCommitIndex};
            EXPECT_EQ(commitFrames, fault.at + 1 >= clean.transactions ? 1u : 0u) << where;

            if (CheckRecovery(p, points.size(), RecoveryStride(all))) {
                bench.Restart();
                EXPECT_EQ(CSettingsTransfer(bench.context, 0x70).FileToCamera(file.string(), all),
                          ETransferResult::Done)
                    << where;
                EXPECT_EQ(bench.messages.Texts(), Strings{}) << where;
                EXPECT_EQ(bench.camera.CommitCount(), 1u) << where;
            }
        });
    }
    // File to camera only ever reads its file.
    EXPECT_EQ(Bytes(file), contents);
    EXPECT_EQ(fs::last_write_time(file), timeBefore);
    EXPECT_EQ(Listing(), std::set<std::string>{"front.qcs"});
    Report(injected);
}

// ----- zarnixctl save, read and write ---------------------------------------------------------

// zarnixctl's own commands, in this process, on the test adapter library: the
// library's camera is the one this test arms, and the tool's messages are what
// it writes to stderr.
class CliSweep : public TransferSweep {
protected:
    void SetUp() override
    {
        TransferSweep::SetUp();
        // A copy of our own: its lock and its camera are this test's alone.
        library = (dir / "adapter.so").string();
        fs::copy_file(ZARNIX_TEST_ADAPTER, library);
        handle = ::dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle, nullptr) << ::dlerror();
        const auto camera = reinterpret_cast<CSimCamera* (*)()>(::dlsym(handle, "ZarnixTestAdapterCamera"));
        ASSERT_NE(camera, nullptr);
        sim = camera();
        openHandles = reinterpret_cast<int (*)()>(::dlsym(handle, "ZarnixTestAdapterOpenHandles"));
        ASSERT_NE(openHandles, nullptr);
    }
    void TearDown() override
    {
        if (handle)
            ::dlclose(handle);
        TransferSweep::TearDown();
    }

    struct CRun {
        int status = -1;
        std::string out;
        Strings err; // stderr, without the line that names the backend
    };

    // One `zarnixctl --adapter-lib LIB --address 70 --sim-clock virtual -y COMMAND
    // ARGS...`, ending as the tool's main ends it.
    CRun Run(const std::string& command, const Strings& args = {})
    {
        cli::CCliOptions options;
        options.command = command;
        options.args = args;
        options.adapterLib = library;
        options.address = 0x70;
        options.yes = true;
        options.virtualClock = true;
        const cli::CCommandInfo* info = cli::FindCommand(command);

        CRun run;
        CCapture out(STDOUT_FILENO, stdout), err(STDERR_FILENO, stderr);
        {
            cli::CSession session(options);
            run.status = info->run(session, *info);
            if (run.status == cli::kExitOk && session.Messages().Count() != 0)
                run.status = cli::kExitFailure;
            if (!session.Close() && run.status == cli::kExitOk)
                run.status = cli::kExitFailure;
        }
        run.out = out.End();
        std::istringstream lines(err.End());
        for (std::string line; std::getline(lines, line);)
            if (line.rfind("zarnixctl: using ", 0) != 0)
                run.err.push_back(line);
        return run;
    }

    // Takes over one of the tool's output streams for a run; in memory, since a
    // file truncated for every run may wait on the disk.
    class CCapture {
    public:
        CCapture(int fd, FILE* stream) : m_fd(fd), m_stream(stream)
        {
            std::fflush(m_stream);
            m_saved = ::dup(m_fd);
            m_memory = ::memfd_create("zarnixctl-output", 0);
            ::dup2(m_memory, m_fd);
        }
        std::string End()
        {
            std::fflush(m_stream);
            ::dup2(m_saved, m_fd);
            ::close(m_saved);
            std::string text;
            char chunk[4096];
            ::lseek(m_memory, 0, SEEK_SET);
            for (ssize_t n; (n = ::read(m_memory, chunk, sizeof chunk)) > 0;)
                text.append(chunk, static_cast<std::size_t>(n));
            ::close(m_memory);
            return text;
        }

    private:
        int m_fd;
        FILE* m_stream;
        int m_saved = -1;
        int m_memory = -1;
    };

    std::string library;
    void* handle = nullptr;
    CSimCamera* sim = nullptr;
    int (*openHandles)() = nullptr; // IICInit calls not yet closed
};

TEST_F(CliSweep, SaveStoresNothingAfterAFailedReadBack)
{
    const auto stored = StoreOrder();
    // Live settings unlike the stored ones, so a register stored shows.
    std::array<std::uint8_t, 256> original{};
    for (unsigned i = 0; i < 256; ++i)
        original[i] = sim->Peek(kBankEeprom, static_cast<std::uint8_t>(i));
    for (std::uint8_t i : stored)
        sim->Poke(kBankLive, i, static_cast<std::uint8_t>(original[i] ^ 0x5A));
    const auto storedNow = [&](std::uint8_t i) { return sim->Peek(kBankEeprom, i); };

    CExpected clean(CFault{});
    clean.ReadSettings(0x70);
    const unsigned reads = clean.transactions;
    clean.StoreSettings(0x70);
    ASSERT_EQ(clean.transactions, 88u + 66u);

    const unsigned injected = Sweep(SweepPoints(clean.transactions), [&](const CFault& fault, std::size_t) {
        const std::string where = Describe(fault) + " of zarnixctl save";
        for (unsigned i = 0; i < 256; ++i)
            sim->Poke(kBankEeprom, static_cast<std::uint8_t>(i), original[i]);
        const unsigned before = sim->TransferCount();
        Arm(*sim, fault);
        const CRun run = Run("save");
        CExpected expected(fault);
        Strings messages;
        if (!expected.ReadSettings(0x70).complete) {
            messages = expected.messages;
            messages.push_back("Error: the live settings could not be read back; nothing was stored");
        } else {
            expected.StoreSettings(0x70);
            messages = expected.messages;
        }
        EXPECT_EQ(run.status, cli::kExitFailure) << where;
        EXPECT_EQ(run.err, messages) << where;
        EXPECT_EQ(sim->TransferCount() - before, expected.transactions) << where;
        EXPECT_EQ(openHandles(), 0) << where << ": handles left open";
        // After a failed read-back nothing is stored; else a register is stored
        // when neither of its two transactions failed.
        for (std::size_t s = 0; s < stored.size(); ++s) {
            const bool failed = fault.at <= reads || StoreMissed(fault, reads, s);
            const std::uint8_t i = stored[s];
            EXPECT_EQ(storedNow(i), failed ? original[i] : sim->Peek(kBankLive, i))
                << where << ", stored register " << int(i);
        }

        Disarm(*sim);
        const CRun again = Run("save");
        EXPECT_EQ(again.status, cli::kExitOk) << where;
        EXPECT_EQ(again.err, Strings{}) << where;
        EXPECT_EQ(openHandles(), 0) << where << ": handles left open";
        for (std::uint8_t i : stored)
            EXPECT_EQ(storedNow(i), sim->Peek(kBankLive, i)) << where << ", stored register " << int(i);
    });
    Report(injected);
}

TEST_F(CliSweep, ReadWriteAndSet)
{
    unsigned injected = Sweep(SweepPoints(2), [&](const CFault& fault, std::size_t) {
        const std::string where = Describe(fault) + " of zarnixctl read a0 04";
        sim->Poke(kBankEeprom, 0x04, 0x9A);
        const unsigned before = sim->TransferCount();
        Arm(*sim, fault);
        const CRun run = Run("read", {"a0", "04"});
        CExpected expected(fault);
        expected.Read(0x70);
        EXPECT_EQ(run.status, cli::kExitFailure) << where;
        EXPECT_EQ(run.out, "") << where << ": a failed read printed a value";
        EXPECT_EQ(run.err, expected.messages) << where;
        EXPECT_EQ(sim->TransferCount() - before, expected.transactions) << where;
        EXPECT_EQ(openHandles(), 0) << where << ": handles left open";

        Disarm(*sim);
        const CRun again = Run("read", {"a0", "04"});
        EXPECT_EQ(again.status, cli::kExitOk) << where;
        EXPECT_EQ(again.out, "9a\n") << where;
        EXPECT_EQ(again.err, Strings{}) << where;
    });
    injected += Sweep(SweepPoints(2), [&](const CFault& fault, std::size_t) {
        const std::string where = Describe(fault) + " of zarnixctl write a0 04 33";
        sim->Poke(kBankEeprom, 0x04, 0x11);
        const unsigned before = sim->TransferCount();
        Arm(*sim, fault);
        const CRun run = Run("write", {"a0", "04", "33"});
        // The tool's write sends no data byte after a failed address frame.
        CExpected expected(fault);
        expected.WriteChecked(0x70);
        EXPECT_EQ(run.status, cli::kExitFailure) << where;
        EXPECT_EQ(run.err, expected.messages) << where;
        EXPECT_EQ(sim->TransferCount() - before, expected.transactions) << where;
        EXPECT_EQ(sim->Peek(kBankEeprom, 0x04), 0x11) << where;
        EXPECT_EQ(openHandles(), 0) << where << ": handles left open";

        Disarm(*sim);
        const CRun again = Run("write", {"a0", "04", "33"});
        EXPECT_EQ(again.status, cli::kExitOk) << where;
        EXPECT_EQ(again.err, Strings{}) << where;
        EXPECT_EQ(sim->Peek(kBankEeprom, 0x04), 0x33) << where;
    });
    injected += Sweep(SweepPoints(2), [&](const CFault& fault, std::size_t) {
        const std::string where = Describe(fault) + " of zarnixctl set zoom-factor 2";
        sim->Poke(kBankLive, 0x2A, 0x77);
        const unsigned before = sim->TransferCount();
        Arm(*sim, fault);
        const CRun run = Run("set", {"zoom-factor", "2"});
        // Unlike the window's handlers, the tool's set sends no lone data byte.
        CExpected expected(fault);
        expected.WriteChecked(0x70);
        Strings messages{"zoom-factor takes 8-255: sending 08 for 02"};
        messages.insert(messages.end(), expected.messages.begin(), expected.messages.end());
        EXPECT_EQ(run.status, cli::kExitFailure) << where;
        EXPECT_EQ(run.err, messages) << where;
        EXPECT_EQ(sim->TransferCount() - before, expected.transactions) << where;
        EXPECT_EQ(sim->Peek(kBankLive, 0x2A), 0x77) << where;
        EXPECT_EQ(openHandles(), 0) << where << ": handles left open";

        Disarm(*sim);
        const CRun again = Run("set", {"zoom-factor", "2"});
        EXPECT_EQ(again.status, cli::kExitOk) << where;
        EXPECT_EQ(again.err, Strings{messages.front()}) << where;
        EXPECT_EQ(sim->Peek(kBankLive, 0x2A), 0x08) << where;
    });
    Report(injected);
}

} // namespace
} // namespace zarnix::test
