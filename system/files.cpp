#include "system/files.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

namespace zarnix {

namespace {

constexpr int kMaxLinkHops = 40;     // as the kernel's MAXSYMLINKS
constexpr int kOpenAttempts = 10;    // a missing name that keeps appearing under us
constexpr int kStopPollMs = 100;     // how soon a stop is noticed while a pipe is silent or full
constexpr std::size_t kChunk = 65536;
constexpr int kTemporaryAttempts = 100;
constexpr const char* kReplacedMeanwhile = "the file was replaced while it was opened";

std::atomic<bool> g_brokenPipe{false};
std::function<void(const std::string&)> g_beforeOpen;

// A descriptor closed with its scope.
class CFd {
public:
    CFd() = default;
    explicit CFd(int fd) : m_fd(fd) {}
    ~CFd() { Reset(); }
    CFd(CFd&& other) noexcept : m_fd(other.Release()) {}
    CFd& operator=(CFd&& other) noexcept
    {
        if (this != &other) {
            Reset();
            m_fd = other.Release();
        }
        return *this;
    }
    int Get() const { return m_fd; }
    int Release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    void Reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd = -1;
};

std::string Parent(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    const std::size_t end = path.find_last_not_of('/', slash);
    return end == std::string::npos ? "/" : path.substr(0, end + 1);
}

std::string Base(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool Fail(CFileFault& fault, bool atOpen, int error)
{
    fault.atOpen = atOpen;
    fault.error = error;
    fault.reason = std::strerror(error);
    return false;
}

bool Refuse(CFileFault& fault, const char* reason)
{
    fault.atOpen = true;
    fault.error = 0;
    fault.reason = reason;
    return false;
}

bool SameInode(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// A folder where anyone may put a name and only its owner may take it away: /tmp.
bool SharedFolder(const struct stat& folder) { return (folder.st_mode & (S_ISVTX | S_IWOTH)) == (S_ISVTX | S_IWOTH); }

// What the kernel's protected_symlinks, protected_fifos and protected_regular
// rules all ask: in a shared folder, a name that belongs neither to us nor to
// the folder's owner was put there by somebody else.
bool PutThereByAnother(const struct stat& entry, const struct stat& folder)
{
    return SharedFolder(folder) && entry.st_uid != ::geteuid() && entry.st_uid != folder.st_uid;
}

// The process's umask, read without changing it: umask() both reads and sets,
// which a second thread would see.
mode_t CurrentUmask()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("Umask:", 0) == 0)
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8)) & 0777;
    return 022;
}

bool WriteAll(int fd, std::string_view bytes)
{
    CFileFault ignored;
    return WriteUnlessStopped(fd, bytes, ignored);
}

// A name found: the folder that holds it, held open, and what the name is now.
struct CNode {
    CFd folder;
    struct stat folderStat {};
    std::string name;
    bool exists = false;
    struct stat stat {};
    // Reached through a link of /proc (/dev/stdout, /dev/fd/N): a descriptor the
    // caller already holds, whose link nobody can plant and only the kernel can
    // follow; what it leads to was chosen by whoever opened it (the shell's `>`).
    bool ownDescriptor = false;
};

bool OpenFolder(int at, const std::string& path, CNode& node, CFileFault& fault)
{
    // Read access lets the folder be synced; a folder we may only pass through is still held.
    int fd = ::openat(at, path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 && errno == EACCES)
        fd = ::openat(at, path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || ::fstat(fd, &node.folderStat) != 0) {
        if (fd >= 0)
            ::close(fd);
        return Fail(fault, true, errno);
    }
    node.folder.Reset(fd);
    return true;
}

bool InProc(int folder)
{
    struct statfs fs {};
    return ::fstatfs(folder, &fs) == 0 && fs.f_type == PROC_SUPER_MAGIC;
}

