// Transfers between the simulated camera and settings files, on the virtual clock.
#include <filesystem>
#include <fstream>

#include "settings/transfer.h"
#include "tests/bus_fixture.h"
#include "tests/folder_fixture.h"

namespace zarnix::test {
namespace {

using Strings = std::vector<std::string>;
using Values = std::vector<std::uint16_t>;
constexpr std::uint8_t kBanks[] = {kBankEeprom, kBankIspB0, kBankIspB1, kBankStatB0, kBankStatB1};

class TransferTest : public BusTest {
protected:
    CTempFolder folder;
    unsigned steps = 0;
    CSettingsTransfer transfer{context, 0x70, [this] { ++steps; }};
    std::string File(const char* name) const { return (folder.path / name).string(); }
    static std::string Frame(char kind, unsigned bank, unsigned index)
    {
        char text[16];
        std::snprintf(text, sizeof text, "%c %02x:%02x", kind, bank, index);
        return text;
    }
    // Every register frame as "r bank:index" (read request) or "w bank:index", in bus order.
    Strings Frames() const
    {
        Strings out;
        for (const auto& r : bus.Log())
            if (r.call == EAdapterCall::SendSub)
                out.push_back(Frame(r.subAddress ? 'r' : 'w', r.data[0], r.data[1]));
        return out;
    }
    static void Append(Strings& out, char kind, std::size_t blocks, const std::array<unsigned, 5>& last)
    {
        for (std::size_t b = 0; b < blocks; ++b)
            for (unsigned k = 0; k <= last[b]; ++k)
                out.push_back(Frame(kind, kBanks[b], k));
    }
    // Bytes unlike the simulated camera's own; the markers set with `all`.
    static Values Image(bool all)
    {
        Values image(kSettingsImageSize, 0xFF);
        for (std::size_t n = 0; n < kSettingsFileValues; ++n)
            image[n] = n % 256 == 255 && n > 255 ? (all ? n / 256 : 0xFF) : (n * 37 + 11) & 0xFF;
        return image;
    }
};

// Camera to file reads every register of its blocks with no pause of its own; file to camera writes the
// Eeprom block (the marked blocks too with all registers), each write and good read-back with its pause.
TEST_F(TransferTest, TransfersFramesAndSteps)
{
    const std::array<unsigned, 5> whole{0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, written{0x30, 0xFE, 0xFE, 0xFE, 0xFE},
        checked{0x30, 0xAC, 0xDC, 0xFE, 0xFE};
    // Their pauses, and the files and cameras they leave, are in zarnixctl's recorded dumps and loads.
    const struct { bool toFile, fileHasAll, all; unsigned barSteps; } cases[] = {
        {true, true, false, 128}, {true, true, true, 472}, {false, true, true, 452}, {false, true, false, 22},
        {false, false, true, 22},
    };
    unsigned commits = 0;
    for (const auto& c : cases) {
        ASSERT_TRUE(SaveSettingsFile(Image(c.fileHasAll), File("f.qcs"), messages));
        bus.ClearLog();
        steps = 0;
        EXPECT_EQ(c.toFile ? transfer.CameraToFile(File("f.qcs"), c.all) : transfer.FileToCamera(File("f.qcs"), c.all),
                  ETransferResult::Done) << c.toFile << c.fileHasAll << c.all;
        const bool blocks = c.fileHasAll && c.all;
        Strings expected;
        Append(expected, c.toFile ? 'r' : 'w', blocks ? 5 : 1, c.toFile ? whole : written);
        if (!c.toFile) {
            Append(expected, 'r', blocks ? 5 : 1, checked);
            expected.push_back("w 88:13");
            ++commits;
        }
        EXPECT_EQ(Frames(), expected);
        EXPECT_EQ(camera.CommitCount(), commits);
        EXPECT_EQ(steps, c.barSteps);
        EXPECT_EQ(c.toFile ? CameraToFileSteps(c.all) : FileToCameraSteps({true, blocks, blocks, blocks, blocks}),
                  c.barSteps);
    }
    // A verify reads only what a file to camera writes; it finds every register that differs, the first and
    // last it compares among them.
    for (const unsigned n : {0x000, 0x030, 0x100, 0x4FE})
        camera.Poke(kBanks[n >> 8], n & 0xFF, 0);
    for (const bool all : {false, true}) {
        bus.ClearLog();
        steps = 0;
        std::vector<CDifference> differences;
        EXPECT_EQ(transfer.Verify(Image(true), all, differences), ETransferResult::Done);
        Strings found;
        for (const CDifference& d : differences)
            found.push_back(Frame('d', d.bank, d.index) + " " + std::to_string(d.file) + "/" + std::to_string(d.camera));
        const Strings differing{"d a0:00 11/0", "d a0:30 251/0", "d e0:00 11/0", "d f2:fe 193/0"};
        EXPECT_EQ(found, Strings(differing.begin(), differing.begin() + (all ? 4 : 2)));
        Strings expected;
        Append(expected, 'r', all ? 5 : 1, written);
        EXPECT_EQ(Frames(), expected);
        EXPECT_EQ(steps, VerifySteps({true, all, all, all, all}));
        EXPECT_EQ(steps, expected.size());
    }
}

// Where a transfer ends short: at the operator's word, asked before every register (49 Eeprom writes,
// 4 x 255 block writes, 953 reads back, the commit; 1280 reads to a file), or at the first register that
// reads back wrong (a failed transaction at each place is the fault sweep's): an entry above 0xFF reaches the camera as its low byte,
// or (`changed`) the camera holds one more than the file after the writes, in each block at its edges.
TEST_F(TransferTest, EndPointsAndTheirMessages)
{
    const std::string kept = ", settings not stored";
    const std::string held = " already hold the file's values; nothing was committed, the camera keeps its stored "
                             "settings at the next power-on",
                      all = "; registers a0:00 to a0:30, e0:00 to e0:fe, e2:00 to e2:fe, f0:00 to f0:fe and f2:00 to f2:fe";
    using E = EAdapterCall;
    using R = ETransferResult;
    // `at`: the stop question answered yes, or the entry that reads back wrong.
    const struct { bool toFile; R end; unsigned at; Strings texts; std::string lastFrame; bool changed = false; } cases[] = {
        {false, R::Stopped, 1, {"Stopped before writing, camera unchanged"}, ""},
        {false, R::Stopped, 33, {"Stopped after writing register a0:1f" + kept + "; registers a0:00 to a0:1f" + held},
         "w a0:1f"},
        {false, R::Stopped, 49 + 1020 + 1, {"Stopped before checking register a0:00" + kept + all + held}, "w f2:fe"},
        {false, R::Stopped, 49 + 1020 + 953 + 1, {"Stopped before the commit" + kept + all + held}, "r f2:fe"},
        {true, R::Stopped, 300, {"Stopped after reading register e0:2a, no file written"}, "r e0:2a"},
        {false, R::Mismatch, 0x030, {"Error Settings not stored: 1030"}, "r a0:30"},
        {false, R::Mismatch, 0x1AC, {"Error Settings not stored: 1ac"}, "r e0:ac"},
        {false, R::Mismatch, 0x4FE, {"Error Settings not stored: 4fe"}, "r f2:fe"},
        {false, R::Mismatch, 0x000, {"Error Settings not stored: 1000"}, "r a0:00", true},
        {false, R::Mismatch, 0x100, {"Error Settings not stored: 100"}, "r e0:00", true},
        {false, R::Mismatch, 0x2DC, {"Error Settings not stored: 2dc"}, "r e2:dc", true},
        {false, R::Mismatch, 0x300, {"Error Settings not stored: 300"}, "r f0:00", true},
        {false, R::Mismatch, 0x3FE, {"Error Settings not stored: 3fe"}, "r f0:fe", true},
    };
    for (const auto& c : cases) {
        messages.Clear();
        bus.ClearLog();
        Values image = Image(true);
        if (c.end == R::Mismatch && !c.changed)
            image[c.at] |= 0x100;
        unsigned asked = 0;
        CSettingsTransfer ending(context, 0x70, {}, [&] {
            if (++asked == 49 + 1020 + 1 && c.changed) // the read-back is about to start
                camera.Poke(kBanks[c.at >> 8], c.at & 0xFF, static_cast<std::uint8_t>(image[c.at] + 1));
            return asked == c.at && c.end == R::Stopped;
        });
        EXPECT_EQ(c.toFile ? ending.CameraToFile(File("f.qcs"), true) : ending.FileToCamera(image, true), c.end);
        EXPECT_EQ(messages.Texts(), c.texts) << c.texts.back();
        EXPECT_EQ(Frames().empty() ? "" : Frames().back(), c.lastFrame);
        // The register under way got its data byte or its receive.
        const E last = c.lastFrame.empty() ? E{} : c.lastFrame[0] == 'r' ? E::Receive : E::Send;
        EXPECT_EQ(bus.Log().empty() ? E{} : bus.Log().end()[-2].call, last); // the transfer before the last close
    }
    EXPECT_EQ(camera.CommitCount(), 0u);
    // A name that cannot be written fails before the first read; no stopped
    // read left its temporary file behind.
    messages.Clear();
    bus.ClearLog();
    EXPECT_EQ(transfer.CameraToFile(File("missing/f.qcs"), true), R::WriteFailed);
    EXPECT_TRUE(bus.Log().empty());
    ASSERT_EQ(messages.Texts().size(), 1u);
    EXPECT_EQ(messages.Texts()[0].rfind("Failed to create " + File("missing/f.qcs") + ": No such", 0), 0u);
    EXPECT_TRUE(std::filesystem::is_empty(File("")));
}

TEST_F(TransferTest, ABadFileIsRefusedBeforeAnyBusTraffic)
{
    std::ofstream(File("stray.qcs")) << std::string(4000, '0') << " 0G"; // 2000 values, then one not hex
    std::string shifted = FormatSettingsFile(Image(true), "extra.qcs"); // one value too many: the rest one place off
    std::ofstream(File("extra.qcs")) << shifted.insert(shifted.find("\r\n", 40) + 2, "00 ");
    for (const char* name : {"missing.qcs", "stray.qcs", "extra.qcs"}) {
        messages.Clear();
        EXPECT_EQ(transfer.FileToCamera(File(name), true), ETransferResult::BadFile);
        ASSERT_EQ(messages.Texts().size(), 1u);
        EXPECT_NE(messages.Texts()[0].find(File(name)), std::string::npos) << messages.Texts()[0];
    }
    EXPECT_TRUE(bus.Log().empty());
}

} // namespace
} // namespace zarnix::test
