// One program per bus: a second holder is refused at once, naming the first, and a
// lock left by a process that died is taken over.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "link/adapters/bus_lock.h"

namespace zarnix::test {
namespace {

class BusLockTest : public ::testing::Test {
protected:
    // ctest runs tests side by side: each its own lock folder.
    std::filesystem::path folder =
        std::filesystem::path(::testing::TempDir()) / ("zarnix_locks_" + std::to_string(getpid()));
    void SetUp() override
    {
        std::filesystem::create_directories(folder);
        setenv("ZARNIX_LOCK_DIR", folder.c_str(), 1);
    }
    void TearDown() override
    {
        unsetenv("ZARNIX_LOCK_DIR");
        std::filesystem::remove_all(folder);
    }
    // Runs `body` in a child process and returns its exit status.
    template <class Body>
    static int InChild(Body body)
    {
        const pid_t pid = fork();
        if (pid == 0)
            _exit(body());
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
    }
};

TEST_F(BusLockTest, ASecondProgramIsRefusedAndTold)
{
    CBusLock first;
    std::string error;
    ASSERT_TRUE(first.Acquire("/dev/i2c-3", error)) << error;
    // Another process (flock is per open file, so a second open in this one would conflict too).
    const int refused = InChild([] {
        CBusLock second;
        std::string why;
        if (second.Acquire("/dev/i2c-3", why))
            return 1;
        const std::string holder = "(process " + std::to_string(getppid()) + ")";
        return why.find("/dev/i2c-3 is in use by another program") != std::string::npos &&
                       why.find(holder) != std::string::npos
                   ? 0
                   : 2;
    });
    EXPECT_EQ(refused, 0);
    // Another bus is free.
    EXPECT_EQ(InChild([] {
                  CBusLock other;
                  std::string why;
                  return other.Acquire("/dev/i2c-4", why) ? 0 : 1;
              }),
              0);
    first.Release();
    EXPECT_EQ(InChild([] {
                  CBusLock again;
                  std::string why;
                  return again.Acquire("/dev/i2c-3", why) ? 0 : 1;
              }),
              0);
}

TEST_F(BusLockTest, ALockLeftByAKilledProcessIsTakenOver)
{
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t holder = fork();
    if (holder == 0) {
        CBusLock lock;
        std::string why;
        const char ok = lock.Acquire("/dev/i2c-3", why) ? 'y' : 'n';
        (void)!write(ready[1], &ok, 1);
        for (;;)
            pause();
    }
    char ok = 0;
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, 'y');
    CBusLock mine;
    std::string error;
    EXPECT_FALSE(mine.Acquire("/dev/i2c-3", error));
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    EXPECT_TRUE(mine.Acquire("/dev/i2c-3", error)) << error;
    close(ready[0]);
    close(ready[1]);
}

} // namespace
} // namespace zarnix::test
