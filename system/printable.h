// Text from outside (file names, process names, tokens of a file) made fit
// for a terminal or a log.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace zarnix {

// The bytes of the one UTF-8 character that `text` starts with, or 0 when they
// are no valid UTF-8 (an overlong form, a surrogate, past U+10FFFF, cut short).
inline std::size_t Utf8CharLength(std::string_view text)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned lead = byte(0);
    if (lead < 0x80)
        return 1;
    // The second byte's range is narrower after some leads; see RFC 3629.
    struct CLead {
        unsigned first, last;
        std::size_t length;
        unsigned low, high;
    };
    static constexpr CLead kLeads[] = {{0xC2, 0xDF, 2, 0x80, 0xBF}, {0xE0, 0xE0, 3, 0xA0, 0xBF},
                                       {0xE1, 0xEC, 3, 0x80, 0xBF}, {0xED, 0xED, 3, 0x80, 0x9F},
                                       {0xEE, 0xEF, 3, 0x80, 0xBF}, {0xF0, 0xF0, 4, 0x90, 0xBF},
                                       {0xF1, 0xF3, 4, 0x80, 0xBF}, {0xF4, 0xF4, 4, 0x80, 0x8F}};
    for (const CLead& l : kLeads) {
        if (lead < l.first || lead > l.last)
            continue;
        if (text.size() < l.length || byte(1) < l.low || byte(1) > l.high)
            return 0;
        for (std::size_t k = 2; k < l.length; ++k)
            if (byte(k) < 0x80 || byte(k) > 0xBF)
                return 0;
        return l.length;
    }
    return 0;
}

// A name (a path, a camera, a process) as it may be printed for a person: it
// comes from whoever made it, and must not drive the terminal. Control
// characters (C0, DEL, C1) and bytes that are no UTF-8 become \xNN, as in the
// messages about a settings file's contents; with `asciiOnly` every byte above
// DEL does too, for texts whose readers take ASCII alone. With `keepLineEnds`
// line ends and tabs stay, for a whole message that holds such names.
inline std::string PrintableName(std::string_view name, bool keepLineEnds = false, bool asciiOnly = false)
{
    std::string text;
    for (std::size_t at = 0; at < name.size();) {
        const auto c = static_cast<unsigned char>(name[at]);
        const std::size_t length = asciiOnly && c >= 0x80 ? 0 : Utf8CharLength(name.substr(at));
        const bool c1 = length == 2 && c == 0xC2 && static_cast<unsigned char>(name[at + 1]) < 0xA0;
        const bool control = (c < 0x20 && !(keepLineEnds && (c == '\n' || c == '\t'))) || c == 0x7F;
        if (length == 0 || c1 || control) {
            for (std::size_t k = 0; k < (c1 ? 2 : 1); ++k) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned char>(name[at + k]));
                text += escaped;
            }
            at += c1 ? 2 : 1;
            continue;
        }
        text.append(name.substr(at, length));
        at += length;
    }
    return text;
}

} // namespace zarnix
