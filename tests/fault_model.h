// One bus fault put at a chosen transaction of an operation, and what the link's
// and the transfers' rules say the operator must then see, worked out
// transaction by transaction without running the code under test.
//
// The fault lives in the simulated camera: a transaction is one IICInit..IICClose
// span with exactly one transfer in it, so the camera's transfer count is the
// transaction count, probes of the address search included.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "camera/register_map.h"
#include "link/adapters/recording_adapter.h"
#include "sim/sim_camera.h"

namespace zarnix::test {

// Injected failures carry a status of their own, so their texts stand apart from
// what the camera answers by itself (no acknowledge, a frame out of order).
constexpr Status kInjectedStatus = kStatusTimeout;
constexpr const char* kInjectedText = "TIMEOUT, no response";
constexpr const char* kNoAckText = "not a correct acknowledge recieved";
constexpr const char* kOutOfOrderText = "unknown command";
constexpr const char* kNoCameraText = "No valid address found, re-power cam and retry.";
constexpr const char* kReadBackText = "Camera settings not correctly read, default values displayed";

enum class EFaultMode {
    Fail,   // that one transaction fails; the camera answers again right after
    Vanish, // the camera is gone from that transaction on
};

struct CFault {
    unsigned at = 0; // 1-based, counted from the operation's first transaction; 0: no fault
    EFaultMode mode = EFaultMode::Fail;
};

inline std::string Describe(const CFault& fault)
{
    return (fault.mode == EFaultMode::Fail ? "fail at transaction " : "camera gone from transaction ") +
           std::to_string(fault.at);
}

// Puts the fault into the camera, counting from its next transaction.
inline void Arm(CSimCamera& camera, const CFault& fault)
{
    if (fault.at == 0)
        return;
    const unsigned before = camera.TransferCount();
    if (fault.mode == EFaultMode::Fail)
        camera.FailNthTransfer(before + fault.at, kInjectedStatus);
    else if (before + fault.at == 1)
        camera.SetPresent(false); // DisappearAfter(0) would mean never
    else
        camera.DisappearAfter(before + fault.at - 1);
}

// The fault is gone: the camera is back and answers everything.
inline void Disarm(CSimCamera& camera)
{
    camera.DisappearAfter(0);
    camera.SetPresent(true);
}

inline unsigned CountCalls(const CRecordingAdapter& bus, EAdapterCall call)
{
    unsigned n = 0;
    for (const auto& record : bus.Log())
        n += record.call == call;
    return n;
}

// Every transaction of `total`, or where that is too many, every one of the
// first `head` and the last `tail` and every `stride`-th in between.
inline std::vector<unsigned> SweepPoints(unsigned total, unsigned head = ~0u, unsigned tail = 0, unsigned stride = 17)
{
    std::vector<unsigned> points;
    for (unsigned at = 1; at <= total; ++at)
        if (at <= head || at + tail > total || (at - head) % stride == 0)
            points.push_back(at);
    return points;
}

inline std::string RegisterText(const char* format, unsigned bank, unsigned index)
{
    char text[96];
    std::snprintf(text, sizeof text, format, bank, index);
    return text;
}

// The registers the read-back reads (0x30:i through the mirror) and the store
// writes, in their order.
inline std::vector<std::uint8_t> Walk(std::uint8_t end, bool store)
{
    std::vector<std::uint8_t> indexes;
    for (unsigned i = 0; i < end; ++i) {
        const bool gap = (i > 0x0A && i <= 0x0F) || (i > 0x1B && i <= 0x1F) || (i > 0x28 && i <= 0x2F) ||
                         (!store && ((i > 0x30 && i <= 0x3F) || (i > 0x44 && i <= 0x47)));
        if (!gap)
            indexes.push_back(static_cast<std::uint8_t>(i));
    }
    return indexes;
}
inline std::vector<std::uint8_t> ReadBackOrder() { return Walk(0x4E, false); }
inline std::vector<std::uint8_t> StoreOrder() { return Walk(0x31, true); }

// Whether the store's register at position `s` of StoreOrder() stayed unwritten:
// it is written when neither of its two transactions, which follow `before`
// others of the operation, failed.
inline bool StoreMissed(const CFault& fault, unsigned before, std::size_t s)
{
    const unsigned first = before + 2 * static_cast<unsigned>(s) + 1;
    if (fault.at == 0)
        return false;
    return fault.mode == EFaultMode::Fail ? fault.at == first || fault.at == first + 1 : fault.at <= first + 1;
}

// The rules, played out against a camera at `camera` with one fault. Each call
// is one operation's worth of transactions; `messages` collects what the
// operator must see, in order, and `transactions` how many went on the bus.
class CExpected {
public:
    explicit CExpected(CFault fault, std::uint16_t camera = 0x70) : m_fault(fault), m_camera(camera) {}

    std::vector<std::string> messages;
    unsigned transactions = 0;

