// zarnixctl's hex arguments: the bank, index and value of read and write, the
// camera address of --address, and the name of a set command.
//
// Oracles: the C library's strtoull reads the digits; --address takes exactly the
// even numbers below fc, in both of its spellings; a set-command name is found as
// the first command whose tool name or command name matches in any case.
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "cli/names.h"
#include "cli/options.h"
#include "fuzz/fuzz_check.h"
#include "link/iic_link.h"

using namespace zarnix;
using namespace zarnix::cli;

namespace {

// The limits the tool uses (one byte) and the ones a caller may pass, up to the
// largest, where a careless multiplication would wrap.
constexpr unsigned kLimits[] = {0, 0xF, 0xFC, 0xFF, 0x100, 0xFFFF, 0x0FFFFFFF, 0x10000000, 0xFFFFFFFE, UINT_MAX};

EHexParse ExpectedHex(std::string_view text, unsigned max, unsigned& value)
{
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.remove_prefix(2);
    if (text.empty())
        return EHexParse::NotANumber;
    for (const char c : text)
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return EHexParse::NotANumber;
    const std::string digits(text);
    errno = 0;
    const unsigned long long v = std::strtoull(digits.c_str(), nullptr, 16);
    if (errno == ERANGE || v > max)
        return EHexParse::TooLarge;
    value = static_cast<unsigned>(v);
    return EHexParse::Ok;
}

void CheckHex(std::string_view text)
{
    for (const unsigned max : kLimits) {
        unsigned expected = 0xDEADBEEF;
        unsigned value = 0xDEADBEEF; // left alone unless the text is a number
        const EHexParse want = ExpectedHex(text, max, expected);
        ZARNIX_FUZZ_CHECK(ParseHex(text, max, value) == want);
        ZARNIX_FUZZ_CHECK(value == expected);
    }
}

void CheckAddress(const std::string& text)
{
    unsigned byte = 0;
    const bool valid = ParseHex(text, 0xFF, byte) == EHexParse::Ok && byte % 2 == 0 && byte < kNoCameraAddress;
    const std::string joined = "--address=" + text;
    const char* separate[] = {"zarnixctl", "--address", text.c_str()};
    const char* together[] = {"zarnixctl", joined.c_str()};
    for (int form = 0; form < 2; ++form) {
        CCliOptions options;
        std::string error;
        const bool ok = form == 0 ? ParseCommandLine(3, separate, options, error)
                                  : ParseCommandLine(2, together, options, error);
        ZARNIX_FUZZ_CHECK(ok == valid);
        ZARNIX_FUZZ_CHECK(ok == error.empty());
        ZARNIX_FUZZ_CHECK(ok ? options.address == byte : !options.address.has_value());
        ZARNIX_FUZZ_CHECK(options.command.empty() && options.args.empty());
    }
}

std::string Lower(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

void CheckSetName(std::string_view text)
{
    struct CNames {
        std::string tool;
        std::string command;
    };
    static const std::vector<CNames> names = [] {
        std::vector<CNames> all;
        for (const auto& command : kSetCommands)
            all.push_back({Lower(SettingName(command)), Lower(command.command)});
        return all;
    }();
    const CSetCommand* expected = nullptr;
    const std::string lower = Lower(text);
    for (std::size_t k = 0; k < names.size() && !expected; ++k)
        if (lower == names[k].tool || lower == names[k].command)
            expected = &kSetCommands[k];
    ZARNIX_FUZZ_CHECK(FindSetCommand(text) == expected);
    std::string upper(text);
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    ZARNIX_FUZZ_CHECK(FindSetCommand(upper) == expected);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    CheckHex(input);
    CheckSetName(input);
    // A command-line argument ends at its first NUL.
    CheckAddress(std::string(input.substr(0, input.find('\0'))));
    return 0;
}
