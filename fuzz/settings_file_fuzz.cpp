// The settings file as it comes from disk: the reader, the check that guards the
// file-to-camera transfer, and the writer's text read back.
//
// Oracles: a second reader written straight from the file rules; the reader over
// memory against the reader over a real file; the check against the reader; and
// every image the reader can produce, written and read again, gives back its low
// bytes (the whole image when the check accepted the file).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

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

// The file rules, spelled out once more without sharing a line with the product.
std::size_t ReferenceRead(std::string_view raw, std::vector<std::uint16_t>& image)
{
    std::string text; // as the text-mode stream hands it on
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == 0x1A)
            break;
        if (c == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') {
            text += '\n';
            ++i;
            continue;
        }
        text += c;
    }
    std::size_t at = 0;
    auto get = [&]() -> int { return at < text.size() ? static_cast<unsigned char>(text[at++]) : -1; };
    auto h = [](int c) -> unsigned {
        if (c >= '0' && c <= '9')
            return static_cast<unsigned>(c - 0x30) & 0xFF;
        return static_cast<unsigned>(c < 0x48 ? c - 0x37 : c - 0x57) & 0xFF;
    };
    const std::size_t limit = std::min<std::size_t>(image.size(), kSettingsReadLimit);
    std::size_t slot = 0;
    while (slot < limit) {
        int c = get();
        while (c == ' ' || c == '\n')
            c = get();
        bool ended = false;
        while (c == '/' && !ended) {
            while ((c = get()) != '\n')
                if (c < 0) {
                    ended = true;
                    break;
                }
            if (!ended)
                c = get();
        }
        if (ended)
            break;
        while (c == ' ' || c == '\n')
            c = get();
        if (c < 0 || c == 0xFF)
            break;
        int second = get();
        if (second < 0)
            second = 0xFF;
        image[slot++] = static_cast<std::uint16_t>(((h(c) << 4) & 0xFF) + h(second));
    }
    return slot;
}

// The product's reader over a real file, which is how the transfers use it.
std::size_t ReadThroughFile(std::string_view text, std::vector<std::uint16_t>& image)
{
    static const int fd = ::memfd_create("zarnix-settings-fuzz", 0);
    ZARNIX_FUZZ_CHECK(fd >= 0);
    ZARNIX_FUZZ_CHECK(::ftruncate(fd, 0) == 0);
    ZARNIX_FUZZ_CHECK(::pwrite(fd, text.data(), text.size(), 0) == static_cast<ssize_t>(text.size()));
    std::string bytes, problem;
    ZARNIX_FUZZ_CHECK(ReadSettingsBytes("/proc/self/fd/" + std::to_string(fd), bytes, problem) == EReadFile::Read);
    ZARNIX_FUZZ_CHECK(bytes == text);
    return ParseSettingsText(bytes, image);
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

    // The reader, into an image as large as it ever fills and into the transfer's.
    std::vector<std::uint16_t> full = FreshImage(kSettingsReadLimit);
    const std::size_t values = ParseSettingsText(input, full);
    ZARNIX_FUZZ_CHECK(values <= kSettingsReadLimit);
    for (std::size_t n = values; n < full.size(); ++n)
        ZARNIX_FUZZ_CHECK(full[n] == Before(n));
    for (std::size_t n = 0; n < values; ++n)
        ZARNIX_FUZZ_CHECK(full[n] <= 0x1EF);

    std::vector<std::uint16_t> reference = FreshImage(kSettingsReadLimit);
    ZARNIX_FUZZ_CHECK(ReferenceRead(input, reference) == values);
    ZARNIX_FUZZ_CHECK(reference == full);

    std::vector<std::uint16_t> transfer = FreshImage(kSettingsImageSize);
    const std::size_t stored = ReadThroughFile(input, transfer);
    ZARNIX_FUZZ_CHECK(stored == std::min(values, kSettingsImageSize));
    for (std::size_t n = 0; n < transfer.size(); ++n)
        ZARNIX_FUZZ_CHECK(transfer[n] == full[n]);

    // The check sees the same values and gives a verdict that fits them.
    std::vector<std::uint16_t> checked(kSettingsImageSize);
    const CSettingsFileCheck check = CheckSettingsText(input, "fuzz.qcs", checked);
    ZARNIX_FUZZ_CHECK(check.values == values);
    for (std::size_t n = 0; n < checked.size(); ++n)
        ZARNIX_FUZZ_CHECK(checked[n] == (n < values ? full[n] : 0xFF));
    ZARNIX_FUZZ_CHECK(check.ok == check.problem.empty());
    ZARNIX_FUZZ_CHECK(!check.ok || (values >= kSettingsFileValues && check.firstBadLine == 0));
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
    if (check.ok) {
        const CSettingsFileCheck recheck = CheckSettingsText(written, "fuzz.qcs");
        ZARNIX_FUZZ_CHECK(recheck.ok && recheck.values == kSettingsFileValues);
        ZARNIX_FUZZ_CHECK(recheck.present == check.present);
    }
    return 0;
}
