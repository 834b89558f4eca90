#include "cli/output.h"

#include <cstdio>

#include <unistd.h>

#include "cli/stop_signal.h"

namespace zarnix::cli {

CProgressLine::CProgressLine() : m_enabled(::isatty(STDERR_FILENO) == 1) {}

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
    Clear();
    m_running = false;
}

void CProgressLine::Clear()
{
    if (!m_enabled || m_shown == 0)
        return;
    std::fprintf(stderr, "\r%*s\r", static_cast<int>(m_shown), "");
    std::fflush(stderr);
    m_shown = 0;
}

void CProgressLine::Draw()
{
    if (!m_enabled || !m_running)
        return;
    const int length = std::fprintf(stderr, "\r%s: %u/%u", m_label.c_str(), m_done, m_total);
    std::fflush(stderr);
    if (length > 1)
        m_shown = static_cast<std::size_t>(length - 1);
}

void CCliMessages::Show(const std::string& text)
{
    m_progress.Clear();
    std::fprintf(stderr, "%s\n", text.c_str());
    ++m_count;
}

bool CCliMessages::Ask(const std::string& question)
{
    m_progress.Clear();
    return AskToContinue(question, m_yes);
}

bool AskToContinue(const std::string& question, bool yes)
{
    if (yes)
        return true;
    if (::isatty(STDIN_FILENO) != 1) {
        std::fprintf(stderr, "Error: %s\nThere is no terminal to ask on; give -y to go ahead.\n", question.c_str());
        return false;
    }
    std::fprintf(stderr, "WARNING! %s\nContinue? [y/N] ", question.c_str());
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
    std::fprintf(stderr, "Error: %s\n", text.c_str());
}

} // namespace zarnix::cli
