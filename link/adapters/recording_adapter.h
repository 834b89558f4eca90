// Wraps any adapter and logs every call with its arguments, result and time.
// Tests assert on the log; the tools write it out as a bus trace.
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "link/adapter.h"
#include "link/clock.h"
#include "system/stop_check.h"

namespace zarnix {

enum class EAdapterCall { Init, SetAddress, SendSub, Send, Receive, Close };

struct CAdapterCallRecord {
    Micros time{0};
    EAdapterCall call = EAdapterCall::Init;
    std::int32_t handle = 0;        // the handle passed in (for Init: the one returned)
    std::uint32_t address = 0;      // Init, SetAddress
    std::uint32_t speed = 0;        // Init
    std::uint32_t timeout = 0;      // Init
    std::uint32_t flags = 0;        // SendSub, Send, Receive
    std::uint32_t subAddress = 0;   // SendSub
    std::uint32_t length = 0;       // SendSub, Send, Receive
    std::uint32_t stop = 0;         // SendSub
    std::vector<std::uint8_t> data; // bytes sent, or bytes received
    std::uint32_t result = 0;       // status (for Init: the handle)
};

// One call as a line: "SendSub(1, 1, 0x01, [a1 10], 2, 0) = 0".
std::string FormatCall(const CAdapterCallRecord& record);

class CRecordingAdapter final : public CForwardingAdapter {
public:
    CRecordingAdapter(CAdapter& inner, const CClock& clock) : CForwardingAdapter(inner), m_clock(clock) {}

    std::int32_t IICInit(std::uint32_t address, std::uint32_t speed, std::uint32_t timeout) override;
    std::uint32_t SetAddress(std::int32_t handle, std::uint32_t address) override;
    std::uint32_t SendSub(std::int32_t handle, std::uint32_t flags, std::uint32_t subAddress,
                          const std::uint8_t* data, std::uint32_t length, std::uint32_t stop) override;
    std::uint32_t Send(std::int32_t handle, const std::uint8_t* data, std::uint32_t flags,
                       std::uint32_t length) override;
    std::uint32_t Receive(std::int32_t handle, std::uint8_t* data, std::uint32_t flags,
                          std::uint32_t length) override;
    std::uint32_t IICClose(std::int32_t handle) override;

    const std::vector<CAdapterCallRecord>& Log() const { return m_log; }
    void ClearLog() { m_log.clear(); }

    // Handles opened and not yet closed.
    const std::set<std::int32_t>& OpenHandles() const { return m_open; }
    // Calls made on a handle that was not open (a double close among them).
    unsigned HandleFaults() const { return m_handleFaults; }

    // Each call is also written there as a timed line, as it happens.
    void SetTraceStream(std::ostream* stream) { m_trace = stream; }

private:
    CAdapterCallRecord Begin(EAdapterCall call, std::int32_t handle) const;
    void CheckOpen(std::int32_t handle);
    void Record(CAdapterCallRecord record);

    const CClock& m_clock;
    std::vector<CAdapterCallRecord> m_log;
    std::set<std::int32_t> m_open;
    unsigned m_handleFaults = 0;
    std::ostream* m_trace = nullptr;
};

// The file a bus trace goes to, opened as system/files.h opens files for writing:
// no other user's link followed, no other user's file, pipe or device written,
// never a block device. A pipe or device is written without blocking: a reader
// that does not read holds the run only until `stop` says so, and the lines that
// would not go are dropped (the run stops at its next register anyway).
class CTraceFile {
public:
    CTraceFile();
    ~CTraceFile();
    // False with `error` ("Error: ...") when the file cannot be opened.
    bool Open(const std::string& path, std::string& error, const CStopCheck& stop = {});
    std::ostream* Stream() { return m_stream.get(); }
    // Flushes and closes; false with `error` when the trace could not be written whole.
    bool Close(std::string& error);

private:
    std::string m_path;
    std::unique_ptr<std::streambuf> m_buffer;
    std::unique_ptr<std::ostream> m_stream;
};

} // namespace zarnix
