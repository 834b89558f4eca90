#include "settings/settings_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
constexpr int kMaxSymlinkHops = 40;
constexpr int kTempNameAttempts = 100;

char HexDigit(unsigned d) { return static_cast<char>(d < 10 ? '0' + d : 'A' + (d - 10)); }

// ---------------------------------------------------------------- reading

// The file as a text stream: CR LF arrives as one LF, Ctrl-Z is the end of the
// file, anything else (a lone CR included) arrives unchanged. Lines are counted
// so the checker can point the operator at the offending line.
class CSettingsStream {
public:
    static constexpr int kEnd = -1;

    explicit CSettingsStream(std::FILE* file) : m_file(file) {}
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
            else if (next != EOF)
                Unget(next);
        } else if (c == EOF || c == 0x1A) {
            NoteError();
            m_bEnd = true;
            return kEnd;
        }
        if (c == '\n')
            ++m_nLine;
        return c;
    }

    std::size_t Line() const { return m_nLine; }
    int Error() const { return m_nError; }

private:
    int Raw()
    {
        if (m_file)
            return std::getc(m_file);
        return m_nPos < m_text.size() ? static_cast<unsigned char>(m_text[m_nPos++]) : EOF;
    }
    void Unget(int c)
    {
        if (m_file)
            std::ungetc(c, m_file);
        else
            --m_nPos;
    }
    void NoteError()
    {
        if (m_file && std::ferror(m_file) && m_nError == 0)
            m_nError = errno != 0 ? errno : EIO;
    }

    std::FILE* m_file = nullptr;
    std::string_view m_text; // the bytes when they are already in memory
    std::size_t m_nPos = 0;
    bool m_bEnd = false;
    std::size_t m_nLine = 1;
    int m_nError = 0;
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

struct CFileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using CFilePtr = std::unique_ptr<std::FILE, CFileCloser>;

// ---------------------------------------------------------------- writing

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

namespace {

// Where the bytes must land: the end of any chain of symbolic links, so that a
// link stays a link and its target gets the new content.
bool ResolveTarget(const std::string& path, std::string& target, int& error)
{
    namespace fs = std::filesystem;
    fs::path current = path;
    for (int hop = 0; hop < kMaxSymlinkHops; ++hop) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            target = current.string();
            return true;
        }
        std::error_code ec;
        const fs::path next = fs::read_symlink(current, ec);
        if (ec) {
            error = ec.value();
            return false;
        }
        current = next.is_absolute() ? next : current.parent_path() / next;
    }
    error = ELOOP;
    return false;
}

bool WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Created with 0666 so the umask (and any default ACL) applies as for any other
// new file; mkstemp's 0600 would leave the settings file private.
int CreateTemp(const std::string& target, std::string& tempPath)
{
    static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device seed;
    std::mt19937 random(seed());
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kChars - 2);
    for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
        tempPath = target + '.';
        for (int i = 0; i < 6; ++i)
            tempPath += kChars[pick(random)];
        const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

void SyncDirectoryOf(const std::string& target)
{
    std::string dir = std::filesystem::path(target).parent_path().string();
    if (dir.empty())
        dir = ".";
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

void ReportCreateFailure(const std::string& path, CMessageSink& messages)
{
    char text[kMsgBufferSize];
    FormatMsg(text, "Failed to create %s:", path.c_str());
    messages.Show(text);
}

void ReportWriteFailure(const std::string& path, int error, CMessageSink& messages)
{
    char text[kMsgBufferSize];
    FormatMsg(text, "Failed to write %s: %s", path.c_str(), std::strerror(error));
    messages.Show(text);
}

// A device or pipe cannot be replaced by renaming without destroying the node,
// so it is written in place.
bool WriteInPlace(const std::string& target, const std::string& path, std::string_view bytes,
                  CMessageSink& messages)
{
    const int fd = ::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) {
        ReportCreateFailure(path, messages);
        return false;
    }
    const bool written = WriteAll(fd, bytes);
    const int error = errno;
    if (::close(fd) != 0 || !written) {
        ReportWriteFailure(path, written ? errno : error, messages);
        return false;
    }
    return true;
}

} // namespace

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

