// One run of zarnixctl against one camera: the backend the options name (see
// backend/backend.h), the camera's address, the question asked before anything
// the camera keeps is changed, and the progress line.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "backend/backend.h"
#include "cli/options.h"
#include "cli/output.h"
#include "link/context.h"
#include "link/iic_link.h"
#include "link/read_requests.h"

namespace zarnix::cli {

class CSession {
public:
    explicit CSession(const CCliOptions& options);
    ~CSession();

    // Brings up the backend and says on stderr which it is. Reports and returns
    // false when that fails.
    bool Open();
    // Open, then the camera's address: the one given, or a search as the window
    // makes at start-up.
    bool Connect();
    // Keeps the simulated camera's memory for the next run when it changed, and
    // closes the trace. Reports and returns false when either cannot be written.
    bool Close();

    // Asks before a change to what the camera keeps; `what` says what will be
    // written ("write 90 to register a0:04 of ...").
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
    CBackend m_backend;
    std::unique_ptr<CReadRequestCounter> m_counter;
    std::unique_ptr<CLinkContext> m_context;
    bool m_opened = false;
    std::uint16_t m_address = kNoCameraAddress;
};

} // namespace zarnix::cli
