// One camera and every operation a front end makes on it, each done here once
// for the window, zarnixctl and the Python module alike. A front end presents
// what comes back (lines, JSON, exceptions, controls); it never counts messages
// to learn how an operation went.
//
// How each call reports: the result comes back as a value. Besides, the camera's
// and the adapter's messages (the boxes the window shows) go to the message sink
// the session runs on, as the operation meets them: every transfer outcome but
// Done, every failed frame (the adapter's status), a failed read-back and a failed
// search have been told there already. What the core leaves unsaid (a reserved
// address, a file ReadSettingsFile refused, that a SAVE whose read-back failed
// stored nothing, a stop of a read-back) the front end words itself.
//
// No front-end type: a call takes its progress and stop check as plain
// functions, so a thread of its own may drive it and another thread stop it. One
// call at a time on one session.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "backend/backend.h"
#include "camera/camera_control.h"
#include "link/adapters/bus_list.h"
#include "link/context.h"
#include "link/read_requests.h"
#include "settings/settings_file.h"
#include "settings/transfer.h"

namespace zarnix {

// How far a long operation got: `start` once with the steps it will take, then
// `step` after each. Either may be empty.
struct CProgress {
    std::function<void(unsigned total)> start;
    CProgressStep step;
    void Start(unsigned total) const;
    void Step() const;
};

// Whether an address given by the operator may be used.
enum class EAddressUse {
    Taken,    // the session talks to the camera there from now on
    Reserved, // the bus reserves it (the general call, ...); --force / force=True allow it
};

// The 44 live registers, all or nothing: a failed read would leave placeholders
// a script takes for register values.
struct CLiveSettings {
    // Failed or Stopped: bank and index name the register of the read mirror it
    // ended at.
    CCameraResult read;
    // Entry i for register 30:i, the kReadBackIndexes filled; only when read.Ok().
    std::array<std::uint16_t, kShadowSize> values{};
};

// The value rule applied: what went to the camera for what was asked.
struct CSetResult {
    std::uint16_t sent = 0;
    CCameraResult written;
};

// A SAVE made without settings of the caller's: the read-back, then the store.
struct CSaveResult {
    CCameraResult read;   // not Ok: nothing was stored, `stored` says nothing
    CCameraResult stored; // a failed register does not end the store; Failed names the first
};

// How a transfer between the camera and a settings file ended.
struct CTransferResult {
    ETransferResult outcome = ETransferResult::Done;
    std::optional<CSettingsTransfer::CRegister> failed; // BusFailure: the register whose transaction failed
    Status failedStatus = kStatusOk;                     // and the adapter's status for it
    std::uint16_t mismatch = 0;                          // Mismatch: its code, 0x1000 + k for Eeprom, 256 * b + k
    // A load that wrote registers and did not commit them: which ones now hold
    // the file's values until power-off ("registers a0:00 to a0:1f already hold ...").
    std::string uncommitted;
    bool Done() const { return outcome == ETransferResult::Done; }
};

// A verify: the transfer's ending, and when Done what differs.
struct CVerifyResult {
    CTransferResult transfer;
    std::vector<CDifference> differences;
    std::array<bool, kSettingsBlockCount> blocks{}; // compared: the Eeprom block and the file's others with --all
    unsigned compared = 0;                          // registers compared
};

class CCameraSession {
public:
    // A camera of its own, which Open brings up.
    CCameraSession();
    // The camera at `address` over a context someone else holds (the window's):
    // Open and Close are not for this one.
    CCameraSession(CLinkContext& context, std::uint16_t address);
    ~CCameraSession();
    CCameraSession(const CCameraSession&) = delete;
    CCameraSession& operator=(const CCameraSession&) = delete;

    // Opens, locks and describes the backend `choice` names (Backend() tells
    // which, the note and the holder); the camera's messages go to `messages`,
    // which must outlive the session. `error` begins with "Error: ".
    EBackendOpen Open(const CBackendChoice& choice, CMessageSink& messages, std::string& error);
    // After Open: Description, Note, and Holder when Busy.
    const CBackend& Backend() const { return *m_backend; }
    // Keeps the simulated camera's memory and closes the trace; false with
    // `error`. The session takes no camera call after it.
    bool Close(std::string& error);

    CLinkContext& Context() { return *m_context; }
    // The camera's 8-bit write address; kNoCameraAddress before one is known.
    std::uint16_t Address() const { return m_address; }
    EAddressUse UseAddress(std::uint16_t address);
    // Searches the bus, as the window does at start-up; the address found is used
    // from then on. A failure has been told.
    CSearchResult Search();

    CReadResult Read(std::uint8_t bank, std::uint8_t index);
    // Stops at the first failed transaction: after a failed address frame the data
    // byte would land in whatever register the camera had addressed before.
    CCameraResult Write(std::uint8_t bank, std::uint8_t index, std::uint16_t value);
    CSetResult Set(const CSetCommand& command, std::uint16_t value);
    // A read failure has been told; a stop has not.
    CLiveSettings Show(const CProgress& progress, const CStopCheck& stop);
    // Stores `settings` (entry i for 30:i); a stop has been told, with what was stored.
    CCameraResult Store(const std::array<std::uint16_t, kShadowSize>& settings, const CProgress& progress,
                        const CStopCheck& stop);
    // Reads the live settings back, then stores what was read.
    CSaveResult Save(const CProgress& progress, const CStopCheck& stop);

    // The camera's blocks into `path`, or into `file` opened for it already (so
    // that a name that cannot be written fails before the camera is looked for).
    CTransferResult Dump(const std::string& path, bool all, const CProgress& progress, const CStopCheck& stop);
    CTransferResult Dump(CFileReplacement& file, const std::string& path, bool all, const CProgress& progress,
                         const CStopCheck& stop);
    static CSettingsFileRead ReadSettingsFile(const std::string& path, const CStopCheck& stop);
    // Writes a checked file's `image`, reads it back and commits on a clean check.
    // With `shortStops` a stop's message leaves out what stays uncommitted (the
    // window shows that on its status line); the result always carries it.
    CTransferResult Load(std::span<const std::uint16_t> image, bool all, const CProgress& progress,
                         const CStopCheck& stop, bool shortStops = false);
    // The same from the file at `path`, read once and checked first; a file it
    // refuses has been told, and the camera is untouched.
    CTransferResult LoadFile(const std::string& path, bool all, const CProgress& progress, const CStopCheck& stop,
                             bool shortStops = false);
    CVerifyResult Verify(std::span<const std::uint16_t> image, bool all, const CProgress& progress,
                         const CStopCheck& stop);
    // The same from the file at `path`, read and refused as LoadFile does.
    CVerifyResult VerifyFile(const std::string& path, bool all, const CProgress& progress, const CStopCheck& stop);
    static CSettingsFileCheck Check(const std::string& path) { return CheckSettingsFile(path); }

private:
    void Attach(CAdapter& adapter, CClock& clock, CMessageSink& messages);
    CCameraControl Camera() { return CCameraControl(*m_context, m_address); }
    CTransferResult Ending(const CSettingsTransfer& transfer, ETransferResult outcome) const;

    std::unique_ptr<CBackend> m_backend; // none over someone else's context
    // Every call goes through it: a read-back steps its progress on each read request.
    std::unique_ptr<CReadRequestCounter> m_counter;
    std::unique_ptr<CLinkContext> m_context;
    std::uint16_t m_address = kNoCameraAddress;
};

// The i2c-dev buses whose adapters sit on USB: the cameras a run on every bus takes.
std::vector<CI2cBus> UsbBuses();

} // namespace zarnix
