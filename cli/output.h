// What zarnixctl puts on stdout and stderr: its results, the camera's and the
// adapter's messages, its own errors, and a progress line for the long runs. A
// run on several cameras gives each camera its own output: each of its lines
// starts with the camera's name, lines of different cameras never mix, and on a
// terminal the progress is one line per camera.
#pragma once

#include <cstdarg>
#include <mutex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "link/messages.h"

namespace zarnix::cli {

// printf into a string.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The progress lines of a run on several cameras, one a camera, kept together at
// the bottom of the terminal: a message from any camera goes above them.
class CProgressBoard {
public:
    explicit CProgressBoard(std::size_t rows) : m_rows(rows) {}
    void Set(std::size_t row, const std::string& text); // redraws
    // Wipes the lines for a message; the caller holds OutputLock().
    void ClearLocked();
    void RedrawLocked();

private:
    std::vector<std::string> m_rows;
    bool m_shown = false;
};

// Every write to stdout or stderr, by any camera's worker, goes under this lock.
std::mutex& OutputLock();

// "label: 12/33", redrawn in place. A read-back takes seconds and a full file
// transfer minutes, so a terminal shows how far it got; a pipe or log file gets
// none of it, so scripts read only the messages.
class CProgressLine {
public:
    CProgressLine();
    // On a board: row `row`, labelled with the camera's name.
    CProgressLine(CProgressBoard& board, std::size_t row, std::string name);
    void Start(const std::string& label, unsigned total);
    void Step();
    // Ends the run: the line is wiped, so what follows starts on a clean line.
    void Finish();
    // Wipes the line for a message; the next step draws it again below. The
    // caller holds OutputLock().
    void ClearLocked();
    // Draws the board again after a message.
    void RedrawLocked();

private:
    void Draw();

    bool m_enabled;
    CProgressBoard* m_board = nullptr;
    std::size_t m_row = 0;
    std::string m_name;
    bool m_running = false;
    std::size_t m_shown = 0; // characters of the line now on the terminal
    std::string m_label;
    unsigned m_done = 0;
    unsigned m_total = 0;
};

// One camera's stdout and stderr. `name` empty: the only camera of the run, whose
// lines go out as they are.
class COutput {
public:
    explicit COutput(std::string name = {}, bool json = false) : m_name(std::move(name)), m_json(json) {}
    COutput(std::string name, bool json, CProgressBoard& board, std::size_t row)
        : m_name(name), m_json(json), m_progress(board, row, name)
    {
    }

    // Text of whole lines, each ending in '\n'.
    void Out(const std::string& text);
    void Err(const std::string& text);
    // "Error: <text>".
    void Error(const std::string& text) { Err("Error: " + text + "\n"); }

    const std::string& Name() const { return m_name; }
    // --json: the command puts its result into Document() instead of printing it.
    bool Json() const { return m_json; }
    nlohmann::ordered_json& Document() { return m_document; }
    CProgressLine& Progress() { return m_progress; }

private:
    void Write(std::FILE* stream, const std::string& text);

    std::string m_name;
    bool m_json;
    nlohmann::ordered_json m_document = nlohmann::ordered_json::object();
    CProgressLine m_progress;
};

// The boxes the window would show, as lines on stderr. A command's status comes
// from its operations' results; the count only tells whether a failure was
// already put into words.
class CCliMessages final : public CMessageSink {
public:
    explicit CCliMessages(COutput& output) : m_output(output) {}
    void Show(const std::string& text) override;
    // The link's questions (the search past 70), asked as AskToContinue asks.
    bool Ask(const std::string& question) override;
    void SetYes(bool yes) { m_yes = yes; }
    unsigned Count() const { return m_count; }

private:
    COutput& m_output;
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
