// The Linux i2c-dev backend: a slave on /dev/i2c-N, which is how the kernel
// exposes USB-to-I2C bridges (CP2112, MCP2221, FT260, i2c-tiny-usb, DLN-2, CH341
// and others) as well as on-board buses.
//
// Each transaction opens the bus node, claims the slave's 7-bit address and moves
// its bytes with plain read() and write() calls, each one complete I2C message
// with its own start and stop; IICClose closes the node again. Kernel errors come
// back as the adapter status codes of link/adapter.h (see kErrnoStatus).
//
// It makes the system calls itself: the tests run it against emulated bus nodes
// (tests/emulated_bus.h), so that what is tested is what the kernel is asked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "link/adapter.h"

namespace zarnix {

// The adapter status a kernel error (a positive errno value) stands for.
Status StatusFromErrno(int error);

// Why a bus cannot serve, told before any traffic.
struct CBusCheck {
    bool usable = false;
    bool missing = false; // no such bus node: the adapter is unplugged or was never there
    std::string message; // "Error: ..." with the reason and the fix; empty when usable
};

class CI2cDevAdapter final : public CAdapter {
public:
    // `force` claims the address even where a kernel driver holds it.
    explicit CI2cDevAdapter(std::string devicePath, bool force = false);

    // Opens the bus once and checks that it can do plain I2C transfers.
    CBusCheck CheckBus();
    // Whether a kernel driver holds the 8-bit `address` (the address search skips it).
    bool AddressHeldByDriver(std::uint32_t address) override;
    bool SharesBusWithOtherDevices() const override { return true; }
    // 7-bit 0x00-0x07 and 0x78-0x7F (8-bit 00-0e and f0-fe), as i2cdetect leaves
    // them out; none with `force`.
    bool AddressReserved(std::uint32_t address) const override;

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
    struct COpenBus {
        int fd = -1;            // the bus node, or -1 when the open failed
        Status failure = 0;     // why the transaction cannot go on; 0 while it can
    };
    // The transfer's status from a read() or write() result of `expected` bytes.
    static Status TransferStatus(long result, std::size_t expected);
    COpenBus* Find(std::int32_t handle);

    std::string m_path;
    bool m_force;
    std::int32_t m_nextHandle = 1;
    std::map<std::int32_t, COpenBus> m_open;
};

} // namespace zarnix
