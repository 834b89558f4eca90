// zarnix_timing: how closely the real clock keeps the camera protocol's pauses.
//
// Each operation runs once on the virtual clock, which gives the pauses the
// protocol asks for, and then on the real clock against the simulated camera,
// with every pause and every adapter call stamped on CLOCK_MONOTONIC. A pause may
// run long (the scheduler wakes us late) but must never run short; the time
// between adapter calls that is not pause is our own work per transaction.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

#include "bench/machine.h"
#include "camera/camera_control.h"
#include "link/clock.h"
#include "link/context.h"
#include "link/messages.h"
#include "settings/transfer.h"
#include "sim/sim_camera.h"
#include "tests/recording_messages.h"

using namespace zarnix;
using zarnix::bench::Median;
using zarnix::bench::MonotonicNs;

namespace {

constexpr std::uint16_t kCamera = 0x70;
constexpr std::uint16_t kComDelay = 30;

struct CPauseSample {
    unsigned ms;
    std::int64_t begin;
    std::int64_t end;
};

struct CCallSample {
    std::int64_t begin;
    std::int64_t end;
};

// Room for the longest operation (a full file to camera makes about 14 000
// calls), so that recording never allocates while the clock runs.
constexpr std::size_t kSampleRoom = 1 << 15;

// Stamps each pause around the clock underneath; the pause's own deadline is
// taken inside, after the first stamp, so a measured pause is never flattered.
class CTimedClock final : public CClock {
public:
    CTimedClock(CClock& inner, std::vector<CPauseSample>& samples) : m_inner(inner), m_samples(samples) {}
    Micros Now() const override { return m_inner.Now(); }
    void Pause(unsigned ms) override
    {
        const std::int64_t begin = MonotonicNs();
        m_inner.Pause(ms);
        m_samples.push_back({ms, begin, MonotonicNs()});
    }

private:
    CClock& m_inner;
    std::vector<CPauseSample>& m_samples;
};

// Stamps each adapter call, begin and end.
class CTimedAdapter final : public CForwardingAdapter {
public:
    CTimedAdapter(CAdapter& inner, std::vector<CCallSample>& samples) : CForwardingAdapter(inner), m_samples(samples)
    {
    }
    std::int32_t IICInit(std::uint32_t address, std::uint32_t speed, std::uint32_t timeout) override
    {
        const std::int64_t begin = MonotonicNs();
        const std::int32_t handle = m_inner.IICInit(address, speed, timeout);
        m_samples.push_back({begin, MonotonicNs()});
        return handle;
    }
    std::uint32_t SetAddress(std::int32_t handle, std::uint32_t address) override
    {
        return Timed([&] { return m_inner.SetAddress(handle, address); });
    }
    std::uint32_t SendSub(std::int32_t handle, std::uint32_t flags, std::uint32_t subAddress,
                          const std::uint8_t* data, std::uint32_t length, std::uint32_t stop) override
    {
        return Timed([&] { return m_inner.SendSub(handle, flags, subAddress, data, length, stop); });
    }
    std::uint32_t Send(std::int32_t handle, const std::uint8_t* data, std::uint32_t flags,
                       std::uint32_t length) override
    {
        return Timed([&] { return m_inner.Send(handle, data, flags, length); });
    }
    std::uint32_t Receive(std::int32_t handle, std::uint8_t* data, std::uint32_t flags,
                          std::uint32_t length) override
    {
        return Timed([&] { return m_inner.Receive(handle, data, flags, length); });
    }
    std::uint32_t IICClose(std::int32_t handle) override
    {
        return Timed([&] { return m_inner.IICClose(handle); });
    }

private:
    template <typename F>
    std::uint32_t Timed(F call)
    {
        const std::int64_t begin = MonotonicNs();
        const std::uint32_t status = call();
        m_samples.push_back({begin, MonotonicNs()});
        return status;
    }

