#include "link/files.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace zarnix {

namespace {

constexpr int kMaxLinkHops = 40;     // as the kernel's MAXSYMLINKS
constexpr int kOpenAttempts = 10;    // a missing name that keeps appearing under us
constexpr int kStopPollMs = 100;     // how soon a stop is noticed while a pipe is silent
constexpr std::size_t kChunk = 65536;

std::string Parent(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A folder where anyone may put a name and only its owner may take it away: /tmp.
bool SharedFolder(const struct stat& folder) { return (folder.st_mode & (S_ISVTX | S_IWOTH)) == (S_ISVTX | S_IWOTH); }

// What the kernel's protected_symlinks and protected_regular rules both ask:
// in a shared folder, a name that belongs neither to us nor to the folder's
// owner was put there by somebody else.
bool PutThereByAnother(const struct stat& entry, const std::string& folder)
{
    struct stat dir {};
    if (::stat(folder.c_str(), &dir) != 0)
        return false;
    return SharedFolder(dir) && entry.st_uid != ::geteuid() && entry.st_uid != dir.st_uid;
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
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool Fail(CFileFault& fault, bool atOpen, int error)
{
    fault.atOpen = atOpen;
    fault.error = error;
    fault.reason = std::strerror(error);
    return false;
}

bool SameInode(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Opens what `path` leads to and checks that it is still the file looked at
// before: a name swapped meanwhile is not written.
int OpenChecked(const std::string& path, int flags, const struct stat& expected, CFileFault& fault)
{
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        Fail(fault, true, errno);
        return -1;
    }
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || !SameInode(opened, expected)) {
        ::close(fd);
        fault = {true, 0, "the file was replaced while it was opened"};
        return -1;
    }
    return fd;
}

// A pipe, a terminal or a device cannot be replaced by a rename without losing
// the node, so it gets the bytes in place.
bool WriteInPlace(const std::string& path, const struct stat& expected, std::string_view bytes, CFileFault& fault)
{
    const int fd = OpenChecked(path, O_WRONLY, expected, fault);
    if (fd < 0)
        return false;
    const bool written = WriteAll(fd, bytes);
    const int error = errno;
    if (::close(fd) != 0 && written)
        return Fail(fault, false, errno);
    return written || Fail(fault, false, error);
}

void SyncFolder(const std::string& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

bool FollowOwnLinks(const std::string& path, std::string& end, std::string& why)
{
    std::string current = path;
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat entry {};
        if (::lstat(current.c_str(), &entry) != 0 || !S_ISLNK(entry.st_mode)) {
            end = current;
            return true;
        }
        const std::string folder = Parent(current);
        if (PutThereByAnother(entry, folder)) {
            why = "not following another user's link in a shared folder";
            return false;
        }
        std::error_code error;
        const std::string next = std::filesystem::read_symlink(current, error).string();
        if (error) {
            end = current;
            return true; // the open will tell what is wrong with it
        }
        current = next.front() == '/' || folder == "." ? next : folder + "/" + next;
    }
    why = std::strerror(ELOOP);
    return false;
}

bool ReplaceFile(const std::string& path, std::string_view bytes, CFileFault& fault, const CReplaceWatch& watch)
{
    std::string target;
    if (!FollowOwnLinks(path, target, fault.reason)) {
        fault.atOpen = true;
        return false;
    }
    struct stat old {};
    const bool exists = ::stat(path.c_str(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode))
        return WriteInPlace(path, old, bytes, fault);

    // A short name, so that any name legal for the target fits; 0600 until the
    // bytes are in, so nobody can open it on the way and read them later.
    const std::string folder = Parent(target);
    std::string temp = folder + "/.zarnix-XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return Fail(fault, true, errno);
    if (watch)
        watch(temp, fd);
    bool ok = WriteAll(fd, bytes) && ::fsync(fd) == 0;
    if (ok && watch)
        watch(temp, fd);
    if (ok && exists) {
        // Owner first: a change of owner clears set-id bits that the mode restores.
        // Only root may give a file away; anyone else's file already is theirs.
        if (::fchown(fd, old.st_uid, old.st_gid) != 0 && errno != EPERM)
            ok = false;
        ok = ok && ::fchmod(fd, old.st_mode & 07777) == 0;
    } else if (ok) {
        ok = ::fchmod(fd, 0666 & ~CurrentUmask()) == 0;
    }
    int error = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        return Fail(fault, false, error);
    }
    SyncFolder(folder);
    return true;
}

int OpenForWriting(const std::string& path, CFileFault& fault)
{
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        std::string target;
        if (!FollowOwnLinks(path, target, fault.reason)) {
            fault.atOpen = true;
            return -1;
        }
        struct stat existing {};
        if (::stat(path.c_str(), &existing) == 0) {
            if (!S_ISREG(existing.st_mode))
                return OpenChecked(path, O_WRONLY, existing, fault);
            if (PutThereByAnother(existing, Parent(target))) {
                fault = {true, 0, "not overwriting another user's file in a shared folder"};
                return -1;
            }
            const int fd = OpenChecked(target, O_WRONLY | O_NOFOLLOW, existing, fault);
            if (fd >= 0 && ::ftruncate(fd, 0) != 0) {
                Fail(fault, true, errno);
                ::close(fd);
                return -1;
            }
            return fd;
        }
        if (errno != ENOENT) {
            Fail(fault, true, errno);
            return -1;
        }
        // O_EXCL with O_NOFOLLOW: a link or file put under the name since the
        // look above is not opened; the next round looks at it.
        const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd >= 0)
            return fd;
        if (errno != EEXIST) {
            Fail(fault, true, errno);
            return -1;
        }
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
        const int r = ::poll(&ready, 1, stop ? kStopPollMs : -1);
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
                        const CStopCheck& stop)
{
    std::string end;
    if (!FollowOwnLinks(path, end, fault.reason)) {
        fault.atOpen = true;
        return EReadFile::Failed;
    }
    int fd = -1;
    // A fifo's open waits for its writer; a stop signal cuts the wait short.
    while ((fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY)) < 0 && errno == EINTR)
        if (stop && stop())
            return EReadFile::Stopped;
    if (fd < 0) {
        Fail(fault, true, errno);
        return EReadFile::Failed;
    }
    // This descriptor is ours alone (a pipe or terminal reopened through
    // /dev/stdin gets a description of its own), so the shell's is untouched.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    const EReadFile result = ReadWholeDescriptor(fd, limit, bytes, fault, stop);
    ::close(fd);
    return result;
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
