// The simulated camera's state file.
#include "sim/sim_state.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "system/files.h"
#include "camera/register_map.h"
#include "link/iic_link.h"
#include "sim/sim_camera.h"
#include "system/printable.h"

namespace zarnix {

namespace {

constexpr std::string_view kMagic = "zarnix-sim-state";
constexpr std::size_t kRowsPerBank = 16;
constexpr std::size_t kValuesPerRow = 16;

bool IsKeptBank(std::uint8_t bank)
{
    for (std::uint8_t kept : kSimKeptBanks)
        if (kept == bank)
            return true;
    return false;
}

// Exactly two hex digits, either case.
bool ParsePair(std::string_view token, std::uint8_t& value)
{
    const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), value, 16);
    return token.size() == 2 && error == std::errc() && end == token.data() + token.size();
}

bool ParseDecimal(std::string_view token, unsigned& value)
{
    const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), value, 10);
    return !token.empty() && error == std::errc() && end == token.data() + token.size();
}

// A token as it may go into a message: a fuzzed file must not put control
// characters or a megabyte of text on the operator's terminal.
std::string Quoted(std::string_view token)
{
    constexpr std::size_t kShown = 24;
    std::string text = "'" + PrintableName(token.substr(0, kShown), false, true);
    if (token.size() > kShown)
        text += "...";
    return text + "'";
}

std::string BankName(std::uint8_t bank)
{
    char text[8];
    std::snprintf(text, sizeof text, "%02x", bank);
    return text;
}

std::vector<std::string_view> Tokens(std::string_view line)
{
    std::vector<std::string_view> tokens;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t')
            ++i;
        if (i > start)
            tokens.push_back(line.substr(start, i - start));
    }
    return tokens;
}

bool IsKeyword(std::string_view token)
{
    return token == "address" || token == "present" || token == "commits" || token == "unplug-after" ||
           token == "bank" || token == "end";
}

class CParser {
public:
    explicit CParser(CSimStateError& error) : m_error(error) {}

    bool Line(std::string_view line);
    bool Finish();
    CSimState& State() { return m_state; }

private:
    bool Fail(std::string message)
    {
        m_error.line = m_line;
        m_error.message = std::move(message);
        return false;
    }
    bool Magic(const std::vector<std::string_view>& tokens);
    bool Row(const std::vector<std::string_view>& tokens);
    bool Setting(const std::vector<std::string_view>& tokens);
    bool HeaderComplete(std::string_view keyword);
    bool InBank() const { return m_bank != nullptr && m_rows < kRowsPerBank; }

    CSimStateError& m_error;
    CSimState m_state;
    std::size_t m_line = 0;
    bool m_magic = false;
    bool m_address = false;
    bool m_present = false;
    bool m_commits = false;
    bool m_unplug = false;
    bool m_ended = false;
    CSimBank* m_bank = nullptr;
    std::uint8_t m_bankNumber = 0;
    std::size_t m_rows = 0;
};

bool CParser::Line(std::string_view line)
{
    ++m_line;
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    const auto tokens = Tokens(line);
    if (!m_magic)
        return Magic(tokens);
    if (tokens.empty() || tokens[0].front() == '#')
        return true;
    if (m_ended)
        return Fail("nothing may follow the 'end' line");
    if (InBank()) {
        if (IsKeyword(tokens[0]))
            return Fail("bank " + BankName(m_bankNumber) + " has " + std::to_string(m_rows) + " of its 16 rows");
        return Row(tokens);
    }
    return Setting(tokens);
}

bool CParser::Magic(const std::vector<std::string_view>& tokens)
{
    if (tokens.size() != 2 || tokens[0] != kMagic)
        return Fail("not a simulated camera state file (the first line must be 'zarnix-sim-state 1')");
    if (tokens[1] != std::to_string(kSimStateVersion))
        return Fail("state format version " + Quoted(tokens[1]) + " is not supported (this build reads 1)");
    m_magic = true;
    return true;
}

bool CParser::Row(const std::vector<std::string_view>& tokens)
{
    const std::string where = "bank " + BankName(m_bankNumber) + ", row " + std::to_string(m_rows + 1) + ": ";
    if (tokens.size() != kValuesPerRow)
        return Fail(where + "16 values expected, found " + std::to_string(tokens.size()));
    for (std::size_t k = 0; k < kValuesPerRow; ++k)
        if (!ParsePair(tokens[k], (*m_bank)[m_rows * kValuesPerRow + k]))
            return Fail(where + Quoted(tokens[k]) + " is not a two-digit hex value");
    ++m_rows;
    return true;
}

bool CParser::HeaderComplete(std::string_view keyword)
{
    const char* missing = !m_address ? "address" : !m_present ? "present" : !m_commits ? "commits" : nullptr;
    if (missing)
        return Fail("'" + std::string(keyword) + "' before the '" + missing + "' line");
    return true;
}

