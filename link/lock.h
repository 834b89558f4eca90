// One program per camera at a time. A register write is two transactions 10 ms
// apart, and another program's frame between them would write the wrong
// register, so a program holds this lock for as long as it talks to the camera.
//
// The lock is an flock() on the resource itself: the bus node, the vendor
// library's file, the simulated camera's state file. Nothing is made in a shared
// folder, so no other user can plant a name there, leave a file only its owner
// may open, or write a false holder into it. flock belongs to the open file, not
// to the process, so the bus node's own opens and closes of every transaction do
// not drop it; a program that dies drops it with its last descriptor. A read-only
// descriptor can take it, so every user of a library can.
#pragma once

#include <string>

namespace zarnix {

class CResourceLock {
public:
    CResourceLock() = default;
    ~CResourceLock();
    CResourceLock(const CResourceLock&) = delete;
    CResourceLock& operator=(const CResourceLock&) = delete;
    // Takes over `other`'s lock, dropping its own.
    CResourceLock& operator=(CResourceLock&& other) noexcept;

    // Opens `path` read-only and locks it, at once or not at all. `name` is what
    // the message calls it. On failure `error` ("Error: ...") names the holder's
    // process where the system tells it.
    bool TakeFile(const std::string& path, const std::string& name, std::string& error);
    // Locks the file open at `fd`, which the lock keeps and closes on release
    // (also when it fails).
    bool Take(int fd, const std::string& name, std::string& error);
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

} // namespace zarnix