    std::vector<CCallSample>& m_samples;
};

struct CFiles {
    std::string source; // a full settings file, all five blocks with their markers
    std::string target; // where camera to file writes
};

// One operation as the window or zarnixctl runs it; false when it did not succeed.
using COperationRun = std::function<bool(CSimCamera&, CLinkContext&, const CFiles&)>;

struct COperation {
    const char* name;
    bool longOne; // skipped by --quick
    COperationRun run;
};

bool ReadBack(CSimCamera&, CLinkContext& context, const CFiles&)
{
    CCameraControl camera(context, kCamera);
    return camera.ReadSettings(kComDelay).Ok();
}

bool Save(CSimCamera& sim, CLinkContext& context, const CFiles&)
{
    // SAVE stores what the window last read back; take the camera's own live values.
    std::array<std::uint16_t, kShadowSize> live{};
    for (std::size_t i = 0; i < kShadowSize; ++i)
        live[i] = sim.Peek(kBankLive, static_cast<std::uint8_t>(i));
    return CCameraControl(context, kCamera).StoreSettings(live).Ok();
}

COperationRun CameraToFile(bool allRegisters)
{
    return [allRegisters](CSimCamera&, CLinkContext& context, const CFiles& files) {
        return CSettingsTransfer(context, kCamera).CameraToFile(files.target, allRegisters) ==
               ETransferResult::Done;
    };
}

COperationRun FileToCamera(bool allRegisters)
{
    return [allRegisters](CSimCamera&, CLinkContext& context, const CFiles& files) {
        return CSettingsTransfer(context, kCamera).FileToCamera(files.source, allRegisters) ==
               ETransferResult::Done;
    };
}

// verify of the camera the source file came from: every register it compares matches.
COperationRun Verify(bool allRegisters)
{
    return [allRegisters](CSimCamera&, CLinkContext& context, const CFiles& files) {
        std::vector<std::uint16_t> image(kSettingsImageSize);
        std::vector<CDifference> differences;
        return CheckSettingsFile(files.source, image).ok &&
               CSettingsTransfer(context, kCamera).Verify(image, allRegisters, differences) == ETransferResult::Done &&
               differences.empty();
    };
}

// verify reads only what it compares: for the Eeprom block at most this share of a dump's time.
constexpr const char* kVerifyShort = "verify, Eeprom only";
constexpr const char* kDumpShort = "Camera to File, Eeprom only";
constexpr double kVerifyShareTarget = 0.25;

const COperation kOperations[] = {
    {"read-back", false, ReadBack},
    {"SAVE", false, Save},
    {"Camera to File, Eeprom only", false, CameraToFile(false)},
    {"Camera to File, all registers", true, CameraToFile(true)},
    {"File to camera, Eeprom only", false, FileToCamera(false)},
    {"File to camera, all blocks", true, FileToCamera(true)},
    {kVerifyShort, false, Verify(false)},
    {"verify, all blocks", true, Verify(true)},
};

struct CRunFigures {
    double wallS = 0;
    double mandatedS = 0;   // from the virtual clock
    double askedS = 0;      // the pauses the real run asked for; must equal mandatedS
    std::size_t pauses = 0;
    double excessMinUs = 0; // of a single pause over what it asked for
    double excessMeanUs = 0;
    double excessMedianUs = 0; // the typical pause, apart from the few the scheduler held up
    double excessMaxUs = 0;
    std::size_t calls = 0;
    double gapWorkMeanUs = 0; // between two adapter calls, what is not pause
    double gapWorkMaxUs = 0;
    double Ratio() const { return mandatedS > 0 ? wallS / mandatedS : 0; }
};

// Between the end of one adapter call and the start of the next, less the pauses
// taken in that gap: the link's, the command's and the transfer's own work.
void GapWork(const std::vector<CCallSample>& calls, const std::vector<CPauseSample>& pauses, CRunFigures& figures)
{
    std::size_t p = 0;
    double sum = 0;
    double max = 0;
    std::size_t gaps = 0;
    for (std::size_t i = 1; i < calls.size(); ++i) {
        const std::int64_t from = calls[i - 1].end;
        const std::int64_t to = calls[i].begin;
        std::int64_t paused = 0;
        while (p < pauses.size() && pauses[p].end <= to) {
            if (pauses[p].begin >= from)
                paused += pauses[p].end - pauses[p].begin;
            ++p;
        }
        const double workUs = static_cast<double>(to - from - paused) / 1000.0;
        sum += workUs;
        max = std::max(max, workUs);
        ++gaps;
    }
    figures.gapWorkMeanUs = gaps ? sum / static_cast<double>(gaps) : 0;
    figures.gapWorkMaxUs = max;
}

bool RunOnce(const COperation& operation, const CFiles& files, CRunFigures& figures)
{
    {
        CSimCamera sim(kCamera);
        CVirtualClock clock;
        CRecordingMessages messages;
        CLinkContext context{sim, clock, messages};
        if (!operation.run(sim, context, files) || !messages.Texts().empty()) {
            std::fprintf(stderr, "zarnix_timing: %s failed on the virtual clock%s%s\n", operation.name,
                         messages.Texts().empty() ? "" : ": ",
                         messages.Texts().empty() ? "" : messages.Texts().front().c_str());
            return false;
        }
        figures.mandatedS = static_cast<double>(clock.Now().count()) / 1e6;
    }

    std::vector<CPauseSample> pauses;
    std::vector<CCallSample> calls;
    pauses.reserve(kSampleRoom);
    calls.reserve(kSampleRoom);
    CSimCamera sim(kCamera);
    CRealClock real;
    CTimedClock clock(real, pauses);
    CTimedAdapter adapter(sim, calls);
    CRecordingMessages messages;
    CLinkContext context{adapter, clock, messages};
    const std::int64_t begin = MonotonicNs();
    const bool ok = operation.run(sim, context, files);
    const std::int64_t end = MonotonicNs();
    if (!ok || !messages.Texts().empty()) {
        std::fprintf(stderr, "zarnix_timing: %s failed on the real clock\n", operation.name);
        return false;
    }

    figures.wallS = static_cast<double>(end - begin) / 1e9;
    figures.pauses = pauses.size();
    figures.calls = calls.size();
    std::int64_t askedMs = 0;
    double excessSum = 0;
    figures.excessMinUs = pauses.empty() ? 0 : 1e12;
    figures.excessMaxUs = 0;
    std::vector<double> excesses;
    for (const auto& pause : pauses) {
        askedMs += pause.ms;
        const double excessUs = static_cast<double>(pause.end - pause.begin - std::int64_t{pause.ms} * 1000000) / 1e3;
        excesses.push_back(excessUs);
        excessSum += excessUs;
        figures.excessMinUs = std::min(figures.excessMinUs, excessUs);
        figures.excessMaxUs = std::max(figures.excessMaxUs, excessUs);
    }
    figures.askedS = static_cast<double>(askedMs) / 1e3;
    figures.excessMeanUs = pauses.empty() ? 0 : excessSum / static_cast<double>(pauses.size());
    figures.excessMedianUs = Median(excesses);
    GapWork(calls, pauses, figures);
    return true;
}

bool MakeSourceFile(const CFiles& files)
{
    CSimCamera sim(kCamera);
    CVirtualClock clock;
    CRecordingMessages messages;
    CLinkContext context{sim, clock, messages};
    return CSettingsTransfer(context, kCamera).CameraToFile(files.source, true) == ETransferResult::Done;
}

// What the real clock left the main thread's timer slack at (the kernel's default is 50 000 ns).
std::string TimerSlack()
{
    std::ifstream slack("/proc/self/timerslack_ns");
    std::string ns;
    slack >> ns;
    return ns.empty() ? "unknown" : ns;
}

void Usage()
{
    std::fputs("Usage: zarnix_timing [--quick] [--runs N] [--only NAME]\n"
               "Runs the camera operations on the real clock against the simulated camera and\n"
               "prints how closely their pauses keep what the protocol asks for.\n"
               "  --quick     leave out the long ones (all registers, all blocks)\n"
               "  --runs N    runs of each operation; figures are medians (default 3)\n"
               "  --only NAME only the operations whose name contains NAME\n",
               stderr);
}

} // namespace

