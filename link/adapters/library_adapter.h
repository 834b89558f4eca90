// A vendor's adapter library, loaded at run time: a shared object that exports,
// with C linkage, the six calls of the adapter interface. The library drives its
// own USB-to-I2C adapter; this backend only forwards the calls, unchanged.
#pragma once

#include <memory>
#include <string>

#include "link/adapter.h"

namespace zarnix {

class CLibraryAdapter final : public CAdapter {
public:
    // Loads `path` and finds all six functions. Returns nullptr, with `error` saying
    // which file and which function, when the library cannot serve.
    static std::unique_ptr<CLibraryAdapter> Load(const std::string& path, std::string& error);
    ~CLibraryAdapter() override;
    CLibraryAdapter(const CLibraryAdapter&) = delete;
    CLibraryAdapter& operator=(const CLibraryAdapter&) = delete;

    const std::string& Path() const { return m_path; }
    // The file the dynamic loader took for `Path()` (which it may have searched
    // for), as its lock is taken on it.
    std::string LoadedFile() const;

    std::int32_t IICInit(std::uint32_t address, std::uint32_t speed, std::uint32_t timeout) override;
    std::uint32_t SetAddress(std::int32_t handle, std::uint32_t address) override;
    std::uint32_t SendSub(std::int32_t handle, std::uint32_t flags, std::uint32_t subAddress,
                          const std::uint8_t* data, std::uint32_t length, std::uint32_t stop) override;
    std::uint32_t Send(std::int32_t handle, const std::uint8_t* data, std::uint32_t flags,
                       std::uint32_t length) override;
    std::uint32_t Receive(std::int32_t handle, std::uint8_t* data, std::uint32_t flags,
                          std::uint32_t length) override;
    std::uint32_t IICClose(std::int32_t handle) override;

private:
    using InitFn = std::int32_t (*)(std::uint32_t, std::uint32_t, std::uint32_t);
    using SetAddressFn = std::uint32_t (*)(std::int32_t, std::uint32_t);
    using SendSubFn = std::uint32_t (*)(std::int32_t, std::uint32_t, std::uint32_t, const std::uint8_t*,
                                        std::uint32_t, std::uint32_t);
    using SendFn = std::uint32_t (*)(std::int32_t, const std::uint8_t*, std::uint32_t, std::uint32_t);
    using ReceiveFn = std::uint32_t (*)(std::int32_t, std::uint8_t*, std::uint32_t, std::uint32_t);
    using CloseFn = std::uint32_t (*)(std::int32_t);

    CLibraryAdapter(void* library, std::string path) : m_library(library), m_path(std::move(path)) {}

    void* m_library;
    std::string m_path;
    InitFn m_init = nullptr;
    SetAddressFn m_setAddress = nullptr;
    SendSubFn m_sendSub = nullptr;
    SendFn m_send = nullptr;
    ReceiveFn m_receive = nullptr;
    CloseFn m_close = nullptr;
};

} // namespace zarnix
