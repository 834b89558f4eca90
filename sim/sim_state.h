// The simulated camera's memory kept in a text file between runs, so that what
// one command writes into the camera (a set, a store, a file transfer) is still
// there for the next one, as it would be on a powered camera.
//
// The file, line by line (blank lines and lines starting with '#' are ignored):
//
//     zarnix-sim-state 1          magic word and format version
//     address 70                  the camera's 8-bit write address, hex, even, below fc
//     present yes                 yes, or no for a camera that answers nothing
//     commits 3                   how often the commit command reached the camera, decimal
//     unplug-after 300            optional: the camera stops answering after this many
//                                 transfers of a run, as one pulled from its adapter midway
//     bank 30                     a bank, hex, then its 256 registers as
//     0F 00 40 40 80 ...          16 lines of 16 two-digit hex values
//     ...                         further banks
//     end                         the last line, so a cut-off file is noticed
//
// The settings come once each, before the first bank. Banks 30, a0, e0, e2,
// f0, f2 and 88 (what the camera keeps) must all be there; any other bank may be,
// except a1, which only mirrors bank 30. A bank the file leaves out holds zeros.
// An empty file is a camera fresh from the factory, as a missing one is: the
// tool makes the file empty when it first locks it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "system/lock.h"

namespace zarnix {

class CSimCamera;

constexpr int kSimStateVersion = 1;
// Far above any state the writer produces (all 255 banks are about 210 KiB);
// anything bigger is not a state file and is not read into memory.
constexpr std::size_t kSimStateMaxBytes = 1u << 20;

// The banks a state file always carries: what the camera keeps between commands.
inline constexpr std::uint8_t kSimKeptBanks[] = {0x30, 0xA0, 0xE0, 0xE2, 0xF0, 0xF2, 0x88};

using CSimBank = std::array<std::uint8_t, 256>;

struct CSimState {
    std::uint16_t address = 0x70;
    bool present = true;
    unsigned commits = 0;
    unsigned unplugAfter = 0; // 0: never
    std::map<std::uint8_t, CSimBank> banks;

    bool operator==(const CSimState&) const = default;
};

// The kept banks, and any other bank that holds something other than zeros.
CSimState CaptureSimState(const CSimCamera& camera);
// Puts the state into a camera; banks the state leaves out are not touched.
void ApplySimState(const CSimState& state, CSimCamera& camera);

std::string FormatSimState(const CSimState& state);

struct CSimStateError {
    std::size_t line = 0; // 1-based; 0 when the problem is not on one line
    std::string message;
};

// Strict: any deviation from the format is refused with the first bad line.
// Fills `state` only on success.
bool ParseSimState(std::string_view text, CSimState& state, CSimStateError& error);

enum class ESimStateLoad {
    Loaded,
    Missing, // no such file, or an empty one: the camera starts from the factory
    Failed,  // unreadable or malformed; `error` says why, naming the file
};

// Reads a state file without locking it (for looking at one).
ESimStateLoad LoadSimStateFile(const std::string& path, CSimState& state, std::string& error);

// The state file of one run. It is locked before it is read and stays locked
// until the run's changes are in it, so two runs on one camera cannot both read
// the old state and each write back only their own change; the lock is on the
// file itself, so every name of it (a relative path, a hard link) is one camera.
class CSimStateFile {
public:
    // Opens `path` for writing (making it, empty and mode 0600, when it is
    // missing; never through a link of somebody else's), locks it and reads it.
    // Refused at once when another program holds it, when it is not a regular
    // file, when the caller may not write it, and when it is another user's in
    // a sticky world-writable folder.
    ESimStateLoad Open(const std::string& path, CSimState& state, std::string& error);
    // Writes `state` to the file, still under the lock, replacing it as a whole
    // (system/files.h): a crash leaves the old state or the new one, never half
    // of either. A name turned meanwhile into anything but a regular file is refused.
    bool Save(const CSimState& state, std::string& error);
    bool Held() const { return m_lock.Held(); }
    // After an Open refused because another program holds the file (see CResourceLock).
    int Holder() const { return m_lock.Holder(); }

private:
    std::string m_path;
    CResourceLock m_lock;
};

} // namespace zarnix