    // What the bus answers to the next transaction, addressed to `address` (write
    // or read address). A data byte whose address frame failed is out of order.
    Status Transaction(std::uint16_t address, bool inOrder = true)
    {
        ++transactions;
        if (transactions == m_fault.at)
            return m_fault.mode == EFaultMode::Fail ? kInjectedStatus : kSimNoSlaveStatus;
        if ((m_fault.at != 0 && m_fault.mode == EFaultMode::Vanish && transactions > m_fault.at) ||
            (address & ~1u) != m_camera)
            return kSimNoSlaveStatus;
        return inOrder ? Status{kStatusOk} : kSimOutOfOrderStatus;
    }

    // Every failed transaction shows its own box with the adapter's text.
    bool Failed(Status status)
    {
        if (status == kStatusOk)
            return false;
        messages.push_back(status == kInjectedStatus ? kInjectedText
                           : status == kSimNoSlaveStatus ? kNoAckText
                                                         : kOutOfOrderText);
        return true;
    }

    // A register write: the data frame goes out even after a failed address frame.
    void Write(std::uint16_t address)
    {
        const bool addressFailed = Failed(Transaction(address));
        Failed(Transaction(address, !addressFailed));
    }
    // The transfers' write: no data frame after a failed address frame.
    bool WriteChecked(std::uint16_t address)
    {
        return !Failed(Transaction(address)) && !Failed(Transaction(address));
    }

    enum class ERead { Ok, RequestFailed, ReceiveFailed };
    // A register read: no receive after a failed request.
    ERead Read(std::uint16_t address)
    {
        if (Failed(Transaction(address)))
            return ERead::RequestFailed;
        return Failed(Transaction(address | 1u)) ? ERead::ReceiveFailed : ERead::Ok;
    }

    // The address search: silent probes, 0x70 first, then every other even
    // address below 0xFC; the receive that completes a found probe reports.
    std::uint16_t Search()
    {
        for (std::uint16_t candidate = 0x70;;) {
            if (Transaction(candidate) == kStatusOk) {
                Failed(Transaction(candidate | 1u));
                return candidate;
            }
            candidate = candidate == 0x70 ? 0x00 : candidate == 0x6E ? 0x72 : candidate + 2;
            if (candidate >= 0xFC)
                break;
        }
        messages.push_back(kNoCameraText);
        return 0xFC;
    }

    struct CReadBack {
        bool complete = true;
        std::size_t failedRead = 0; // position in ReadBackOrder() of the failed read
        ERead how = ERead::Ok;
    };
    // The read-back: no bus traffic after the first failure, then one message.
    CReadBack ReadSettings(std::uint16_t address)
    {
        CReadBack result;
        const auto order = ReadBackOrder();
        for (std::size_t r = 0; r < order.size(); ++r) {
            result.how = Read(address);
            if (result.how != ERead::Ok) {
                result.complete = false;
                result.failedRead = r;
                messages.push_back(kReadBackText);
                break;
            }
        }
        return result;
    }

    void StoreSettings(std::uint16_t address)
    {
        for (std::size_t i = 0; i < StoreOrder().size(); ++i)
            Write(address);
    }

    // Camera to File: stops at the first failed read, and then writes no file.
    bool CameraToFile(std::uint16_t address, bool allRegisters)
    {
        for (std::uint8_t bank : {0xA0, 0xE0, 0xE2, 0xF0, 0xF2}) {
            if (bank != 0xA0 && !allRegisters)
                break;
            for (unsigned k = 0; k < 256; ++k)
                if (Read(address) != ERead::Ok) {
                    messages.push_back(RegisterText("Reading register %02x:%02x failed, no file written", bank, k));
                    return false;
                }
        }
        return true;
    }

    // File to camera with a file that holds every block: stops at the first failed
    // write or read-back; only a clean check is followed by the commit.
    bool FileToCamera(std::uint16_t address, bool allRegisters)
    {
        struct CBlock {
            std::uint8_t bank;
            unsigned lastWritten;
            unsigned lastChecked;
        };
        const CBlock blocks[] = {
            {0xA0, 0x30, 0x30}, {0xE0, 0xFE, 0xAC}, {0xE2, 0xFE, 0xDC}, {0xF0, 0xFE, 0xFE}, {0xF2, 0xFE, 0xFE},
        };
        const std::size_t count = allRegisters ? 5 : 1;
        for (std::size_t b = 0; b < count; ++b)
            for (unsigned k = 0; k <= blocks[b].lastWritten; ++k)
                if (!WriteChecked(address)) {
                    messages.push_back(RegisterText("Writing register %02x:%02x failed, settings not stored",
                                                    blocks[b].bank, k));
                    return false;
                }
        for (std::size_t b = 0; b < count; ++b)
            for (unsigned k = 0; k <= blocks[b].lastChecked; ++k)
                if (Read(address) != ERead::Ok) {
                    messages.push_back(RegisterText(
                        "Reading back register %02x:%02x failed, settings not stored", blocks[b].bank, k));
                    return false;
                }
        if (!WriteChecked(address)) {
            messages.push_back(
                RegisterText("Writing register %02x:%02x failed, settings not stored", kBankControl, kCommitIndex));
            return false;
        }
        return true;
    }

private:
    CFault m_fault;
    std::uint16_t m_camera;
};

} // namespace zarnix::test
