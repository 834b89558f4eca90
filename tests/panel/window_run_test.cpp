// The built window, started as an operator starts it, on a vendor adapter
// library. The bus trace goes to a pipe, so the test follows the start-up as it
// happens, without sleeping, and ends the program once the panel is filled.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/folder_fixture.h"

namespace zarnix::test {
namespace {

using WindowRunTest = FolderTest;

TEST_F(WindowRunTest, TheWindowStartsOnAVendorLibraryGivenOnItsCommandLine)
{
    const std::string fifo = (dir / "trace").string(), libraryLog = (dir / "library.log").string();
    const std::string errors = (dir / "stderr").string();
    // A copy of our own: other tests lock the same library meanwhile.
    const std::string library = (dir / "adapter.so").string();
    std::filesystem::copy_file(ZARNIX_TEST_ADAPTER, library);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        dup2(open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600), STDERR_FILENO);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        setenv("ZARNIX_TEST_ADAPTER_LOG", libraryLog.c_str(), 1);
        execl(ZARNIX_WINDOW_PATH, ZARNIX_WINDOW_PATH, "--adapter-lib", library.c_str(), "--trace", fifo.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }

    // A program that dies before it opens its trace would leave the open below
    // waiting for ever: a watchdog interrupts it (no restart), and the test fails.
    struct sigaction watchdog {};
    watchdog.sa_handler = [](int) {};
    sigaction(SIGALRM, &watchdog, nullptr);
    alarm(60);

    // The start-up ends with the direct panel's read of the stored brightness.
    std::ifstream trace(fifo);
    std::string line;
    bool brightnessAsked = false;
    bool filled = false;
    unsigned lines = 0;
    while (!filled && std::getline(trace, line)) {
        ++lines;
        if (line.find("SendSub(") != std::string::npos && line.find(", 0x01, [a0 04]") != std::string::npos)
            brightnessAsked = true;
        else if (brightnessAsked && line.find("Receive(") != std::string::npos)
            filled = line.find(") = 0") != std::string::npos;
    }
    alarm(0);
    kill(child, SIGTERM);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(filled) << "trace ended after " << lines << " lines; stderr:\n" << ReadFile(errors);
    EXPECT_NE(ReadFile(errors).find("zarnix-controller: using the adapter library " + library), std::string::npos)
        << ReadFile(errors);
    // Every call went through the library's own six functions.
    const std::string calls = ReadFile(libraryLog);
    EXPECT_NE(calls.find("IICInit"), std::string::npos);
    EXPECT_NE(calls.find("Receive"), std::string::npos);
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
