#include "link/adapters/library_adapter.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "system/files.h"
#include "system/lock.h"

namespace zarnix {

namespace {

// Who other than root could put something else in the place of the file or
// folder `st`: "" when nobody can. Group root counts as root. In a sticky
// folder of root's only the owner of a name may rename or remove it, and the
// name that follows is checked in its turn.
std::string OthersWhoCanReplace(const struct stat& st, bool folder)
{
    if (st.st_uid != 0)
        return "belongs to " + UserName(st.st_uid);
    const bool others = (st.st_mode & S_IWOTH) != 0;
    const bool group = (st.st_mode & S_IWGRP) != 0 && st.st_gid != 0;
    if ((!others && !group) || (folder && (st.st_mode & S_ISVTX)))
        return "";
    return others ? "is writable by every user" : "is writable by the group " + GroupName(st.st_gid);
}

// Whether root may go on from the file or folder open at `fd`, named `name`;
// false with `why` when it cannot be read or another user could replace it.
bool RootsAlone(int fd, const std::string& name, bool folder, bool root, std::string& why, bool& refused)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        why = name + ": " + std::strerror(errno);
        return false;
    }
    if (!folder && !S_ISREG(st.st_mode)) {
        why = "not a regular file";
        return false;
    }
    const std::string who = root ? OthersWhoCanReplace(st, folder) : "";
    if (!who.empty()) {
        why = folder ? "the folder " + name + " " + who + ", so another user could put a library of theirs there"
                     : "it " + who + ", so another user could change its code";
        refused = true;
    }
    return who.empty();
}

// Opens the library at `path` read-only, after the link rule, folder by folder
// from / without following links, so that what is checked is what was opened.
// `loadable` becomes the name it was found under, with every folder resolved.
// -1 with `why` when it cannot be opened, and `refused` as well when root may
// not load it.
int OpenLibraryFile(const std::string& path, std::string& loadable, std::string& why, bool& refused)
{
    std::string end;
    CFileFault fault;
    if (!ResolveOwnLinks(path, end, fault)) {
        why = fault.reason;
        return -1;
    }
    const std::size_t slash = end.rfind('/');
    const std::string base = end.substr(slash == std::string::npos ? 0 : slash + 1);
    const std::string given = slash == std::string::npos ? "." : slash == 0 ? "/" : end.substr(0, slash);
    char* real = ::realpath(given.c_str(), nullptr);
    if (!real) {
        why = given + ": " + std::strerror(errno);
        return -1;
    }
    const std::string folder = std::string(real) == "/" ? "" : real;
    std::free(real);

    const bool root = ::geteuid() == 0;
    int dir = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        why = std::string("/: ") + std::strerror(errno);
    std::size_t at = 0; // folder[at] is the '/' before the next name
    bool passed = false;
    while (dir >= 0 && (passed = RootsAlone(dir, at ? folder.substr(0, at) : "/", true, root, why, refused)) &&
           at < folder.size()) {
        const std::size_t next = folder.find('/', at + 1);
        const std::string name = folder.substr(at + 1, next - at - 1);
        const int inner = ::openat(dir, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (inner < 0)
            why = folder.substr(0, next) + ": " + std::strerror(errno);
        ::close(dir);
        dir = inner;
        at = std::min(next, folder.size());
    }
    if (dir < 0 || !passed) {
        if (dir >= 0)
            ::close(dir);
        return -1;
    }
    const int fd = ::openat(dir, base.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    // ELOOP: the link rule passed the name a moment ago, so a link was put in its place since.
    why = fd >= 0 ? "" : errno == ELOOP ? "it became a link while it was opened" : std::strerror(errno);
    ::close(dir);
    if (fd < 0 || !RootsAlone(fd, path, false, root, why, refused)) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    loadable = folder + "/" + base;
    return fd;
}

template <class Fn>
bool Find(void* library, const char* name, Fn& fn)
{
    fn = reinterpret_cast<Fn>(dlsym(library, name));
    return fn != nullptr;
}

} // namespace

std::unique_ptr<CLibraryAdapter> CLibraryAdapter::Load(const std::string& path, std::string& error)
{
    std::string loadable, why;
    bool refused = false;
    const int file = OpenLibraryFile(path, loadable, why, refused);
    if (file < 0) {
        error = refused ? "Error: Not loading the adapter library " + path + " as root: " + why +
                              ". Root loads only a library that root alone can change: root's, not writable by a "
                              "group or others, in folders of the same kind."
                        : "Error: Could not load the adapter library " + path + ": " + why;
        return nullptr;
    }
    // Loaded by the folders it was checked in (a library that finds its own
    // companions by $ORIGIN keeps finding them): for root only root could have
    // changed them since; anyone else could change them as well beforehand.
    // RTLD_NOW: a library with unresolved symbols is refused here, not at the first call.
    void* library = dlopen(loadable.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* reason = dlerror();
        error = "Error: Could not load the adapter library " + path + ": " + (reason ? reason : "unknown reason");
        ::close(file);
        return nullptr;
    }
    std::unique_ptr<CLibraryAdapter> adapter(new CLibraryAdapter(library, file, path));
    const char* missing = !Find(library, "IICInit", adapter->m_init)             ? "IICInit"
                          : !Find(library, "SetAddress", adapter->m_setAddress) ? "SetAddress"
                          : !Find(library, "SendSub", adapter->m_sendSub)       ? "SendSub"
                          : !Find(library, "Send", adapter->m_send)             ? "Send"
                          : !Find(library, "Receive", adapter->m_receive)       ? "Receive"
                          : !Find(library, "IICClose", adapter->m_close)        ? "IICClose"
                                                                                : nullptr;
    if (missing) {
        error = "Error: The adapter library " + path + " does not export " + missing +
                " (it must export IICInit, SetAddress, SendSub, Send, Receive and IICClose with C linkage)";
        return nullptr;
    }
    return adapter;
}

CLibraryAdapter::~CLibraryAdapter()
{
    dlclose(m_library);
    ::close(m_file);
}

std::int32_t CLibraryAdapter::IICInit(std::uint32_t address, std::uint32_t speed, std::uint32_t timeout)
{
    return m_init(address, speed, timeout);
}

std::uint32_t CLibraryAdapter::SetAddress(std::int32_t handle, std::uint32_t address)
{
    return m_setAddress(handle, address);
}

std::uint32_t CLibraryAdapter::SendSub(std::int32_t handle, std::uint32_t flags, std::uint32_t subAddress,
                                       const std::uint8_t* data, std::uint32_t length, std::uint32_t stop)
{
    return m_sendSub(handle, flags, subAddress, data, length, stop);
}

std::uint32_t CLibraryAdapter::Send(std::int32_t handle, const std::uint8_t* data, std::uint32_t flags,
                                    std::uint32_t length)
{
    return m_send(handle, data, flags, length);
}

std::uint32_t CLibraryAdapter::Receive(std::int32_t handle, std::uint8_t* data, std::uint32_t flags,
                                       std::uint32_t length)
{
    return m_receive(handle, data, flags, length);
}

std::uint32_t CLibraryAdapter::IICClose(std::int32_t handle) { return m_close(handle); }

} // namespace zarnix
