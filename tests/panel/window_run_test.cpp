// The built window, started as an operator starts it, on a vendor adapter
// library. --startup-probe ends the program once the panel is first painted,
// its start-up done.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/folder_fixture.h"

namespace zarnix::test {
namespace {

using WindowRunTest = FolderTest;

TEST_F(WindowRunTest, TheWindowStartsOnAVendorLibraryGivenOnItsCommandLine)
{
    const std::string trace = (dir / "trace").string(), errors = (dir / "stderr").string();
    // A copy of our own: other tests lock the same library meanwhile.
    const std::string library = (dir / "adapter.so").string();
    std::filesystem::copy_file(ZARNIX_TEST_ADAPTER, library);
    const std::string command = "QT_QPA_PLATFORM=offscreen " ZARNIX_WINDOW_PATH " --startup-probe --adapter-lib " +
                                library + " --trace " + trace + " >/dev/null 2>" + errors;
    // It quits once painted; a sanitizer's report at exit may set its status, which tells nothing here.
    EXPECT_NE(std::system(command.c_str()), -1);
    EXPECT_NE(ReadFile(errors).find("zarnix-controller: using the adapter library " + library), std::string::npos)
        << ReadFile(errors);
    // The start-up ends with the direct panel's read of the stored brightness, the library answering.
    const std::string traced = ReadFile(trace);
    const std::size_t received = traced.find("Receive(", traced.find(", 0x01, [a0 04]"));
    EXPECT_TRUE(traced.substr(received, traced.find('\n', received) - received).ends_with(") = 0")) << traced;
}

// A second window on a state file in use is refused with one "Error: ", and a
// name that would drive the terminal is shown escaped there.
TEST_F(WindowRunTest, ASecondWindowIsRefusedInOnePrintableLine)
{
    const std::string state = (dir / "c\033[2J.state").string();
    const int held = open(state.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    int pipeFds[2];
    ASSERT_EQ(pipe2(pipeFds, O_CLOEXEC), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        dup2(pipeFds[1], STDERR_FILENO);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        execl(ZARNIX_WINDOW_PATH, ZARNIX_WINDOW_PATH, "--sim-state", state.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeFds[1]);
    std::string said; // the line that names the state file; Qt may say things first
    for (char c = 0; said.find("state") == std::string::npos || said.back() != '\n';) {
        if (!said.empty() && said.back() == '\n')
            said.clear();
        if (read(pipeFds[0], &c, 1) != 1)
            break;
        said += c;
    }
    kill(child, SIGTERM); // the refusal's box waits for an OK nobody gives
    waitpid(child, nullptr, 0);
    close(pipeFds[0]);
    close(held);
    EXPECT_EQ(said.rfind("Error: ", 0), 0u) << said;
    EXPECT_EQ(said.find("Error: ", 1), std::string::npos) << said;
    EXPECT_NE(said.find("c\\x1b[2J.state"), std::string::npos) << said;
}

} // namespace
} // namespace zarnix::test
