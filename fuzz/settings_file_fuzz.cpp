// The settings file as it comes from disk: the reader, the check that guards the
// file-to-camera transfer, and the writer's text read back.
//
// Oracles: the reader fills no entry past the values it counts and none above
// 0x1EF; the check agrees with the reader, accepts exactly 1280 values and names
// a line whenever it refuses a file of 1280; and every image the reader can
// produce, written and read again, gives back its low bytes, in a file that the
// check accepts.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "link/messages.h"
#include "settings/settings_file.h"

using namespace zarnix;

namespace {

constexpr std::string_view kTitle = "//Settings file: ";

// What the entries hold before a read, so that an entry written by mistake shows.
std::uint16_t Before(std::size_t n) { return static_cast<std::uint16_t>((n * 7 + 3) & 0x1FF); }

std::vector<std::uint16_t> FreshImage(std::size_t size)
{
    std::vector<std::uint16_t> image(size);
    for (std::size_t n = 0; n < size; ++n)
        image[n] = Before(n);
    return image;
}

bool Printable(std::string_view text)
{
    for (const char c : text)
        if (c < 0x20 || c > 0x7E)
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    // The reader, into an image as large as it ever fills.
    std::vector<std::uint16_t> full = FreshImage(kSettingsReadLimit);
    const std::size_t values = ParseSettingsText(input, full);
    ZARNIX_FUZZ_CHECK(values <= kSettingsReadLimit);
    for (std::size_t n = values; n < full.size(); ++n)
        ZARNIX_FUZZ_CHECK(full[n] == Before(n));
    for (std::size_t n = 0; n < values; ++n)
        ZARNIX_FUZZ_CHECK(full[n] <= 0x1EF);

    // The check sees the same values and gives a verdict that fits them.
    std::vector<std::uint16_t> checked(kSettingsImageSize);
    const CSettingsFileCheck check = CheckSettingsText(input, "fuzz.qcs", checked);
    ZARNIX_FUZZ_CHECK(check.values == values);
    for (std::size_t n = 0; n < checked.size(); ++n)
        ZARNIX_FUZZ_CHECK(checked[n] == (n < values ? full[n] : 0xFF));
    ZARNIX_FUZZ_CHECK(check.ok == check.problem.empty());
    ZARNIX_FUZZ_CHECK(check.ok == (values == kSettingsFileValues && check.firstBadLine == 0));
    ZARNIX_FUZZ_CHECK(check.present[0]);
    for (std::size_t b = 1; b < kSettingsBlockCount; ++b)
        ZARNIX_FUZZ_CHECK(check.present[b] == (checked[MarkerEntry(b)] == b));
    // The problem goes to a terminal or a message box: one printable line.
    ZARNIX_FUZZ_CHECK(Printable(check.problem));
    if (check.ok)
        for (std::size_t n = 0; n < kSettingsFileValues; ++n)
            ZARNIX_FUZZ_CHECK(full[n] <= 0xFF);

    // Written again under the name its own title line gives, the image reads back.
    std::string path = "fuzz.qcs";
    if (input.substr(0, kTitle.size()) == kTitle) {
        const std::string_view rest = input.substr(kTitle.size());
        path = std::string(rest.substr(0, std::min(rest.find('\n'), rest.size())));
        if (!path.empty() && path.back() == '\r')
            path.pop_back();
    }
    const std::string written = FormatSettingsFile(full, path);
    ZARNIX_FUZZ_CHECK(written.size() == FormatSettingsFile(full, "").size() + path.size());
    std::vector<std::uint16_t> again = FreshImage(kSettingsReadLimit);
    ZARNIX_FUZZ_CHECK(ParseSettingsText(written, again) == kSettingsFileValues);
    for (std::size_t n = 0; n < kSettingsFileValues; ++n)
        ZARNIX_FUZZ_CHECK(again[n] == (full[n] & 0xFF));
    // Whatever the file was, what the writer makes of it is a file the check takes.
    const CSettingsFileCheck recheck = CheckSettingsText(written, "fuzz.qcs");
    ZARNIX_FUZZ_CHECK(recheck.ok && recheck.values == kSettingsFileValues);
    if (check.ok)
        ZARNIX_FUZZ_CHECK(recheck.present == check.present);
    return 0;
}
