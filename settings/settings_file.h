// The hex text settings file: a title line with the file's own path, then five
// blocks (Eeprom, ISP B0, ISP B1, Stat B0, Stat B1) of 256 bytes, each under a
// header line, as 16 data lines of 16 upper-case hex pairs. Lines end in CR LF
// on disk on every platform, since the files travel between Windows and Linux.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "system/files.h"
#include "link/messages.h"

namespace zarnix {

constexpr std::size_t kSettingsBlockCount = 5;
constexpr std::size_t kSettingsBlockSize = 256;
constexpr std::size_t kSettingsFileValues = kSettingsBlockCount * kSettingsBlockSize; // 1280 written
constexpr std::size_t kSettingsReadLimit = 4096; // the reader stops after this many values
constexpr std::size_t kSettingsImageSize = 1536; // what a transfer holds: room for six blocks
constexpr std::size_t kSettingsLineValues = 16;
// The blocks in file order, as the tools name them.
inline constexpr const char* kSettingsBlockNames[kSettingsBlockCount] = {"Eeprom", "ISP B0", "ISP B1", "Stat B0",
                                                                         "Stat B1"};
// A settings file is 4 KiB; anything past this is not one, and is not read on
// (a pipe that never ends among them).
constexpr std::size_t kSettingsFileMaxBytes = 1u << 20;

// Block b of the image starts at entry 256 * b. Blocks 1 to 4 carry their block
// number in their last entry (the marker) when they were read from a camera.
constexpr std::size_t MarkerEntry(std::size_t block) { return block * kSettingsBlockSize + kSettingsBlockSize - 1; }

// One data line: 16 entries as "XX " each, then '\n' (49 characters).
std::string FormatSettingsLine(std::span<const std::uint16_t, kSettingsLineValues> entries);

// The file's whole text for the first 1280 entries of `image`, titled with `path`;
// entries the image lacks are written as FF.
std::string FormatSettingsFile(std::span<const std::uint16_t> image, const std::string& path);

// Writes the first 1280 entries of `image` to `path`, replacing the file as a whole
// (ReplaceFile of system/files.h: the old file's owner and mode kept, a link
// followed only where the kernel would). On failure the operator is told through
// `messages` ("Failed to create %s: <reason>" or "Failed to write %s: <reason>")
// and false comes back; the old file, if any, is untouched.
bool SaveSettingsFile(std::span<const std::uint16_t> image, const std::string& path, CMessageSink& messages);
// The same in the two steps a camera to file takes: the file opened for
// replacing (its folder held, the temporary file made) before the first register
// is read, so that a name that cannot be written fails at once; then written.
bool OpenSettingsFile(CFileReplacement& file, const std::string& path, CMessageSink& messages,
                      const CStopCheck& stop = {});
bool CommitSettingsFile(CFileReplacement& file, std::span<const std::uint16_t> image, const std::string& path,
                        CMessageSink& messages);

// The file's bytes, read once (at most kSettingsFileMaxBytes), so that what is
// checked is what gets written. Anything but Read comes with `problem`, one line
// naming the file. `stop` ends a read that waits on a pipe.
EReadFile ReadSettingsBytes(const std::string& path, std::string& bytes, std::string& problem,
                            const CStopCheck& stop = {});

// The reader's rules over the file's bytes: values into `image` from entry 0 on,
// up to the end of the file, 4096 values or the end of the image, whichever
// comes first; entries after the last value stored keep what they held. Returns
// how many entries it stored.
std::size_t ParseSettingsText(std::string_view text, std::span<std::uint16_t> image);

// What a file holds, judged before anything of it goes to a camera.
struct CSettingsFileCheck {
    // Opened and laid out as the writer lays it out: 1280 values, 16 on every line
    // that holds values, every pair two hex digits.
    bool ok = false;
    std::string problem;         // when not ok: one line naming the file and the first bad line
    std::size_t values = 0;      // values the reader found (up to 4096)
    // 1-based line of the first line that is wrong: a pair that is not two hex
    // digits, other than 16 values, or values past the 1280th. 0: none (a file
    // that ends early, or cannot be read, has no line to name).
    std::size_t firstBadLine = 0;
    std::array<bool, kSettingsBlockCount> present{}; // block 0 always; 1-4 when their marker is right
};

// Reads `path` once and parses it by the reader's rules, tracking lines, without
// touching a camera.
// The values parsed go into `image` (entries the file did not supply become 0xFF),
// so a caller that acts on the verdict uses exactly the bytes that were judged; a
// file that cannot be read leaves `image` as it was.
CSettingsFileCheck CheckSettingsFile(const std::string& path, std::span<std::uint16_t> image = {});
// The same judgement of text already in memory; `name` stands for the file in `problem`.
CSettingsFileCheck CheckSettingsText(std::string_view text, const std::string& name,
                                     std::span<std::uint16_t> image = {});

// A settings file read once and checked, for load and verify: what is checked is
// what gets used, also from a pipe or a file that changes meanwhile.
struct CSettingsFileRead {
    EReadFile read = EReadFile::Failed;
    std::string problem;       // read is not Read: one line naming the file
    CSettingsFileCheck check;  // read is Read: the file's check (problem and line when not ok)
    std::vector<std::uint16_t> image; // Ok(): kSettingsImageSize entries
    bool Ok() const { return read == EReadFile::Read && check.ok; }
};
CSettingsFileRead ReadCheckedSettingsFile(const std::string& path, const CStopCheck& stop = {});

} // namespace zarnix
