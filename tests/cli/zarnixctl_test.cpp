// Runs the built zarnixctl against the simulated camera on the virtual clock,
// with the camera's memory in a state file between runs, and checks what it
// prints, what it leaves in the camera and how it exits. The runs every command
// makes are recorded whole, as text, in tests/data/zarnixctl.golden.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "camera/register_map.h"
#include "settings/settings_file.h"
#include "sim/sim_camera.h"
#include "sim/sim_state.h"
#include "tests/folder_fixture.h"

extern char** environ;

namespace zarnix::test {
namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;

struct CRun {
    int status = -1; // exit status; -1 when the tool died of a signal
    std::string out;
    std::string err;
};

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class ZarnixctlTest : public FolderTest {
protected:
    void SetUp() override
    {
        FolderTest::SetUp();
        state = (dir / "cam.state").string();
    }

    // Starts the tool with stdin `stdinFd` (/dev/null when -1), stdout and stderr
    // into files of the test's folder; `extra` becomes its descriptor `extraAs`.
    pid_t Spawn(const Args& args, int stdinFd, int extra = -1, int extraAs = -1)
    {
        Args argv{ZARNIXCTL_PATH};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> pointers;
        for (auto& arg : argv)
            pointers.push_back(arg.data());
        pointers.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (stdinFd >= 0)
            posix_spawn_file_actions_adddup2(&actions, stdinFd, 0);
        else
            posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        const std::string out = stdoutPath.empty() ? (dir / "stdout").string() : stdoutPath;
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (extraAs != 2)
            posix_spawn_file_actions_addopen(&actions, 2, ErrPath().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (extra >= 0)
            posix_spawn_file_actions_adddup2(&actions, extra, extraAs);
        pid_t pid = -1;
        if (posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, pointers.data(), environ) != 0)
            ADD_FAILURE() << "cannot start " << argv[0];
        posix_spawn_file_actions_destroy(&actions);
        return pid;
    }
    std::string ErrPath() const { return (dir / "stderr").string(); }
    static int Wait(pid_t pid)
    {
        int wait = 0;
        ::waitpid(pid, &wait, 0);
        return WIFEXITED(wait) ? WEXITSTATUS(wait) : -1;
    }

    CRun RunRaw(const Args& args, int stdinFd = -1)
    {
        CRun run;
        const pid_t pid = Spawn(args, stdinFd);
        if (pid > 0)
            run.status = Wait(pid);
        run.out = ReadFile(dir / "stdout");
        run.err = ReadFile(ErrPath());
        return run;
    }
    // On the virtual clock, with the camera kept in this test's state file; the
    // line that names the backend is left out of stderr.
    CRun Run(Args args, int stdinFd = -1)
    {
        args.insert(args.begin(), {"--sim-clock", "virtual", "--sim-state", state});
        CRun run = RunRaw(args, stdinFd);
        const std::string said = "zarnixctl: using the simulated camera (state in " + state + ")\n";
        if (run.err.rfind(said, 0) == 0)
            run.err.erase(0, said.size());
        return run;
    }
    std::string Ok(const Args& args)
    {
        const CRun run = Run(args);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");
        return run.out;
    }
    CSimState Camera()
    {
        CSimState camera;
        std::string error;
        EXPECT_EQ(LoadSimStateFile(state, camera, error), ESimStateLoad::Loaded) << error;
        return camera;
    }
    // A pseudo-terminal's slave for the tool's stdin, with `typed` waiting on it.
    int Terminal(const std::string& typed)
    {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        EXPECT_TRUE(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
        EXPECT_EQ(::write(master, typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
        return ::open(::ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    }

    std::string state;
    std::string stdoutPath; // where stdout goes instead of the test's file
    int master = -1;
};

// ----- every command, recorded whole ---------------------------------------------------------

// Run in this order on one camera, each on the state the one before left. A
// change in any byte the tool puts on the bus (or in a pause), prints, or keeps
// shows in the recording's diff.
TEST_F(ZarnixctlTest, EveryCommandMatchesItsRecording)
{
    const std::vector<std::pair<std::string, Args>> runs = {
        {"search", {"search"}},
        {"show", {"show"}},
        {"read", {"read", "a0", "04"}},
        {"read-mirror", {"--address", "70", "read", "a1", "4"}},
        {"write-live", {"write", "30", "0x04", "9A"}},
        {"write-kept", {"-y", "write", "0XE0", "10", "05"}},
        {"write-unasked", {"write", "a0", "04", "92"}},
        {"set-list", {"set", "--list"}},
        {"set", {"set", "3dnr-level", "0x7f"}},
        {"set-rule", {"set", "pan-position", "ff"}},
        {"set-by-command", {"set", "SetOsdControl", "3"}},
        {"save", {"save", "-y"}},
        {"dump", {"dump", "e.qcs"}},
        {"dump-all", {"dump", "a.qcs", "--all"}},
        {"load", {"load", "e.qcs", "-y"}},
        {"load-all", {"load", "a.qcs", "--all", "-y"}},
        {"check", {"check", "a.qcs"}},
        {"verify-all", {"verify", "a.qcs", "--all"}},
        {"write-changed", {"-y", "write", "a0", "04", "12"}},
        {"write-changed-block", {"-y", "write", "e2", "10", "00"}},
        {"verify-changed", {"verify", "a.qcs", "--all"}},
        {"json-verify-changed", {"--json", "verify", "a.qcs"}},
        {"write-back", {"-y", "write", "a0", "04", "9a"}}, // as the file has them again
        {"write-back-block", {"-y", "write", "e2", "10", "eb"}},
        {"json-search", {"--json", "search"}},
        {"json-show", {"--json", "show"}},
        {"json-read", {"--json", "read", "a0", "04"}},
        {"json-check", {"--json", "check", "a.qcs"}},
        {"json-check-empty", {"--json", "check", "/dev/null"}},
        {"json-usage", {"--json", "read", "a0", "100"}},
        {"read-nobody", {"--address", "72", "read", "a0", "04"}},
        {"save-nobody", {"--address", "72", "save", "-y"}},
        {"absent-search", {"search"}},
        {"absent-dump", {"--address", "70", "dump", "z.qcs"}},
        {"json-absent-read", {"--json", "read", "a0", "04"}},
        {"json-absent-register", {"--json", "--address", "70", "read", "a0", "04"}},
        // dump finds out before it looks for the camera that it cannot write.
        {"unwritable-dump", {"dump", "/nonexistent/dir/x.qcs", "--all"}},
        // Usage errors, refused before the camera is looked at.
        {"usage-none", {}},
        {"usage-unknown", {"frobnicate"}},
        {"usage-missing", {"read", "30"}},
        {"usage-too-many", {"read", "30", "04", "05"}},
        {"usage-bank", {"read", "100", "04"}},
        {"usage-index", {"read", "30", "4g"}},
        {"usage-bare-0x", {"read", "30", "0x"}},
        {"usage-negative", {"read", "30", "-1"}},
        {"usage-value", {"set", "brightness", "100"}},
        {"usage-set-one", {"set", "brightness"}},
        {"usage-set-name", {"set", "sparkle", "1"}},
        {"usage-show-all", {"show", "--all"}},
        {"usage-odd-address", {"--address", "71", "show"}},
        {"usage-high-address", {"--address", "fc", "show"}},
        {"usage-no-value", {"--address"}},
        {"usage-abbreviated", {"--addr", "70", "show"}}, // no abbreviations
        {"usage-clock", {"--sim-clock", "fast", "show"}},
        {"usage-bus-and-sim", {"--bus", "1", "--simulate", "show"}},
        {"usage-force", {"--force", "--simulate", "show"}},
        {"usage-yes-value", {"--yes=1", "save"}},
        // An empty first word must not hand the command's place to the next one.
        {"usage-empty-command", {"--simulate", "", "write", "a0", "10", "5a", "-y"}},
        {"help", {"--help"}},
        {"help-load", {"load", "-h"}},
    };
    std::ostringstream recorded;
    ASSERT_EQ(::chdir(dir.c_str()), 0); // the settings files by plain names, as an operator types them
    for (const auto& [name, args] : runs) {
        if (name == "absent-search") {
            std::string text = ReadFile(state);
            text.replace(text.find("present yes"), 11, "present no");
            std::ofstream(state, std::ios::binary) << text;
        }
        Args traced{"--trace", "bus.trace"};
        traced.insert(traced.end(), args.begin(), args.end());
        fs::remove(dir / "bus.trace");
        const CRun run = Run(traced);
        recorded << "=== " << name << ":";
        for (const std::string& arg : traced)
            recorded << " " << arg;
        recorded << "\nexit " << run.status << "\n--- stdout\n" << Whole(run.out) << "--- stderr\n" << Whole(run.err)
                 << "--- trace\n" << Whole(ReadFile(dir / "bus.trace")) << "--- state\n" << Whole(ReadFile(state));
        if (name.rfind("dump", 0) == 0)
            recorded << "--- file\n" << Whole(ReadFile(dir / args[args[0] == "dump" ? 1 : 3]));
    }
    ExpectRecorded(ZARNIX_GOLDEN_FILE, recorded.str());
}

// ----- the command line ----------------------------------------------------------------------

TEST_F(ZarnixctlTest, OptionsMayFollowTheCommand)
{
    // Options after the command, "--opt=value" and "--" come with getopt_long.
    EXPECT_EQ(Ok({"read", "--address=70", "a0", "--", "04"}), "80\n");
}

// The question before a change to what the camera keeps, on a pseudo-terminal.
TEST_F(ZarnixctlTest, AsksOnATerminal)
{
    for (const auto& [typed, status, stored] : {std::tuple{"y\n", 0, 0x12}, {"n\n", 1, 0x80}, {"\n", 1, 0x80}}) {
        fs::remove(state);
        const int slave = Terminal(typed);
        const CRun run = Run({"write", "a0", "04", "12"}, slave);
        ::close(slave);
        ::close(master);
        EXPECT_EQ(run.status, status) << typed << run.err;
        EXPECT_TRUE(Contains(run.err, "WARNING! This will write 12 to register a0:04 of the camera at 70")) << run.err;
        EXPECT_TRUE(Contains(run.err, "Continue? [y/N] ")) << run.err;
        EXPECT_EQ(Camera().banks.at(0xA0)[0x04], stored) << typed;
    }
}

TEST_F(ZarnixctlTest, FilesItCannotUseAreErrorsThatChangeNothing)
{
    // One value too many would shift every later value into the wrong register.
    const std::string bad = (dir / "bad.qcs").string(), extra = (dir / "extra.qcs").string();
    std::ofstream(bad) << "//Settings file: bad.qcs\n00 11 2Z\n";
    std::string shifted = FormatSettingsFile(std::vector<std::uint16_t>(kSettingsFileValues, 0x12), extra);
    std::ofstream(extra) << shifted.insert(shifted.find("12 "), "12 ");
    for (const auto& [file, line] : {std::pair{bad, ": line 2: "}, {extra, ": line 3: 17 values"}})
        for (const char* command : {"check", "load", "verify"}) {
            const CRun run = Run({command, file, "-y"});
            EXPECT_EQ(run.status, 1) << command;
            EXPECT_TRUE(Contains(run.err, file + line)) << run.err;
        }
    EXPECT_FALSE(fs::exists(state)) << "load or verify went to the camera";

    // A malformed state file names its line and is left as it was; one that is
    // only read is not written again, comments and all.
    std::ofstream(state) << "zarnix-sim-state 1\naddress 70\npresent perhaps\n";
    const CRun malformed = Run({"show"});
    EXPECT_EQ(malformed.status, 1);
    EXPECT_EQ(malformed.err.rfind("Error: " + state + ":3: ", 0), 0u) << malformed.err;
    EXPECT_EQ(ReadFile(state), "zarnix-sim-state 1\naddress 70\npresent perhaps\n");
    std::ofstream(state).close(); // an empty one is a camera fresh from the factory
    EXPECT_EQ(Ok({"search"}), "70\n");
    std::string annotated = ReadFile(state);
    annotated.insert(annotated.find('\n') + 1, "# bench camera 3\n");
    std::ofstream(state, std::ios::binary) << annotated;
    Ok({"show"});
    EXPECT_EQ(ReadFile(state), annotated);

    // A state file another program holds: the message says "Error: " once.
    const int held = ::open(state.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    const CRun busy = Run({"show"});
    ::close(held);
    EXPECT_EQ(busy.status, 1);
    EXPECT_TRUE(busy.err.rfind("Error: ", 0) == 0 && Contains(busy.err, " in use ") && !Contains(busy.err, "Error: Error"))
        << busy.err;
    // A name that would drive the terminal is shown escaped.
    const CRun planted = Run({"check", "x\033]0;OWNED\a\033[31m.qcs"});
    EXPECT_EQ(planted.status, 1);
    EXPECT_TRUE(Contains(planted.err, "x\\x1b]0;OWNED\\x07\\x1b[31m.qcs: ")) << planted.err;
}

TEST_F(ZarnixctlTest, LoadWritesTheBytesItChecked)
{
    Ok({"search"});
    const CSimState factory = Camera();
    const auto fileOf = [&](std::uint8_t flip) {
        std::vector<std::uint16_t> image(kSettingsFileValues, 0xFF);
        for (unsigned k = 0; k < kSettingsBlockSize; ++k)
            image[k] = static_cast<std::uint16_t>(factory.banks.at(0xA0)[k] ^ flip);
        return FormatSettingsFile(image, "x.qcs");
    };
    const auto stored = [&] { return Camera().banks.at(0xA0)[0x04] ^ factory.banks.at(0xA0)[0x04]; };
    // From a pipe, which can be read only once.
    int pipeFds[2];
    ASSERT_EQ(::pipe2(pipeFds, O_CLOEXEC), 0);
    const std::string piped = fileOf(0x11);
    ASSERT_EQ(::write(pipeFds[1], piped.data(), piped.size()), static_cast<ssize_t>(piped.size()));
    ::close(pipeFds[1]);
    const CRun fromPipe = Run({"load", "/dev/stdin", "-y"}, pipeFds[0]);
    ::close(pipeFds[0]);
    EXPECT_EQ(fromPipe.status, 0) << fromPipe.err;
    EXPECT_EQ(stored(), 0x11);
    // A file changed after its check is written as it was checked. The tool opens
    // its trace, a fifo here, only after the check, and waits there for a reader.
    const std::string file = (dir / "front.qcs").string();
    std::ofstream(file, std::ios::binary) << fileOf(0x22);
    const std::string fifo = (dir / "trace").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const pid_t pid = Spawn({"--sim-clock", "virtual", "--sim-state", state, "--trace", fifo, "load", file, "-y"}, -1);
    std::ifstream trace(fifo);
    std::ofstream(file, std::ios::binary) << fileOf(0x33);
    const std::string traced((std::istreambuf_iterator<char>(trace)), std::istreambuf_iterator<char>());
    EXPECT_EQ(Wait(pid), 0) << ReadFile(ErrPath());
    EXPECT_EQ(stored(), 0x22);
}

TEST_F(ZarnixctlTest, ASettingsFileThatNeverEndsIsRefused)
{
    // Past 1 MiB it is no settings file, and the pipe's writer sees the end.
    int pipeFds[2];
    ASSERT_EQ(::pipe2(pipeFds, O_CLOEXEC), 0);
    const auto before = ::signal(SIGPIPE, SIG_IGN);
    std::thread yes([&] {
        const std::string lines(65536, '\n');
        while (::write(pipeFds[1], lines.data(), lines.size()) > 0) {
        }
        ::close(pipeFds[1]);
    });
    const CRun endless = Run({"load", "/dev/stdin", "-y"}, pipeFds[0]);
    ::close(pipeFds[0]);
    yes.join();
    ::signal(SIGPIPE, before);
    EXPECT_EQ(endless.status, 1);
    EXPECT_EQ(endless.err, "/dev/stdin: larger than 1 MiB, not a settings file\n");
}

TEST_F(ZarnixctlTest, TheTraceNeverNamesTheRunsOwnFilesAndOutputMustArrive)
{
    const std::string file = (dir / "g.qcs").string();
    Ok({"dump", file});
    const std::string hard = (dir / "h.qcs").string();
    ASSERT_EQ(::link(file.c_str(), hard.c_str()), 0);
    const std::string fileBefore = ReadFile(file), stateBefore = ReadFile(state);
    const std::string fresh = (dir / "new.qcs").string();
    fs::create_directory(dir / "sub");
    const std::string library = (dir / "lib.so").string(); // any file: it is refused before it is loaded
    std::ofstream(library) << "not loaded";
    const std::pair<Args, std::string> refused[] = {
        {{"--trace", file, "load", file, "-y"}, "--trace " + file + " is the settings file of load"},
        {{"--trace", hard, "check", file}, "--trace " + hard + " is the settings file of check"},
        {{"--trace", (dir / "." / "cam.state").string(), "show"}, "is the state file of --sim-state"},
        {{"--trace", (dir / "sub" / ".." / "new.qcs").string(), "dump", fresh}, "is the file dump writes"},
        {{"dump", (dir / "sub" / ".." / "cam.state").string()}, "is the state file of --sim-state"},
        {{"--adapter-lib", library, "--trace", (dir / "sub/../lib.so").string(), "search"},
         "is the adapter library of --adapter-lib"},
    };
    for (const auto& [args, says] : refused) {
        const CRun run = args[0] == "--adapter-lib" ? RunRaw(args) : Run(args);
        EXPECT_EQ(run.status, 2) << says;
        EXPECT_EQ(run.err.rfind("Error: ", 0), 0u) << run.err;
        EXPECT_TRUE(Contains(run.err, says)) << run.err;
    }
    EXPECT_EQ(ReadFile(file), fileBefore);
    EXPECT_EQ(ReadFile(state), stateBefore);
    EXPECT_EQ(ReadFile(library), "not loaded");
    EXPECT_FALSE(fs::exists(fresh));
    // A terminal or another device is no file to clash with: /dev/null is read as an empty settings file.
    EXPECT_EQ(Run({"--trace", "/dev/null", "check", "/dev/null"}).status, 1);
    // A full disk under stdout is a failure, not a success.
    stdoutPath = "/dev/full";
    for (const Args& args : {Args{"--help"}, Args{"--version"}, Args{"--simulate", "--address", "70", "read", "a0", "04"}}) {
        const CRun run = RunRaw(args);
        EXPECT_EQ(run.status, 1) << args[0];
        EXPECT_TRUE(Contains(run.err, "Error: cannot write the output: No space left on device")) << run.err;
    }
}

// ----- stopped by a signal -------------------------------------------------------------------

// SIGINT, SIGTERM and SIGHUP, sent to the built zarnixctl on the real clock while
// it works. The test follows the trace (or stderr) on a pipe until it shows the
// tool at a given point, then signals: no sleeping, nothing asserted about time.
class ZarnixctlStopTest : public ZarnixctlTest {
protected:
    struct CStopped {
        int status = -1;
        bool signalled = false;
        std::string watched; // what the watched stream carried
        std::string err;
    };

    // The camera at 70, `watchFd` (3: the trace as /dev/fd/3; 2: stderr) on a pipe;
    // `signal` goes out once `mark` came by `count` times.
    CStopped RunStopped(Args args, int watchFd, const std::string& mark, unsigned count, int signal, int stdinFd = -1)
    {
        args.insert(args.begin(), {"--sim-state", state, "--address", "70"});
        if (watchFd == 3)
            args.insert(args.begin(), {"--trace", "/dev/fd/3"});
        CStopped run;
        int pipeFds[2];
        EXPECT_EQ(::pipe2(pipeFds, O_CLOEXEC), 0);
        const pid_t pid = Spawn(args, stdinFd, pipeFds[1], watchFd);
        ::close(pipeFds[1]); // the tool's copy is the only writer left: its exit ends the stream
        char buffer[4096];
        for (ssize_t got; (got = ::read(pipeFds[0], buffer, sizeof buffer)) != 0;) {
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                break;
            run.watched.append(buffer, static_cast<std::size_t>(got));
            std::size_t seen = 0;
            for (std::size_t at = run.watched.find(mark); at != std::string::npos; at = run.watched.find(mark, at + 1))
                ++seen;
            if (!run.signalled && seen >= count)
                run.signalled = ::kill(pid, signal) == 0;
        }
        ::close(pipeFds[0]);
        run.status = Wait(pid);
        run.err = watchFd == 2 ? run.watched : ReadFile(ErrPath());
        return run;
    }

    // The register named in "... register a0:05, ..." of the tool's stop message.
    static int StoppedAt(const std::string& err, const std::string& before)
    {
        const std::size_t at = err.find(before + "a0:");
        return at == std::string::npos ? -1 : std::stoi(err.substr(at + before.size() + 3, 2), nullptr, 16);
    }
};

TEST_F(ZarnixctlStopTest, LoadStopsAfterTheRegisterUnderWayWithoutCommit)
{
    Ok({"search"});
    const CSimState before = Camera();
    // A file whose every Eeprom value differs from the camera's, so each write shows.
    std::vector<std::uint16_t> image(kSettingsFileValues, 0xFF);
    for (unsigned k = 0; k < kSettingsBlockSize; ++k)
        image[k] = static_cast<std::uint16_t>(before.banks.at(0xA0)[k] ^ 0x5A);
    const std::string file = (dir / "other.qcs").string();
    std::ofstream(file, std::ios::binary) << FormatSettingsFile(image, file);

    const CStopped run = RunStopped({"load", file, "-y"}, 3, ", 0x00, [a0 ", 5, SIGINT);
    ASSERT_TRUE(run.signalled) << run.err;
    EXPECT_EQ(run.status, 130) << run.err;
    const int last = StoppedAt(run.err, "Stopped after writing register ");
    ASSERT_GE(last, 4) << run.err;
    char held[16];
    std::snprintf(held, sizeof held, "a0:%02x", last);
    EXPECT_TRUE(Contains(run.err, std::string(", settings not stored; registers a0:00 to ") + held +
                                      " already hold the file's values; nothing was committed, the camera keeps its "
                                      "stored settings at the next power-on\n") &&
                Contains(run.err, "zarnixctl: stopped on SIGINT\n"))
        << run.err;
    CSimState after = before; // the registers up to the one under way, and no commit
    for (int k = 0; k <= last; ++k)
        after.banks[0xA0][static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(image[static_cast<std::size_t>(k)]);
    EXPECT_EQ(Camera(), after);
}

TEST_F(ZarnixctlStopTest, DumpLeavesTheFileAsItWas)
{
    Ok({"search"});
    const std::string stateBefore = ReadFile(state);
    const std::string file = (dir / "front.qcs").string();
    for (const bool existed : {false, true}) {
        if (existed)
            std::ofstream(file, std::ios::binary) << "an older backup\r\n";
        // A closed terminal stops it as kill does.
        const int signal = existed ? SIGHUP : SIGTERM;
        const CStopped run = RunStopped({"dump", file, "--all"}, 3, ", 0x01, [a0 ", 5, signal);
        ASSERT_TRUE(run.signalled) << run.err;
        EXPECT_EQ(run.status, 128 + signal) << run.err;
        const int last = StoppedAt(run.err, "Stopped after reading register ");
        ASSERT_GE(last, 4) << run.err;
        EXPECT_TRUE(Contains(run.err, ", no file written\n")) << run.err;
        EXPECT_TRUE(Contains(run.err, existed ? "stopped on SIGHUP\n" : "stopped on SIGTERM\n")) << run.err;
        EXPECT_EQ(existed ? ReadFile(file) : "", existed ? "an older backup\r\n" : "");
        std::size_t names = 0; // no temporary file left beside it either
        for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir))
            ++names;
        EXPECT_EQ(names, existed ? 4u : 3u); // cam.state, stdout, stderr and the old file
        EXPECT_EQ(ReadFile(state), stateBefore);
    }
}

TEST_F(ZarnixctlStopTest, SaveStoresNothingMoreAfterTheRegisterUnderWay)
{
    Ok({"search"});
    CSimState camera = Camera();
    for (const std::uint8_t k : kStoredIndexes)
        camera.banks[0x30][k] = static_cast<std::uint8_t>(camera.banks[0xA0][k] ^ 0x01);
    for (const char* mark : {", 0x01, [a1 ", ", 0x00, [a0 "}) {
        std::ofstream(state, std::ios::binary) << FormatSimState(camera);
        const CStopped run = RunStopped({"save", "-y"}, 3, mark, 3, SIGINT);
        ASSERT_TRUE(run.signalled) << run.err;
        EXPECT_EQ(run.status, 130) << run.err;
        CSimState expected = camera;
        if (std::string(mark) == ", 0x01, [a1 ") {
            EXPECT_TRUE(Contains(run.err, "Stopped during the read-back, nothing stored\n")) << run.err;
        } else {
            const int last = StoppedAt(run.err, "Stopped after storing register ");
            ASSERT_GE(last, 2) << run.err;
            for (const std::uint8_t k : kStoredIndexes)
                if (k <= last)
                    expected.banks[0xA0][k] = camera.banks[0x30][k];
        }
        EXPECT_EQ(Camera(), expected);
    }
}

// A signal its caller set to ignored (nohup, a script's background job) stops
// nothing: the run was meant to outlive it.
TEST_F(ZarnixctlStopTest, AnIgnoredSignalStaysIgnored)
{
    Ok({"search"});
    const std::string file = (dir / "kept.qcs").string();
    for (const int signal : {SIGHUP, SIGINT}) {
        fs::remove(file);
        const auto before = ::signal(signal, SIG_IGN); // the tool inherits it, as from nohup
        const CStopped run = RunStopped({"--sim-clock", "virtual", "dump", file, "--all"}, 3, ", 0x01, [a0 ", 5, signal);
        ::signal(signal, before);
        ASSERT_TRUE(run.signalled) << run.err;
        EXPECT_EQ(run.status, 0) << signal << run.err;
        EXPECT_TRUE(fs::exists(file)) << signal;
    }
}

// Ctrl-C at the question is no answer: the tool leaves the camera alone.
TEST_F(ZarnixctlStopTest, AtTheQuestionNothingIsWritten)
{
    const std::string file = (dir / "front.qcs").string();
    Ok({"dump", file});
    const std::string stateBefore = ReadFile(state);
    const int slave = Terminal("");
    const CStopped run = RunStopped({"load", file}, 2, "Continue? [y/N] ", 1, SIGINT, slave);
    ::close(slave);
    ::close(master);
    ASSERT_TRUE(run.signalled) << run.err;
    EXPECT_EQ(run.status, 130) << run.err;
    EXPECT_TRUE(Contains(run.err, "Stopped before anything was written\n")) << run.err;
    EXPECT_FALSE(Contains(run.err, "Aborting")) << run.err;
    EXPECT_EQ(ReadFile(state), stateBefore);
}

// A trace whose reader has gone (`--trace /dev/stdout | head -1`), and one that
// another program holds open without reading: the load stops after the register
// under way, commits nothing, and ends as on SIGPIPE or on the signal sent.
TEST_F(ZarnixctlStopTest, ABrokenOrStalledTraceStopsTheLoad)
{
    const std::string file = (dir / "front.qcs").string();
    Ok({"dump", file});
    const unsigned commits = Camera().commits;
    const Args load{"--sim-state", state, "--address", "70", "load", file, "-y", "--trace"};
    int pipeFds[2];
    ASSERT_EQ(::pipe2(pipeFds, O_CLOEXEC), 0);
    Args args = load;
    args.push_back("/dev/fd/3");
    pid_t pid = Spawn(args, -1, pipeFds[1], 3);
    ::close(pipeFds[1]);
    std::string seen;
    char buffer[256];
    for (ssize_t got; std::count(seen.begin(), seen.end(), '\n') < 10 && (got = ::read(pipeFds[0], buffer, 256)) > 0;)
        seen.append(buffer, static_cast<std::size_t>(got));
    ::close(pipeFds[0]);
    EXPECT_EQ(Wait(pid), 141);
    std::string err = ReadFile(ErrPath());
    EXPECT_TRUE(Contains(err, "nothing was committed, the camera keeps its stored settings at the next power-on\n") &&
                    Contains(err, "zarnixctl: stopped on SIGPIPE\n")) << err;
    EXPECT_EQ(Camera().commits, commits);

    const std::string fifo = (dir / "trace").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(::fcntl(reader, F_SETPIPE_SZ, 4096), 4096);
    args = load;
    args.push_back(fifo);
    pid = Spawn(args, -1);
    siginfo_t ended{};
    int queued = 0; // until the tool's lines no longer fit
    while (queued < 4096 - 128 && ::waitid(P_PID, static_cast<id_t>(pid), &ended, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           ended.si_pid == 0)
        ::ioctl(reader, FIONREAD, &queued);
    ::kill(pid, SIGTERM);
    EXPECT_EQ(Wait(pid), 143);
    ::close(reader);
    err = ReadFile(ErrPath());
    EXPECT_TRUE(Contains(err, "nothing was committed, the camera keeps its stored settings at the next power-on\n") &&
                    Contains(err, "zarnixctl: stopped on SIGTERM\n")) << err;
    EXPECT_EQ(Camera().commits, commits);
}

// Three cameras loading at once: one Ctrl-C stops each after its register under
// way, none commits.
TEST_F(ZarnixctlStopTest, OnSeveralCamerasEveryWorkerStopsSafely)
{
    ASSERT_EQ(::chdir(dir.c_str()), 0);
    std::vector<std::uint16_t> image(kSettingsFileValues, 0x5A);
    std::ofstream("other.qcs", std::ios::binary) << FormatSettingsFile(image, "other.qcs");
    ASSERT_EQ(::mkfifo("tr-a.trace", 0600), 0); // a's trace tells how far it got; b's and c's are files
    const pid_t pid = Spawn({"--sim-state", "a.state", "--sim-state", "b.state", "--sim-state", "c.state", "--trace",
                             "tr-{camera}.trace", "-y", "load", "other.qcs"},
                            -1);
    std::ifstream trace("tr-a.trace");
    unsigned writes = 0;
    for (std::string line; std::getline(trace, line);)
        if (Contains(line, ", 0x00, [a0 ") && ++writes == 10)
            ::kill(pid, SIGINT);
    EXPECT_EQ(Wait(pid), 130);
    const std::string err = ReadFile(ErrPath());
    for (const char* camera : {"a.state", "b.state", "c.state"}) {
        EXPECT_TRUE(Contains(err, std::string(camera) + ": Stopped after writing register a0:")) << err;
        CSimState kept;
        std::string error;
        ASSERT_EQ(LoadSimStateFile(camera, kept, error), ESimStateLoad::Loaded) << error;
        EXPECT_EQ(kept.commits, 0u) << camera;
        EXPECT_EQ(kept.banks.at(0xA0)[0x00], 0x5A) << camera;
    }
    EXPECT_TRUE(Contains(ReadFile(dir / "stdout"), "a.state  70       stopped ")) << ReadFile(dir / "stdout");
    EXPECT_TRUE(Contains(err, "zarnixctl: stopped on SIGINT\n")) << err;
}

// ----- several cameras at once ----------------------------------------------------------------

// Three simulated cameras, a, b and c; b is pulled from its adapter midway. What
// a and c print, keep and leave in their files is what each would alone.
class ZarnixctlLineTest : public ZarnixctlTest {
protected:
    void SetUp() override
    {
        ZarnixctlTest::SetUp();
        ASSERT_EQ(::chdir(dir.c_str()), 0);
        for (const char* name : {"a.state", "b.state", "c.state", "alone.state"})
            std::ofstream(dir / name).close(); // fresh from the factory
    }
    CRun Line(const Args& args, unsigned unplugAfter)
    {
        CSimState b = CaptureSimState(CSimCamera{});
        b.unplugAfter = unplugAfter;
        std::ofstream(dir / "b.state") << FormatSimState(b);
        Args all{"--sim-clock", "virtual", "--sim-state", "a.state", "--sim-state", "b.state", "--sim-state", "c.state"};
        all.insert(all.end(), args.begin(), args.end());
        return RunRaw(all);
    }
    // The lines of `text` that start with `camera`'s name, without it.
    static std::string Of(const std::string& text, const std::string& camera)
    {
        std::istringstream lines(text);
        std::string out;
        for (std::string line; std::getline(lines, line);)
            if (line.rfind(camera + ": ", 0) == 0)
                out += line.substr(camera.size() + 2) + "\n";
        return out;
    }
};

TEST_F(ZarnixctlLineTest, EveryCommandOnThreeCamerasOneFailingMidway)
{
    std::ofstream("front.qcs", std::ios::binary) << FormatSettingsFile(std::vector<std::uint16_t>(kSettingsFileValues, 0x5A), "front.qcs");
    const struct {
        Args args;
        unsigned unplugAfter; // b's transfers before it goes
        bool file;            // a and c leave a settings file each
    } cases[] = {
        {{"search"}, 1, false},
        {{"show"}, 40, false},
        {{"read", "a0", "04"}, 2, false},
        {{"write", "-y", "a0", "04", "12"}, 1, false},
        {{"set", "brightness", "90"}, 2, false},
        {{"save", "-y"}, 100, false},
        {{"dump", "d-{camera}.qcs", "--all"}, 600, true},
        {{"load", "front.qcs", "-y"}, 60, false},
        {{"verify", "front.qcs"}, 50, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0]);
        // Alone first, on a camera in the state a is in.
        std::ofstream("alone.state", std::ios::binary) << ReadFile(dir / "a.state");
        Args alone{"--sim-clock", "virtual", "--sim-state", "alone.state"};
        for (const std::string& arg : c.args)
            alone.push_back(std::string(arg) == "d-{camera}.qcs" ? "d-alone.qcs" : arg);
        const CRun single = RunRaw(alone);
        const CRun line = Line(c.args, c.unplugAfter);
        EXPECT_EQ(line.status, 1) << line.err;
        EXPECT_TRUE(Contains(line.err, "zarnixctl: 1 of 3 cameras failed: b.state\n")) << line.err;
        for (const char* camera : {"a.state", "c.state"}) {
            EXPECT_EQ(Of(line.out, camera), single.out) << camera;
            EXPECT_EQ(ReadFile(dir / camera), ReadFile(dir / "alone.state")) << camera;
            EXPECT_TRUE(Contains(line.out, std::string(camera) + "  70       ok ")) << line.out;
            if (c.file) { // but for the title line, which names the file
                const std::string mine = ReadFile(camera[0] == 'a' ? "d-a.qcs" : "d-c.qcs"), theirs = ReadFile("d-alone.qcs");
                EXPECT_EQ(mine.substr(mine.find('\n')), theirs.substr(theirs.find('\n'))) << camera;
            }
        }
        EXPECT_TRUE(Contains(line.out, "b.state  70       failed ") || Contains(line.out, "b.state  -        failed "))
            << line.out;
        EXPECT_FALSE(fs::exists("d-b.qcs"));
    }
}

TEST_F(ZarnixctlLineTest, ADumpNamesAFilePerCameraAndOneQuestionNamesThemAll)
{
    const std::pair<Args, const char*> refused[] = {
        {{"dump", "front.qcs"}, "{camera}"},
        {{"--trace", "bus.trace", "show"}, "{camera}"},
        // b's trace would be the state file of the camera ab.state.
        {{"--sim-state", "ab.state", "--trace", "a{camera}.state", "show"},
         "Error: b.state: --trace ab.state is the state file of the camera ab.state\n"},
        {{"--trace", "{camera}.qcs", "dump", "./{camera}.qcs"},
         "Error: a.state: --trace a.qcs is the file dump writes for the camera a.state\n"},
        {{"--sim-state", "t-a.state", "--trace", "t-{camera}", "dump", "{camera}"},
         "Error: the cameras t-a.state and a.state would write the same file t-a\n"},
    };
    for (const auto& [args, says] : refused) {
        const CRun run = Line(args, 1000);
        EXPECT_EQ(run.status, 2);
        EXPECT_TRUE(Contains(run.err, says)) << run.err;
    }
    EXPECT_FALSE(fs::exists("front.qcs"));
    EXPECT_FALSE(fs::exists("ab.state"));
    // "...state" names its camera "..", which must not climb out of the folder;
    // and a name that would drive the terminal is shown escaped in every line.
    fs::create_directories("out/sub/__");
    fs::create_directories("out/sub/c__2J");
    const CRun dotted = RunRaw({"--sim-clock", "virtual", "--sim-state", "...state", "--sim-state", "c\033[2J.state",
                                "dump", "out/sub/{camera}/f.qcs"});
    EXPECT_EQ(dotted.status, 0) << dotted.err;
    EXPECT_TRUE(fs::exists("out/sub/__/f.qcs") && !fs::exists("out/f.qcs"));
    EXPECT_TRUE(Contains(dotted.out, "c\\x1b[2J.state  70       ok ")) << dotted.out;
    EXPECT_FALSE(Contains(dotted.out + dotted.err, "\033"));
    const CRun asked = Line({"write", "a0", "04", "12"}, 1000);
    EXPECT_EQ(asked.status, 1);
    EXPECT_TRUE(Contains(asked.err, "Error: This will, on 3 cameras:\n  a.state: write 12 to register a0:04 of the "
                                    "camera at 70 (the stored settings, loaded at every power-up)\n  b.state: "))
        << asked.err;
    CSimState a;
    std::string error;
    ASSERT_EQ(LoadSimStateFile(dir / "a.state", a, error), ESimStateLoad::Loaded) << error;
    EXPECT_EQ(a.banks.at(0xA0)[0x04], 0x80);
}

TEST_F(ZarnixctlLineTest, VerifyAndTheJsonOfEveryCommand)
{
    const auto json = [](const CRun& run) { return nlohmann::json::parse(run.out, nullptr, false); };
    const Args alone{"--sim-clock", "virtual", "--sim-state", "alone.state"};
    const auto run = [&](Args args) {
        args.insert(args.begin(), alone.begin(), alone.end());
        return RunRaw(args);
    };
    ASSERT_EQ(run({"dump", "f.qcs", "--all"}).status, 0);
    // The summary of a run on several cameras, with each camera's result.
    const auto summary = json(Line({"--json", "show"}, 40));
    ASSERT_EQ(summary["cameras"].size(), 3u);
    EXPECT_EQ(summary["cameras"][0]["result"], "ok");
    EXPECT_EQ(summary["cameras"][0]["output"]["settings"].size(), 44u);
    EXPECT_EQ(summary["cameras"][1]["result"], "failed");
    EXPECT_EQ(summary["cameras"][1]["error"]["register"].get<std::string>().substr(0, 3), "a1:");
    EXPECT_FALSE(summary["cameras"][0].contains("error"));
    EXPECT_EQ(summary["failed"], nlohmann::json::array({"b.state"}));
    // A transfer names the register it failed at: b goes during its tenth read.
    EXPECT_EQ(json(Line({"--json", "verify", "f.qcs"}, 20))["cameras"][1]["error"]["register"], "a0:09");

    // A failed check names its line in the document too.
    std::ofstream("bad.qcs") << "//Settings file: bad.qcs\n00 11 2Z\n";
    EXPECT_EQ(json(run({"--json", "check", "bad.qcs"}))["error"]["line"], 2);
    // Names that are not UTF-8 never keep the document from being printed: each
    // such byte is U+FFFD.
    const std::string odd = "good\xff\xe2\x82.qcs", replaced = "good\uFFFD\uFFFD\uFFFD.qcs";
    fs::copy_file("f.qcs", odd);
    EXPECT_EQ(json(run({"--json", "check", odd}))["file"], replaced);
    const CRun loaded = RunRaw({"--sim-clock", "virtual", "--sim-state", "a\xff.state", "--sim-state", "alone.state",
                                "--json", "load", "f.qcs", "-y"});
    EXPECT_EQ(loaded.status, 0) << loaded.err;
    EXPECT_EQ(json(loaded)["cameras"][0]["camera"], "a\uFFFD.state");
}

} // namespace
} // namespace zarnix::test
