// A vendor's adapter library, loaded at run time: a shared object that exports,
// with C linkage, the six calls of the adapter interface. The library drives its
// own USB-to-I2C adapter; this backend only forwards the calls, unchanged.
//
// The tool is often run with sudo, and a library runs with the caller's rights,
// so its name gets the link rule of the files the programs open (files.h), and
// root loads only a library that root alone can change.
#pragma once

#include <memory>
#include <string>

#include "link/adapter.h"

namespace zarnix {

class CLibraryAdapter final : public CAdapter {
public:
    // Opens `path` (a file; no search as dlopen does for a bare name), checks
    // what was opened, loads it and finds all six functions. Returns nullptr,
    // with `error` saying which file and why, when the library cannot serve or,
    // for root, when a user other than root could replace it: the file is
    // another user's or writable by a group or everybody, or so is a folder on
    // its way from / (other than a sticky one of root's, where each name stays
    // its owner's).
    static std::unique_ptr<CLibraryAdapter> Load(const std::string& path, std::string& error);
    ~CLibraryAdapter() override;
    CLibraryAdapter(const CLibraryAdapter&) = delete;
    CLibraryAdapter& operator=(const CLibraryAdapter&) = delete;

    const std::string& Path() const { return m_path; }
    // The loaded file, open read-only for as long as the adapter lives: its lock
    // is taken through it.
    int File() const { return m_file; }

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

    CLibraryAdapter(void* library, int file, std::string path)
        : m_library(library), m_file(file), m_path(std::move(path))
    {
    }

    void* m_library;
    int m_file;
    std::string m_path;
    InitFn m_init = nullptr;
    SetAddressFn m_setAddress = nullptr;
    SendSubFn m_sendSub = nullptr;
    SendFn m_send = nullptr;
    ReceiveFn m_receive = nullptr;
    CloseFn m_close = nullptr;
};

} // namespace zarnix
