#include "settings/settings_file.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>

namespace zarnix {
namespace {

namespace fs = std::filesystem;

class SettingsFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/zarnix-settings-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_dir = pattern;
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::string Path(const std::string& name) const { return (m_dir / name).string(); }
    static void Write(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }
    static std::string Read(const std::string& path)
    {
        std::ostringstream text;
        text << std::ifstream(path, std::ios::binary).rdbuf();
        return text.str();
    }
    std::size_t Entries() const { return std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()); }

    fs::path m_dir;
    CRecordingMessages m_messages;
};

// An image as a camera read with "all Registers" gives it: varied bytes, markers set.
std::vector<std::uint16_t> CameraImage()
{
    std::vector<std::uint16_t> image(kSettingsImageSize, 0xFF);
    for (std::size_t n = 0; n < kSettingsFileValues; ++n)
        image[n] = static_cast<std::uint16_t>((n * 37 + 11) & 0xFF);
    for (std::size_t b = 1; b < kSettingsBlockCount; ++b)
        image[MarkerEntry(b)] = static_cast<std::uint16_t>(b);
    return image;
}

using SettingsFileWriter = SettingsFileTest;

TEST_F(SettingsFileWriter, ReplacesALongerFileWithTheExactLayout)
{
    std::vector<std::uint16_t> image = CameraImage();
    image[3] = 0x1AB; // only a malformed file gives such an entry; its low byte is kept
    const std::string path = Path("front.qcs");
    Write(path, std::string(10000, 'x'));
    ASSERT_TRUE(SaveSettingsFile(image, path, m_messages));

    const char* const headers[] = {"//Eeprom settings: 0 ", "//ISP B0 settings: 1 ", "//ISP B1 settings: 2 ",
                                   "//Stat B0 settings: 3 ", "//Stat B1 settings: 4 "};
    std::string expected = "//Settings file: " + path + "\r\n";
    for (std::size_t b = 0; b < kSettingsBlockCount; ++b) {
        expected += std::string(headers[b]) + "\r\n";
        for (std::size_t n = b * 256; n < b * 256 + 256; ++n) {
            char pair[4];
            std::snprintf(pair, sizeof pair, "%02X ", image[n] & 0xFFu);
            expected += pair;
            if (n % 16 == 15)
                expected += "\r\n";
        }
    }
    EXPECT_EQ(Read(path), expected);
    EXPECT_EQ(expected.size(), 4136 + path.size());
    EXPECT_EQ(Entries(), 1u); // no temporary left beside it
    EXPECT_TRUE(m_messages.Texts().empty());
}

