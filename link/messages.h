// Every message the operator must acknowledge goes through one sink:
// "show this text and wait for OK". The window shows a modal box, the tools
// print to stderr, tests record the texts (tests/recording_messages.h).
#pragma once

#include <string>

#include "system/printable.h"

namespace zarnix {

class CMessageSink {
public:
    virtual ~CMessageSink() = default;
    virtual void Show(const std::string& text) = 0;
    // A message with a list the operator may want to keep (the registers that
    // differ, say), one entry a line. A sink with no better way shows both as one text.
    virtual void ShowList(const std::string& text, const std::string& list) { Show(text + "\n" + list); }
    // A yes/no question; a sink with nobody to ask answers no.
    virtual bool Ask(const std::string& question)
    {
        (void)question;
        return false;
    }
};

} // namespace zarnix
