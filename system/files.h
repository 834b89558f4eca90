// Files the programs open by a name the operator gave: settings files, the
// simulated camera's state file, the bus trace. The tools often run as root on a
// PC that several operators share, so a name in a shared folder (/tmp, sticky and
// world-writable) may have been prepared by another user, and may be changed by
// them while we work. What is done is decided on what was opened, never on a name
// looked at before: the last name is opened without following a link, hop by hop
// from a folder held open, a link followed only where the kernel's
// protected_symlinks rule would follow it; the descriptor's fstat then says what
// it is (regular file, pipe, device), whose, with how many names. The rules of
// protected_fifos and protected_regular hold whether or not those sysctls are on.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "system/stop_check.h"

namespace zarnix {

// Why a file operation failed, in the two halves the messages tell apart.
struct CFileFault {
    bool atOpen = false;  // the file could not be opened (or made) at all; false: it failed once open
    int error = 0;        // the errno behind it; 0 for a refusal of our own
    std::string reason;   // strerror's text, or why a name was refused
    bool stopped = false; // a write to a pipe or device that did not drain, given up on a stop
};

// Hears of a replacement's temporary file (its name in the target's folder and
// its descriptor) once it is made and again once the bytes are in, before it
// takes the target's name.
using CReplaceWatch = std::function<void(const std::string& temporary, int fd)>;

// Replaces the file at a name with new bytes as a whole, in two steps, so that
// a long job finds out before it starts that it cannot write: Open holds the
// folder, decides on what the name holds now and makes a temporary file of mode
// 0600 in the held folder; Commit writes it, syncs it, gives it the old file's
// owner and mode (a new file's is `newMode` less the umask), renames it over the
// name relative to the held folder, and syncs the folder. A crash leaves the old
// content or the new one; a replacement never committed removes its temporary
// file. A pipe or character device cannot be replaced by a rename without losing
// the node, so it is opened at Open and written in place at Commit; a regular
// file reached through the process's own descriptor (/dev/stdout, /dev/fd/N)
// is the caller's and is written in place too.
// Refused at Open, with the reason: another user's link, file, pipe or device in
// a shared folder, and a block device.
class CFileReplacement {
public:
    CFileReplacement() = default;
    ~CFileReplacement();
    CFileReplacement(const CFileReplacement&) = delete;
    CFileReplacement& operator=(const CFileReplacement&) = delete;

    // `stop` ends a wait for a pipe's reader and a write that does not drain.
    bool Open(const std::string& path, CFileFault& fault, const CStopCheck& stop = {}, mode_t newMode = 0666,
              const CReplaceWatch& watch = {});
    bool Commit(std::string_view bytes, CFileFault& fault);
    // Before Open: a name that is not a regular file is refused at once rather
    // than written in place (a file that must be a file, such as a state file).
    void RegularOnly() { m_regularOnly = true; }

private:
    void Drop();

    int m_folder = -1;
    std::string m_name;      // the target's name in the folder
    std::string m_temporary; // "" when writing in place
    int m_fd = -1;           // the temporary file, or the target written in place
    bool m_exists = false;   // the target was there at Open: its owner and mode are kept
    uid_t m_uid = 0;
    gid_t m_gid = 0;
    mode_t m_mode = 0;
    bool m_truncate = false; // a regular file written in place
    bool m_regularOnly = false;
    CStopCheck m_stop;
    CReplaceWatch m_watch;
};

// Open and Commit at once.
bool ReplaceFile(const std::string& path, std::string_view bytes, CFileFault& fault, const CReplaceWatch& watch = {});

// Opens `path` for writing as it goes, in place: what the bus trace needs. An
// existing regular file is truncated, except another user's in a shared folder or
// one with a second name there; a missing one is created. A pipe or character
// device is opened non-blocking (see WriteUnlessStopped), under the same rules as
// for CFileReplacement; a pipe without a reader is waited for while `stop` allows,
// refused at once without one. Returns the descriptor, or -1 with `fault`.
int OpenForWriting(const std::string& path, CFileFault& fault, const CStopCheck& stop = {});

// Opens `path` for reading and writing as the regular file it names, made empty
// with mode `newMode` when it is missing: the simulated camera's state file.
// Anything but a regular file, a file this user may not write, and another user's
// file in a shared folder are refused at once, without a wait.
int OpenRegularForUpdate(const std::string& path, mode_t newMode, CFileFault& fault);

// Writes all of `bytes`; on a non-blocking descriptor that does not drain (a pipe
// nobody reads) it waits in short polls and gives up once `stop` says so
// (fault.stopped). A pipe whose reader has gone (EPIPE) is noted (NoteBrokenPipe).
bool WriteUnlessStopped(int fd, std::string_view bytes, CFileFault& fault, const CStopCheck& stop = {});

// Reads the whole file at `path`, at most `limit` bytes: more is refused (the
// reason says so). `stop` is asked between reads and while a pipe is silent.
// With `regularOnly` anything but a regular file is refused at once.
enum class EReadFile { Read, Failed, TooLarge, Stopped };
EReadFile ReadWholeFile(const std::string& path, std::size_t limit, std::string& bytes, CFileFault& fault,
                        const CStopCheck& stop = {}, bool regularOnly = false);

// The same, on a descriptor already open (a locked state file), from its start.
EReadFile ReadWholeDescriptor(int fd, std::size_t limit, std::string& bytes, CFileFault& fault,
                              const CStopCheck& stop = {});

// Follows the links at the end of `path` as far as the link rule allows and
// gives the name the chain ends in, its folder as the kernel resolved it when it
// was opened: what the vendor library's loader then checks folder by folder.
// False with `fault` for a link the rule refuses, a loop, or a folder missing.
bool ResolveOwnLinks(const std::string& path, std::string& end, CFileFault& fault);

// Whether the two names lead to one file: the same device and inode, or, where
// a name does not exist yet, the same absolute path once folders are resolved.
bool SameFile(const std::string& a, const std::string& b);

// For tests: called with the last name once it has been looked at and before it
// is opened to be read or written or made, where another user's swap would do
// most harm. Empty in the programs.
void SetBeforeOpenHookForTests(std::function<void(const std::string& name)> hook);

} // namespace zarnix
