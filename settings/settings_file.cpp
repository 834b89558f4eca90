#include "settings/settings_file.h"

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <vector>

#include "link/iic_link.h"

namespace zarnix {
namespace {

// Files travel between Windows and Linux, so the on-disk line end is CR LF
// whatever the platform's own convention.
constexpr std::string_view kLineEnd = "\r\n";
constexpr const char* kBlockHeaders[kSettingsBlockCount] = {
    "//Eeprom settings: %zu ", "//ISP B0 settings: %zu ", "//ISP B1 settings: %zu ",
    "//Stat B0 settings: %zu ", "//Stat B1 settings: %zu ",
};
// What a block that was never read from the camera holds; used for entries a
// short image cannot supply, so their markers say "not present".
constexpr std::uint16_t kUnreadEntry = 0xFF;

char HexDigit(unsigned d) { return static_cast<char>(d < 10 ? '0' + d : 'A' + (d - 10)); }

// ---------------------------------------------------------------- reading

// The file's bytes as a text stream: CR LF arrives as one LF, Ctrl-Z is the end
// of the file, anything else (a lone CR included) arrives unchanged. Lines are
// counted so the checker can point the operator at the offending line.
class CSettingsStream {
public:
    static constexpr int kEnd = -1;

    explicit CSettingsStream(std::string_view text) : m_text(text) {}

    int Get()
    {
        if (m_bEnd)
            return kEnd;
        int c = Raw();
        if (c == '\r') {
            const int next = Raw();
            if (next == '\n')
                c = '\n';
            else if (next != kEnd)
                --m_nPos;
        } else if (c == kEnd || c == 0x1A) {
            m_bEnd = true;
            return kEnd;
        }
        if (c == '\n')
            ++m_nLine;
        return c;
    }

    std::size_t Line() const { return m_nLine; }

private:
    int Raw() { return m_nPos < m_text.size() ? static_cast<unsigned char>(m_text[m_nPos++]) : kEnd; }

