// One program per camera at a time. A register write is two transactions 10 ms
// apart, and another program's frame between them would write the wrong
// register, so a program holds this lock for as long as it talks to the camera.
//
// The lock is an flock() on a file opened for writing, so that only someone who
// may use the camera can hold it away from the others: the kernel checks write
// permission before it hands out the descriptor. It is taken on the resource
// itself where the operators may write it (the bus node, the simulated camera's
// state file); a vendor library's file is root's, so its lock lives in
// kLibraryLockFolder, which only the i2c group may write. flock belongs to the
// open file, not to the process, so the bus node's own opens and closes of
// every transaction do not drop it; a program that dies drops it with its last
// descriptor, and /proc/locks names the holder.
#pragma once

#include <sys/types.h>

#include <string>

namespace zarnix {

// Made at boot by the package (tmpfiles.d): root's, group i2c, mode 3770. The
// sticky bit keeps an operator from removing a lock file another holds, after
// which a second program would lock a new file of the same name.
inline constexpr const char* kLibraryLockFolder = "/run/zarnix";

class CResourceLock {
public:
    CResourceLock() = default;
    ~CResourceLock();
    CResourceLock(const CResourceLock&) = delete;
    CResourceLock& operator=(const CResourceLock&) = delete;
    // Takes over `other`'s lock, dropping its own.
    CResourceLock& operator=(CResourceLock&& other) noexcept;

    // Opens `path` for reading and writing and locks it, at once or not at all.
    // `name` is what the message calls it. On failure `error` ("Error: ...")
    // names the holder's process and its user where the system tells them.
    bool TakeFile(const std::string& path, const std::string& name, std::string& error);
    // Locks the file open at `fd`, which the lock keeps and closes on release
    // (also when it fails).
    bool Take(int fd, const std::string& name, std::string& error);
    // Locks the library open at `libraryFd` (which stays the caller's) through
    // a file in `folder` named after its device and inode, so that every name
    // of the library shares it. Where `folder` does not exist, locks a
    // read-only descriptor of the library itself as a last resort and says so
    // in `note`.
    bool TakeLibrary(int libraryFd, const std::string& name, std::string& error, std::string& note,
                     const std::string& folder = kLibraryLockFolder);
    void Release();
    bool Held() const { return m_fd >= 0; }
    // After a Take refused because another program holds the lock: that
    // program's process, 0 when the system does not tell; -1 otherwise.
    int Holder() const { return m_holder; }
    // The locked file's descriptor, for reading it under the lock; -1 when not held.
    int Descriptor() const { return m_fd; }

private:
    int m_fd = -1;
    int m_holder = -1;
};

// The process holding an flock on the file open at `fd`, as /proc/locks tells
// it; 0 when it cannot be known.
int LockHolder(int fd);

// The name of the user `uid`, or the number where the system knows no name.
std::string UserName(uid_t uid);
// The same for the group `gid`.
std::string GroupName(gid_t gid);

} // namespace zarnix
