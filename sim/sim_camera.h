// The simulated camera module: an adapter whose one slave behaves like the
// camera, so every front end and every test runs without hardware.
//
// The camera answers at one even write address (0x70 unless told otherwise).
// A write is a register-address frame (sub-address 0x00, [bank, index])
// followed by a one-byte data frame; a read is a read request (sub-address
// 0x01, [bank, index]) followed by a one-byte receive at the read address.
// Bank 0xA1 reads back the live bank 0x30; 0xAA written to 0x88:0x13 commits.
// Traffic to any other address is not acknowledged, and frames out of protocol
// order are refused.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <vector>

#include "link/adapter.h"

namespace zarnix {

// The transactions of the camera protocol, as faults can target them.
enum class ESimFrame {
    AddressFrame, // sub-address 0x00 with [bank, index]
    DataFrame,    // the byte written to the register addressed before
    ReadRequest,  // sub-address 0x01 with [bank, index]
    Receive,      // the byte read from the register requested before
};

// What the simulated camera answers where nobody listens, and to frames out of order.
constexpr Status kSimNoSlaveStatus = kStatusNoAck;
constexpr Status kSimOutOfOrderStatus = kStatusUnknownCommand;
constexpr Status kSimBadHandleStatus = kStatusInitError;

class CSimCamera final : public CAdapter {
public:
    explicit CSimCamera(std::uint16_t address = 0x70);

    std::int32_t IICInit(std::uint32_t address, std::uint32_t speed, std::uint32_t timeout) override;
    std::uint32_t SetAddress(std::int32_t handle, std::uint32_t address) override;
    std::uint32_t SendSub(std::int32_t handle, std::uint32_t flags, std::uint32_t subAddress,
                          const std::uint8_t* data, std::uint32_t length, std::uint32_t stop) override;
    std::uint32_t Send(std::int32_t handle, const std::uint8_t* data, std::uint32_t flags,
                       std::uint32_t length) override;
    std::uint32_t Receive(std::int32_t handle, std::uint8_t* data, std::uint32_t flags,
                          std::uint32_t length) override;
    std::uint32_t IICClose(std::int32_t handle) override;

    // The camera's memory, as the bus would see it (bank 0xA1 reads bank 0x30).
    std::uint8_t Peek(std::uint8_t bank, std::uint8_t index) const;
    void Poke(std::uint8_t bank, std::uint8_t index, std::uint8_t value);
    // Live settings as the factory ships them, with the stored settings equal to them.
    void LoadFactorySettings();

    std::uint16_t CameraAddress() const { return m_address; }
    void MoveCamera(std::uint16_t writeAddress) { m_address = writeAddress; }
    // Unplugged: nothing answers at any address.
    void SetPresent(bool present) { m_present = present; }
    bool Present() const { return m_present; }
    // How often 0xAA reached the commit register.
    unsigned CommitCount() const { return m_commits; }
    // Brings back the count a camera had before, when its state is restored from a file.
    void SetCommitCount(unsigned count) { m_commits = count; }

    // Faults. Transfers (SendSub, Send, Receive) are counted from 1 across all addresses.
    void FailNthTransfer(unsigned n, Status status);
    // Fails `times` matching transactions (0: every one); data frames and receives
    // match the register that the frame before them named.
    void FailOn(ESimFrame frame, std::uint8_t bank, std::uint8_t index, Status status, unsigned times = 0);
    // After `n` transfers the camera stops answering.
    void DisappearAfter(unsigned n) { m_disappearAfter = n; }
    unsigned DisappearsAfter() const { return m_disappearAfter; }
    unsigned TransferCount() const { return m_transfers; }

private:
    enum class EPending { None, Write, Read };
    struct CFault {
        ESimFrame frame;
        std::uint8_t bank;
        std::uint8_t index;
        Status status;
        unsigned remaining; // 0: unlimited
    };
    struct COpenHandle {
        std::int32_t handle;
        std::uint32_t address; // the slave it addresses
    };

    // Counts the transfer and says whether a fault or an absent camera answers it.
    // Frames out of protocol order are refused before any register fault.
    Status Intercept(std::int32_t handle, std::uint32_t expectedAddress, ESimFrame frame, std::uint8_t bank,
                     std::uint8_t index, bool inOrder);
    Status Refuse(std::int32_t handle, std::uint32_t address, Status status);
    bool Addressed(std::int32_t handle, std::uint32_t address) const;
    const COpenHandle* FindHandle(std::int32_t handle) const;

    std::uint16_t m_address;
    bool m_present = true;
    std::vector<std::uint8_t> m_memory; // 256 banks of 256 registers
    // A transaction holds one handle at a time, so a short list that keeps its
    // room serves every transaction without allocating.
    std::vector<COpenHandle> m_handles;
    std::int32_t m_nextHandle = 1;

    EPending m_pending = EPending::None;
    std::uint8_t m_pendingBank = 0;
    std::uint8_t m_pendingIndex = 0;

    unsigned m_transfers = 0;
    unsigned m_commits = 0;
    unsigned m_disappearAfter = 0; // 0: never
    std::map<unsigned, Status> m_nthFaults;
    std::vector<CFault> m_faults;
};

} // namespace zarnix
