#include "cli/output.h"

#include <cerrno>
#include <cstdio>

#include <unistd.h>

#include "cli/stop_signal.h"
#include "system/stop_check.h"

namespace zarnix::cli {

std::string Format(const char* format, ...)
{
    va_list args, again;
    va_start(args, format);
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
    if (length > 0)
        std::vsnprintf(text.data(), text.size() + 1, format, again);
    va_end(again);
    return text;
}

std::mutex& OutputLock()
{
    static std::mutex lock;
    return lock;
}

void CProgressBoard::Set(std::size_t row, const std::string& text)
{
    std::lock_guard hold(OutputLock());
    m_rows.at(row) = text;
    RedrawLocked();
}

void CProgressBoard::ClearLocked()
{
    if (!m_shown)
        return;
    // Up to the first of the lines, and everything from there down wiped.
    std::fprintf(stderr, "\033[%zuF\033[J", m_rows.size());
    std::fflush(stderr);
    m_shown = false;
}

void CProgressBoard::RedrawLocked()
{
    bool any = false;
    for (const std::string& row : m_rows)
        any = any || !row.empty();
    if (!any) {
        ClearLocked();
        return;
    }
    if (m_shown) // over the lines as they stand, each wiped as it is written
        std::fprintf(stderr, "\033[%zuF", m_rows.size());
    for (const std::string& row : m_rows)
        std::fprintf(stderr, "\033[2K%s\n", row.c_str());
    std::fflush(stderr);
    m_shown = true;
}

CProgressLine::CProgressLine() : m_enabled(::isatty(STDERR_FILENO) == 1) {}

CProgressLine::CProgressLine(CProgressBoard& board, std::size_t row, std::string name)
    : m_enabled(::isatty(STDERR_FILENO) == 1), m_board(&board), m_row(row), m_name(std::move(name))
{
}

void CProgressLine::Start(const std::string& label, unsigned total)
{
    m_label = label;
    m_done = 0;
    m_total = total;
    m_running = true;
    Draw();
}

void CProgressLine::Step()
{
    if (!m_running)
        return;
    ++m_done;
    Draw();
}

void CProgressLine::Finish()
{
    m_running = false;
    if (m_board) {
        if (m_enabled)
            m_board->Set(m_row, "");
        return;
    }
    std::lock_guard hold(OutputLock());
    ClearLocked();
}

void CProgressLine::ClearLocked()
{
    if (m_board) {
        m_board->ClearLocked();
        return;
    }
    if (!m_enabled || m_shown == 0)
        return;
    std::fprintf(stderr, "\r%*s\r", static_cast<int>(m_shown), "");
    std::fflush(stderr);
    m_shown = 0;
}

void CProgressLine::RedrawLocked()
{
    if (m_board)
        m_board->RedrawLocked();
}

void CProgressLine::Draw()
{
    if (!m_enabled || !m_running)
        return;
    if (m_board) {
        m_board->Set(m_row, Format("%s: %s: %u/%u", m_name.c_str(), m_label.c_str(), m_done, m_total));
        return;
    }
    std::lock_guard hold(OutputLock());
    const int length = std::fprintf(stderr, "\r%s: %u/%u", m_label.c_str(), m_done, m_total);
    std::fflush(stderr);
    if (length > 1)
        m_shown = static_cast<std::size_t>(length - 1);
}

void COutput::Write(std::FILE* stream, const std::string& text)
{
    // The names in a message (files, buses, state files) are whoever made them.
    const std::string printable = PrintableName(text, true);
    std::lock_guard hold(OutputLock());
    m_progress.ClearLocked();
    if (m_name.empty()) {
        std::fputs(printable.c_str(), stream);
    } else {
        // Every line with the camera's name in front.
        for (std::size_t at = 0; at < printable.size();) {
            std::size_t end = printable.find('\n', at);
            end = end == std::string::npos ? printable.size() : end + 1;
            std::fprintf(stream, "%s: %.*s", m_prefix.c_str(), static_cast<int>(end - at), printable.data() + at);
            at = end;
        }
    }
    if (std::fflush(stream) != 0 && errno == EPIPE)
        NoteBrokenPipe(); // the reader has gone: a stop, as SIGPIPE would have been
    m_progress.RedrawLocked();
}

void COutput::Out(const std::string& text) { Write(stdout, text); }
void COutput::Err(const std::string& text) { Write(stderr, text); }

void COutput::Problem(const std::string& text)
{
    Err(text + "\n");
    NoteProblem(text);
}

nlohmann::ordered_json COutput::FinalDocument(int status) const
{
    nlohmann::ordered_json document = m_document;
    if (status == 0 || (m_problems.empty() && !m_document.empty()))
        return document;
    std::string message;
    for (const std::string& text : m_problems)
        message += (message.empty() ? "" : "\n") + text;
    nlohmann::ordered_json error = ErrorMember(message.empty() ? "the command failed" : message);
    error.update(m_failedAt);
    document["error"] = error;
    return document;
}

nlohmann::ordered_json ErrorMember(const std::string& text)
{
    constexpr std::string_view prefix = "Error: ";
    return {{"message", text.starts_with(prefix) ? text.substr(prefix.size()) : text}};
}

namespace {

// Each byte that does not belong to a valid UTF-8 character as U+FFFD.
std::string ValidUtf8(const std::string& text)
{
    std::string valid;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = Utf8CharLength(std::string_view(text).substr(at));
        valid += length == 0 ? std::string("\xEF\xBF\xBD") : text.substr(at, length);
        at += length == 0 ? 1 : length;
    }
    return valid;
}

void MakeValidUtf8(nlohmann::ordered_json& value)
{
    if (value.is_string()) {
        value = ValidUtf8(value.get<std::string>());
    } else if (value.is_object()) {
        nlohmann::ordered_json valid = nlohmann::ordered_json::object();
        for (auto& [key, member] : value.items()) {
            MakeValidUtf8(member);
            valid[ValidUtf8(key)] = std::move(member);
        }
        value = std::move(valid);
    } else if (value.is_array()) {
        for (auto& element : value)
            MakeValidUtf8(element);
    }
}

} // namespace

