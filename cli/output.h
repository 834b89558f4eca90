// What zarnixctl puts on stderr besides its results: the camera's and the
// adapter's messages, its own errors, and a progress line for the long runs.
#pragma once

#include <string>

#include "link/messages.h"

namespace zarnix::cli {

// "label: 12/33", redrawn in place. A read-back takes seconds and a full file
// transfer minutes, so a terminal shows how far it got; a pipe or log file gets
// none of it, so scripts read only the messages.
class CProgressLine {
public:
    CProgressLine();
    void Start(const std::string& label, unsigned total);
    void Step();
    // Ends the run: the line is wiped, so what follows starts on a clean line.
    void Finish();
    // Wipes the line for a message; the next step draws it again below.
    void Clear();

private:
    void Draw();

    bool m_enabled;
    bool m_running = false;
    std::size_t m_shown = 0; // characters of the line now on the terminal
    std::string m_label;
    unsigned m_done = 0;
    unsigned m_total = 0;
};

// The boxes the window would show, as lines on stderr. Counting them lets a
// command whose bus calls report nothing back still fail on a reported fault.
class CCliMessages final : public CMessageSink {
public:
    explicit CCliMessages(CProgressLine& progress) : m_progress(progress) {}
    void Show(const std::string& text) override;
    // The link's questions (the search past 70), asked as AskToContinue asks.
    bool Ask(const std::string& question) override;
    void SetYes(bool yes) { m_yes = yes; }
    unsigned Count() const { return m_count; }

private:
    CProgressLine& m_progress;
    bool m_yes = false;
    unsigned m_count = 0;
};

// The one question before anything that changes what a camera keeps, as
// i2c-tools ask it: "WARNING! <question>" and "Continue? [y/N]" on the terminal,
// true only for an answer that starts with y. `yes` (-y) answers for the
// operator; without a terminal nobody can, and the answer is no. Ctrl-C at the
// question is no answer.
bool AskToContinue(const std::string& question, bool yes);

// The tool's own errors: "Error: <text>".
void PrintError(const std::string& text);

} // namespace zarnix::cli