int main(int argc, char** argv)
{
    bool quick = false;
    int runs = 3;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--quick") {
            quick = true;
        } else if (arg == "--runs" && i + 1 < argc) {
            runs = std::atoi(argv[++i]);
        } else if (arg == "--only" && i + 1 < argc) {
            only = argv[++i];
        } else {
            Usage();
            return arg == "--help" ? 0 : 2;
        }
    }
    if (runs < 1) {
        Usage();
        return 2;
    }

    const auto dir = std::filesystem::temp_directory_path() / ("zarnix_timing." + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const CFiles files{(dir / "source.qcs").string(), (dir / "target.qcs").string()};
    if (!MakeSourceFile(files)) {
        std::fprintf(stderr, "zarnix_timing: could not write %s\n", files.source.c_str());
        return 1;
    }

    std::printf("Timing fidelity: real clock, simulated camera, median of %d run%s\n", runs, runs == 1 ? "" : "s");
    std::printf("machine: %s; load before: %s\n", bench::MachineLine().c_str(), bench::LoadLine().c_str());
    std::printf("%-31s %9s %10s %8s %6s %28s %8s %16s\n", "", "", "", "", "", "pause excess us", "", "gap work us");
    std::printf("%-31s %9s %10s %8s %6s %7s %6s %6s %6s %8s %7s %8s\n", "operation", "wall s", "mandated s", "ratio",
                "pauses", "min", "median", "mean", "max", "calls", "mean", "max");

    bool ratioMet = true;
    bool neverShort = true;
    bool ok = true;
    double worstRatio = 0;
    double shortest = 1e12;
    std::map<std::string, double> wall; // median wall time of each operation run
    for (const auto& operation : kOperations) {
        if ((quick && operation.longOne) || (!only.empty() && std::strstr(operation.name, only.c_str()) == nullptr))
            continue;
        std::vector<CRunFigures> all;
        for (int r = 0; r < runs; ++r) {
            CRunFigures figures;
            if (!RunOnce(operation, files, figures)) {
                ok = false;
                break;
            }
            if (figures.askedS != figures.mandatedS) {
                std::fprintf(stderr, "zarnix_timing: %s asked for %.3f s of pauses on the real clock, %.3f s on the "
                                     "virtual one\n",
                             operation.name, figures.askedS, figures.mandatedS);
                ok = false;
            }
            all.push_back(figures);
        }
        if (all.size() != static_cast<std::size_t>(runs))
            continue;
        auto median = [&all](auto field) {
            std::vector<double> values;
            for (const auto& f : all)
                values.push_back(static_cast<double>(field(f)));
            return Median(values);
        };
        double minExcess = 1e12;
        for (const auto& f : all)
            minExcess = std::min(minExcess, f.excessMinUs);
        const double ratio = median([](const CRunFigures& f) { return f.Ratio(); });
        worstRatio = std::max(worstRatio, ratio);
        shortest = std::min(shortest, minExcess);
        ratioMet = ratioMet && ratio <= 1.005;
        neverShort = neverShort && minExcess >= 0;
        wall[operation.name] = median([](const CRunFigures& f) { return f.wallS; });
        std::printf("%-31s %9.3f %10.3f %8.5f %6zu %7.1f %6.1f %6.1f %6.0f %8zu %7.2f %8.1f\n", operation.name,
                    wall[operation.name], all.front().mandatedS, ratio,
                    all.front().pauses, minExcess, median([](const CRunFigures& f) { return f.excessMedianUs; }),
                    median([](const CRunFigures& f) { return f.excessMeanUs; }),
                    median([](const CRunFigures& f) { return f.excessMaxUs; }), all.front().calls,
                    median([](const CRunFigures& f) { return f.gapWorkMeanUs; }),
                    median([](const CRunFigures& f) { return f.gapWorkMaxUs; }));
        std::fflush(stdout);
    }
    std::printf("load after: %s; timer slack of the pausing thread: %s ns\n", bench::LoadLine().c_str(),
                TimerSlack().c_str());
    std::printf("pause excess min: the shortest over all runs; the other figures are medians of the runs.\n"
                "gap work: from the end of one adapter call to the start of the next, less the pauses between.\n");
    std::printf("target wall/mandated <= 1.005: %s (worst %.5f); no pause shorter than asked: %s (shortest +%.1f us)\n",
                ratioMet ? "met" : "MISSED", worstRatio, neverShort ? "met" : "MISSED", shortest);
    if (wall.count(kVerifyShort) && wall.count(kDumpShort)) {
        const double share = wall[kVerifyShort] / wall[kDumpShort];
        std::printf("target %s <= %.2f x %s: %s (%.3f)\n", kVerifyShort, kVerifyShareTarget, kDumpShort,
                    share <= kVerifyShareTarget ? "met" : "MISSED", share);
        ok = ok && share <= kVerifyShareTarget;
    }
    std::filesystem::remove_all(dir);
    return ok ? 0 : 1;
}
