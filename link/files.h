// Files the programs open by a name the operator gave: settings files, the
// simulated camera's state file, the bus trace. The tools often run as root on a
// PC that several operators share, so a name in a shared folder (/tmp) may have
// been prepared by another user: a symbolic link is followed only where the
// kernel's protected_symlinks rule would follow it, whether or not that sysctl is
// on, and nothing is truncated in place that a rename can replace.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "link/stop_check.h"

namespace zarnix {

// Why a file operation failed, in the two halves the messages tell apart.
struct CFileFault {
    bool atOpen = false; // the file could not be opened (or made) at all; false: it failed once open
    int error = 0;       // the errno behind it; 0 for a refusal of our own
    std::string reason;  // strerror's text, or why a link was not followed
};

// Follows the chain of symbolic links at the end of `path`, as far as the
// kernel would for this process: a link is followed when it belongs to this
// process's user, when its folder is not sticky and world-writable, or when the
// link's owner owns its folder. `end` becomes the last name of the chain (the
// file itself, or the name a missing file would get). False, with `why`, for a
// link the rule refuses or a loop. Folders on the way are the kernel's to resolve.
bool FollowOwnLinks(const std::string& path, std::string& end, std::string& why);

// Replaces the file at `path` with `bytes` as a whole: a temporary file of mode
// 0600 beside it, written, synced, given the old file's owner and mode (a new
// file's comes from the umask), renamed over it, the folder synced. A crash
// leaves the old content or the new one. A target that is not a regular file (a
// pipe, a terminal, a device) is written in place instead. `watch`, when given,
// hears of the temporary file (its name and descriptor) once it is made and
// again once the bytes are in, before it takes the target's name.
using CReplaceWatch = std::function<void(const std::string& temporary, int fd)>;
bool ReplaceFile(const std::string& path, std::string_view bytes, CFileFault& fault, const CReplaceWatch& watch = {});

// Opens `path` for writing as it goes, in place: what the bus trace needs. An
// existing regular file is truncated only where the kernel's protected_regular
// rule would let an O_CREAT open through (not another user's file in a sticky
// world-writable folder); a missing one is created, never through a link put in
// its place meanwhile. Returns the descriptor, or -1 with `fault`.
int OpenForWriting(const std::string& path, CFileFault& fault);

// Reads the whole file at `path`, at most `limit` bytes: more is refused (the
// reason says so). `stop` is asked between reads, so a pipe that never ends can
// be stopped by a signal.
enum class EReadFile { Read, Failed, TooLarge, Stopped };
EReadFile ReadWholeFile(const std::string& path, std::size_t limit, std::string& bytes, CFileFault& fault,
                        const CStopCheck& stop = {});

// The same, on a descriptor already open (a locked state file), from its start.
EReadFile ReadWholeDescriptor(int fd, std::size_t limit, std::string& bytes, CFileFault& fault,
                              const CStopCheck& stop = {});

// Whether the two names lead to one file: the same device and inode, or, where
// a name does not exist yet, the same absolute path once folders are resolved.
bool SameFile(const std::string& a, const std::string& b);

} // namespace zarnix
