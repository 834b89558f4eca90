#include "cli/session.h"

#include <cstdio>

#include "camera/camera_control.h"
#include "cli/stop_signal.h"

namespace zarnix::cli {

CSession::CSession(const CCliOptions& options) : m_options(options) { m_messages.SetYes(options.yes); }

CSession::~CSession() = default;

bool CSession::Open()
{
    if (m_opened)
        return true;
    std::string error;
    if (m_backend.Open(m_options.backend, error) != EBackendOpen::Opened) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    std::fprintf(stderr, "zarnixctl: using %s\n", m_backend.Description().c_str());
    m_counter = std::make_unique<CReadRequestCounter>(m_backend.Adapter());
    m_context = std::make_unique<CLinkContext>(CLinkContext{*m_counter, m_backend.Clock(), m_messages});
    m_opened = true;
    return true;
}

bool CSession::Connect()
{
    if (!Open())
        return false;
    if (m_options.address) {
        // The general call and the other reserved addresses reach every device on
        // a shared bus, not the camera.
        if (m_context->adapter.AddressReserved(*m_options.address)) {
            char text[160];
            std::snprintf(text, sizeof text,
                          "--address %02x (7-bit 0x%02x) is reserved on an I2C bus; --force uses it anyway",
                          *m_options.address, *m_options.address >> 1);
            PrintError(text);
            return false;
        }
        m_address = *m_options.address;
    } else {
        m_address = SearchAddress(*m_context);
        if (m_address == kNoCameraAddress)
            return false; // the search has told the operator
    }
    // The search only reads; a stop asked for during it ends the command before
    // its first write.
    if (StopRequested()) {
        m_messages.Show("Stopped before anything was written");
        return false;
    }
    return true;
}

bool CSession::Close()
{
    std::string error;
    if (m_backend.Close(error))
        return true;
    std::fprintf(stderr, "%s\n", error.c_str());
    return false;
}

bool CSession::Confirm(const std::string& what)
{
    m_progress.Clear();
    const bool yes = AskToContinue("This will " + what + ".", m_options.yes);
    if (StopRequested()) {
        m_messages.Show("Stopped before anything was written");
        return false;
    }
    return yes;
}

void CSession::StepOnReadRequests(bool on)
{
    if (!m_counter)
        return;
    if (on)
        m_counter->OnReadRequest([this] { m_progress.Step(); });
    else
        m_counter->OnReadRequest({});
}

} // namespace zarnix::cli
