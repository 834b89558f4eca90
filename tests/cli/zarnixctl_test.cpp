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
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "camera/register_map.h"
#include "settings/settings_file.h"
#include "sim/sim_camera.h"
#include "sim/sim_state.h"
#include "system/printable.h"
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

// Cameras work at once and their lines come as they come: each camera's lines,
// in the order the cameras were given, then the tool's own.
std::string ByCamera(const std::string& text, const Args& args)
{
    Args prefixes;
    for (std::size_t i = 1; i < args.size(); ++i)
        if (args[i - 1] == "--sim-state")
            prefixes.push_back(PrintableName(args[i]) + ": ");
    std::vector<std::string> groups(prefixes.size() + 1);
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const auto mine = [&](const std::string& prefix) { return line.rfind(prefix, 0) == 0; };
        groups[static_cast<std::size_t>(std::find_if(prefixes.begin(), prefixes.end(), mine) - prefixes.begin())] +=
            line + "\n";
    }
    std::string out;
    for (const std::string& group : groups)
        out += group;
    return prefixes.size() > 1 ? out : text;
}

// One recorded run: what it finds on disk first (`before`), the files besides
// the camera's state it is recorded with (`files`), and what is typed on a
// terminal at its question. Runs with their own --sim-state or --adapter-lib
// run as given; the others on this test's camera, traced.
struct CRecorded {
    std::string name;
    Args args;
    std::function<void()> before = {};
    Args files = {};
    const char* typed = nullptr;
};