TEST_F(SettingsFileWriter, FollowsSymlinkAndKeepsPermissions)
{
    Write(Path("real.qcs"), "old");
    ::chmod(Path("real.qcs").c_str(), 0640);
    fs::create_symlink("real.qcs", Path("link.qcs"));
    ASSERT_TRUE(SaveSettingsFile(CameraImage(), Path("link.qcs"), m_messages));
    EXPECT_TRUE(fs::is_symlink(Path("link.qcs")));
    EXPECT_EQ(fs::file_size(Path("real.qcs")), 4136 + Path("link.qcs").size());
    struct stat st {};
    ASSERT_EQ(::stat(Path("real.qcs").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    const mode_t umaskBefore = ::umask(027);
    ASSERT_TRUE(SaveSettingsFile(CameraImage(), Path("new.qcs"), m_messages));
    ::umask(umaskBefore);
    ASSERT_EQ(::stat(Path("new.qcs").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(Entries(), 3u);
}

// A line break would push the name into the data lines; a Ctrl-Z would end the
// file for the reader before its first value.
TEST_F(SettingsFileWriter, LineBreakOrEndOfFileInPathStaysInTheTitleLine)
{
    const std::string path = Path("a\nb\rc\x1a.qcs");
    ASSERT_TRUE(SaveSettingsFile(CameraImage(), path, m_messages));
    const std::string text = Read(path);
    EXPECT_EQ(text.size(), 4136 + path.size());
    EXPECT_EQ(text.substr(0, text.find("\r\n")), "//Settings file: " + Path("a b c .qcs"));
    EXPECT_TRUE(CheckSettingsFile(path).ok);
}

TEST_F(SettingsFileWriter, ReportsFailuresAndKeepsTheOldFile)
{
    Write(Path("plain"), "not a directory");
    // The reason always follows, cut to the message box's 80 characters.
    const struct { std::string path, reason; } creates[] = {
        {Path("missing/front.qcs"), "No such file or directory"},
        {Path("plain/front.qcs"), "Not a directory"},
    };
    for (const auto& c : creates) {
        m_messages.Clear();
        EXPECT_FALSE(SaveSettingsFile(CameraImage(), c.path, m_messages));
        EXPECT_EQ(m_messages.Texts(),
                  std::vector<std::string>{("Failed to create " + c.path + ": " + c.reason).substr(0, 79)});
    }

    // A write that fails midway: the file size limit cuts the temporary file short.
    const std::string path = Path("front.qcs");
    Write(path, "old content");
    rlimit before {};
    ::getrlimit(RLIMIT_FSIZE, &before);
    rlimit small = before;
    small.rlim_cur = 1000;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &small);
    m_messages.Clear();
    const bool saved = SaveSettingsFile(CameraImage(), path, m_messages);
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(saved);
    ASSERT_EQ(m_messages.Texts().size(), 1u);
    EXPECT_EQ(m_messages.Texts()[0].rfind("Failed to write " + path + ": ", 0), 0u) << m_messages.Texts()[0];
    EXPECT_EQ(Read(path), "old content");
    EXPECT_EQ(Entries(), 2u);
}

using SettingsFileReader = SettingsFileTest;

TEST_F(SettingsFileReader, RoundTripFillsTheFirst1280Entries)
{
    const std::vector<std::uint16_t> written = CameraImage();
    ASSERT_TRUE(SaveSettingsFile(written, Path("front.qcs"), m_messages));
    std::vector<std::uint16_t> image(kSettingsImageSize, 0x5A5A);
    const CLoadResult result = LoadSettingsFile(image, Path("front.qcs"), m_messages);
    EXPECT_TRUE(result.opened);
    EXPECT_EQ(result.values, kSettingsFileValues);
    EXPECT_TRUE(std::equal(written.begin(), written.begin() + kSettingsFileValues, image.begin()));
    EXPECT_TRUE(std::all_of(image.begin() + kSettingsFileValues, image.end(), [](auto v) { return v == 0x5A5A; }));
}

TEST_F(SettingsFileReader, FollowsTheTextRules)
{
    const struct {
        const char* name;
        std::string text;
        std::vector<std::uint16_t> values;
    } cases[] = {
        {"case", "ab AB 0f\r\n", {0xAB, 0xAB, 0x0F}},
        {"comment after values", "01 02 / 99 99\r\n03", {0x01, 0x02, 0x03}},
        {"single slash", "/ 99\r\n//99\r\n10\r\n", {0x10}},
        {"comment after empty line", "//a\r\n\r\n//bc\r\n12", {0x178, 0xBC, 0x12}},
        {"last comment unterminated", "01\r\n// end", {0x01}},
        {"lone CR, end after first digit", "01\r02", {0x01, 0x60, 0xC8}},
        {"lone CR before Ctrl-Z", "01\r\x1a" "02", {0x01, 0x108}},
        {"Ctrl-Z ends the file", "01 02\x1a" "03", {0x01, 0x02}},
        {"0xFF byte ends the file", "01 \xff" "02", {0x01}},
        {"tab is a digit", "\t1", {0x21}},
        {"stops when the image is full", "01 02 03 04 05 06 07 08 09", {1, 2, 3, 4, 5, 6, 7, 8}},
    };
    for (const auto& c : cases) {
        Write(Path("t.qcs"), c.text);
        std::vector<std::uint16_t> image(8, 0xEEEE);
        const CLoadResult result = LoadSettingsFile(image, Path("t.qcs"), m_messages);
        std::vector<std::uint16_t> expected = c.values;
        expected.resize(8, 0xEEEE);
        EXPECT_EQ(result.values, c.values.size()) << c.name;
        EXPECT_EQ(image, expected) << c.name;
        // The same bytes already in memory read the same.
        std::vector<std::uint16_t> text(8, 0xEEEE);
        EXPECT_EQ(ParseSettingsText(c.text, text), c.values.size()) << c.name;
        EXPECT_EQ(text, expected) << c.name;
        EXPECT_EQ(CheckSettingsText(c.text, "t.qcs").values, CheckSettingsFile(Path("t.qcs")).values) << c.name;
    }
    EXPECT_TRUE(m_messages.Texts().empty());
}

TEST_F(SettingsFileReader, StoresAtMost4096Values)
{
    std::string text;
    for (int n = 0; n < 5000; ++n)
        text += "11 ";
    Write(Path("big.qcs"), text);
    std::vector<std::uint16_t> image(5000, 0);
    EXPECT_EQ(LoadSettingsFile(image, Path("big.qcs"), m_messages).values, kSettingsReadLimit);
    EXPECT_EQ(image[4095], 0x11);
    EXPECT_EQ(image[4096], 0);
    EXPECT_EQ(CheckSettingsFile(Path("big.qcs")).values, kSettingsReadLimit);
}

TEST_F(SettingsFileReader, UnreadableFileStoresNothing)
{
    fs::create_directory(Path("dir.qcs"));
    const struct { std::string path, message; } cases[] = {
        {Path("none.qcs"), "Cannot open " + Path("none.qcs") + ": No such file or directory"},
        {Path("dir.qcs"), "Cannot read " + Path("dir.qcs") + ": Is a directory"},
    };
    for (const auto& c : cases) {
        m_messages.Clear();
        std::vector<std::uint16_t> image(4, 7);
        const CLoadResult result = LoadSettingsFile(image, c.path, m_messages);
        EXPECT_FALSE(result.opened);
        EXPECT_EQ(image, std::vector<std::uint16_t>(4, 7));
        EXPECT_EQ(m_messages.Texts(), std::vector<std::string>{c.message});
    }
}

using SettingsFileCheck = SettingsFileTest;

TEST_F(SettingsFileCheck, GoodFilesAndTheirBlocks)
{
    std::vector<std::uint16_t> image = CameraImage();
    ASSERT_TRUE(SaveSettingsFile(image, Path("all.qcs"), m_messages));
    std::fill(image.begin() + 256, image.end(), 0xFF);
    ASSERT_TRUE(SaveSettingsFile(image, Path("eeprom.qcs"), m_messages));

    const CSettingsFileCheck all = CheckSettingsFile(Path("all.qcs"));
    EXPECT_TRUE(all.ok) << all.problem;
    EXPECT_EQ(all.values, kSettingsFileValues);
    EXPECT_EQ(all.firstBadLine, 0u);
    EXPECT_EQ(all.present, (std::array<bool, 5>{true, true, true, true, true}));
    const CSettingsFileCheck eeprom = CheckSettingsFile(Path("eeprom.qcs"));
    EXPECT_TRUE(eeprom.ok) << eeprom.problem;
    EXPECT_EQ(eeprom.present, (std::array<bool, 5>{true, false, false, false, false}));
}

TEST_F(SettingsFileCheck, NamesTheFirstBadLine)
{
    ASSERT_TRUE(SaveSettingsFile(std::vector<std::uint16_t>(kSettingsFileValues, 0), Path("good"), m_messages));
    const std::string good = Read(Path("good"));
    std::size_t line7 = 0;
    for (int n = 1; n < 7; ++n)
        line7 = good.find("\r\n", line7) + 2;
    const auto edit = [&](std::size_t at, std::size_t length, const std::string& with) {
        return std::string(good).replace(at, length, with);
    };
    std::string short1000;
    for (int n = 0; n < 1000; ++n)
        short1000 += "00 ";
    const std::string name = Path("f.qcs");
    const struct { std::string text; std::size_t line; std::string problem; } cases[] = {
        {edit(line7, 2, "1G"), 7, "line 7: \"1G\" is not"},
        {edit(line7, 2, "\t0"), 7, "line 7: \"\\t0\" is not"},
        {edit(line7, 2, "0\r"), 7, "line 7: \"0\\r\" is not"},
        {edit(line7, 2, "0\x0b"), 7, "line 7: \"0\\x0b\" is not"},
        {edit(good.find("\r\n"), 0, "\r\n"), 3, "line 3: \"//\" is not"},
        {short1000, 0, "holds 1000 values, a settings file holds 1280"},
    };
    for (const auto& c : cases) {
        Write(name, c.text);
        const CSettingsFileCheck check = CheckSettingsFile(name);
        EXPECT_FALSE(check.ok);
        EXPECT_EQ(check.firstBadLine, c.line);
        EXPECT_EQ(check.problem.rfind(name + ": " + c.problem, 0), 0u) << check.problem;
    }
    EXPECT_EQ(CheckSettingsFile(Path("none.qcs")).problem,
              "Cannot open " + Path("none.qcs") + ": No such file or directory");
}

} // namespace
} // namespace zarnix
