#include "link/lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace zarnix {

namespace {

// The short name of process `pid`, printable, or "" when it is gone.
std::string ProcessName(int pid)
{
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    for (char& c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    return name;
}

} // namespace

int LockHolder(int fd)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return 0;
    // Lines such as "2: FLOCK  ADVISORY  WRITE 2310 fe:00:10952843 0 EOF"; the
    // kernel names the file by its device as major:minor in hex and its inode.
    char file[64];
    std::snprintf(file, sizeof file, "%02x:%02x:%lu", major(st.st_dev), minor(st.st_dev),
                  static_cast<unsigned long>(st.st_ino));
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        std::istringstream fields(line);
        std::string number, kind, advisory, mode, where;
        int pid = 0;
        if (fields >> number >> kind >> advisory >> mode >> pid >> where && kind == "FLOCK" && where == file &&
            pid > 0 && pid != ::getpid())
            return pid;
    }
    return 0;
}

CResourceLock::~CResourceLock() { Release(); }

CResourceLock& CResourceLock::operator=(CResourceLock&& other) noexcept
{
    if (this != &other) {
        Release();
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

bool CResourceLock::TakeFile(const std::string& path, const std::string& name, std::string& error)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        error = "Error: Could not open " + name + " to lock it: " + std::strerror(errno);
        return false;
    }
    return Take(fd, name, error);
}

bool CResourceLock::Take(int fd, const std::string& name, std::string& error)
{
    Release();
    m_holder = -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        m_fd = fd;
        return true;
    }
    const int why = errno;
    if (why != EWOULDBLOCK) {
        error = "Error: Could not lock " + name + ": " + std::strerror(why);
    } else {
        error = "Error: " + name + " is in use by another program";
        m_holder = LockHolder(fd);
        if (const int holder = m_holder) {
            const std::string program = ProcessName(holder);
            error += " (process " + std::to_string(holder) + (program.empty() ? "" : ", " + program) + ")";
        }
        error += "; only one program may talk to a camera at a time.";
    }
    ::close(fd);
    return false;
}

void CResourceLock::Release()
{
    if (m_fd >= 0) {
        ::close(m_fd); // drops the flock
        m_fd = -1;
    }
}

} // namespace zarnix