// Run in this order, each on the files the one before left. A change in any
// byte the tool puts on the bus (or in a pause), prints, or keeps shows in the
// recording's diff.
TEST_F(ZarnixctlTest, EveryCommandMatchesItsRecording)
{
    const Args abc{"a.state", "b.state", "c.state"};
    const auto three = [](Args args) { // three simulated cameras
        args.insert(args.begin(), {"--sim-clock", "virtual", "--sim-state", "a.state", "--sim-state", "b.state",
                                   "--sim-state", "c.state"});
        return args;
    };
    const auto unplug = [](unsigned after) { // b goes from its adapter after that many transfers
        return [after] {
            CSimState b = CaptureSimState(CSimCamera{});
            b.unplugAfter = after;
            std::ofstream("b.state") << FormatSimState(b);
        };
    };
    const auto editState = [&](const std::string& from, const std::string& to) {
        return [&, from, to] {
            std::string text = ReadFile(state);
            std::ofstream(state, std::ios::binary) << text.replace(text.find(from), from.size(), to);
        };
    };
    const auto badFiles = [] { // one value too many would shift every later value into the wrong register
        std::ofstream("bad.qcs") << "//Settings file: bad.qcs\n00 11 2Z\n";
        std::string shifted = FormatSettingsFile(std::vector<std::uint16_t>(kSettingsFileValues, 0x12), "extra.qcs");
        std::ofstream("extra.qcs") << shifted.insert(shifted.find("12 "), "12 ");
    };
    const std::vector<CRecorded> runs = {
        {"search", {"search"}},
        {"show", {"show"}},
        {"read", {"read", "a0", "04"}},
        {"read-mirror", {"--address", "70", "read", "a1", "4"}},
        {"options-after-command", {"read", "--address=70", "a0", "--", "04"}},
        {"write-live", {"write", "30", "0x04", "9A"}},
        {"write-kept", {"-y", "write", "0XE0", "10", "05"}},
        {"write-unasked", {"write", "a0", "04", "92"}},
        {"set-list", {"set", "--list"}},
        {"set", {"set", "3dnr-level", "0x7f"}},
        {"set-rule", {"set", "pan-position", "ff"}},
        {"set-any-case", {"set", "PAN-Position", "cb"}}, // as the rule left it
        {"set-command-any-case", {"set", "setpanposition", "cb"}},
        {"usage-set-prefix", {"set", "pan", "cb"}},
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
        // Files it cannot use are errors that reach no camera.
        {"check-bad", {"check", "bad.qcs"}, badFiles},
        {"load-bad", {"load", "bad.qcs", "-y"}},
        {"verify-bad", {"verify", "bad.qcs"}},
        {"json-check-bad", {"--json", "check", "bad.qcs"}},
        {"check-extra", {"check", "extra.qcs"}},
        {"load-extra", {"load", "extra.qcs", "-y"}},
        {"verify-extra", {"verify", "extra.qcs"}},
        {"load-endless", {"load", "/dev/zero", "-y"}}, // past 1 MiB it is no settings file
        {"check-escaped-name", {"check", "x\033]0;OWNED\a\033[31m.qcs"}}, // shown escaped
        {"json-check-not-utf8", {"--json", "check", "good\xff\xe2\x82.qcs"},
         [] { fs::copy_file("a.qcs", "good\xff\xe2\x82.qcs"); }},
        // The trace never names the run's own files, however spelt.
        {"trace-is-load-file", {"--trace", "a.qcs", "load", "a.qcs", "-y"}},
        {"trace-is-check-file", {"--trace", "h.qcs", "check", "a.qcs"}, [] { fs::create_hard_link("a.qcs", "h.qcs"); }},
        {"trace-is-state", {"--trace", "./cam.state", "show"}},
        {"trace-is-dump-file", {"--trace", "sub/../new.qcs", "dump", "new.qcs"}, [] { fs::create_directory("sub"); },
         {"new.qcs"}},
        {"state-as-dump-file", {"dump", "sub/../cam.state"}},
        {"trace-is-library", {"--adapter-lib", "lib.so", "--trace", "sub/../lib.so", "search"},
         [] { std::ofstream("lib.so") << "not loaded"; }, {"lib.so"}},
        {"usage-force-library", {"--force", "--adapter-lib", "lib.so", "show"}}, // --force is for i2c-dev alone
        {"trace-to-a-device", {"--trace", "/dev/null", "check", "/dev/null"}},
        {"read-nobody", {"--address", "72", "read", "a0", "04"}},
        {"save-nobody", {"--address", "72", "save", "-y"}},
        {"absent-search", {"search"}, editState("present yes", "present no")},
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
        // A malformed state file names its line and is left as it was; an empty one is a camera fresh from the
        // factory; one that is only read is not written again, comments and all.
        {"state-malformed", {"show"}, [&] { std::ofstream(state) << "zarnix-sim-state 1\naddress 70\npresent perhaps\n"; }},
        {"state-empty", {"search"}, [&] { std::ofstream(state).close(); }},
        {"state-annotated", {"show"}, editState("\naddress", "\n# bench camera 3\naddress")},
        // The question before a change to what the camera keeps, answered on a terminal.
        {"asked-no", {"write", "a0", "04", "12"}, {}, {}, "n\n"},
        {"asked-nothing", {"write", "a0", "04", "12"}, {}, {}, "\n"},
        {"asked-yes", {"write", "a0", "04", "12"}, {}, {}, "y\n"},
        // Three cameras, b pulled from its adapter midway: a and c print and keep what each would alone.
        {"line-search", three({"search"}), unplug(1), abc},
        {"line-show", three({"show"}), unplug(40), abc},
        {"line-json-show", three({"--json", "show"}), unplug(40)},
        // A transfer names the register it failed at: b goes during its tenth read.
        {"line-json-verify", three({"--json", "verify", "a.qcs"}), unplug(20)},
        {"line-read", three({"read", "a0", "04"}), unplug(2), abc},
        {"line-write", three({"write", "-y", "a0", "04", "12"}), unplug(1), abc},
        {"line-set", three({"set", "brightness", "90"}), unplug(2), abc},
        {"line-save", three({"save", "-y"}), unplug(100), abc},
        {"line-dump", three({"dump", "d-{camera}.qcs", "--all"}), unplug(600), {"d-a.qcs", "d-b.qcs", "d-c.qcs"}},
        {"line-load", three({"load", "e.qcs", "-y"}), unplug(60), abc},
        {"line-verify", three({"verify", "a.qcs"}), unplug(50), abc},
        {"line-json-load-not-utf8", {"--sim-clock", "virtual", "--sim-state", "a\xff.state", "--sim-state", "c.state",
                                     "--json", "load", "e.qcs", "-y"}},
        // A file per camera, each named once; one question names them all.
        {"line-dump-one-name", three({"dump", "one.qcs"}), {}, {"one.qcs"}},
        {"line-trace-one-name", three({"--trace", "bus.trace", "show"})},
        {"line-trace-is-state", three({"--sim-state", "ab.state", "--trace", "a{camera}.state", "show"}), {}, {"ab.state"}},
        {"line-trace-is-dump-file", three({"--trace", "{camera}.qcs", "dump", "./{camera}.qcs"})},
        {"line-same-file", three({"--sim-state", "t-a.state", "--trace", "t-{camera}", "dump", "{camera}"})},
        {"line-asked", three({"write", "a0", "04", "12"}), unplug(1000), {"a.state"}},
        // "...state" names its camera "..", which must not climb out of the folder.
        {"line-dotted", {"--sim-clock", "virtual", "--sim-state", "...state", "--sim-state", "c\033[2J.state", "dump",
                         "out/sub/{camera}/f.qcs"},
         [] {
             fs::create_directories("out/sub/__");
             fs::create_directories("out/sub/c__2J");
         },
         {"out/sub/__/f.qcs", "out/f.qcs"}},
    };
    std::ostringstream recorded;
    ASSERT_EQ(::chdir(dir.c_str()), 0); // the settings files by plain names, as an operator types them
    for (const auto& [name, args, before, files, typed] : runs) {
        if (before)
            before();
        const auto given = [&](const char* option) { return std::find(args.begin(), args.end(), option) != args.end(); };
        const bool raw = given("--sim-state") || given("--adapter-lib");
        Args traced = raw || given("--trace") ? Args{} : Args{"--trace", "bus.trace"};
        traced.insert(traced.end(), args.begin(), args.end());
        fs::remove("bus.trace");
        const int slave = typed ? Terminal(typed) : -1;
        const CRun run = raw ? RunRaw(traced) : Run(traced, slave);
        if (typed) {
            ::close(slave);
            ::close(master);
        }
        std::ostringstream out;
        out << "=== " << name << ":";
        for (const std::string& arg : traced)
            out << " " << PrintableName(arg);
        out << "\nexit " << run.status << "\n--- stdout\n" << Whole(ByCamera(run.out, args)) << "--- stderr\n"
            << Whole(ByCamera(run.err, args))
            << "--- trace\n" << Whole(ReadFile("bus.trace")) << "--- state\n" << Whole(ReadFile(state));
        if (name.rfind("dump", 0) == 0)
            out << "--- file\n" << Whole(ReadFile(args[args[0] == "dump" ? 1 : 3]));
        for (const std::string& file : files)
            out << "--- " << file << "\n" << (fs::exists(file) ? Whole(ReadFile(file)) : "(no such file)\n");
        std::string text = out.str(); // the test's folder by one name, whatever its own
        for (std::size_t at; (at = text.find(dir.string())) != std::string::npos;)
            text.replace(at, dir.string().size(), "$DIR");
        recorded << text;
    }
    ExpectRecorded(ZARNIX_GOLDEN_FILE, recorded.str());
}