void PrintDocument(nlohmann::ordered_json document)
{
    MakeValidUtf8(document);
    const std::string text = document.dump(2) + "\n";
    std::lock_guard hold(OutputLock());
    std::fputs(text.c_str(), stdout);
}

void CCliMessages::Show(const std::string& text)
{
    m_output.Problem(text);
}

bool CCliMessages::Ask(const std::string& question)
{
    std::lock_guard hold(OutputLock());
    m_output.Progress().ClearLocked();
    return AskToContinue(question, m_yes);
}

bool AskToContinue(const std::string& question, bool yes)
{
    if (yes)
        return true;
    const std::string printable = PrintableName(question, true);
    if (::isatty(STDIN_FILENO) != 1) {
        std::fprintf(stderr, "Error: %s\nThere is no terminal to ask on; give -y to go ahead.\n", printable.c_str());
        return false;
    }
    std::fprintf(stderr, "WARNING! %s\nContinue? [y/N] ", printable.c_str());
    std::fflush(stderr);
    char answer[64];
    // Ctrl-C at the question is no answer.
    if (!WaitForInputUnlessStopped(STDIN_FILENO) || !std::fgets(answer, sizeof answer, stdin)) {
        std::fprintf(stderr, "\n");
        return false;
    }
    const char* c = answer;
    while (*c == ' ' || *c == '\t')
        ++c;
    if (*c == 'y' || *c == 'Y')
        return true;
    std::fprintf(stderr, "Aborting on user request.\n");
    return false;
}

void PrintError(const std::string& text)
{
    std::lock_guard hold(OutputLock());
    std::fprintf(stderr, "Error: %s\n", PrintableName(text, true).c_str());
}

} // namespace zarnix::cli