bool CParser::Setting(const std::vector<std::string_view>& tokens)
{
    const std::string_view keyword = tokens[0];
    if (!IsKeyword(keyword))
        return Fail("unknown line starting with " + Quoted(keyword));
    if (keyword == "end") {
        if (tokens.size() != 1)
            return Fail("'end' takes no value");
        if (!HeaderComplete(keyword))
            return false;
        m_ended = true;
        return true;
    }
    if (tokens.size() != 2)
        return Fail("'" + std::string(keyword) + "' takes one value");
    const std::string_view value = tokens[1];

    if (keyword == "bank") {
        if (!HeaderComplete(keyword))
            return false;
        std::uint8_t number = 0;
        if (!ParsePair(value, number))
            return Fail("bank " + Quoted(value) + " is not a two-digit hex number");
        if (number == kBankLiveMirror)
            return Fail("bank a1 only mirrors bank 30 and cannot be kept");
        if (m_state.banks.count(number))
            return Fail("bank " + BankName(number) + " appears twice");
        m_bank = &m_state.banks[number];
        m_bankNumber = number;
        m_rows = 0;
        return true;
    }

    // The settings describe the camera as a whole; they come before its memory.
    if (m_bank != nullptr)
        return Fail("'" + std::string(keyword) + "' after the first bank");
    bool& seen = keyword == "address"        ? m_address
                 : keyword == "present"      ? m_present
                 : keyword == "unplug-after" ? m_unplug
                                             : m_commits;
    if (seen)
        return Fail("a second '" + std::string(keyword) + "' line");
    seen = true;
    if (keyword == "address") {
        std::uint8_t address = 0;
        if (!ParsePair(value, address))
            return Fail("address " + Quoted(value) + " is not a two-digit hex number");
        if (address % 2 != 0 || address >= kNoCameraAddress)
            return Fail("address " + BankName(address) + " is not an even write address below fc");
        m_state.address = address;
    } else if (keyword == "present") {
        if (value != "yes" && value != "no")
            return Fail("present must be yes or no, not " + Quoted(value));
        m_state.present = value == "yes";
    } else if (keyword == "unplug-after") {
        if (!ParseDecimal(value, m_state.unplugAfter) || m_state.unplugAfter == 0)
            return Fail("unplug-after " + Quoted(value) + " is not a count of transfers above 0");
    } else if (!ParseDecimal(value, m_state.commits)) {
        return Fail("commits " + Quoted(value) + " is not a decimal count");
    }
    return true;
}

bool CParser::Finish()
{
    m_line = 0; // what is wrong now is the file as a whole
    if (!m_magic)
        return Fail("empty file, not a simulated camera state file");
    if (InBank())
        return Fail("the file ends inside bank " + BankName(m_bankNumber) + " (" + std::to_string(m_rows) +
                    " of 16 rows)");
    if (!m_ended)
        return Fail("the file ends without its 'end' line; it was cut off");
    for (std::uint8_t kept : kSimKeptBanks)
        if (!m_state.banks.count(kept))
            return Fail("bank " + BankName(kept) + " is missing");
    return true;
}

} // namespace

CSimState CaptureSimState(const CSimCamera& camera)
{
    CSimState state;
    state.address = camera.CameraAddress();
    state.present = camera.Present();
    state.commits = camera.CommitCount();
    state.unplugAfter = camera.DisappearsAfter();
    for (unsigned b = 0; b < 256; ++b) {
        const auto bank = static_cast<std::uint8_t>(b);
        if (bank == kBankLiveMirror)
            continue;
        CSimBank content{};
        bool used = false;
        for (unsigned i = 0; i < 256; ++i) {
            content[i] = camera.Peek(bank, static_cast<std::uint8_t>(i));
            used = used || content[i] != 0;
        }
        if (used || IsKeptBank(bank))
            state.banks[bank] = content;
    }
    return state;
}

void ApplySimState(const CSimState& state, CSimCamera& camera)
{
    camera.MoveCamera(state.address);
    camera.SetPresent(state.present);
    camera.SetCommitCount(state.commits);
    camera.DisappearAfter(state.unplugAfter);
    for (const auto& [bank, content] : state.banks)
        for (unsigned i = 0; i < 256; ++i)
            camera.Poke(bank, static_cast<std::uint8_t>(i), content[i]);
}

std::string FormatSimState(const CSimState& state)
{
    std::string text;
    char line[64];
    std::snprintf(line, sizeof line, "%s %d\n", kMagic.data(), kSimStateVersion);
    text += line;
    text += "# Memory of the simulated camera (zarnixctl --sim-state); format: sim/sim_state.h\n";
    std::snprintf(line, sizeof line, "address %02x\npresent %s\ncommits %u\n", state.address,
                  state.present ? "yes" : "no", state.commits);
    text += line;
    if (state.unplugAfter != 0)
        text += "unplug-after " + std::to_string(state.unplugAfter) + "\n";
    // The kept banks first, in the order the camera's blocks are usually read.
    std::vector<std::uint8_t> order(std::begin(kSimKeptBanks), std::end(kSimKeptBanks));
    for (const auto& entry : state.banks)
        if (!IsKeptBank(entry.first))
            order.push_back(entry.first);
    for (std::uint8_t bank : order) {
        const auto it = state.banks.find(bank);
        if (it == state.banks.end())
            continue;
        text += "bank " + BankName(bank) + "\n";
        for (std::size_t row = 0; row < kRowsPerBank; ++row) {
            for (std::size_t k = 0; k < kValuesPerRow; ++k) {
                std::snprintf(line, sizeof line, k ? " %02X" : "%02X", it->second[row * kValuesPerRow + k]);
                text += line;
            }
            text += '\n';
        }
    }
    text += "end\n";
    return text;
}

