// One camera of a zarnixctl run: the camera session (backend/camera_session.h)
// over the backend the options name, the camera's address, the question asked
// before anything the camera keeps is changed, and the progress line.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "backend/camera_session.h"
#include "cli/options.h"
#include "cli/output.h"

namespace zarnix::cli {

// The one question of a run on several cameras: each camera's worker brings
// what it would change, and once every worker has asked or ended, the operator
// is asked once for all of them.
class CConfirmGate {
public:
    // The cameras in the order the question names them.
    CConfirmGate(std::vector<std::string> cameras, bool yes)
        : m_cameras(std::move(cameras)), m_pending(m_cameras.size()), m_yes(yes)
    {
    }
    // Waits for the answer.
    bool Ask(const std::string& camera, const std::string& what);
    // A worker that asked nothing, or asked already, is done.
    void Done(bool asked);

private:
    void AnswerLocked();

    std::vector<std::string> m_cameras;
    std::mutex m_lock;
    std::condition_variable m_answered;
    std::size_t m_pending;
    bool m_yes;
    std::map<std::string, std::string> m_questions; // what each camera would change
    std::optional<bool> m_answer;
};

class CSession {
public:
    // The camera `options.backend` names; its lines go to `output`. With a gate,
    // the question before a change is asked once for every camera of the run.
    CSession(const CCliOptions& options, COutput& output, CConfirmGate* gate = nullptr);
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

    CCameraSession& Camera() { return m_camera; }
    std::uint16_t Address() const { return m_camera.Address(); }
    // How Connect's search ended: a camera found whose probe did not complete
    // fails the run, though the command goes on with it.
    const CCameraResult& SearchEnded() const { return m_search; }
    const CCliOptions& Options() const { return m_options; }
    CCliMessages& Messages() { return m_messages; }
    COutput& Output() { return m_output; }
    CProgressLine& Progress() { return m_output.Progress(); }
    // The progress line labelled `label` for a long operation.
    CProgress ProgressLine(const std::string& label);
    // The camera's clock since the backend was opened.
    Micros Elapsed();
    bool Asked() const { return m_asked; }

private:
    const CCliOptions& m_options;
    COutput& m_output;
    CConfirmGate* m_gate;
    bool m_asked = false;
    Micros m_openedAt{0};
    CCliMessages m_messages{m_output};
    CCameraSession m_camera;
    bool m_opened = false;
    CCameraResult m_search;
};

// The stop a command's long operations ask between two registers (cli/stop_signal.h).
CStopCheck StopCheck();

} // namespace zarnix::cli
