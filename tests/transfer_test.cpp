// Transfers between the simulated camera and settings files, on the virtual clock.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "link/adapters/recording_adapter.h"
#include "settings/transfer.h"
#include "sim/sim_camera.h"

namespace zarnix::test {
namespace {

using Strings = std::vector<std::string>;
namespace fs = std::filesystem;

// Lets one register keep a different byte than the one written to it, as a
// camera with a stuck cell would.
class CCorruptingAdapter final : public CAdapter {
public:
    explicit CCorruptingAdapter(CAdapter& inner) : m_inner(inner) {}
    int bank = -1, index = -1;

    std::int32_t IICInit(std::uint32_t a, std::uint32_t s, std::uint32_t t) override { return m_inner.IICInit(a, s, t); }
    std::uint32_t SetAddress(std::int32_t h, std::uint32_t a) override { return m_inner.SetAddress(h, a); }
    std::uint32_t SendSub(std::int32_t h, std::uint32_t f, std::uint32_t sub, const std::uint8_t* d, std::uint32_t n,
                          std::uint32_t stop) override
    {
        m_target = sub == 0 && n == 2 && d[0] == bank && d[1] == index;
        return m_inner.SendSub(h, f, sub, d, n, stop);
    }
    std::uint32_t Send(std::int32_t h, const std::uint8_t* d, std::uint32_t f, std::uint32_t n) override
    {
        const std::uint8_t byte = m_target ? d[0] ^ 0x01 : d[0];
        return m_inner.Send(h, &byte, f, n);
    }
    std::uint32_t Receive(std::int32_t h, std::uint8_t* d, std::uint32_t f, std::uint32_t n) override
    {
        return m_inner.Receive(h, d, f, n);
    }
    std::uint32_t IICClose(std::int32_t h) override { return m_inner.IICClose(h); }

private:
    CAdapter& m_inner;
    bool m_target = false;
};

class TransferTest : public ::testing::Test {
protected:
    CSimCamera camera;
    CCorruptingAdapter corrupting{camera};
    CVirtualClock clock;
    CRecordingMessages messages;
    CRecordingAdapter bus{corrupting, clock};
    CLinkContext context{bus, clock, messages};
    unsigned steps = 0;
    CSettingsTransfer transfer{context, 0x70, [this] { ++steps; }};
    fs::path dir;

