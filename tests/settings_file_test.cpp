// The hex text settings file: its layout, replacing it on disk, reading it by the
// reader's rules and judging it before anything of it goes to a camera.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "link/iic_link.h"
#include "settings/settings_file.h"
#include "tests/folder_fixture.h"
#include "tests/recording_messages.h"

namespace zarnix::test {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;
using Values = std::vector<std::uint16_t>;

std::string Repeat(const std::string& part, int times) { std::string out; while (times-- > 0) out += part; return out; }
// Varied bytes in every block, markers set: what a camera read with all registers gives.
Values CameraImage()
{
    Values image(kSettingsFileValues);
    for (std::size_t n = 0; n < image.size(); ++n)
        image[n] = n % 256 == 255 && n > 255 ? n / 256 : (n * 37 + 11) & 0xFF;
    return image;
}

class SettingsFileTest : public FolderTest {
protected:
    CRecordingMessages messages;
    std::string Path(const std::string& name) const { return (dir / name).string(); }
};

// The layout as a whole, CR LF line ends and block headers, is in zarnixctl's recorded dumps.
TEST(SettingsFileFormat, TitleWithoutLineBreaksAndEntriesPastTheImageAsFF)
{
    Values image(300); // a short image: entries from 300 on are written as FF
    for (std::size_t n = 0; n < image.size(); ++n)
        image[n] = n == 3 ? 0x1AB : n & 0xFF; // only a malformed file gives 0x1AB; its low byte is kept
    std::istringstream in(FormatSettingsFile(image, "front\r\n\x1a.qcs"));
    Strings lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    ASSERT_EQ(lines.size(), 86u);
    EXPECT_EQ(lines[0], "//Settings file: front   .qcs\r"); // a line break or Ctrl-Z in the name stays out
    EXPECT_EQ(lines[2], "00 01 02 AB 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F \r");
    EXPECT_EQ(lines[21], "20 21 22 23 24 25 26 27 28 29 2A 2B FF FF FF FF \r");
}

// The file is replaced whole and keeps its mode; a failure is told whole, however long its path.
TEST_F(SettingsFileTest, SaveReplacesTheFileOrTellsWhyNot)
{
    const std::string name(60, 'n'), missing = Path("missing/" + name);
    const struct { std::string path, message; /* empty: saved */ } cases[] = {
        {missing, "Failed to create " + missing + ": No such file or directory"},
        {"/dev/full", "Failed to write /dev/full: No space left on device"}, // a device is written in place
        {Path(name), ""},
    };
    std::ofstream(Path(name)) << Repeat("x", 5000);
    fs::permissions(Path(name), fs::perms(0640));
    for (const auto& c : cases) {
        messages.Clear();
        EXPECT_EQ(SaveSettingsFile(CameraImage(), c.path, messages), c.message.empty()) << c.path;
        EXPECT_EQ(messages.Texts(), c.message.empty() ? Strings{} : Strings{c.message});
    }
    EXPECT_EQ(ReadFile(Path(name)), FormatSettingsFile(CameraImage(), Path(name)));
    EXPECT_EQ(fs::status(Path(name)).permissions(), fs::perms(0640));
}

TEST(SettingsFileParse, ReaderRules)
{
    const struct { const char* name; std::string text; Values values; } cases[] = {
        {"either case", "ab AB 0f\r\n", {0xAB, 0xAB, 0x0F}}, {"CR LF and LF end lines", "01\r\n02\n03", {1, 2, 3}},
        {"comment after values", "01 02 / 99 99\r\n03", {0x01, 0x02, 0x03}},
        {"comment after an empty line is data", "//a\r\n\r\n//bc\r\n12", {0x178, 0xBC, 0x12}},
        {"last comment unterminated", "01\r\n// end", {0x01}}, {"odd last digit", "01 2", {0x01, 0xC8}},
        {"lone CR is data", "01\r02", {0x01, 0x60, 0xC8}}, {"Ctrl-Z ends the file", "01 02\x1a" "03", {0x01, 0x02}},
        {"stops when the image is full", "01 02 03 04 05 06 07 08 09", {1, 2, 3, 4, 5, 6, 7, 8}},
    };
    for (const auto& c : cases) {
        Values image(8, 0xEEEE), expected = c.values;
        expected.resize(8, 0xEEEE); // entries after the last value keep what they held
        EXPECT_EQ(ParseSettingsText(c.text, image), c.values.size()) << c.name;
        EXPECT_EQ(image, expected) << c.name;
    }
}

// Where line `n` of `text` starts (1-based lines).
std::size_t LineStart(const std::string& text, int n)
{
    std::size_t at = 0;
    while (--n > 0)
        at = text.find('\n', at) + 1;
    return at;
}

// The reader places values by their count alone: a file laid out otherwise than
// the writer's 16 a line and 1280 in all is refused at its first wrong line.
TEST_F(SettingsFileTest, CheckVerdicts)
{
    const std::string good = FormatSettingsFile(CameraImage(), "t"), bad = "\" is not a two-digit hexadecimal value";
    const auto edit = [&](int line, std::size_t cut, const std::string& put) {
        return std::string(good).replace(LineStart(good, line), cut, put);
    };
    std::string lf = good;
    std::erase(lf, '\r');
    fs::create_directory(Path("dir"));
    using Blocks = std::array<bool, kSettingsBlockCount>;
    const struct { // `problem` names the file as @
        const char* name; std::string text; std::size_t values; Blocks present; std::string problem{}; int badLine = 0;
    } cases[] = {
        {"all", good, 1280, {1, 1, 1, 1, 1}}, {"eeprom", FormatSettingsFile(Values(256, 0x12), "t"), 1280, {1, 0, 0, 0, 0}},
        {"LF", lf, 1280, {1, 1, 1, 1, 1}}, {"Ctrl-Z", good + "\x1a" "00 11", 1280, {1, 1, 1, 1, 1}},
        {"digit", edit(5, 2, "1G"), 1280, {1, 1, 1, 1, 1}, "@: line 5: \"1G" + bad, 5},
        {"gap", std::string(good).insert(good.find("\r\n"), "\r\n"), 1290, {1}, "@: line 3: \"//" + bad, 3}, // header read
        {"extra", edit(5, 0, "00 "), 1281, {1, 0, 0, 0, 0}, "@: line 5: 17 values, a data line holds 16", 5},
        {"missing", edit(7, 3, ""), 1279, {1, 0, 0, 0, 0}, "@: line 7: 15 values, a data line holds 16", 7},
        {"joined", edit(8, 0, "00 00 00 00\r\n"), 1284, {1, 0, 0, 0, 0}, "@: line 8: 4 values, a data line holds 16", 8},
        {"longer", good + good.substr(LineStart(good, 3), 50), 1296, {1, 1, 1, 1, 1},
         "@: line 87: values past the 1280 a settings file holds", 87},
        {"short", good.substr(0, LineStart(good, 86)), 1264, {1, 1, 1, 1, 0}, "@: holds 1264 values, a settings file holds 1280"},
        {"1MiB", std::string(kSettingsFileMaxBytes, '0'), 4096, {1, 0, 0, 0, 0}, // the reader stops at 4096
         "@: line 1: 524288 values, a data line holds 16", 1},
        {"over", std::string(kSettingsFileMaxBytes + 1, '0'), 0, {}, "@: larger than 1 MiB, not a settings file"},
        {"dir", "", 0, {}, "Cannot read @: Is a directory"}, {"none", "", 0, {}, "Cannot open @: No such file or directory"},
    };
    for (const auto& c : cases) {
        if (!c.text.empty())
            std::ofstream(Path(c.name)) << c.text;
        Values parsed(kSettingsImageSize, 0x5A5A), expected(kSettingsImageSize, c.values ? 0xFF : 0x5A5A);
        ParseSettingsText(c.values ? c.text : "", expected);
        const CSettingsFileCheck check = CheckSettingsFile(Path(c.name), parsed);
        const auto at = c.problem.find('@');
        EXPECT_EQ(check.problem, at == std::string::npos ? c.problem : std::string(c.problem).replace(at, 1, Path(c.name)));
        EXPECT_EQ(check.ok, c.problem.empty()) << c.name;
        EXPECT_EQ(check.values, c.values) << c.name;
        EXPECT_EQ(check.firstBadLine, static_cast<std::size_t>(c.badLine)) << c.name;
        EXPECT_EQ(check.present, c.present) << c.name;
        EXPECT_TRUE(!c.values || parsed == expected) << c.name; // what was judged, entries the file lacks as FF
    }
    std::string bytes, problem;
    EXPECT_EQ(ReadSettingsBytes(Path("all"), bytes, problem, [] { return true; }), EReadFile::Stopped);
    EXPECT_EQ(problem, "Stopped while reading " + Path("all"));
}

} // namespace
} // namespace zarnix::test
