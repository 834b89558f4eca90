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
    explicit COutput(std::string name = {}, bool json = false)
        : m_name(std::move(name)), m_prefix(PrintableName(m_name)), m_json(json)
    {
    }
    COutput(std::string name, bool json, CProgressBoard& board, std::size_t row)
        : m_name(name), m_prefix(PrintableName(name)), m_json(json), m_progress(board, row, PrintableName(name))
    {
    }

    // Text of whole lines, each ending in '\n'. Names in it are made printable.
    void Out(const std::string& text);
    void Err(const std::string& text);
    // Why the command failed, as a line on stderr; --json keeps it for the
    // document's "error" too.
    void Problem(const std::string& text);
    // "Error: <text>", a problem.
    void Error(const std::string& text) { Problem("Error: " + text); }
    // A problem already said on stderr some other way.
    void NoteProblem(const std::string& text) { m_problems.push_back(text); }
    // Where the failure was met: {"register", "a0:05"} or {"line", 3}.
    void FailedAt(const std::string& key, nlohmann::ordered_json value) { m_failedAt[key] = std::move(value); }

    const std::string& Name() const { return m_name; }
    // --json: the command puts its result into Document() instead of printing it.
    bool Json() const { return m_json; }
    nlohmann::ordered_json& Document() { return m_document; }
    // The document of a run that ended with `status`: a failure that left no
    // result of the command's own (a mismatch of verify is one) gets an "error"
    // member with the message and, where known, the register or line.
    nlohmann::ordered_json FinalDocument(int status) const;
    CProgressLine& Progress() { return m_progress; }

private:
    void Write(std::FILE* stream, const std::string& text);

    std::string m_name;
    std::string m_prefix; // the name as a line prefix, printable
    bool m_json;
    nlohmann::ordered_json m_document = nlohmann::ordered_json::object();
    std::vector<std::string> m_problems;
    nlohmann::ordered_json m_failedAt = nlohmann::ordered_json::object();
    CProgressLine m_progress;
};

// {"message": <text without "Error: ">}, for a failure outside any camera's run.
nlohmann::ordered_json ErrorMember(const std::string& text);

// A document on stdout, two-space indented. Names come from files and buses and
// need not be UTF-8: each byte that is not becomes U+FFFD, so the document is
// always printed.
void PrintDocument(nlohmann::ordered_json document);

// The boxes the window would show, as lines on stderr. A command's status comes
// from its operations' results, never from these.
class CCliMessages final : public CMessageSink {
public:
    explicit CCliMessages(COutput& output) : m_output(output) {}
    void Show(const std::string& text) override;
    // The link's questions (the search past 70), asked as AskToContinue asks.
    bool Ask(const std::string& question) override;
    void SetYes(bool yes) { m_yes = yes; }

private:
    COutput& m_output;
    bool m_yes = false;
};

// The one question before anything that changes what a camera keeps, as
// i2c-tools ask it: "WARNING! <question>" and "Continue? [y/N]" on the terminal,
// true only for an answer that starts with y. `yes` (-y) answers for the
// operator; without a terminal nobody can, and the answer is no. Ctrl-C at the
// question is no answer.
bool AskToContinue(const std::string& question, bool yes);

// The tool's own errors: "Error: <text>", made printable.
void PrintError(const std::string& text);

} // namespace zarnix::cli