    std::string_view m_text;
    std::size_t m_nPos = 0;
    bool m_bEnd = false;
    std::size_t m_nLine = 1;
};

struct CSettingsPair {
    int first = 0;
    int second = 0;        // CSettingsStream::kEnd when the file ended after the first digit
    std::size_t line = 0;  // line of the first digit
    std::uint16_t value = 0;
};

std::uint8_t DigitValue(int c)
{
    const auto u = static_cast<std::uint8_t>(c);
    if (u >= '0' && u <= '9')
        return static_cast<std::uint8_t>(u - 0x30);
    return static_cast<std::uint8_t>(u < 0x48 ? u - 0x37 : u - 0x57);
}

bool IsHexDigit(int c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

int SkipBlanks(CSettingsStream& in, int c)
{
    while (c == ' ' || c == '\n')
        c = in.Get();
    return c;
}

// The one parser for loading and checking: the next value of the file, or false
// once the file has no more.
bool NextPair(CSettingsStream& in, CSettingsPair& pair)
{
    int c = SkipBlanks(in, in.Get());
    // A comment runs to its line end; further lines that start with '/' go too.
    // After that a '/' is data, which is how a comment line that follows an empty
    // line ends up read as digits.
    while (c == '/') {
        do {
            c = in.Get();
            if (c == CSettingsStream::kEnd)
                return false;
        } while (c != '\n');
        c = in.Get();
    }
    c = SkipBlanks(in, c);
    if (c == CSettingsStream::kEnd || c == 0xFF)
        return false;

    pair.first = c;
    pair.line = in.Line();
    pair.second = in.Get();
    const int second = pair.second == CSettingsStream::kEnd ? 0xFF : pair.second;
    pair.value = static_cast<std::uint16_t>(((DigitValue(c) << 4) & 0xFF) + DigitValue(second));
    return true;
}

std::string Printable(int c)
{
    switch (c) {
    case '\t': return "\\t";
    case '\r': return "\\r";
    case '\n': return "\\n";
    case '"': return "\\\"";
    case '\\': return "\\\\";
    default: break;
    }
    if (c >= 0x20 && c < 0x7F)
        return std::string(1, static_cast<char>(c));
    char text[8];
    std::snprintf(text, sizeof text, "\\x%02x", static_cast<unsigned>(c & 0xFF));
    return text;
}

} // namespace

std::string FormatSettingsFile(std::span<const std::uint16_t> image, const std::string& path)
{
    std::string title = path;
    // A line break in the name would push the rest of the name into the data lines,
    // and a Ctrl-Z would end the file for the reader before the first value.
    for (char& c : title)
        if (c == '\n' || c == '\r' || c == 0x1A)
            c = ' ';

    std::string text = "//Settings file: " + title;
    text += kLineEnd;
    std::array<std::uint16_t, kSettingsLineValues> entries{};
    std::size_t n = 0;
    for (std::size_t b = 0; b < kSettingsBlockCount; ++b) {
        char header[32];
        std::snprintf(header, sizeof header, kBlockHeaders[b], b);
        text += header;
        text += kLineEnd;
        for (std::size_t line = 0; line < kSettingsBlockSize / kSettingsLineValues; ++line) {
            for (auto& entry : entries) {
                entry = n < image.size() ? image[n] : kUnreadEntry;
                ++n;
            }
            std::string data = FormatSettingsLine(entries);
            data.pop_back();
            text += data;
            text += kLineEnd;
        }
    }
    return text;
}

std::string FormatSettingsLine(std::span<const std::uint16_t, kSettingsLineValues> entries)
{
    std::string line;
    line.reserve(kSettingsLineValues * 3 + 1);
    for (const std::uint16_t entry : entries) {
        // Only a malformed file yields entries above 0xFF; the camera takes the low
        // byte of such a value, so that is what the file keeps.
        const unsigned v = entry & 0xFFu;
        line += HexDigit(v >> 4);
        line += HexDigit(v & 0x0F);
        line += ' ';
    }
    line += '\n';
    return line;
}

namespace {

bool ShowFileFault(const CFileFault& fault, const std::string& path, CMessageSink& messages)
{
    // Whole: the path and the reason may be longer than a message box's line.
    messages.Show((fault.atOpen ? "Failed to create " : "Failed to write ") + path + ": " + fault.reason);
    return false;
}

} // namespace

bool OpenSettingsFile(CFileReplacement& file, const std::string& path, CMessageSink& messages,
                      const CStopCheck& stop)
{
    CFileFault fault;
    return file.Open(path, fault, stop) || ShowFileFault(fault, path, messages);
}

bool CommitSettingsFile(CFileReplacement& file, std::span<const std::uint16_t> image, const std::string& path,
                        CMessageSink& messages)
{
    CFileFault fault;
    return file.Commit(FormatSettingsFile(image, path), fault) || ShowFileFault(fault, path, messages);
}

bool SaveSettingsFile(std::span<const std::uint16_t> image, const std::string& path, CMessageSink& messages)
{
    CFileReplacement file;
    return OpenSettingsFile(file, path, messages) && CommitSettingsFile(file, image, path, messages);
}

EReadFile ReadSettingsBytes(const std::string& path, std::string& bytes, std::string& problem, const CStopCheck& stop)
{
    CFileFault fault;
    const EReadFile read = ReadWholeFile(path, kSettingsFileMaxBytes, bytes, fault, stop);
    switch (read) {
    case EReadFile::Read:
        break;
    case EReadFile::Failed:
        problem = (fault.atOpen ? "Cannot open " : "Cannot read ") + path + ": " + fault.reason;
        break;
    case EReadFile::TooLarge:
        problem = path + ": larger than 1 MiB, not a settings file";
        break;
    case EReadFile::Stopped:
        problem = "Stopped while reading " + path;
        break;
    }
    return read;
}

namespace {

std::size_t ReadValues(CSettingsStream& in, std::span<std::uint16_t> image)
{
    const std::size_t limit = std::min(image.size(), kSettingsReadLimit);
    std::size_t values = 0;
    CSettingsPair pair;
    while (values < limit && NextPair(in, pair))
        image[values++] = pair.value;
    return values;
}

CSettingsFileCheck CheckStream(CSettingsStream& in, const std::string& path, std::span<std::uint16_t> parsed);

} // namespace

std::size_t ParseSettingsText(std::string_view text, std::span<std::uint16_t> image)
{
    CSettingsStream in(text);
    return ReadValues(in, image);
}

CSettingsFileCheck CheckSettingsFile(const std::string& path, std::span<std::uint16_t> parsed)
{
    std::string bytes;
    CSettingsFileCheck check;
    if (ReadSettingsBytes(path, bytes, check.problem) != EReadFile::Read)
        return check;
    return CheckSettingsText(bytes, path, parsed);
}

CSettingsFileCheck CheckSettingsText(std::string_view text, const std::string& name, std::span<std::uint16_t> parsed)
{
    CSettingsStream in(text);
    return CheckStream(in, name, parsed);
}

CSettingsFileRead ReadCheckedSettingsFile(const std::string& path, const CStopCheck& stop)
{
    // A file that cannot be a settings file is refused before anything reaches
    // the camera: the reader would turn a short file or a stray character into wrong bytes.
    CSettingsFileRead file;
    std::string bytes;
    file.read = ReadSettingsBytes(path, bytes, file.problem, stop);
    if (file.read != EReadFile::Read)
        return file;
    file.image.assign(kSettingsImageSize, 0xFF);
    file.check = CheckSettingsText(bytes, path, file.image);
    if (!file.check.ok)
        file.image.clear();
    return file;
}

namespace {

// The first line of the file that is wrong, with what is wrong with it, as the
// lines of values go by. The reader places values by their count alone, so one
// value too many or too few on a line would shift every later value into the
// wrong register: each line that holds values must hold the writer's 16, and no
// value may come past the 1280th.
class CLineJudge {
public:
    void Pair(const CSettingsPair& pair)
    {
        if (pair.line != m_nLine)
            EndLine();
        m_nLine = pair.line;
        ++m_nValues;
        ++m_nTotal;
        if (m_badPair.empty() && !(IsHexDigit(pair.first) && IsHexDigit(pair.second))) {
            m_badPair = Printable(pair.first);
            if (pair.second != CSettingsStream::kEnd)
                m_badPair += Printable(pair.second);
        }
    }
    void End() { EndLine(); }

