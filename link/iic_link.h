// The camera link: every bus transaction, the adapter's error messages, the
// register frames and the search for the camera's bus address.
//
// A transaction opens its own adapter handle, addresses the slave, moves its
// bytes and closes the handle again, on every path. A failure is shown to the
// operator at once, with the adapter's fixed text, and raises the error flag.
#pragma once

#include <cstddef>
#include <cstdint>

#include "link/context.h"

namespace zarnix {

// Message boxes are formatted into buffers of this size, terminator included.
constexpr std::size_t kMsgBufferSize = 80;

// Formats into a message buffer, truncating what does not fit.
int FormatMsg(char (&buffer)[kMsgBufferSize], const char* format, ...) __attribute__((format(printf, 2, 3)));

// The operator's text for an adapter status (low 16 bits, taken as signed).
const char* StatusText(Status status);

// Sub-address byte that leads every command frame.
constexpr std::uint16_t kSubAddressWrite = 0x00; // register-address frame, a data frame follows
constexpr std::uint16_t kSubAddressRead = 0x01;  // read request, a receive follows

// Bus addresses are 8-bit write addresses; reads go to the odd neighbour.
constexpr std::uint16_t ReadAddressOf(std::uint16_t writeAddress) { return writeAddress | 1u; }
// The search's answer when nothing acknowledged; never a probed address.
constexpr std::uint16_t kNoCameraAddress = 0xFC;
// Where the search looks first: the camera's factory address.
constexpr std::uint16_t kDefaultCameraAddress = 0x70;
// The register the search's probe asks for (a read request of 0xA0:0x00).
constexpr std::uint8_t kProbeBank = 0xA0;
constexpr std::uint8_t kProbeIndex = 0x00;

// Protocol pauses of the frames, in milliseconds.
constexpr unsigned kWriteFramePauseMs = 10;   // register-address frame to data frame
constexpr unsigned kReadFramePauseMs = 40;    // read request to receive
constexpr unsigned kProbeReceivePauseMs = 10; // acknowledged probe to its receive

// What keeps a number from being the camera's write address: an odd number is a
// read address, and at kNoCameraAddress and above no camera can answer.
enum class ECameraAddress { Ok, Odd, NotBelowFc };
constexpr ECameraAddress CheckCameraAddress(unsigned address)
{
    return address % 2 != 0 ? ECameraAddress::Odd
                            : address >= kNoCameraAddress ? ECameraAddress::NotBelowFc : ECameraAddress::Ok;
}

// The search's probe order: 0x70 first, then every other even address below 0xFC.
// Returns kNoCameraAddress after the last candidate.
std::uint16_t NextProbeAddress(std::uint16_t candidate);

// What a register read brought back, and which half of it failed.
struct CReadResult {
    std::uint8_t value = 0;     // the byte received (0 when nothing arrived)
    bool requestFailed = false; // the read request failed; no receive was made
    bool receiveFailed = false; // the receive failed; `value` is what it yielded
    Status status = kStatusOk;  // the adapter's status for the half that failed
    bool Failed() const { return requestFailed || receiveFailed; }
};

// What a register write brought back: the status of its first failed
// transaction, kStatusOk when all went through.
struct CWriteResult {
    Status status = kStatusOk;
    bool Failed() const { return status != kStatusOk; }
};

// How a camera operation ended, handed to its caller as a value: what a front
// end says (a status line, an exit status, an exception) comes from this, not
// from the messages the operator was shown on the way.
enum class EOutcome { Ok, Stopped, Failed };
struct CCameraResult {
    EOutcome outcome = EOutcome::Ok;
    std::uint8_t bank = 0;     // Failed: the first register whose transaction failed
    std::uint8_t index = 0;
    Status status = kStatusOk; // Failed: the adapter's status for that transaction
    bool Ok() const { return outcome == EOutcome::Ok; }
    static CCameraResult Failure(std::uint8_t bank, std::uint8_t index, Status status)
    {
        return {EOutcome::Failed, bank, index, status};
    }
};

class CIicLink {
public:
    explicit CIicLink(CLinkContext& context) : m_context(context) {}

    // Writes the sub-address and the body [first, second] to the slave.
    void SendCommand(std::uint16_t address, std::uint16_t subAddress, std::uint16_t first, std::uint16_t second);
    // Writes one byte, with no sub-address.
    void SendByte(std::uint16_t address, std::uint16_t data);
    // Reads one byte from `readAddress` (bit 0 already set); 0 unless a byte arrived.
    std::uint8_t ReceiveByte(std::uint16_t readAddress);
    // True once after a failed transaction; the flag is clear afterwards.
    bool TestAndClearError();
    // The adapter's status of the latest failed transaction, once: kStatusOk when
    // it went through (or was asked about already).
    Status TakeError();
    // Shows the adapter's text for `status` and raises the error flag.
    void ReportError(Status status);
    // The camera's write address, or kNoCameraAddress after telling the operator.
    std::uint16_t ScanForCamera();

    // Register write: address frame, pause, data frame; the data frame goes out
    // even when the address frame failed.
    CWriteResult WriteFrame(std::uint16_t address, std::uint16_t bank, std::uint16_t index, std::uint16_t data);
    // A register write that stops at the first failed transaction; for transfers,
    // which must not go on past a failure.
    CWriteResult WriteFrameChecked(std::uint16_t address, std::uint16_t bank, std::uint16_t index, std::uint16_t data);
    // Register read: read request, pause, receive; no receive after a failed request.
    CReadResult ReadFrame(std::uint16_t address, std::uint16_t bank, std::uint16_t index);

private:
    Status Probe(std::uint16_t address);

    CLinkContext& m_context;
    std::int32_t m_hDevice = 0; // handle of the transaction under way
    bool m_bError = false;      // the latest transaction failed and was reported
    Status m_error = kStatusOk; // and the adapter's status for it
};

} // namespace zarnix