// ----- the command line ----------------------------------------------------------------------

TEST_F(ZarnixctlTest, AStateFileInUseAndABusListInJson)
{
    // A state file another program holds: the message says "Error: " once.
    Ok({"search"});
    const int held = ::open(state.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    const CRun busy = Run({"show"});
    ::close(held);
    EXPECT_EQ(busy.status, 1);
    EXPECT_TRUE(busy.err.rfind("Error: ", 0) == 0 && Contains(busy.err, " in use ") && !Contains(busy.err, "Error: Error"))
        << busy.err;
    const auto json = [](const CRun& run) { return nlohmann::json::parse(run.out, nullptr, false); };
    ::setenv("ZARNIX_SYSFS", dir.c_str(), 1); // no buses at all
    EXPECT_EQ(json(RunRaw({"--list-buses", "--json"})), (nlohmann::json{{"buses", nlohmann::json::array()}}));
    const CRun buses = RunRaw({"--bus", "x\xff", "--bus", "2", "--json", "show"});
    ::unsetenv("ZARNIX_SYSFS");
    EXPECT_EQ(buses.status, 1);
    EXPECT_EQ(json(buses)["cameras"][0]["camera"], "x\uFFFD");
    EXPECT_TRUE(json(buses)["cameras"][1]["error"].contains("message")) << buses.out;
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

// A full disk under stdout is a failure, not a success.
TEST_F(ZarnixctlTest, OutputMustArrive)
{
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
    // A test run started in the background of a script has SIGINT ignored, which
    // the tool would inherit and keep: the signals sent here must reach it.
    void SetUp() override
    {
        ZarnixctlTest::SetUp();
        for (const int signal : {SIGINT, SIGTERM, SIGHUP})
            ::signal(signal, SIG_DFL);
    }
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

// Stopped by SIGTERM, or by a closed terminal's SIGHUP, a dump leaves the file as
// it was and no temporary file beside it; a signal its caller set to ignored
// (nohup, a script's background job) stops nothing: the run was meant to outlive it.
TEST_F(ZarnixctlStopTest, ADumpStoppedLeavesTheFileAsItWasUnlessTheSignalWasIgnored)
{
    Ok({"search"});
    const std::string stateBefore = ReadFile(state);
    const std::string file = (dir / "front.qcs").string();
    const std::tuple<int, bool, std::string> cases[] = {
        {SIGTERM, false, ""}, {SIGHUP, false, "an older backup\r\n"}, {SIGHUP, true, ""}, {SIGINT, true, ""}};
    for (const auto& [signal, ignored, older] : cases) {
        fs::remove(file);
        if (!older.empty())
            std::ofstream(file, std::ios::binary) << older;
        const auto before = ::signal(signal, ignored ? SIG_IGN : SIG_DFL); // the tool inherits it
        Args args{"dump", file, "--all"};
        if (ignored) // on the real clock it would take a minute
            args.insert(args.begin(), {"--sim-clock", "virtual"});
        const CStopped run = RunStopped(args, 3, ", 0x01, [a0 ", 5, signal);
        ::signal(signal, before);
        ASSERT_TRUE(run.signalled) << run.err;
        EXPECT_EQ(run.status, ignored ? 0 : 128 + signal) << signal << run.err;
        if (ignored) {
            EXPECT_TRUE(CheckSettingsFile(file).ok) << signal;
            continue;
        }
        ASSERT_GE(StoppedAt(run.err, "Stopped after reading register "), 4) << run.err;
        EXPECT_TRUE(Contains(run.err, ", no file written\n") &&
                    Contains(run.err, signal == SIGHUP ? "stopped on SIGHUP\n" : "stopped on SIGTERM\n"))
            << run.err;
        EXPECT_EQ(fs::exists(file) ? ReadFile(file) : "", older);
        // cam.state, stdout, stderr and the old file
        EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), older.empty() ? 3 : 4);
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

} // namespace
} // namespace zarnix::test