bool SaveSettingsFile(std::span<const std::uint16_t> image, const std::string& path, CMessageSink& messages)
{
    const std::string bytes = FormatSettingsFile(image, path);

    std::string target;
    int error = 0;
    if (!ResolveTarget(path, target, error)) {
        ReportCreateFailure(path, messages);
        return false;
    }
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode))
        return WriteInPlace(target, path, bytes, messages);

    std::string tempPath;
    const int fd = CreateTemp(target, tempPath);
    if (fd < 0) {
        ReportCreateFailure(path, messages);
        return false;
    }
    bool ok = true;
    if (exists) {
        // Owner first: a change of owner may clear set-id bits that the mode restores.
        // Only root may give the file away; for anyone else it already is theirs.
        if (::fchown(fd, old.st_uid, old.st_gid) != 0 && errno != EPERM)
            ok = false;
        ok = ok && ::fchmod(fd, old.st_mode & 07777) == 0;
    }
    ok = ok && WriteAll(fd, bytes) && ::fsync(fd) == 0;
    error = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && ::rename(tempPath.c_str(), target.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlink(tempPath.c_str());
        ReportWriteFailure(path, error, messages);
        return false;
    }
    SyncDirectoryOf(target);
    return true;
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

CLoadResult LoadSettingsFile(std::span<std::uint16_t> image, const std::string& path, CMessageSink& messages)
{
    CLoadResult result;
    char text[kMsgBufferSize];
    const CFilePtr file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        FormatMsg(text, "Failed to open %s: %s", path.c_str(), std::strerror(errno));
        messages.Show(text);
        return result;
    }
    CSettingsStream in(file.get());
    result.values = ReadValues(in, image);
    // A read error (a directory, a failing disk) must not pass for a short file.
    if (in.Error() != 0) {
        FormatMsg(text, "Failed to read %s: %s", path.c_str(), std::strerror(in.Error()));
        messages.Show(text);
        return result;
    }
    result.opened = true;
    return result;
}

CSettingsFileCheck CheckSettingsFile(const std::string& path, std::span<std::uint16_t> parsed)
{
    CSettingsFileCheck check;
    const CFilePtr file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        check.problem = "Cannot open " + path + ": " + std::strerror(errno);
        return check;
    }
    CSettingsStream in(file.get());
    return CheckStream(in, path, parsed);
}

CSettingsFileCheck CheckSettingsText(std::string_view text, const std::string& name, std::span<std::uint16_t> parsed)
{
    CSettingsStream in(text);
    return CheckStream(in, name, parsed);
}

namespace {

CSettingsFileCheck CheckStream(CSettingsStream& in, const std::string& path, std::span<std::uint16_t> parsed)
{
    CSettingsFileCheck check;
    std::vector<std::uint16_t> image(kSettingsImageSize, 0xFF);
    std::string badPair;
    CSettingsPair pair;
    while (check.values < kSettingsReadLimit && NextPair(in, pair)) {
        if (check.values < image.size())
            image[check.values] = pair.value;
        ++check.values;
        if (check.firstBadLine == 0 && !(IsHexDigit(pair.first) && IsHexDigit(pair.second))) {
            check.firstBadLine = pair.line;
            badPair = Printable(pair.first);
            if (pair.second != CSettingsStream::kEnd)
                badPair += Printable(pair.second);
        }
    }

    std::copy_n(image.begin(), std::min(image.size(), parsed.size()), parsed.begin());
    std::fill(parsed.begin() + static_cast<std::ptrdiff_t>(std::min(image.size(), parsed.size())), parsed.end(),
              std::uint16_t{0xFF});
    check.present[0] = true;
    for (std::size_t b = 1; b < kSettingsBlockCount; ++b)
        check.present[b] = image[MarkerEntry(b)] == b;

    if (in.Error() != 0)
        check.problem = "Cannot read " + path + ": " + std::strerror(in.Error());
    else if (check.firstBadLine != 0)
        check.problem = path + ": line " + std::to_string(check.firstBadLine) + ": \"" + badPair +
                        "\" is not a two-digit hexadecimal value";
    else if (check.values < kSettingsFileValues)
        check.problem = path + ": holds " + std::to_string(check.values) + " values, a settings file holds " +
                        std::to_string(kSettingsFileValues);
    else
        check.ok = true;
    return check;
}

} // namespace

} // namespace zarnix
