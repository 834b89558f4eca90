// One program per bus at a time. A register write is two transactions 10 ms apart,
// and another program's frame between them would write the wrong register, so a
// program holds this lock for as long as it talks to the camera.
//
// The lock is an flock() on a lock file of its own: flock belongs to the open file,
// not to the process's descriptors of the bus node, which every transaction opens
// and closes. A program that dies drops it with its last descriptor.
#pragma once

#include <string>

namespace zarnix {

class CBusLock {
public:
    CBusLock() = default;
    ~CBusLock();
    CBusLock(const CBusLock&) = delete;
    CBusLock& operator=(const CBusLock&) = delete;

    // Takes the lock for the bus named `key` (a bus node, a library, a state file)
    // at once or not at all. On failure `error` says who holds it.
    bool Acquire(const std::string& key, std::string& error);
    void Release();

    // The folder of the lock files: ZARNIX_LOCK_DIR, else /run/lock, else the
    // user's runtime folder, else /tmp.
    static std::string LockFolder();
    // The lock file of `key`.
    static std::string LockPath(const std::string& key);

private:
    int m_fd = -1;
};

} // namespace zarnix