// Follows `path` to the name at the end of its chain of links, hop by hop, each
// hop looked at as it is (O_PATH, no link followed) in the folder held open. A
// link is followed when it belongs to this process's user, when its folder is
// not shared, or when the link's owner owns the folder. Folders on the way are
// the kernel's to resolve.
bool FindNode(const std::string& path, CNode& node, CFileFault& fault)
{
    if (path.empty())
        return Fail(fault, true, ENOENT);
    std::string folder = Parent(path);
    node.name = Base(path);
    int at = AT_FDCWD;
    CFd previous;
    for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
        if (!OpenFolder(at, folder, node, fault))
            return false;
        if (node.name.empty() || node.name == "." || node.name == "..")
            return Fail(fault, true, EISDIR);
        CFd look(::openat(node.folder.Get(), node.name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        if (look.Get() < 0) {
            if (errno != ENOENT)
                return Fail(fault, true, errno);
            node.exists = false;
            return true;
        }
        if (::fstat(look.Get(), &node.stat) != 0)
            return Fail(fault, true, errno);
        node.exists = true;
        if (!S_ISLNK(node.stat.st_mode))
            return true;
        if (InProc(node.folder.Get())) {
            CFd through(::openat(node.folder.Get(), node.name.c_str(), O_PATH | O_CLOEXEC));
            if (through.Get() < 0 || ::fstat(through.Get(), &node.stat) != 0)
                return Fail(fault, true, errno);
            node.ownDescriptor = true;
            return true;
        }
        if (PutThereByAnother(node.stat, node.folderStat))
            return Refuse(fault, "not following another user's link in a shared folder");
        char target[PATH_MAX];
        const ssize_t n = ::readlinkat(look.Get(), "", target, sizeof target - 1);
        if (n <= 0)
            return Fail(fault, true, n == 0 ? ENOENT : errno);
        const std::string next(target, static_cast<std::size_t>(n));
        previous = std::move(node.folder); // the next hop's folder is named relative to this one
        at = next.front() == '/' ? AT_FDCWD : previous.Get();
        folder = Parent(next);
        node.name = Base(next);
    }
    return Fail(fault, true, ELOOP);
}

// Opens the node found for reading or writing, by the same name in the same held
// folder, and makes sure it is still the file looked at: a name swapped meanwhile
// is not used. `node.stat` becomes the opened descriptor's.
int Reopen(CNode& node, int flags, CFileFault& fault)
{
    if (g_beforeOpen)
        g_beforeOpen(node.name);
    const int follow = node.ownDescriptor ? 0 : O_NOFOLLOW;
    const int fd = ::openat(node.folder.Get(), node.name.c_str(), flags | follow | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        if (errno == ELOOP && follow) // a link put in the file's place since the look
            Refuse(fault, kReplacedMeanwhile);
        else
            Fail(fault, true, errno);
        return -1;
    }
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || !SameInode(opened, node.stat)) {
        ::close(fd);
        Refuse(fault, kReplacedMeanwhile);
        return -1;
    }
    node.stat = opened;
    return fd;
}

// Makes the name in the held folder, never through a link put there meanwhile.
int Create(CNode& node, int flags, mode_t mode, CFileFault& fault)
{
    if (g_beforeOpen)
        g_beforeOpen(node.name);
    const int fd = ::openat(node.folder.Get(), node.name.c_str(),
                            flags | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, mode);
    if (fd < 0)
        Fail(fault, true, errno);
    else
        ::fstat(fd, &node.stat);
    return fd;
}

// What a name may not be written as, by the kernel's rules for shared folders
// and ours for devices. `inPlace`: its bytes are overwritten, not replaced by a rename.
struct CWriteRule {
    bool (*applies)(const CNode& node, bool inPlace);
    const char* reason;
};
constexpr CWriteRule kWriteRules[] = {
    {[](const CNode& n, bool) { return S_ISBLK(n.stat.st_mode); }, "not writing to a block device"},
    {[](const CNode& n, bool) {
         return !n.ownDescriptor && S_ISREG(n.stat.st_mode) && PutThereByAnother(n.stat, n.folderStat);
     },
     "not writing into another user's file in a shared folder"},
    {[](const CNode& n, bool) {
         return !n.ownDescriptor && !S_ISREG(n.stat.st_mode) && PutThereByAnother(n.stat, n.folderStat);
     },
     "not writing into another user's pipe or device in a shared folder"},
    {[](const CNode& n, bool inPlace) {
         return inPlace && !n.ownDescriptor && S_ISREG(n.stat.st_mode) && n.stat.st_nlink > 1 &&
                SharedFolder(n.folderStat);
     },
     "not truncating a file that has another name (a hard link) in a shared folder"},
};