    void SetUp() override
    {
        char pattern[] = "/tmp/zarnix-transfer-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override
    {
        fs::remove_all(dir);
        EXPECT_TRUE(bus.OpenHandles().empty());
        EXPECT_EQ(bus.HandleFaults(), 0u);
    }
    std::string File(const char* name) const { return (dir / name).string(); }

    // bank:index of every register frame, reads as "r", writes as "w", in bus order.
    Strings Frames() const
    {
        Strings out;
        for (const auto& r : bus.Log())
            if (r.call == EAdapterCall::SendSub) {
                char text[16];
                std::snprintf(text, sizeof text, "%c %02x:%02x", r.subAddress ? 'r' : 'w', r.data[0], r.data[1]);
                out.push_back(text);
            }
        return out;
    }
    static void Append(Strings& out, char kind, std::uint8_t bank, unsigned first, unsigned last)
    {
        for (unsigned k = first; k <= last; ++k) {
            char text[16];
            std::snprintf(text, sizeof text, "%c %02x:%02x", kind, bank, k);
            out.push_back(text);
        }
    }
    std::vector<std::uint16_t> Load(const std::string& path)
    {
        std::vector<std::uint16_t> image(kSettingsImageSize, 0xABCD);
        CRecordingMessages quiet;
        EXPECT_EQ(LoadSettingsFile(image, path, quiet).values, kSettingsFileValues);
        return image;
    }
    // A file written by a camera to file from a camera whose blocks are shifted by `salt`.
    std::string BackupOf(std::uint8_t salt, bool all)
    {
        CSimCamera source;
        for (std::uint8_t bank : {0xA0, 0xE0, 0xE2, 0xF0, 0xF2})
            for (unsigned k = 0; k < 256; ++k)
                source.Poke(bank, k, static_cast<std::uint8_t>(source.Peek(bank, k) + salt));
        CVirtualClock c;
        CRecordingMessages m;
        CLinkContext other{source, c, m};
        const std::string path = File(all ? "all.qcs" : "eeprom.qcs");
        EXPECT_EQ(CSettingsTransfer(other, 0x70).CameraToFile(path, all), ETransferResult::Done);
        return path;
    }
};

TEST_F(TransferTest, CameraToFileReadsTheBlocksAndMarksThem)
{
    for (const bool all : {false, true}) {
        SCOPED_TRACE(all);
        bus.ClearLog();
        steps = 0;
        const Micros start = clock.Now();
        const std::string path = File("backup.qcs");
        EXPECT_EQ(transfer.CameraToFile(path, all), ETransferResult::Done);

        Strings expected;
        Append(expected, 'r', 0xA0, 0x00, 0xFF);
        if (all)
            for (std::uint8_t bank : {0xE0, 0xE2, 0xF0, 0xF2})
                Append(expected, 'r', bank, 0x00, 0xFF);
        EXPECT_EQ(Frames(), expected);
        EXPECT_EQ(steps, all ? 472u : 128u);
        EXPECT_EQ(steps, CameraToFileSteps(all));
        // Only the 40 ms inside each read: no pause is added.
        EXPECT_EQ(clock.Now() - start, Micros(expected.size() * 40 * 1000));

        const auto image = Load(path);
        const std::uint8_t banks[] = {0xA0, 0xE0, 0xE2, 0xF0, 0xF2};
        for (std::size_t b = 0; b < 5; ++b)
            for (unsigned k = 0; k < 256; ++k) {
                std::uint16_t want = b == 0 || all ? camera.Peek(banks[b], k) : 0xFF;
                if (b > 0 && k == 255 && all)
                    want = static_cast<std::uint16_t>(b); // the marker in place of index 0xFF
                ASSERT_EQ(image[b * 256 + k], want) << b << ":" << k;
            }
        EXPECT_EQ(image[1280], 0xABCD);
    }
    EXPECT_TRUE(messages.Texts().empty());
}

TEST_F(TransferTest, FileToCameraWritesChecksAndCommits)
{
    const std::string path = BackupOf(0x11, true);
    EXPECT_EQ(transfer.FileToCamera(path, true), ETransferResult::Done);

    Strings expected;
    Append(expected, 'w', 0xA0, 0x00, 0x30);
    for (std::uint8_t bank : {0xE0, 0xE2, 0xF0, 0xF2})
        Append(expected, 'w', bank, 0x00, 0xFE);
    Append(expected, 'r', 0xA0, 0x00, 0x30);
    Append(expected, 'r', 0xE0, 0x00, 0xAC);
    Append(expected, 'r', 0xE2, 0x00, 0xDC);
    Append(expected, 'r', 0xF0, 0x00, 0xFE);
    Append(expected, 'r', 0xF2, 0x00, 0xFE);
    expected.push_back("w 88:13");
    EXPECT_EQ(Frames(), expected);
    EXPECT_EQ(camera.CommitCount(), 1u);
    EXPECT_EQ(steps, 17u + 4 * 85 + 5 + 17 + 22 + 26 + 25);
    EXPECT_EQ(steps, FileToCameraSteps({true, true, true, true, true}));

    // 1069 writes of 10 + 50 ms, block pauses 4 x 50 + 100, 953 reads of 40 + 5 ms, the commit.
    EXPECT_EQ(clock.Now(), Micros((1069 * 60 + 4 * 50 + 100 + 953 * 45 + 10) * 1000));
    const auto image = Load(path);
    EXPECT_EQ(camera.Peek(0xE2, 0x10), image[2 * 256 + 0x10]);
    EXPECT_EQ(camera.Peek(0xE2, 0xFF), CSimCamera().Peek(0xE2, 0xFF)); // the marker's index is not written
    EXPECT_TRUE(messages.Texts().empty());
}

TEST_F(TransferTest, FileToCameraWritesOnlyTheEepromUnlessAllAndMarked)
{
    const struct {
        bool fileHasAll;
        bool all;
    } cases[] = {{true, false}, {false, true}, {false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.fileHasAll << c.all);
        bus.ClearLog();
        steps = 0;
        EXPECT_EQ(transfer.FileToCamera(BackupOf(0x22, c.fileHasAll), c.all), ETransferResult::Done);
        Strings expected;
        Append(expected, 'w', 0xA0, 0x00, 0x30);
        Append(expected, 'r', 0xA0, 0x00, 0x30);
        expected.push_back("w 88:13");
        EXPECT_EQ(Frames(), expected);
        EXPECT_EQ(steps, 22u);
    }
}

TEST_F(TransferTest, MismatchNamesTheRegisterAndSendsNoCommit)
{
    const struct {
        int bank, index;
        const char* text;
    } cases[] = {{0xA0, 0x30, "Error Settings not stored: 1030"},
                 {0xE2, 0x10, "Error Settings not stored: 210"},
                 {0xA0, 0x05, "Error Settings not stored: 1005"},
                 {0xE0, 0xA3, "Error Settings not stored: 1a3"}};
    const std::string path = BackupOf(0x33, true);
    for (const auto& c : cases) {
        messages.Clear();
        bus.ClearLog();
        corrupting.bank = c.bank;
        corrupting.index = c.index;
        EXPECT_EQ(transfer.FileToCamera(path, true), ETransferResult::Mismatch);
        EXPECT_EQ(messages.Texts(), Strings{c.text});
        char last[16];
        std::snprintf(last, sizeof last, "r %02x:%02x", c.bank, c.index);
        EXPECT_EQ(Frames().back(), last); // nothing is read after the mismatch
    }
    EXPECT_EQ(camera.CommitCount(), 0u);
}

TEST_F(TransferTest, FileToCameraRefusesABadFileBeforeTouchingTheCamera)
{
    std::ofstream(File("short.qcs")) << "//Settings file: short\r\n00 01 02\r\n";
    std::string text;
    for (int i = 0; i < 1280; ++i)
        text += i == 300 ? "0G " : "00 ";
    std::ofstream(File("stray.qcs")) << text;
    for (const char* name : {"missing.qcs", "short.qcs", "stray.qcs"}) {
        SCOPED_TRACE(name);
        messages.Clear();
        EXPECT_EQ(transfer.FileToCamera(File(name), true), ETransferResult::BadFile);
        ASSERT_EQ(messages.Texts().size(), 1u);
        EXPECT_NE(messages.Texts()[0].find(name), std::string::npos) << messages.Texts()[0];
    }
    EXPECT_TRUE(bus.Log().empty());
}

TEST_F(TransferTest, CameraToFileStopsAtAFailedReadAndKeepsTheOldFile)
{
    const std::string path = File("old.qcs");
    std::ofstream(path) << "old contents";
    camera.FailOn(ESimFrame::Receive, 0xE2, 0x10, kStatusTimeout);
    EXPECT_EQ(transfer.CameraToFile(path, true), ETransferResult::BusFailure);
    EXPECT_EQ(messages.Texts(), (Strings{"TIMEOUT, no response", "Reading register e2:10 failed, no file written"}));
    EXPECT_EQ(Frames().back(), "r e2:10");
    std::stringstream kept;
    kept << std::ifstream(path).rdbuf();
    EXPECT_EQ(kept.str(), "old contents");
}

TEST_F(TransferTest, FileToCameraStopsAtTheFirstFailedTransaction)
{
    const std::string path = BackupOf(0x44, true);
    const struct {
        ESimFrame frame;
        std::uint8_t bank, index;
        const char* text;
        const char* lastFrame;
    } cases[] = {
        {ESimFrame::DataFrame, 0xF0, 0x20, "Writing register f0:20 failed, settings not stored", "w f0:20"},
        // A lost address frame is not followed by its data frame.
        {ESimFrame::AddressFrame, 0xA0, 0x07, "Writing register a0:07 failed, settings not stored", "w a0:07"},
        {ESimFrame::ReadRequest, 0xE0, 0x05, "Reading back register e0:05 failed, settings not stored", "r e0:05"},
        {ESimFrame::AddressFrame, 0x88, 0x13, "Writing register 88:13 failed, settings not stored", "w 88:13"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        messages.Clear();
        bus.ClearLog();
        camera.FailOn(c.frame, c.bank, c.index, kStatusNoAck, 1);
        EXPECT_EQ(transfer.FileToCamera(path, true), ETransferResult::BusFailure);
        EXPECT_EQ(messages.Texts(), (Strings{"not a correct acknowledge recieved", c.text}));
        EXPECT_EQ(Frames().back(), c.lastFrame);
        // The failed transaction was the last one on the bus.
        auto last = bus.Log().rbegin();
        while (last->call == EAdapterCall::Close)
            ++last;
        EXPECT_EQ(last->call, c.frame == ESimFrame::DataFrame ? EAdapterCall::Send : EAdapterCall::SendSub);
        EXPECT_NE(last->result, 0u);
    }
    EXPECT_EQ(camera.CommitCount(), 0u);
}

TEST_F(TransferTest, ARoundTripCopiesOneCameraIntoAnother)
{
    const std::string path = BackupOf(0x55, true);
    EXPECT_EQ(transfer.FileToCamera(path, true), ETransferResult::Done);
    const std::string again = File("again.qcs");
    EXPECT_EQ(transfer.CameraToFile(again, true), ETransferResult::Done);
    const auto first = Load(path), second = Load(again);
    // Written back: Eeprom 0x00-0x30 and 0x00-0xFE of the other blocks; the rest is this camera's own.
    for (std::size_t n = 0; n < kSettingsFileValues; ++n) {
        const std::size_t b = n / 256, k = n % 256;
        if ((b == 0 && k <= 0x30) || (b > 0 && k <= 0xFE) || (b > 0 && k == 0xFF))
            EXPECT_EQ(first[n], second[n]) << n;
        else
            EXPECT_NE(first[n], second[n]) << n;
    }
}

TEST_F(TransferTest, StopEndsBetweenRegistersWithoutCommit)
{
    // Stop is asked before every register: 49 Eeprom writes, 4 x 255 block writes,
    // 953 read-back reads, then once more before the commit.
    const struct {
        unsigned stopAt; // the question that is answered yes
        const char* text;
        const char* lastFrame;
    } cases[] = {
        {1, "Stopped before writing, camera unchanged", nullptr},
        {6, "Stopped after writing register a0:04, settings not stored", "w a0:04"},
        {49 + 17, "Stopped after writing register e0:0f, settings not stored", "w e0:0f"},
        {49 + 1020 + 1, "Stopped before checking register a0:00, settings not stored", "w f2:fe"},
        {49 + 1020 + 953 + 1, "Stopped before the commit, settings not stored", "r f2:fe"},
    };
    std::vector<std::uint16_t> image(kSettingsImageSize);
    ASSERT_TRUE(CheckSettingsFile(BackupOf(0x66, true), image).ok);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        messages.Clear();
        bus.ClearLog();
        unsigned asked = 0;
        CSettingsTransfer stoppable(context, 0x70, {}, [&] { return ++asked == c.stopAt; });
        EXPECT_EQ(stoppable.FileToCamera(image, true), ETransferResult::Stopped);
        EXPECT_EQ(messages.Texts(), Strings{c.text});
        if (c.lastFrame) {
            ASSERT_FALSE(Frames().empty());
            EXPECT_EQ(Frames().back(), c.lastFrame);
            // The register under way got its data byte: the last transaction is no address frame.
            auto last = bus.Log().rbegin();
            while (last->call == EAdapterCall::Close)
                ++last;
            EXPECT_NE(last->call, EAdapterCall::SendSub);
        } else {
            EXPECT_TRUE(bus.Log().empty());
        }
    }
    EXPECT_EQ(camera.CommitCount(), 0u);
}

TEST_F(TransferTest, StopDuringCameraToFileKeepsTheOldFile)
{
    const std::string path = File("old.qcs");
    std::ofstream(path) << "old contents";
    unsigned asked = 0;
    CSettingsTransfer stoppable(context, 0x70, {}, [&] { return ++asked == 300; });
    EXPECT_EQ(stoppable.CameraToFile(path, true), ETransferResult::Stopped);
    EXPECT_EQ(messages.Texts(), Strings{"Stopped after reading register e0:2a, no file written"});
    EXPECT_EQ(Frames().size(), 299u);
    std::stringstream kept;
    kept << std::ifstream(path).rdbuf();
    EXPECT_EQ(kept.str(), "old contents");
}

} // namespace
} // namespace zarnix::test
