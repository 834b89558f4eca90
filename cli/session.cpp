#include "cli/session.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <unistd.h>

#include "camera/camera_control.h"
#include "cli/stop_signal.h"

namespace zarnix::cli {

std::uint32_t CReadRequestCounter::SendSub(std::int32_t handle, std::uint32_t flags, std::uint32_t subAddress,
                                           const std::uint8_t* data, std::uint32_t length, std::uint32_t stop)
{
    const std::uint32_t status = m_inner.SendSub(handle, flags, subAddress, data, length, stop);
    if (subAddress == kSubAddressRead && m_heard)
        m_heard();
    return status;
}

CSession::CSession(const CCliOptions& options) : m_options(options) { m_messages.SetYes(options.yes); }

CSession::~CSession() = default;

namespace {

// Messages of the backends come with their "Error: " already.
void PrintBackendError(const std::string& text)
{
    if (text.rfind("Error: ", 0) == 0)
        std::fprintf(stderr, "%s\n", text.c_str());
    else
        PrintError(text);
}

} // namespace

CAdapter* CSession::OpenBackend()
{
    std::string error;
    const CBackendChoice choice{m_options.simulate, m_options.bus, m_options.adapterLib, m_options.force};
    switch (zarnix::OpenBackend(choice, SysfsRoot(), m_backend, error)) {
    case EBackendOpen::NoAdapter:
    case EBackendOpen::Failed:
        PrintBackendError(error);
        return nullptr;
    case EBackendOpen::Simulated:
        break;
    case EBackendOpen::Opened:
        std::fprintf(stderr, "zarnixctl: using %s\n", m_backend.description.c_str());
        return m_backend.adapter.get();
    }
    std::fprintf(stderr, "zarnixctl: using the simulated camera%s\n",
                 m_options.simState.empty() ? "" : (" (state in " + m_options.simState + ")").c_str());
    if (m_options.simState.empty())
        return &m_camera;
    // Locked before it is read: two runs on one state file would each keep their
    // own camera and lose the other's changes.
    CSimState state;
    switch (m_stateFile.Open(m_options.simState, state, error)) {
    case ESimStateLoad::Loaded:
        ApplySimState(state, m_camera);
        m_loadedState = std::move(state);
        break;
    case ESimStateLoad::Missing:
        break; // a camera fresh from the factory
    case ESimStateLoad::Failed:
        PrintBackendError(error);
        return nullptr;
    }
    return &m_camera;
}

bool CSession::Open()
{
    if (m_opened)
        return true;
    if (m_options.virtualClock)
        m_clock = std::make_unique<CVirtualClock>();
    else
        m_clock = std::make_unique<CRealClock>();

    CAdapter* adapter = OpenBackend();
    if (!adapter)
        return false;
    if (!m_options.trace.empty()) {
        std::string error;
        if (!m_traceFile.Open(m_options.trace, error)) {
            PrintBackendError(error);
            return false;
        }
        m_recorder = std::make_unique<CRecordingAdapter>(*adapter, *m_clock);
        m_recorder->SetTraceStream(m_traceFile.Stream());
        adapter = m_recorder.get();
    }
    m_counter = std::make_unique<CReadRequestCounter>(*adapter);
    m_context = std::make_unique<CLinkContext>(CLinkContext{*m_counter, *m_clock, m_messages});
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
        CCameraControl control(*m_context);
        m_address = control.SearchAddress();
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
    bool ok = true;
    std::string error;
    if (!m_traceFile.Close(error)) {
        PrintBackendError(error);
        ok = false;
    }
    if (!m_opened || !m_options.simulate || m_options.simState.empty())
        return ok;
    // A command that changed nothing leaves the file alone: reading a camera
    // must not need a writable state file.
    CSimState now = CaptureSimState(m_camera);
    if (m_loadedState && *m_loadedState == now)
        return ok;
    if (!m_stateFile.Save(now, error)) {
        PrintError(error);
        return false;
    }
    return ok;
}

bool CSession::Confirm(const std::string& what)
{
    if (m_options.yes)
        return true;
    if (::isatty(STDIN_FILENO) != 1) {
        PrintError("this would " + what + ".\nThere is no terminal to ask on; give -y to go ahead.");
        return false;
    }
    std::fprintf(stderr, "WARNING! This will %s.\nContinue? [y/N] ", what.c_str());
    std::fflush(stderr);
    // Ctrl-C at the question cuts the read short (no SA_RESTART) and is no answer.
    const bool yes = ReadYes();
    if (StopRequested()) {
        m_messages.Show("Stopped before anything was written");
        return false;
    }
    if (yes)
        return true;
    std::fprintf(stderr, "Aborting on user request.\n");
    return false;
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
