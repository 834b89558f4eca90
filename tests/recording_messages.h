// The message sink of the tests and benchmarks: every text the operator would
// have been shown, in order, and every question with the answer it is given.
#pragma once

#include <string>
#include <vector>

#include "link/messages.h"

namespace zarnix {

class CRecordingMessages final : public CMessageSink {
public:
    void Show(const std::string& text) override { m_texts.push_back(text); }
    // A list is recorded below its text after a blank line, told from a text with line ends.
    void ShowList(const std::string& text, const std::string& list) override { m_texts.push_back(text + "\n\n" + list); }
    // Questions are recorded among the texts, with a "? " in front, and answered with `answer`.
    bool Ask(const std::string& question) override
    {
        m_texts.push_back("? " + question);
        return answer;
    }
    const std::vector<std::string>& Texts() const { return m_texts; }
    void Clear() { m_texts.clear(); }

    bool answer = false;

private:
    std::vector<std::string> m_texts;
};

} // namespace zarnix