bool WriteAllowed(const CNode& node, bool inPlace, CFileFault& fault)
{
    for (const CWriteRule& rule : kWriteRules)
        if (rule.applies(node, inPlace))
            return Refuse(fault, rule.reason);
    return true;
}

// A pipe or character device, opened to be written in place without blocking:
// a pipe nobody reads yet is waited for while `stop` allows.
int OpenInPlace(CNode& node, CFileFault& fault, const CStopCheck& stop)
{
    for (;;) {
        const int fd = Reopen(node, O_WRONLY | O_NONBLOCK, fault);
        if (fd >= 0 || fault.error != ENXIO || !S_ISFIFO(node.stat.st_mode))
            return fd;
        if (!stop) {
            Refuse(fault, "no program reads the pipe");
            return -1;
        }
        if (stop()) {
            Refuse(fault, "stopped while waiting for a program to read the pipe");
            fault.stopped = true;
            return -1;
        }
        ::poll(nullptr, 0, kStopPollMs);
    }
}

std::string TemporaryName()
{
    static thread_local std::mt19937_64 random{std::random_device{}()};
    char name[32];
    std::snprintf(name, sizeof name, ".zarnix-%012llx",
                  static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFull));
    return name;
}

} // namespace

void NoteBrokenPipe() { g_brokenPipe = true; }
bool BrokenPipe() { return g_brokenPipe; }

void SetBeforeOpenHookForTests(std::function<void(const std::string& name)> hook) { g_beforeOpen = std::move(hook); }

bool WriteUnlessStopped(int fd, std::string_view bytes, CFileFault& fault, const CStopCheck& stop)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n >= 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN) {
            if (errno == EPIPE)
                NoteBrokenPipe();
            return Fail(fault, false, errno);
        }
        if (stop && stop()) {
            fault = {false, 0, "stopped while the output did not drain", true};
            return false;
        }
        pollfd room{fd, POLLOUT, 0};
        ::poll(&room, 1, kStopPollMs);
    }
    return true;
}

CFileReplacement::~CFileReplacement() { Drop(); }

void CFileReplacement::Drop()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_temporary.empty())
        ::unlinkat(m_folder, m_temporary.c_str(), 0);
    if (m_folder >= 0)
        ::close(m_folder);
    m_fd = m_folder = -1;
    m_temporary.clear();
}

