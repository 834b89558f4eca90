// Every message the operator must acknowledge goes through one sink:
// "show this text and wait for OK". The window shows a modal box, the tools
// print to stderr, tests record the texts.
#pragma once

#include <string>
#include <vector>

namespace zarnix {

class CMessageSink {
public:
    virtual ~CMessageSink() = default;
    virtual void Show(const std::string& text) = 0;
    // A yes/no question; a sink with nobody to ask answers no.
    virtual bool Ask(const std::string& question)
    {
        (void)question;
        return false;
    }
};

class CRecordingMessages final : public CMessageSink {
public:
    void Show(const std::string& text) override { m_texts.push_back(text); }
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
