// Every message the operator must acknowledge goes through one sink:
// "show this text and wait for OK". The window shows a modal box, the tools
// print to stderr, tests record the texts.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace zarnix {

class CMessageSink {
public:
    virtual ~CMessageSink() = default;
    virtual void Show(const std::string& text) = 0;
};

class CStderrMessages final : public CMessageSink {
public:
    void Show(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
};

class CRecordingMessages final : public CMessageSink {
public:
    void Show(const std::string& text) override { m_texts.push_back(text); }
    const std::vector<std::string>& Texts() const { return m_texts; }
    void Clear() { m_texts.clear(); }

private:
    std::vector<std::string> m_texts;
};

} // namespace zarnix
