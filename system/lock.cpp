#include "system/lock.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "system/printable.h"

namespace zarnix {

namespace {

// An entry of the user or group database by its number, or the number where it has none.
template <typename TEntry, typename TId>
std::string EntryName(TId id, int (*lookup)(TId, TEntry*, char*, std::size_t, TEntry**), char* TEntry::*name)
{
    TEntry entry {};
    TEntry* found = nullptr;
    char buffer[1024];
    return lookup(id, &entry, buffer, sizeof buffer, &found) == 0 && found ? found->*name : std::to_string(id);
}

} // namespace

std::string UserName(uid_t uid) { return EntryName(uid, ::getpwuid_r, &passwd::pw_name); }

std::string GroupName(gid_t gid) { return EntryName(gid, ::getgrgid_r, &group::gr_name); }

namespace {

// The short name of process `pid`, or "" when it is gone. The process chose it
// itself; its user, which it cannot choose, comes with it in the message.
std::string ProcessName(int pid)
{
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    return PrintableName(name);
}

// The user process `pid` runs as (its effective user, as ps shows it), or "".
std::string ProcessUser(int pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        std::istringstream fields(line);
        std::string key;
        unsigned long real = 0, effective = 0;
        if (!(fields >> key >> real >> effective) || key != "Uid:")
            continue;
        return PrintableName(UserName(static_cast<uid_t>(effective)));
    }
    return "";
}

// "zarnixctl (pid 4711, user alice)", or "another program" when nothing is known.
std::string HolderText(int pid)
{
    if (pid <= 0)
        return "another program";
    const std::string program = ProcessName(pid);
    const std::string user = ProcessUser(pid);
    return (program.empty() ? "process" : program) + " (pid " + std::to_string(pid) +
           (user.empty() ? "" : ", user " + user) + ")";
}

int Refuse(std::string& error, const std::string& text, int fd = -1)
{
    error = "Error: " + text;
    if (fd >= 0)
        ::close(fd);
    return -1;
}

// The lock file for the library open at `libraryFd` in `folder`, opened for
// writing; -1 with `error`, and `missing` when the folder does not exist.
int OpenLibraryLockFile(int libraryFd, const std::string& name, const std::string& folder, std::string& error,
                        bool& missing)
{
    // O_PATH: the i2c group needs only to pass through the folder and make files there.
    const int dir = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir < 0) {
        const int why = errno;
        missing = why == ENOENT;
        return Refuse(error, "Could not open " + folder + " to lock " + name + ": " + std::strerror(why) +
                                 (why == EACCES ? " (it is for the i2c group: sudo usermod -aG i2c $USER)" : ""));
    }
    struct stat folderStat {}, library {};
    if (::fstat(dir, &folderStat) != 0 || ::fstat(libraryFd, &library) != 0)
        return Refuse(error, "Could not lock " + name + ": " + std::strerror(errno), dir);
    // Anyone else who could write there could plant a lock file only they may open.
    if ((folderStat.st_mode & S_IWOTH) || (folderStat.st_uid != 0 && folderStat.st_uid != ::geteuid()))
        return Refuse(error, "Not locking " + name + " in " + folder + ": that folder is " +
                                 ((folderStat.st_mode & S_IWOTH) ? "writable by every user" : "another user's") +
                                 "; it should be root's, group i2c, mode 3770, as the package makes it at boot.",
                      dir);
    char file[96];
    std::snprintf(file, sizeof file, "library-%x.%x-%lu.lock", major(library.st_dev), minor(library.st_dev),
                  static_cast<unsigned long>(library.st_ino));
    const std::string where = folder + "/" + file;
    const int fd = ::openat(dir, file, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0660);
    if (fd < 0) {
        const int why = errno;
        return Refuse(error, "Could not open " + where + " to lock " + name + ": " +
                                 (why == ELOOP ? "a link stands there, which is not followed" : std::strerror(why)),
                      dir);
    }
    struct stat lock {};
    if (::fstat(fd, &lock) != 0 || !S_ISREG(lock.st_mode) || lock.st_nlink != 1) {
        ::close(dir);
        return Refuse(error, "Not locking " + name + " through " + where + ": it is not a plain file of its own.", fd);
    }
    // The next operator must be able to open it too, whatever this one's umask
    // and group; only its maker may change it, and a failure leaves it as it was.
    if (lock.st_uid == ::geteuid()) {
        if (lock.st_gid != folderStat.st_gid)
            (void)!::fchown(fd, static_cast<uid_t>(-1), folderStat.st_gid);
        (void)!::fchmod(fd, 0660);
    }
    ::close(dir);
    return fd;
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
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        error = "Error: Could not open " + name + " to lock it: " + std::strerror(errno);
        return false;
    }
    return Take(fd, name, error);
}

bool CResourceLock::TakeLibrary(int libraryFd, const std::string& name, std::string& error, std::string& note,
                                const std::string& folder)
{
    Release();
    m_holder = -1;
    bool missing = false;
    int fd = OpenLibraryLockFile(libraryFd, name, folder, error, missing);
    if (missing) {
        // Not installed by the package (a build tree, another prefix): the lock
        // as it was, on the library's own file, which any reader of it can take.
        // A fresh open, as the loader's own descriptor must not carry it.
        fd = ::open(("/proc/self/fd/" + std::to_string(libraryFd)).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) {
            error = "Error: Could not open " + name + " to lock it: " + std::strerror(errno);
            return false;
        }
        error.clear();
        note = "no " + folder + " (the package makes it at boot), so " + name +
               " is locked on its own file, which any user who may read it can hold";
    }
    return fd >= 0 && Take(fd, name, error);
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
        m_holder = LockHolder(fd);
        error = "Error: " + name + " is in use by " + HolderText(m_holder) +
                "; only one program may talk to a camera at a time.";
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
