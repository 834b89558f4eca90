// zarnixctl's hex numbers, for any limit a caller passes.
#include <gtest/gtest.h>

#include <climits>

#include "cli/options.h"

namespace zarnix::cli {
namespace {

TEST(ParseHexTest, RefusesEveryValueAboveTheLimit)
{
    const struct {
        const char* text;
        unsigned max;
        EHexParse result;
        unsigned value; // when Ok
    } cases[] = {
        {"ff", 0xFF, EHexParse::Ok, 0xFF},
        {"0x100", 0xFF, EHexParse::TooLarge, 0},
        {"0XfC", 0xFC, EHexParse::Ok, 0xFC},
        {"fd", 0xFC, EHexParse::TooLarge, 0},
        {"1", 0, EHexParse::TooLarge, 0},
        {"0000000000000000000001", 1, EHexParse::Ok, 1},
        {"ffffffff", UINT_MAX, EHexParse::Ok, UINT_MAX},
        // Nine digits once wrapped past 2^32 and came back as a small number.
        {"100000000", UINT_MAX, EHexParse::TooLarge, 0},
        {"10000000000", UINT_MAX, EHexParse::TooLarge, 0},
        {"100000000", 0xFFFFFFFE, EHexParse::TooLarge, 0},
        {"fffffffff", UINT_MAX, EHexParse::TooLarge, 0},
        {"1fffffffz", UINT_MAX, EHexParse::NotANumber, 0},
        {"0x", UINT_MAX, EHexParse::NotANumber, 0},
    };
    for (const auto& c : cases) {
        unsigned value = 0xDEAD;
        EXPECT_EQ(ParseHex(c.text, c.max, value), c.result) << c.text << " max " << c.max;
        EXPECT_EQ(value, c.result == EHexParse::Ok ? c.value : 0xDEAD) << c.text;
    }
}

} // namespace
} // namespace zarnix::cli
