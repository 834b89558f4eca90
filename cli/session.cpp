#include "cli/session.h"

#include <cstdio>

#include "cli/stop_signal.h"

namespace zarnix::cli {

bool CConfirmGate::Ask(const std::string& camera, const std::string& what)
{
    std::unique_lock hold(m_lock);
    m_questions[camera] = what;
    --m_pending;
    if (m_pending == 0)
        AnswerLocked();
    m_answered.wait(hold, [&] { return m_answer.has_value(); });
    return *m_answer;
}

void CConfirmGate::Done(bool asked)
{
    std::lock_guard hold(m_lock);
    if (asked)
        return;
    --m_pending;
    if (m_pending == 0 && !m_questions.empty() && !m_answer)
        AnswerLocked();
}

void CConfirmGate::AnswerLocked()
{
    std::string question = "This will, on " + std::to_string(m_questions.size()) +
                           (m_questions.size() == 1 ? " camera:" : " cameras:");
    for (const std::string& camera : m_cameras)
        if (const auto it = m_questions.find(camera); it != m_questions.end())
            question += "\n  " + PrintableName(camera) + ": " + it->second;
    std::lock_guard output(OutputLock());
    m_answer = AskToContinue(question, m_yes);
    m_answered.notify_all();
}

CStopCheck StopCheck()
{
    return [] { return StopRequested(); };
}

CSession::CSession(const CCliOptions& options, COutput& output, CConfirmGate* gate)
    : m_options(options), m_output(output), m_gate(gate)
{
    m_messages.SetYes(options.yes);
}

CSession::~CSession() = default;

bool CSession::Open()
{
    if (m_opened)
        return true;
    std::string error;
    CBackendChoice choice = m_options.backend;
    choice.stop = StopCheck();
    if (m_camera.Open(choice, m_messages, error) != EBackendOpen::Opened) {
        m_output.Problem(error);
        return false;
    }
    m_output.Err("zarnixctl: using " + m_camera.Backend().Description() + "\n");
    if (!m_camera.Backend().Note().empty())
        m_output.Err("zarnixctl: note: " + m_camera.Backend().Note() + "\n");
    m_openedAt = m_camera.Context().clock.Now();
    m_opened = true;
    return true;
}

bool CSession::Connect()
{
    if (!Open())
        return false;
    if (const auto& address = m_options.address) {
        if (m_camera.UseAddress(*address) == EAddressUse::Reserved) {
            m_output.Error(Format("--address %02x (7-bit 0x%02x) is reserved on an I2C bus; --force uses it anyway",
                                  *address, *address >> 1));
            return false;
        }
    } else {
        m_search = m_camera.Search().ended;
        if (Address() == kNoCameraAddress)
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
    if (m_camera.Close(error))
        return true;
    m_output.Problem(error);
    return false;
}

bool CSession::Confirm(const std::string& what)
{
    bool yes = false;
    if (m_gate) {
        m_asked = true;
        yes = m_gate->Ask(m_output.Name(), what);
    } else {
        std::lock_guard hold(OutputLock());
        Progress().ClearLocked();
        yes = AskToContinue("This will " + what + ".", m_options.yes);
    }
    if (StopRequested()) {
        m_messages.Show("Stopped before anything was written");
        return false;
    }
    if (!yes)
        m_output.NoteProblem("not confirmed; nothing was written");
    return yes;
}

CProgress CSession::ProgressLine(const std::string& label)
{
    return {[this, label](unsigned total) { Progress().Start(label, total); }, [this] { Progress().Step(); }};
}

Micros CSession::Elapsed() { return m_opened ? m_camera.Context().clock.Now() - m_openedAt : Micros{0}; }

} // namespace zarnix::cli
