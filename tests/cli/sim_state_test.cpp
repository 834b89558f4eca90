// The simulated camera's state file: what survives a round trip, what the parser
// refuses and with which line, and that no input makes it misbehave.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "sim/sim_camera.h"
#include "sim/sim_state.h"

namespace zarnix::test {
namespace {

std::string ValidText()
{
    CSimCamera camera;
    return FormatSimState(CaptureSimState(camera));
}

std::string ReplaceFirst(std::string text, const std::string& from, const std::string& to)
{
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos)
        text.replace(at, from.size(), to);
    return text;
}

TEST(SimStateTest, CameraSurvivesARoundTripThroughTheText)
{
    CSimCamera before(0x5A);
    before.Poke(0x30, 0x04, 0xFF);
    before.Poke(0xE2, 0xFE, 0x01);
    before.Poke(0x12, 0x34, 0x56); // a bank outside the kept ones, written by a raw write
    before.SetCommitCount(4000000000u);
    before.SetPresent(false);

    CSimState parsed;
    CSimStateError error;
    ASSERT_TRUE(ParseSimState(FormatSimState(CaptureSimState(before)), parsed, error)) << error.message;
    CSimCamera after;
    ApplySimState(parsed, after);

    EXPECT_EQ(CaptureSimState(after), CaptureSimState(before));
    EXPECT_EQ(after.CameraAddress(), 0x5A);
    EXPECT_EQ(after.Peek(0x12, 0x34), 0x56);
    EXPECT_EQ(after.Peek(0xA1, 0x04), 0xFF); // the mirror still reads the live bank
    EXPECT_EQ(after.CommitCount(), 4000000000u);
    EXPECT_FALSE(after.Present());
}

TEST(SimStateTest, ToleratesCommentsBlankLinesCrLfAndLowerCase)
{
    std::string text = ValidText();
    text = ReplaceFirst(text, "bank 30\n0F", "\n# live settings\nbank 30\r\n0f");
    CSimState state;
    CSimStateError error;
    ASSERT_TRUE(ParseSimState(text, state, error)) << error.line << ": " << error.message;
    EXPECT_EQ(state.banks.at(0x30)[0], 0x0F);
}

struct CBadState {
    const char* what;
    std::string text;
    std::size_t line; // 0: do not check
    const char* message;
};

TEST(SimStateTest, RefusesMalformedFilesNamingTheLine)
{
    const std::string good = ValidText();
    // Line numbers of the writer's layout: 1 magic, 2 comment, 3-5 settings,
    // 6 "bank 30", 7-22 its rows, 23 "bank a0".
    constexpr std::size_t kRow = 48; // 16 pairs, 15 blanks, the line end
    std::string shortBank = good;
    shortBank.erase(good.find("bank a0") - kRow, kRow); // bank 30 loses its last row
    const std::string cutInBank = good.substr(0, good.find("bank e0") - 3 * kRow);
    const CBadState cases[] = {
        {"empty", "", 0, "empty file"},
        {"other file", "hello\n", 1, "not a simulated camera state file"},
        {"newer version", ReplaceFirst(good, "zarnix-sim-state 1", "zarnix-sim-state 2"), 1, "version"},
        {"odd address", ReplaceFirst(good, "address 70", "address 71"), 3, "even"},
        {"address fc", ReplaceFirst(good, "address 70", "address fc"), 3, "below fc"},
        {"address twice", ReplaceFirst(good, "present yes", "address 70"), 4, "second 'address'"},
        {"present maybe", ReplaceFirst(good, "present yes", "present maybe"), 4, "yes or no"},
        {"commits overflow", ReplaceFirst(good, "commits 0", "commits 4294967296"), 5, "decimal count"},
        {"commits negative", ReplaceFirst(good, "commits 0", "commits -1"), 5, "decimal count"},
        {"setting missing", ReplaceFirst(good, "commits 0\n", ""), 5, "before the 'commits' line"},
        {"not hex", ReplaceFirst(good, "0F 00 40", "0F G0 40"), 7, "'G0' is not a two-digit hex value"},
        {"three digits", ReplaceFirst(good, "0F 00 40", "0F 000 40"), 7, "two-digit"},
        {"short row", ReplaceFirst(good, "0F 00 40 40 ", "0F 00 40 "), 7, "16 values expected, found 15"},
        {"rows missing", shortBank, 22, "bank 30 has 15 of its 16 rows"},
        {"cut off in a bank", cutInBank, 0, "ends inside bank a0 (13 of 16 rows)"},
        {"no end line", good.substr(0, good.size() - 4), 0, "cut off"},
        {"text after end", good + "bank 55\n", 0, "nothing may follow"},
        {"bank twice", ReplaceFirst(good, "bank a0", "bank 30"), 23, "appears twice"},
        {"mirror bank", ReplaceFirst(good, "bank a0", "bank a1"), 23, "mirrors bank 30"},
        {"kept bank missing", ReplaceFirst(good, "bank 88", "bank 89"), 0, "bank 88 is missing"},
        {"unknown keyword", ReplaceFirst(good, "present yes", "colour blue"), 4, "unknown line"},
        {"nul byte", ReplaceFirst(good, "0F 00", std::string("0F \0" "0", 5)), 7, "\\x00"},
    };
    for (const auto& c : cases) {
        CSimState state;
        state.commits = 77;
        CSimStateError error;
        EXPECT_FALSE(ParseSimState(c.text, state, error)) << c.what;
        if (c.line != 0) {
            EXPECT_EQ(error.line, c.line) << c.what << ": " << error.message;
        }
        EXPECT_NE(error.message.find(c.message), std::string::npos) << c.what << ": " << error.message;
        EXPECT_EQ(state.commits, 77u) << c.what << ": a refused file must leave the state alone";
    }
}

// Mutations of a valid file must be accepted or refused, never crash or read
// out of bounds (the sanitizer build runs this too).
TEST(SimStateTest, SurvivesMutatedInput)
{
    const std::string good = ValidText();
    std::mt19937 random(20240611);
    const char alphabet[] = "0123456789abcdefABCDEFGxyz \t\r\n#-\0\xff";
    for (int round = 0; round < 3000; ++round) {
        std::string text = good;
        const int edits = 1 + static_cast<int>(random() % 8);
        for (int e = 0; e < edits && !text.empty(); ++e) {
            const std::size_t at = random() % text.size();
            switch (random() % 4) {
            case 0: text[at] = alphabet[random() % (sizeof alphabet - 1)]; break;
            case 1: text.erase(at, random() % 64); break;
            case 2: text.insert(at, 1, alphabet[random() % (sizeof alphabet - 1)]); break;
            case 3: text.resize(at); break;
            }
        }
        CSimState state;
        CSimStateError error;
        if (!ParseSimState(text, state, error)) {
            EXPECT_FALSE(error.message.empty());
        }
    }
}

class SimStateFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/zarnix-sim-state-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::filesystem::path dir;
};

