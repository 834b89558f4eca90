// zarnix_cost: what our own code costs, apart from the protocol's pauses.
//
// The link and the command set on an adapter that answers at once (so only our
// side of each transaction is timed), the same on the simulated camera, and the
// settings file written and parsed as a full five-block image.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "bench/machine.h"
#include "camera/camera_control.h"
#include "link/clock.h"
#include "link/iic_link.h"
#include "settings/settings_file.h"
#include "sim/sim_camera.h"
#include "tests/recording_messages.h"

using namespace zarnix;

namespace {

constexpr std::uint16_t kCamera = 0x70;

// Six calls that succeed at once: the cost of a transaction on our side alone.
class CNullAdapter final : public CAdapter {
public:
    std::int32_t IICInit(std::uint32_t, std::uint32_t, std::uint32_t) override { return 1; }
    std::uint32_t SetAddress(std::int32_t, std::uint32_t) override { return kStatusOk; }
    std::uint32_t SendSub(std::int32_t, std::uint32_t, std::uint32_t, const std::uint8_t*, std::uint32_t,
                          std::uint32_t) override
    {
        return kStatusOk;
    }
    std::uint32_t Send(std::int32_t, const std::uint8_t*, std::uint32_t, std::uint32_t) override { return kStatusOk; }
    std::uint32_t Receive(std::int32_t, std::uint8_t* data, std::uint32_t, std::uint32_t length) override
    {
        for (std::uint32_t i = 0; i < length; ++i)
            data[i] = 0;
        return kStatusOk;
    }
    std::uint32_t IICClose(std::int32_t) override { return kStatusOk; }
};

// Counts seconds per transaction from the number of transactions an iteration makes.
void PerTransaction(benchmark::State& state, double transactionsPerIteration)
{
    state.counters["per_transaction"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * transactionsPerIteration,
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// An adapter with the services around it, on the virtual clock: only our own code's cost is left.
template <typename TAdapter>
struct CBenchLink {
    TAdapter adapter;
    CVirtualClock clock;
    CRecordingMessages messages;
    CLinkContext context{adapter, clock, messages};
};

template <typename TAdapter>
void BM_LinkWrite(benchmark::State& state)
{
    CBenchLink<TAdapter> bench;
    CLinkContext& context = bench.context;
    std::uint8_t index = 0;
    for (auto _ : state) {
        CIicLink link(context);
        link.WriteFrame(kCamera, kBankEeprom, index++, 0x5A);
    }
    PerTransaction(state, 2);
}

template <typename TAdapter>
void BM_LinkRead(benchmark::State& state)
{
    CBenchLink<TAdapter> bench;
    CLinkContext& context = bench.context;
    std::uint8_t index = 0;
    for (auto _ : state) {
        CIicLink link(context);
        benchmark::DoNotOptimize(link.ReadFrame(kCamera, kBankEeprom, index++));
    }
    PerTransaction(state, 2);
}

// The whole read-back of the live settings, 44 reads, less its 3.5 s of pauses.
template <typename TAdapter>
void BM_ReadSettings(benchmark::State& state)
{
    CBenchLink<TAdapter> bench;
    CLinkContext& context = bench.context;
    for (auto _ : state) {
        CCameraControl camera(context, kCamera);
        benchmark::DoNotOptimize(camera.ReadSettings(30));
    }
    PerTransaction(state, 88);
}

BENCHMARK_TEMPLATE(BM_LinkWrite, CNullAdapter);
BENCHMARK_TEMPLATE(BM_LinkRead, CNullAdapter);
BENCHMARK_TEMPLATE(BM_ReadSettings, CNullAdapter);
BENCHMARK_TEMPLATE(BM_LinkWrite, CSimCamera);
BENCHMARK_TEMPLATE(BM_LinkRead, CSimCamera);
BENCHMARK_TEMPLATE(BM_ReadSettings, CSimCamera);

std::vector<std::uint16_t> FullImage()
{
    std::vector<std::uint16_t> image(kSettingsImageSize, 0xFF);
    for (std::size_t i = 0; i < kSettingsFileValues; ++i)
        image[i] = static_cast<std::uint16_t>((i * 37u) & 0xFFu);
    for (std::size_t b = 1; b < kSettingsBlockCount; ++b)
        image[MarkerEntry(b)] = static_cast<std::uint16_t>(b);
    return image;
}

// Settings files go where TMPDIR says (the system's temporary directory otherwise),
// so the write can be timed on the disk the operator's files live on.
std::string BenchFile(const char* name)
{
    return (std::filesystem::temp_directory_path() / (std::string("zarnix_cost.") + std::to_string(getpid()) + "." + name))
        .string();
}

// The whole writer: format, temporary file, two fsyncs (file and directory), rename.
void BM_SettingsFileWrite(benchmark::State& state)
{
    const auto image = FullImage();
    const std::string path = BenchFile("write.qcs");
    CRecordingMessages messages;
    for (auto _ : state)
        if (!SaveSettingsFile(image, path, messages))
            state.SkipWithError("SaveSettingsFile failed");
    std::filesystem::remove(path);
}
BENCHMARK(BM_SettingsFileWrite)->Unit(benchmark::kMicrosecond);

// The check a transfer makes before anything of the file reaches the camera.
void BM_SettingsFileCheck(benchmark::State& state)
{
    const std::string path = BenchFile("check.qcs");
    CRecordingMessages messages;
    SaveSettingsFile(FullImage(), path, messages);
    std::vector<std::uint16_t> image(kSettingsImageSize, 0xFF);
    for (auto _ : state) {
        const CSettingsFileCheck check = CheckSettingsFile(path, image);
        if (!check.ok)
            state.SkipWithError("CheckSettingsFile refused the file");
    }
    std::filesystem::remove(path);
}
BENCHMARK(BM_SettingsFileCheck)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    benchmark::AddCustomContext("machine", bench::MachineLine());
    benchmark::AddCustomContext("load", bench::LoadLine());
    benchmark::AddCustomContext("files in", std::filesystem::temp_directory_path().string());
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