bool ParseSimState(std::string_view text, CSimState& state, CSimStateError& error)
{
    CParser parser(error);
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        const std::size_t stop = end == std::string_view::npos ? text.size() : end;
        if (!parser.Line(text.substr(start, stop - start)))
            return false;
        start = stop + 1;
    }
    if (!parser.Finish())
        return false;
    state = std::move(parser.State());
    return true;
}

namespace {

ESimStateLoad ParseStateBytes(const std::string& path, const std::string& text, EReadFile read,
                              const CFileFault& fault, CSimState& state, std::string& error)
{
    switch (read) {
    case EReadFile::Read:
        break;
    case EReadFile::TooLarge:
        error = path + ": larger than any simulated camera state file";
        return ESimStateLoad::Failed;
    case EReadFile::Failed:
    case EReadFile::Stopped:
        error = "cannot read " + path + ": " + fault.reason;
        return ESimStateLoad::Failed;
    }
    if (text.empty())
        return ESimStateLoad::Missing;
    CSimStateError problem;
    if (!ParseSimState(text, state, problem)) {
        error = path + ":" + (problem.line ? std::to_string(problem.line) + ":" : "") + " " + problem.message;
        return ESimStateLoad::Failed;
    }
    return ESimStateLoad::Loaded;
}

// The state file opened for the lock, for writing as well as reading: the kernel
// checks that the caller may write it before anyone can hold the camera with it.
// New state files are private, as the camera's memory may be the operator's
// alone. A pipe or device in its place is refused at once, never waited on.
constexpr mode_t kNewStateMode = 0600;

// Replaces the state file as a whole, under its lock where `watch` takes it.
bool ReplaceStateFile(const std::string& path, const CSimState& state, std::string& error,
                      const CReplaceWatch& watch = {})
{
    CFileReplacement replacement;
    replacement.RegularOnly();
    CFileFault fault;
    if (replacement.Open(path, fault, {}, kNewStateMode, watch) && replacement.Commit(FormatSimState(state), fault))
        return true;
    error = "cannot write " + path + ": " + fault.reason;
    return false;
}

int OpenStateFile(const std::string& path, std::string& error)
{
    CFileFault fault;
    const int fd = OpenRegularForUpdate(path, kNewStateMode, fault);
    if (fd < 0)
        error = "cannot open " + path + (fault.error == EACCES ? " for writing: " : ": ") + fault.reason;
    return fd;
}

} // namespace

ESimStateLoad LoadSimStateFile(const std::string& path, CSimState& state, std::string& error)
{
    std::string text;
    CFileFault fault;
    const EReadFile read = ReadWholeFile(path, kSimStateMaxBytes, text, fault, {}, true);
    if (read == EReadFile::Failed && fault.error == ENOENT)
        return ESimStateLoad::Missing;
    return ParseStateBytes(path, text, read, fault, state, error);
}

ESimStateLoad CSimStateFile::Open(const std::string& path, CSimState& state, std::string& error)
{
    m_path = path;
    constexpr int kAttempts = 10;
    for (int attempt = 0;; ++attempt) {
        if (attempt == kAttempts) {
            error = "cannot lock " + path + ": it keeps being replaced";
            return ESimStateLoad::Failed;
        }
        const int fd = OpenStateFile(path, error);
        if (fd < 0)
            return ESimStateLoad::Failed;
        if (!m_lock.Take(fd, path, error))
            return ESimStateLoad::Failed;
        // A run that ended between our open and our lock has renamed its new
        // state over the name: read that one, under a lock of its own.
        struct stat locked {}, named {};
        if (::fstat(fd, &locked) == 0 && ::stat(path.c_str(), &named) == 0 && locked.st_dev == named.st_dev &&
            locked.st_ino == named.st_ino)
            break;
        m_lock.Release();
    }
    std::string text;
    CFileFault fault;
    const EReadFile read = ReadWholeDescriptor(m_lock.Descriptor(), kSimStateMaxBytes, text, fault);
    const ESimStateLoad loaded = ParseStateBytes(path, text, read, fault, state, error);
    if (loaded == ESimStateLoad::Failed)
        m_lock.Release(); // a file that could not be read is not this run's to write
    return loaded;
}

bool CSimStateFile::Save(const CSimState& state, std::string& error)
{
    // The new file is locked before it takes the name, so the lock passes from
    // the old file to the new one with no moment between.
    CResourceLock next;
    const auto lockNew = [&](const std::string&, int fd) {
        std::string ignored; // a new file nobody else can have open yet
        if (!next.Held())
            next.Take(::dup(fd), m_path, ignored);
    };
    if (!ReplaceStateFile(m_path, state, error, lockNew))
        return false;
    m_lock = std::move(next);
    return true;
}

} // namespace zarnix
