// A test with a folder of its own under /tmp, removed after it, the bytes of a
// file as they are on disk, and the recordings kept as text in tests/data.
#pragma once

#include <gtest/gtest.h>

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace zarnix::test {

inline std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// ZARNIX_GOLDEN=record: the recordings are written anew instead of compared.
inline bool Recording()
{
    const char* golden = std::getenv("ZARNIX_GOLDEN");
    return golden && std::string(golden) == "record";
}

// A text as a recording keeps it: whole, and where it does not end its last line,
// marked as diff marks it, so that every byte can be told from the recording.
inline std::string Whole(const std::string& text)
{
    return text.empty() || text.back() == '\n' ? text : text + "\n\\ no newline at end\n";
}

// Compares `now` with the recording in `file`, naming the first line that differs
// and the "=== " section it is in; with ZARNIX_GOLDEN=record writes it instead,
// and the recording's diff then shows what changed.
inline void ExpectRecorded(const std::filesystem::path& file, const std::string& now)
{
    if (Recording()) {
        std::ofstream(file, std::ios::binary) << now;
        return;
    }
    const std::string recorded = ReadFile(file);
    if (recorded == now)
        return;
    std::istringstream was(recorded), is(now);
    std::string a, b, section = "its start";
    for (int line = 1;; ++line) {
        const bool hasA = static_cast<bool>(std::getline(was, a)), hasB = static_cast<bool>(std::getline(is, b));
        if (hasB && b.rfind("=== ", 0) == 0)
            section = b;
        if (hasA != hasB || a != b || !hasA) {
            ADD_FAILURE() << file.string() << " differs at line " << line << " (under " << section << ")\n  recorded: "
                          << (hasA ? a : "(its end)") << "\n  now:      " << (hasB ? b : "(its end)")
                          << "\nZARNIX_GOLDEN=record writes it anew; its diff shows the change.";
            return;
        }
    }
}

// A folder of the test's own under /tmp, removed with everything in it when it goes.
struct CTempFolder {
    CTempFolder()
    {
        char pattern[] = "/tmp/zarnix-test-XXXXXX";
        EXPECT_NE(::mkdtemp(pattern), nullptr);
        path = pattern;
    }
    ~CTempFolder() { std::filesystem::remove_all(path); }
    CTempFolder(const CTempFolder&) = delete;
    CTempFolder& operator=(const CTempFolder&) = delete;

    std::filesystem::path path;
};

class FolderTest : public ::testing::Test {
protected:
    CTempFolder folder;
    const std::filesystem::path dir = folder.path;
};

} // namespace zarnix::test