    std::size_t BadLine() const { return m_nBadLine; }
    const std::string& What() const { return m_what; }

private:
    void EndLine()
    {
        if (m_nValues == 0 || m_nBadLine != 0)
            return;
        if (!m_badPair.empty())
            m_what = "\"" + m_badPair + "\" is not a two-digit hexadecimal value";
        else if (m_nValues != kSettingsLineValues)
            m_what = std::to_string(m_nValues) + (m_nValues == 1 ? " value" : " values") + ", a data line holds " +
                     std::to_string(kSettingsLineValues);
        else if (m_nTotal > kSettingsFileValues)
            m_what = "values past the " + std::to_string(kSettingsFileValues) + " a settings file holds";
        if (!m_what.empty())
            m_nBadLine = m_nLine;
        m_nValues = 0;
        m_badPair.clear();
    }

    std::size_t m_nLine = 0;   // line of the values being counted
    std::size_t m_nValues = 0; // values on that line so far
    std::size_t m_nTotal = 0;  // values of the file so far, past the reader's limit too
    std::string m_badPair;     // the line's first pair that is not two hex digits
    std::size_t m_nBadLine = 0;
    std::string m_what;
};

CSettingsFileCheck CheckStream(CSettingsStream& in, const std::string& path, std::span<std::uint16_t> parsed)
{
    CSettingsFileCheck check;
    std::vector<std::uint16_t> image(kSettingsImageSize, 0xFF);
    CLineJudge judge;
    CSettingsPair pair;
    // Read to the end, past the reader's limit, so a line is judged by all it holds.
    while (NextPair(in, pair)) {
        if (check.values < kSettingsReadLimit) {
            if (check.values < image.size())
                image[check.values] = pair.value;
            ++check.values;
        }
        judge.Pair(pair);
    }
    judge.End();
    check.firstBadLine = judge.BadLine();

    std::copy_n(image.begin(), std::min(image.size(), parsed.size()), parsed.begin());
    std::fill(parsed.begin() + static_cast<std::ptrdiff_t>(std::min(image.size(), parsed.size())), parsed.end(),
              std::uint16_t{0xFF});
    check.present[0] = true;
    for (std::size_t b = 1; b < kSettingsBlockCount; ++b)
        check.present[b] = image[MarkerEntry(b)] == b;

    if (check.firstBadLine != 0)
        check.problem = path + ": line " + std::to_string(check.firstBadLine) + ": " + judge.What();
    else if (check.values != kSettingsFileValues)
        check.problem = path + ": holds " + std::to_string(check.values) + " values, a settings file holds " +
                        std::to_string(kSettingsFileValues);
    else
        check.ok = true;
    return check;
}

} // namespace

} // namespace zarnix
