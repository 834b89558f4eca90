#include "link/adapters/library_adapter.h"

#include <dlfcn.h>
#include <link.h>

namespace zarnix {

namespace {

template <class Fn>
bool Find(void* library, const char* name, Fn& fn)
{
    fn = reinterpret_cast<Fn>(dlsym(library, name));
    return fn != nullptr;
}

} // namespace

std::unique_ptr<CLibraryAdapter> CLibraryAdapter::Load(const std::string& path, std::string& error)
{
    // RTLD_NOW: a library with unresolved symbols is refused here, not at the first call.
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* why = dlerror();
        error = "Error: Could not load the adapter library " + path + ": " + (why ? why : "unknown reason");
        return nullptr;
    }
    std::unique_ptr<CLibraryAdapter> adapter(new CLibraryAdapter(library, path));
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

CLibraryAdapter::~CLibraryAdapter() { dlclose(m_library); }

std::string CLibraryAdapter::LoadedFile() const
{
    link_map* map = nullptr;
    if (dlinfo(m_library, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name && *map->l_name)
        return map->l_name;
    return m_path;
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
