#include "link/adapters/bus_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace zarnix {

namespace {

bool WritableFolder(const char* path) { return path && *path && ::access(path, W_OK | X_OK) == 0; }

} // namespace

std::string CBusLock::LockFolder()
{
    if (const char* own = std::getenv("ZARNIX_LOCK_DIR"); own && *own)
        return own;
    if (WritableFolder("/run/lock"))
        return "/run/lock";
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); WritableFolder(runtime))
        return runtime;
    return "/tmp";
}

std::string CBusLock::LockPath(const std::string& key)
{
    // One file name per key: the key's path with its separators folded.
    std::string name;
    for (char c : key)
        name += (c == '/' || c == ' ') ? '_' : c;
    return LockFolder() + "/zarnix" + name + ".lock";
}

CBusLock::~CBusLock() { Release(); }

bool CBusLock::Acquire(const std::string& key, std::string& error)
{
    Release();
    const std::string path = LockPath(key);
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = "Error: Could not open the bus lock " + path + ": " + std::strerror(errno);
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int why = errno;
        char holder[32] = {};
        const ssize_t n = ::pread(fd, holder, sizeof holder - 1, 0);
        ::close(fd);
        error = "Error: " + key + " is in use by another program";
        if (why == EWOULDBLOCK && n > 0 && std::atoi(holder) > 0)
            error += " (process " + std::to_string(std::atoi(holder)) + ")";
        else if (why != EWOULDBLOCK)
            error += std::string(": ") + std::strerror(why);
        error += "; only one program may talk to a camera bus at a time.";
        return false;
    }
    // Who holds it, for the next program's message.
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) == 0)
        (void)!::pwrite(fd, pid.data(), pid.size(), 0);
    m_fd = fd;
    return true;
}

void CBusLock::Release()
{
    if (m_fd >= 0) {
        ::close(m_fd); // drops the flock
        m_fd = -1;
    }
}

} // namespace zarnix