bool CFileReplacement::Open(const std::string& path, CFileFault& fault, const CStopCheck& stop, mode_t newMode,
                            const CReplaceWatch& watch)
{
    Drop();
    m_stop = stop;
    m_watch = watch;
    CNode node;
    if (!FindNode(path, node, fault))
        return false;
    m_exists = node.exists;
    m_truncate = node.exists && S_ISREG(node.stat.st_mode) && node.ownDescriptor;
    if (node.exists && m_regularOnly && !S_ISREG(node.stat.st_mode))
        return Refuse(fault, "not a regular file");
    if (node.exists && (!S_ISREG(node.stat.st_mode) || node.ownDescriptor)) {
        if (!WriteAllowed(node, true, fault))
            return false;
        m_fd = m_truncate ? Reopen(node, O_WRONLY, fault) : OpenInPlace(node, fault, stop);
        return m_fd >= 0 && WriteAllowed(node, true, fault);
    }
    if (node.exists && !WriteAllowed(node, false, fault))
        return false;
    m_uid = node.stat.st_uid;
    m_gid = node.stat.st_gid;
    m_mode = node.exists ? node.stat.st_mode & 07777 : newMode & ~CurrentUmask();
    m_name = node.name;
    // A short name, so that any name legal for the target fits; 0600 until the
    // bytes are in, so nobody can open it on the way and read them later.
    for (int attempt = 0; attempt < kTemporaryAttempts && m_fd < 0; ++attempt) {
        const std::string name = TemporaryName();
        m_fd = ::openat(node.folder.Get(), name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (m_fd >= 0)
            m_temporary = name;
        else if (errno != EEXIST)
            break;
    }
    if (m_fd < 0)
        return Fail(fault, true, errno);
    m_folder = node.folder.Release();
    if (m_watch)
        m_watch(m_temporary, m_fd);
    return true;
}

bool CFileReplacement::Commit(std::string_view bytes, CFileFault& fault)
{
    if (m_fd < 0)
        return Fail(fault, true, EBADF);
    if (m_temporary.empty()) {
        bool ok = !m_truncate || ::ftruncate(m_fd, 0) == 0 || Fail(fault, false, errno);
        ok = ok && WriteUnlessStopped(m_fd, bytes, fault, m_stop);
        const int fd = m_fd;
        m_fd = -1;
        if (::close(fd) != 0 && ok)
            ok = Fail(fault, false, errno);
        Drop();
        return ok;
    }
    bool ok = WriteAll(m_fd, bytes) && ::fsync(m_fd) == 0;
    if (ok && m_watch)
        m_watch(m_temporary, m_fd);
    // Owner first: a change of owner clears set-id bits that the mode restores.
    // Only root may give a file away; anyone else's file already is theirs.
    if (ok && m_exists && ::fchown(m_fd, m_uid, m_gid) != 0 && errno != EPERM)
        ok = false;
    ok = ok && ::fchmod(m_fd, m_mode) == 0;
    int error = errno;
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && ::renameat(m_folder, m_temporary.c_str(), m_folder, m_name.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        Drop();
        return Fail(fault, false, error);
    }
    m_temporary.clear();
    ::fsync(m_folder); // a folder held only to pass through cannot be synced; the rename stands
    Drop();
    return true;
}

bool ReplaceFile(const std::string& path, std::string_view bytes, CFileFault& fault, const CReplaceWatch& watch)
{
    CFileReplacement replacement;
    return replacement.Open(path, fault, {}, 0666, watch) && replacement.Commit(bytes, fault);
}

int OpenForWriting(const std::string& path, CFileFault& fault, const CStopCheck& stop)
{
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        CNode node;
        if (!FindNode(path, node, fault))
            return -1;
        if (!node.exists) {
            const int fd = Create(node, O_WRONLY, 0666, fault);
            if (fd >= 0 || fault.error != EEXIST)
                return fd;
            continue; // a name put there since the look: the next round looks at it
        }
        if (!WriteAllowed(node, true, fault))
            return -1;
        const bool regular = S_ISREG(node.stat.st_mode);
        CFd fd(regular ? Reopen(node, O_WRONLY, fault) : OpenInPlace(node, fault, stop));
        if (fd.Get() < 0 || !WriteAllowed(node, true, fault))
            return -1;
        if (regular && ::ftruncate(fd.Get(), 0) != 0) {
            Fail(fault, true, errno);
            return -1;
        }
        return fd.Release();
    }
    Fail(fault, true, EEXIST);
    return -1;
}

int OpenRegularForUpdate(const std::string& path, mode_t newMode, CFileFault& fault)
{
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        CNode node;
        if (!FindNode(path, node, fault))
            return -1;
        if (!node.exists) {
            const int fd = Create(node, O_RDWR, newMode, fault);
            if (fd >= 0 || fault.error != EEXIST)
                return fd;
            continue;
        }
        // Decided before the open: a pipe's open would wait, a device's may act.
        if (!S_ISREG(node.stat.st_mode)) {
            Refuse(fault, "not a regular file");
            return -1;
        }
        if (!WriteAllowed(node, false, fault))
            return -1;
        CFd fd(Reopen(node, O_RDWR | O_NONBLOCK, fault));
        if (fd.Get() < 0 || !WriteAllowed(node, false, fault))
            return -1;
        if (!S_ISREG(node.stat.st_mode)) {
            Refuse(fault, "not a regular file");
            return -1;
        }
        return fd.Release();
    }
    Fail(fault, true, EEXIST);
    return -1;
}

