// One run of zarnixctl against one camera: the backend (for now the simulated
// camera, its state file and its clock), the optional bus trace, the camera's
// address, and the question asked before anything the camera keeps is changed.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "cli/options.h"
#include "cli/output.h"
#include "link/adapters/backend.h"
#include "link/adapters/recording_adapter.h"
#include "link/context.h"
#include "link/iic_link.h"
#include "sim/sim_camera.h"
#include "sim/sim_state.h"

namespace zarnix::cli {

// Passes every call through and tells of each read request: the read-back has no
// progress hook of its own, and its 44 requests are what take its time.
class CReadRequestCounter final : public CForwardingAdapter {
public:
    using CForwardingAdapter::CForwardingAdapter;
    void OnReadRequest(std::function<void()> heard) { m_heard = std::move(heard); }

    std::uint32_t SendSub(std::int32_t handle, std::uint32_t flags, std::uint32_t subAddress,
                          const std::uint8_t* data, std::uint32_t length, std::uint32_t stop) override;

private:
    std::function<void()> m_heard;
};

class CSession {
public:
    explicit CSession(const CCliOptions& options);
    ~CSession();

    // Brings up the backend: the simulated camera from its state file, the clock
    // and the trace. Reports and returns false when that fails.
    bool Open();
    // Open, then the camera's address: the one given, or a search as the window
    // makes at start-up.
    bool Connect();
    // Keeps the simulated camera's memory for the next run when it changed.
    // Reports and returns false when the state file cannot be written.
    bool Close();

    // Asks before a change to what the camera keeps; `what` says what will be
    // written. -y answers for the operator; without a terminal nobody can.
    bool Confirm(const std::string& what);

    CLinkContext& Context() { return *m_context; }
    std::uint16_t Address() const { return m_address; }
    const CCliOptions& Options() const { return m_options; }
    CCliMessages& Messages() { return m_messages; }
    CProgressLine& Progress() { return m_progress; }
    // Steps the progress line on every read request until called with nothing.
    void StepOnReadRequests(bool on);

private:
    const CCliOptions& m_options;
    CProgressLine m_progress;
    CCliMessages m_messages{m_progress};
    // Picks the backend the options name, says which on stderr and takes its bus lock.
    CAdapter* OpenBackend();

    CSimCamera m_camera;
    CBackend m_backend;       // the i2c-dev bus or the vendor library, locked, when not simulating
    CSimStateFile m_stateFile; // the simulated camera's memory, locked, with --sim-state
    std::unique_ptr<CClock> m_clock;
    CTraceFile m_traceFile;
    std::unique_ptr<CRecordingAdapter> m_recorder;
    std::unique_ptr<CReadRequestCounter> m_counter;
    std::unique_ptr<CLinkContext> m_context;
    std::optional<CSimState> m_loadedState; // what the state file held; empty when it was missing
    bool m_opened = false;
    std::uint16_t m_address = kNoCameraAddress;
};

} // namespace zarnix::cli