TEST_F(SimStateFileTest, SaveReplacesTheFileAndLeavesNoTemporaryBehind)
{
    const std::string path = (dir / "cam.state").string();
    std::ofstream(path) << "old content\n";
    CSimCamera camera;
    camera.Poke(0x30, 0x04, 0x9A);
    std::string error;
    ASSERT_TRUE(SaveSimStateFile(path, CaptureSimState(camera), error)) << error;

    CSimState loaded;
    ASSERT_EQ(LoadSimStateFile(path, loaded, error), ESimStateLoad::Loaded) << error;
    EXPECT_EQ(loaded.banks.at(0x30)[0x04], 0x9A);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()), 1);
}

TEST_F(SimStateFileTest, LoadTellsMissingFromUnreadable)
{
    CSimState state;
    std::string error;
    EXPECT_EQ(LoadSimStateFile((dir / "none").string(), state, error), ESimStateLoad::Missing);
    EXPECT_EQ(LoadSimStateFile(dir.string(), state, error), ESimStateLoad::Failed); // a directory
    EXPECT_NE(error.find(dir.string()), std::string::npos) << error;

    const std::string big = (dir / "big").string();
    std::ofstream(big) << std::string(kSimStateMaxBytes + 1, '\n');
    EXPECT_EQ(LoadSimStateFile(big, state, error), ESimStateLoad::Failed);

    const std::string bad = (dir / "bad").string();
    std::ofstream(bad) << "zarnix-sim-state 1\naddress zz\n";
    EXPECT_EQ(LoadSimStateFile(bad, state, error), ESimStateLoad::Failed);
    EXPECT_EQ(error.rfind(bad + ":2: ", 0), 0u) << error;
}

} // namespace
} // namespace zarnix::test