EReadFile ReadWholeDescriptor(int fd, std::size_t limit, std::string& bytes, CFileFault& fault,
                              const CStopCheck& stop)
{
    bytes.clear();
    ::lseek(fd, 0, SEEK_SET); // a pipe has no start to go back to, and needs none
    std::string chunk(kChunk, '\0');
    for (;;) {
        if (stop && stop())
            return EReadFile::Stopped;
        // A pipe may stay silent for ever; the poll's timeout lets a stop through
        // even when its signal came just before the wait.
        pollfd ready{fd, POLLIN, 0};
        const int r = ::poll(&ready, 1, kStopPollMs);
        if (r < 0 && errno != EINTR) {
            Fail(fault, false, errno);
            return EReadFile::Failed;
        }
        if (r <= 0)
            continue;
        const std::size_t room = std::min(chunk.size(), limit + 1 - bytes.size());
        const ssize_t n = ::read(fd, chunk.data(), room);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            Fail(fault, false, errno);
            return EReadFile::Failed;
        }
        if (n == 0)
            return EReadFile::Read;
        bytes.append(chunk.data(), static_cast<std::size_t>(n));
        if (bytes.size() > limit)
            return EReadFile::TooLarge;
    }
}

EReadFile ReadWholeFile(const std::string& path, std::size_t limit, std::string& bytes, CFileFault& fault,
                        const CStopCheck& stop, bool regularOnly)
{
    CNode node;
    if (!FindNode(path, node, fault))
        return EReadFile::Failed;
    if (!node.exists) {
        Fail(fault, true, ENOENT);
        return EReadFile::Failed;
    }
    if (regularOnly && !S_ISREG(node.stat.st_mode)) {
        Refuse(fault, "not a regular file");
        return EReadFile::Failed;
    }
    // Non-blocking, so a fifo's open does not wait for its writer: the reads'
    // polls wait instead, and a stop ends them. This descriptor is ours alone (a
    // pipe or terminal reopened through /dev/stdin gets a description of its
    // own), so the shell's is untouched.
    CFd fd(Reopen(node, O_RDONLY | O_NONBLOCK, fault));
    if (fd.Get() < 0)
        return EReadFile::Failed;
    return ReadWholeDescriptor(fd.Get(), limit, bytes, fault, stop);
}

bool ResolveOwnLinks(const std::string& path, std::string& end, CFileFault& fault)
{
    CNode node;
    if (!FindNode(path, node, fault))
        return false;
    char folder[PATH_MAX];
    const std::string held = "/proc/self/fd/" + std::to_string(node.folder.Get());
    const ssize_t n = ::readlink(held.c_str(), folder, sizeof folder - 1);
    if (n <= 0)
        return Fail(fault, true, n == 0 ? ENOENT : errno);
    const std::string resolved(folder, static_cast<std::size_t>(n));
    end = (resolved == "/" ? "" : resolved) + "/" + node.name;
    return true;
}

bool SameFile(const std::string& a, const std::string& b)
{
    struct stat sa {}, sb {};
    const bool hasA = ::stat(a.c_str(), &sa) == 0;
    const bool hasB = ::stat(b.c_str(), &sb) == 0;
    if (hasA && hasB)
        return SameInode(sa, sb);
    std::error_code error;
    const auto full = [&](const std::string& p) {
        return std::filesystem::weakly_canonical(std::filesystem::absolute(p, error), error);
    };
    return full(a) == full(b);
}

} // namespace zarnix
