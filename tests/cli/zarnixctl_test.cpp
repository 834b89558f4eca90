// Runs the built zarnixctl against the simulated camera on the virtual clock,
// with the camera's memory in a state file between runs, and checks what it
// prints, what it leaves in the camera and how it exits.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "camera/register_map.h"
#include "sim/sim_camera.h"
#include "sim/sim_state.h"
#include "settings/settings_file.h"

extern char** environ;

namespace zarnix::test {
namespace {

struct CRun {
    int status = -1; // exit status; -1 when the tool died of a signal
    std::string out;
    std::string err;
};

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class ZarnixctlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/zarnixctl-test-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
        state = (dir / "cam.state").string();
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    // Starts the tool: stdin /dev/null unless `stdinFd` is given, stdout and stderr
    // into files of the test's folder; `extra`, when given, becomes the tool's
    // descriptor `extraAs` (its stderr when that is 2). Returns the pid, or -1.
    pid_t Spawn(const std::vector<std::string>& args, int stdinFd, int extra = -1, int extraAs = -1)
    {
        std::vector<std::string> argv{ZARNIXCTL_PATH};
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
        const std::string out = stdoutPath.empty() ? OutPath() : stdoutPath;
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (extraAs != 2)
            posix_spawn_file_actions_addopen(&actions, 2, ErrPath().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (extra >= 0)
            posix_spawn_file_actions_adddup2(&actions, extra, extraAs);
        pid_t pid = 0;
        const int spawned = posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, pointers.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0) {
            ADD_FAILURE() << "cannot start " << argv[0];
            return -1;
        }
        return pid;
    }
    std::string OutPath() const { return (dir / "stdout").string(); }
    std::string ErrPath() const { return (dir / "stderr").string(); }

    // The tool as it is, stdin /dev/null unless `stdinFd` is given.
    CRun RunRaw(const std::vector<std::string>& args, int stdinFd = -1)
    {
        CRun run;
        const pid_t pid = Spawn(args, stdinFd);
        if (pid < 0)
            return run;
        int wait = 0;
        ::waitpid(pid, &wait, 0);
        run.status = WIFEXITED(wait) ? WEXITSTATUS(wait) : -1;
        run.out = ReadFile(OutPath());
        run.err = ReadFile(ErrPath());
        return run;
    }

    // On the virtual clock, with the camera kept in this test's state file.
    CRun Run(std::vector<std::string> args, int stdinFd = -1)
    {
        args.insert(args.begin(), {"--sim-clock", "virtual", "--sim-state", state});
        CRun run = RunRaw(args, stdinFd);
        // A run that reaches the bus first says which backend it talks to; the
        // tests look at what follows.
        const std::string said = "zarnixctl: using the simulated camera (state in " + state + ")\n";
        if (run.err.rfind(said, 0) == 0)
            run.err.erase(0, said.size());
        return run;
    }

    // Runs and expects success, returning stdout.
    std::string Ok(std::vector<std::string> args)
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

    void WriteState(const std::string& text) { std::ofstream(state, std::ios::binary) << text; }

    std::filesystem::path dir;
    std::string state;
    std::string stdoutPath; // where the tool's stdout goes instead of OutPath()
};

TEST_F(ZarnixctlTest, SearchPrintsTheWriteAddress)
{
    EXPECT_EQ(Ok({"search"}), "70\n");

    CSimState moved;
    moved.address = 0x5A;
    CSimCamera factory;
    moved.banks = CaptureSimState(factory).banks;
    WriteState(FormatSimState(moved));
    EXPECT_EQ(Ok({"search"}), "5a\n");
    EXPECT_EQ(Ok({"read", "a0", "04"}), "80\n"); // found there, used there

    moved.present = false;
    WriteState(FormatSimState(moved));
    for (const char* command : {"search", "show"}) {
        const CRun run = Run({command});
        EXPECT_EQ(run.status, 1) << command;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "No valid address found, re-power cam and retry.\n");
    }
}

TEST_F(ZarnixctlTest, ShowPrintsEveryRegisterTheReadBackReads)
{
    const auto lines = Lines(Ok({"show"}));
    ASSERT_EQ(lines.size(), 44u);
    EXPECT_EQ(lines.front(), "30:00 shutter-mode 0f");
    EXPECT_EQ(lines.back(), "30:4d vert-marker-high 00");
    const std::set<std::string> all(lines.begin(), lines.end());
    for (const char* line : {"30:04 brightness 80", "30:17 reserved-17 00", "30:19 3dnr-level 40",
                             "30:40 osd-key 00", "30:30 iris 01", "30:0a r-gain 32"})
        EXPECT_TRUE(all.count(line)) << line;

    // ff is a register value like any other, not "never read".
    Ok({"write", "30", "04", "ff"});
    EXPECT_TRUE(Contains(Ok({"show"}), "30:04 brightness ff\n"));
}

TEST_F(ZarnixctlTest, ShowPrintsNothingWhenTheReadBackFails)
{
    const CRun run = Run({"--address", "72", "show"}); // nobody answers there
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(Contains(run.err, "not a correct acknowledge recieved\n")) << run.err;
    EXPECT_TRUE(Contains(run.err, "Camera settings not correctly read")) << run.err;
}

TEST_F(ZarnixctlTest, ReadAndWriteOneRegister)
{
    Ok({"write", "30", "0x04", "9A"});
    EXPECT_EQ(Ok({"read", "a1", "4"}), "9a\n"); // the mirror reads the live bank
    Ok({"-y", "write", "0XE0", "10", "05"});
    EXPECT_EQ(Ok({"read", "e0", "10"}), "05\n");
    EXPECT_EQ(Camera().banks.at(0xE0)[0x10], 0x05);

    const CRun lost = Run({"--address", "72", "read", "a0", "04"});
    EXPECT_EQ(lost.status, 1);
    EXPECT_EQ(lost.out, "");
    EXPECT_EQ(lost.err, "not a correct acknowledge recieved\n");
    EXPECT_EQ(Run({"--address", "72", "write", "30", "04", "11"}).status, 1);
}

TEST_F(ZarnixctlTest, WritesToKeptBanksNeedConfirmation)
{
    Ok({"search"}); // the factory camera, in the state file
    for (std::vector<std::string> args : {std::vector<std::string>{"write", "a0", "04", "12"},
                                          {"write", "88", "13", "aa"}, {"save"}}) {
        const CRun run = Run(args);
        EXPECT_EQ(run.status, 1) << args[0];
        EXPECT_TRUE(Contains(run.err, "Error: This will ")) << run.err;
        EXPECT_TRUE(Contains(run.err, "give -y")) << run.err;
    }
    const CSimState camera = Camera();
    EXPECT_EQ(camera.banks.at(0xA0)[0x04], 0x80);
    EXPECT_EQ(camera.commits, 0u);

    Ok({"write", "a0", "04", "12", "-y"});
    EXPECT_EQ(Camera().banks.at(0xA0)[0x04], 0x12);
}

// The prompt itself needs a terminal on stdin: a pseudo-terminal stands in for the operator.
TEST_F(ZarnixctlTest, AsksOnATerminal)
{
    struct CAnswer {
        const char* typed;
        int status;
        std::uint8_t stored;
    };
    for (const CAnswer answer : {CAnswer{"y\n", 0, 0x12}, CAnswer{"n\n", 1, 0x80}, CAnswer{"\n", 1, 0x80}}) {
        std::filesystem::remove(state);
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(master, 0);
        ASSERT_EQ(::grantpt(master), 0);
        ASSERT_EQ(::unlockpt(master), 0);
        const int slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(slave, 0);
        const std::string typed = answer.typed;
        ASSERT_EQ(::write(master, typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
        const CRun run = Run({"write", "a0", "04", "12"}, slave);
        ::close(slave);
        ::close(master);

        EXPECT_EQ(run.status, answer.status) << answer.typed << run.err;
        EXPECT_TRUE(Contains(run.err, "write 12 to register a0:04 of the camera at 70")) << run.err;
        EXPECT_TRUE(Contains(run.err, "Continue? [y/N] ")) << run.err;
        if (std::filesystem::exists(state))
            EXPECT_EQ(Camera().banks.at(0xA0)[0x04], answer.stored) << answer.typed;
        else
            EXPECT_EQ(answer.stored, 0x80) << "refused, so nothing changed and nothing was saved";
    }
}

TEST_F(ZarnixctlTest, SetListsEveryCommandOnceWithItsRegister)
{
    const auto list = Lines(Ok({"set", "--list"}));
    ASSERT_EQ(list.size(), kSetCommandCount);
    std::set<std::string> names;
    for (std::size_t i = 0; i < list.size(); ++i) {
        std::istringstream row(list[i]);
        std::string name, reg;
        row >> name >> reg;
        EXPECT_TRUE(names.insert(name).second) << "two commands named " << name;
        char expected[8];
        std::snprintf(expected, sizeof expected, "30:%02x", kSetCommands[i].index);
        EXPECT_EQ(reg, expected) << name;
    }
}

TEST_F(ZarnixctlTest, SetSendsTheNamedCommandWithItsValueRule)
{
    struct CSet {
        const char* name;
        const char* value;
        std::uint8_t index;
        std::uint8_t stored;
    };
    const CSet cases[] = {
        {"brightness", "9a", 0x04, 0x9A},
        {"3dnr-level", "0x7f", 0x19, 0x7F},
        {"b-gain", "40", 0x09, 0x40},
        {"digital-gain-y", "41", 0x02, 0x41},
        {"blc-window-pos1", "77", 0x13, 0x77},
        {"osd-key", "03", 0x40, 0x03},
        {"osd-control", "01", 0x40, 0x05}, // same register, its own rule
        {"zoom-factor", "03", 0x2A, 0x08},
        {"pan-position", "ff", 0x2B, 0xCB},
        {"assign-pixel", "07", 0x4E, 0x01},
        {"SetSharpness", "1f", 0x06, 0x1F}, // the command's own name works too
    };
    for (const auto& c : cases) {
        const CRun run = Run({"set", c.name, c.value});
        EXPECT_EQ(run.status, 0) << c.name << run.err;
        EXPECT_EQ(Camera().banks.at(0x30)[c.index], c.stored) << c.name;
    }
    EXPECT_TRUE(Contains(Run({"set", "pan-position", "ff"}).err, "sending cb for ff"));
}

struct CUsage {
    std::vector<std::string> args;
    int status;
    const char* err; // part of stderr
};

TEST_F(ZarnixctlTest, RefusesBadUsageBeforeTouchingTheCamera)
{
    const CUsage cases[] = {
        {{}, 2, "Error: no command given"},
        {{"frobnicate"}, 2, "unknown command 'frobnicate'"},
        {{"read", "30"}, 2, "missing arguments"},
        {{"read", "30", "04", "05"}, 2, "too many arguments"},
        {{"read", "100", "04"}, 2, "BANK 100 is above ff"},
        {{"read", "30", "0x1ff"}, 2, "INDEX 0x1ff is above ff"},
        {{"read", "30", "4g"}, 2, "INDEX '4g' is not a hex number"},
        {{"read", "30", "0x"}, 2, "not a hex number"},
        {{"read", "30", "-1"}, 2, "unknown option '-1'"},
        {{"write", "30", "04", "100"}, 2, "VALUE 100 is above ff"},
        {{"set", "brightness", "100"}, 2, "VALUE 100 is above ff"},
        {{"set", "brightness", "high"}, 2, "not a hex number"},
        {{"set", "sparkle", "1"}, 2, "set --list"},
        {{"set", "--list", "brightness"}, 2, "--list takes no arguments"},
        {{"show", "--all"}, 2, "show takes no --all"},
        {{"--address", "71", "show"}, 2, "is odd"},
        {{"--address", "fc", "show"}, 2, "below fc"},
        {{"--address", "170", "show"}, 2, "not an 8-bit hex address"},
        {{"--address"}, 2, "needs a value"},
        {{"--sim-clock", "fast", "show"}, 2, "real or virtual"},
        {{"--bus", "1", "--simulate", "show"}, 2, "choose one of"},
        {{"--adapter-lib", "/opt/x.so", "--sim-state", "s", "show"}, 2, "choose one of"},
        {{"--force", "--simulate", "show"}, 2, "--force is for an i2c-dev bus"},
        {{"--yes=1", "save"}, 2, "takes no value"},
        // An empty first word must not hand the command's place to the next one.
        {{"--simulate", "", "write", "a0", "10", "5a", "-y"}, 2, "the command is an empty word"},
    };
    for (const auto& c : cases) {
        const CRun run = RunRaw(c.args);
        std::string line;
        for (const auto& arg : c.args)
            line += arg + " ";
        EXPECT_EQ(run.status, c.status) << line << run.err;
        EXPECT_EQ(run.out, "") << line;
        EXPECT_TRUE(Contains(run.err, c.err)) << line << "\n" << run.err;
        EXPECT_TRUE(Contains(run.err, "Usage: zarnixctl")) << line;
    }
    EXPECT_FALSE(std::filesystem::exists(state));
}

TEST_F(ZarnixctlTest, HelpEndsWithAWorkedExample)
{
    const std::vector<std::string> cases[] = {
        {"--help"}, {"-h"}, {"read", "--help"}, {"write", "-h"}, {"--help", "load"}, {"set", "--help"},
        {"save", "--help"}, {"dump", "--help"}, {"check", "--help"}, {"search", "--help"}, {"show", "--help"},
    };
    for (const auto& args : cases) {
        const CRun run = RunRaw(args);
        EXPECT_EQ(run.status, 0) << args[0];
        EXPECT_EQ(run.out.rfind("Usage: zarnixctl", 0), 0u) << args[0];
        const std::size_t example = run.out.rfind("Example");
        ASSERT_NE(example, std::string::npos) << args[0];
        EXPECT_TRUE(Contains(run.out.substr(run.out.find('\n', example)), "zarnixctl ")) << args[0];
    }
    EXPECT_TRUE(Contains(RunRaw({"--help"}).out, "0x38")); // the 7-bit form of the address
    const CRun version = RunRaw({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, std::string("zarnixctl ") + ZARNIX_VERSION + "\n");
}

TEST_F(ZarnixctlTest, SaveStoresTheLiveSettingsOnly)
{
    Ok({"set", "brightness", "9a"});
    Ok({"set", "zoom-factor", "20"}); // live, but not among the stored registers
    const CRun run = Run({"save", "-y"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, ""); // no progress line without a terminal
    EXPECT_EQ(Ok({"read", "a0", "04"}), "9a\n");
    EXPECT_EQ(Ok({"read", "a0", "2a"}), "08\n");
}

TEST_F(ZarnixctlTest, SaveStoresNothingWhenTheReadBackFails)
{
    Ok({"set", "brightness", "9a"});
    const CRun run = Run({"--address", "72", "save", "-y"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Contains(run.err, "Error: the live settings could not be read back; nothing was stored")) << run.err;
    EXPECT_EQ(Camera().banks.at(0xA0)[0x04], 0x80);
}

TEST_F(ZarnixctlTest, DumpAndLoadRoundTrip)
{
    struct CCase {
        bool all;
        const char* blocks; // what check finds in the dump
    };
    const std::string file = (dir / "front.qcs").string();
    for (const CCase c : {CCase{false, "Eeprom"}, CCase{true, "Eeprom, ISP B0, ISP B1, Stat B0, Stat B1"}}) {
        std::filesystem::remove(state);
        Ok({"search"});
        const std::uint8_t factoryIsp = Camera().banks.at(0xE0)[0x10];
        std::vector<std::string> dump{"dump", file};
        std::vector<std::string> load{"load", file, "-y"};
        if (c.all) {
            dump.push_back("--all");
            load.push_back("--all");
        }
        EXPECT_EQ(Ok(dump), "");
        EXPECT_EQ(Ok({"check", file}), "values: 1280\nblocks: " + std::string(c.blocks) + "\n");

        Ok({"-y", "write", "a0", "04", "11"});
        Ok({"-y", "write", "e0", "10", "55"});
        EXPECT_EQ(Ok(load), "");
        const CSimState camera = Camera();
        EXPECT_EQ(camera.banks.at(0xA0)[0x04], 0x80) << c.blocks;
        EXPECT_EQ(camera.banks.at(0xE0)[0x10], c.all ? factoryIsp : 0x55) << c.blocks;
        EXPECT_EQ(camera.commits, 1u) << c.blocks;
    }
}

TEST_F(ZarnixctlTest, BadSettingsFilesAreRefusedBeforeTheCamera)
{
    const std::string file = (dir / "bad.qcs").string();
    std::ofstream(file) << "//Settings file: bad.qcs\n00 11 2Z\n";
    for (const char* command : {"check", "load"}) {
        const CRun run = Run({command, file, "-y"});
        EXPECT_EQ(run.status, 1) << command;
        EXPECT_EQ(run.out, "") << command;
        EXPECT_TRUE(Contains(run.err, file + ": line 2")) << run.err;
    }
    EXPECT_FALSE(std::filesystem::exists(state)) << "load went to the camera";

    const CRun missing = Run({"check", (dir / "none.qcs").string()});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(Contains(missing.err, "No such file or directory")) << missing.err;

    const CRun unwritable = Run({"dump", (dir / "no-such-dir" / "x.qcs").string()});
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_NE(unwritable.err, "");
}

TEST_F(ZarnixctlTest, MalformedStateFileIsAnErrorNamingFileAndLine)
{
    WriteState("zarnix-sim-state 1\naddress 70\npresent perhaps\n");
    const CRun run = Run({"show"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind("Error: " + state + ":3: ", 0), 0u) << run.err;
    EXPECT_EQ(ReadFile(state), "zarnix-sim-state 1\naddress 70\npresent perhaps\n") << "left as it was";
}

TEST_F(ZarnixctlTest, ReadingLeavesTheStateFileAlone)
{
    Ok({"search"});
    std::string annotated = ReadFile(state);
    annotated.insert(annotated.find('\n') + 1, "# bench camera 3\n");
    WriteState(annotated);
    Ok({"show"});
    Ok({"read", "a0", "00"});
    EXPECT_EQ(ReadFile(state), annotated);
}

TEST_F(ZarnixctlTest, TraceRecordsEveryAdapterCall)
{
    const std::string trace = (dir / "bus.trace").string();
    Ok({"--address", "70", "--trace", trace, "write", "30", "04", "42"});
    const auto lines = Lines(ReadFile(trace));
    ASSERT_EQ(lines.size(), 8u); // two transactions: IICInit, SetAddress, transfer, IICClose
    EXPECT_TRUE(Contains(lines[2], "SendSub(1, 1, 0x00, [30 04], 2, 0) = 0")) << lines[2];
    EXPECT_TRUE(Contains(lines[6], "10.000 ms  Send(2, [42], 0, 1) = 0")) << lines[6];
}

// Backends other than the simulated camera: none found, a vendor library, the bus list.
TEST_F(ZarnixctlTest, WithoutAnAdapterTheToolFailsAndNamesSimulate)
{
    const std::string sysfs = (dir / "sys").string();
    std::filesystem::create_directories(sysfs);
    setenv("ZARNIX_SYSFS", sysfs.c_str(), 1);
    const CRun run = RunRaw({"show"});
    const CRun list = RunRaw({"--list-buses"});
    // A bus that is not on USB is listed but never taken by itself.
    const auto bus = std::filesystem::path(sysfs) / "devices/platform/i2c_designware.0/i2c-1/i2c-dev/i2c-1";
    std::filesystem::create_directories(bus);
    std::ofstream(bus / "name") << "Synopsys DesignWare I2C adapter\n";
    std::filesystem::create_directories(std::filesystem::path(sysfs) / "class/i2c-dev");
    std::filesystem::create_directory_symlink(bus, std::filesystem::path(sysfs) / "class/i2c-dev/i2c-1");
    const CRun listed = RunRaw({"--list-buses"});
    const CRun notUsb = RunRaw({"search"});
    unsetenv("ZARNIX_SYSFS");

    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(Contains(run.err, "no USB-to-I2C adapter found")) << run.err;
    EXPECT_TRUE(Contains(run.err, "--simulate")) << run.err;
    EXPECT_TRUE(Contains(run.err, "modprobe i2c-dev")) << run.err;
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.out, "");
    EXPECT_EQ(listed.out, "i2c-1\t-\tSynopsys DesignWare I2C adapter\n");
    EXPECT_EQ(notUsb.status, 1);
    EXPECT_TRUE(Contains(notUsb.err, "--simulate")) << notUsb.err;
}

TEST_F(ZarnixctlTest, AVendorLibraryServesEveryCommand)
{
    // A copy of our own: other tests lock the same library meanwhile.
    const std::string lib = (dir / "adapter.so").string();
    std::filesystem::copy_file(ZARNIX_TEST_ADAPTER, lib);
    const CRun search = RunRaw({"--adapter-lib", lib, "search"});
    EXPECT_EQ(search.status, 0) << search.err;
    EXPECT_EQ(search.out, "70\n");
    EXPECT_TRUE(Contains(search.err, "using the adapter library " + lib)) << search.err;
    const CRun show = RunRaw({"--adapter-lib", lib, "--address", "70", "show"});
    EXPECT_EQ(show.status, 0) << show.err;
    EXPECT_TRUE(Contains(show.out, "brightness")) << show.out;
    const std::string file = (dir / "front.qcs").string();
    const CRun dump = RunRaw({"--adapter-lib", lib, "--address", "70", "dump", file});
    EXPECT_EQ(dump.status, 0) << dump.err;
    const CRun load = RunRaw({"--adapter-lib", lib, "--address", "70", "load", file, "-y"});
    EXPECT_EQ(load.status, 0) << load.err;

    const CRun incomplete = RunRaw({"--adapter-lib", ZARNIX_TEST_ADAPTER_INCOMPLETE, "search"});
    EXPECT_EQ(incomplete.status, 1);
    EXPECT_TRUE(Contains(incomplete.err, "does not export Receive")) << incomplete.err;
}

// ----- a bench PC that several operators share --------------------------------------------

TEST_F(ZarnixctlTest, NoNameInASharedFolderServesAsTheLock)
{
    Ok({"search"});
    // Lock files named after the camera in /run/lock once were: a link planted
    // under such a name leads nowhere now, and nothing appears there.
    const std::string victim = (dir / "victim").string();
    std::ofstream(victim) << "precious\n";
    std::string planted;
    if (::access("/run/lock", W_OK) == 0) {
        planted = "/run/lock/zarnixsim " + std::filesystem::canonical(state).string() + ".lock";
        std::replace(planted.begin() + 10, planted.end(), '/', '_');
        std::replace(planted.begin(), planted.end(), ' ', '_');
        ASSERT_EQ(::symlink(victim.c_str(), planted.c_str()), 0);
    }
    const auto listing = [] {
        std::set<std::string> names;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator("/run/lock", error))
            names.insert(entry.path().string());
        return names;
    };
    const auto before = listing();
    Ok({"write", "30", "04", "91"});
    EXPECT_EQ(listing(), before);
    EXPECT_EQ(ReadFile(victim), "precious\n");
    if (!planted.empty())
        ::unlink(planted.c_str());

    // A second program on the camera is refused at once, naming the first.
    CSimStateFile held;
    CSimState camera;
    std::string error;
    ASSERT_EQ(held.Open(state, camera, error), ESimStateLoad::Loaded) << error;
    const CRun refused = Run({"search"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(Contains(refused.err, "is in use by another program (process " + std::to_string(getpid()) + ", "))
        << refused.err;
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
    const auto stored = [&] { return Camera().banks.at(0xA0)[0x04]; };

    // From a pipe, which can be read only once.
    int pipeFds[2];
    ASSERT_EQ(::pipe2(pipeFds, O_CLOEXEC), 0);
    const std::string piped = fileOf(0x11);
    ASSERT_EQ(::write(pipeFds[1], piped.data(), piped.size()), static_cast<ssize_t>(piped.size()));
    ::close(pipeFds[1]);
    const CRun fromPipe = Run({"load", "/dev/stdin", "-y"}, pipeFds[0]);
    ::close(pipeFds[0]);
    EXPECT_EQ(fromPipe.status, 0) << fromPipe.err;
    EXPECT_EQ(stored(), factory.banks.at(0xA0)[0x04] ^ 0x11);

    // A file changed after its check is written as it was checked. The tool opens
    // its trace, a fifo here, only after the check, and waits there for a reader.
    const std::string file = (dir / "front.qcs").string();
    std::ofstream(file, std::ios::binary) << fileOf(0x22);
    const std::string fifo = (dir / "trace").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const pid_t pid = Spawn({"--sim-clock", "virtual", "--sim-state", state, "--trace", fifo, "load", file, "-y"}, -1);
    ASSERT_GT(pid, 0);
    std::ifstream trace(fifo);
    std::ofstream(file, std::ios::binary) << fileOf(0x33);
    const std::string traced((std::istreambuf_iterator<char>(trace)), std::istreambuf_iterator<char>());
    int wait = 0;
    ::waitpid(pid, &wait, 0);
    EXPECT_EQ(WEXITSTATUS(wait), 0) << ReadFile(ErrPath());
    EXPECT_EQ(stored(), factory.banks.at(0xA0)[0x04] ^ 0x22);
}

TEST_F(ZarnixctlTest, ASettingsFileThatNeverEndsIsRefusedOrStopped)
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

    // A pipe that stays silent: a stop signal ends the reading.
    for (const int signal : {SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        ASSERT_EQ(::pipe2(pipeFds, O_CLOEXEC), 0);
        const pid_t pid = Spawn({"--sim-clock", "virtual", "--sim-state", state, "load", "/dev/stdin", "-y"}, pipeFds[0]);
        ASSERT_GT(pid, 0);
        // Signalled once its handler is in place; until then the signal would kill it.
        for (;;) {
            std::ifstream status("/proc/" + std::to_string(pid) + "/status");
            std::string line;
            while (std::getline(status, line) && line.rfind("SigCgt:", 0) != 0) {
            }
            if (line.size() > 7 && (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1) & 1))
                break;
            std::this_thread::yield();
        }
        ::kill(pid, signal);
        int wait = 0;
        ::waitpid(pid, &wait, 0);
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        EXPECT_EQ(WIFEXITED(wait) ? WEXITSTATUS(wait) : -1, 128 + signal);
        EXPECT_TRUE(Contains(ReadFile(ErrPath()), "Stopped while reading /dev/stdin, camera unchanged\n"))
            << ReadFile(ErrPath());
    }
}

TEST_F(ZarnixctlTest, TheTraceNeverNamesTheRunsOwnFiles)
{
    const std::string file = (dir / "g.qcs").string();
    Ok({"dump", file});
    const std::string hard = (dir / "h.qcs").string();
    ASSERT_EQ(::link(file.c_str(), hard.c_str()), 0);
    const std::string fileBefore = ReadFile(file);
    const std::string stateBefore = ReadFile(state);
    const std::string fresh = (dir / "new.qcs").string();
    const std::vector<std::vector<std::string>> cases = {
        {"--trace", file, "load", file, "-y"},
        {"--trace", hard, "check", file},
        {"--trace", (dir / "." / "cam.state").string(), "show"},
        {"--trace", (dir / "sub" / ".." / "new.qcs").string(), "dump", fresh},
    };
    std::filesystem::create_directory(dir / "sub");
    for (const auto& args : cases) {
        SCOPED_TRACE(args[1]);
        const CRun run = Run(args);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.err.rfind("Error: --trace ", 0), 0u) << run.err;
    }
    EXPECT_EQ(ReadFile(file), fileBefore);
    EXPECT_EQ(ReadFile(state), stateBefore);
    EXPECT_FALSE(std::filesystem::exists(fresh));
}

TEST_F(ZarnixctlTest, OutputThatCannotBeWrittenFails)
{
    stdoutPath = "/dev/full";
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--help"}, {"--version"},
                                                 {"--simulate", "--address", "70", "read", "a0", "04"}}) {
        SCOPED_TRACE(args[0]);
        const CRun run = RunRaw(args);
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(Contains(run.err, "Error: cannot write the output: No space left on device")) << run.err;
    }
}

// Ctrl-C and SIGTERM, sent to the built zarnixctl on the real clock while it
// works. The test waits for the trace (on a pipe) to show the tool at a given
// register, then signals it: no sleeping, and nothing asserted about time.
class ZarnixctlStopTest : public ZarnixctlTest {
protected:
    static constexpr int kHungToolMs = 120000;

    struct CStopped {
        int status = -1;        // exit status; -1 when the tool died of the signal
        bool signalled = false; // the mark was seen and the signal sent
        std::string watched;    // everything the watched stream carried
        std::string err;
    };

    // Runs on the real clock, camera at 70, with `watchFd` (3: the trace, given
    // as /dev/fd/3; 2: stderr) on a pipe, and sends `signal` once the stream has
    // carried `mark` `count` times.
    CStopped RunStopped(std::vector<std::string> args, int watchFd, const std::string& mark, unsigned count,
                        int signal, int stdinFd = -1)
    {
        args.insert(args.begin(), {"--sim-state", state, "--address", "70"});
        if (watchFd == 3)
            args.insert(args.begin(), {"--trace", "/dev/fd/3"});
        CStopped run;
        int pipeFds[2];
        if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
            ADD_FAILURE() << "no pipe";
            return run;
        }
        const pid_t pid = Spawn(args, stdinFd, pipeFds[1], watchFd);
        ::close(pipeFds[1]); // the tool's copy is the only writer left: its exit ends the stream
        if (pid < 0) {
            ::close(pipeFds[0]);
            return run;
        }
        // Blocking reads until the tool closes the stream; the signal goes out as
        // soon as the mark has come by often enough.
        char buffer[4096];
        for (;;) {
            // Only a guard against a tool that hangs (it would hold the whole test
            // run): far beyond any run here, and no figure is checked against it.
            pollfd input{pipeFds[0], POLLIN, 0};
            if (::poll(&input, 1, kHungToolMs) == 0) {
                ADD_FAILURE() << "zarnixctl hangs; killed";
                ::kill(pid, SIGKILL);
                break;
            }
            const ssize_t got = ::read(pipeFds[0], buffer, sizeof buffer);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            run.watched.append(buffer, static_cast<std::size_t>(got));
            if (!run.signalled && Occurrences(run.watched, mark) >= count) {
                ::kill(pid, signal);
                run.signalled = true;
            }
        }
        ::close(pipeFds[0]);
        int wait = 0;
        ::waitpid(pid, &wait, 0);
        run.status = WIFEXITED(wait) ? WEXITSTATUS(wait) : -1;
        run.err = watchFd == 2 ? run.watched : ReadFile(ErrPath());
        return run;
    }

    static unsigned Occurrences(const std::string& text, const std::string& part)
    {
        unsigned n = 0;
        for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
            ++n;
        return n;
    }

    // The registers a trace shows, in order: "a0:05=80" for a write, "read a0:05"
    // for a read, and "half ..." for a frame whose second half never came.
    static std::vector<std::string> Registers(const std::string& trace)
    {
        std::vector<std::string> out;
        std::string pending; // the first half under way
        for (const std::string& line : Lines(trace)) {
            const auto bytes = [&] { return line.substr(line.find('[') + 1, line.find(']') - line.find('[') - 1); };
            if (Contains(line, "SendSub(")) {
                if (!pending.empty())
                    out.push_back("half " + pending);
                const std::string b = bytes(); // "a0 05"
                const std::string reg = b.substr(0, 2) + ":" + b.substr(3, 2);
                pending = Contains(line, ", 0x01, [") ? "read " + reg : reg;
            } else if (Contains(line, "  Send(") || Contains(line, "  Receive(")) {
                if (pending.empty()) {
                    out.push_back("half " + line);
                    continue;
                }
                out.push_back(pending.rfind("read ", 0) == 0 ? pending : pending + "=" + bytes());
                pending.clear();
            }
        }
        if (!pending.empty())
            out.push_back("half " + pending);
        return out;
    }

    // The register named in "... register a0:05, ..." of the tool's stop message.
    static int StoppedAt(const std::string& err, const std::string& before)
    {
        const std::size_t at = err.find(before + "a0:");
        return at == std::string::npos ? -1 : std::stoi(err.substr(at + before.size() + 3, 2), nullptr, 16);
    }

    static std::string Hex2(unsigned value)
    {
        char text[4];
        std::snprintf(text, sizeof text, "%02x", value & 0xFFu);
        return text;
    }
};

TEST_F(ZarnixctlStopTest, SigintDuringLoadStopsAfterTheRegisterUnderWayWithoutCommit)
{
    Ok({"search"});
    const CSimState before = Camera();
    // A file whose every Eeprom value differs from the camera's, so each write shows.
    std::vector<std::uint16_t> image(kSettingsFileValues, 0xFF);
    for (unsigned k = 0; k < kSettingsBlockSize; ++k)
        image[k] = static_cast<std::uint16_t>(before.banks.at(0xA0)[k] ^ 0x5A);
    const std::string file = (dir / "other.qcs").string();
    CRecordingMessages sink;
    ASSERT_TRUE(SaveSettingsFile(image, file, sink));

    const CStopped run = RunStopped({"load", file, "-y"}, 3, ", 0x00, [a0 ", 5, SIGINT);
    ASSERT_TRUE(run.signalled) << run.err;
    EXPECT_EQ(run.status, 130) << run.err;
    const int last = StoppedAt(run.err, "Stopped after writing register ");
    ASSERT_GE(last, 4) << run.err;
    EXPECT_TRUE(Contains(run.err, ", settings not stored\n")) << run.err;
    EXPECT_TRUE(Contains(run.err, "zarnixctl: stopped on SIGINT\n")) << run.err;

    std::vector<std::string> expected;
    CSimState after = before;
    for (int k = 0; k <= last; ++k) {
        expected.push_back("a0:" + Hex2(static_cast<unsigned>(k)) + "=" + Hex2(image[static_cast<std::size_t>(k)]));
        after.banks[0xA0][static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(image[static_cast<std::size_t>(k)]);
    }
    EXPECT_EQ(Registers(run.watched), expected); // whole registers only, no read-back, no commit
    EXPECT_FALSE(Contains(run.watched, "[88 13]"));
    // The camera holds what was written, uncommitted; nothing else changed.
    EXPECT_EQ(Camera(), after);
}

TEST_F(ZarnixctlStopTest, SigtermOrSighupDuringDumpLeavesTheFileAsItWas)
{
    Ok({"search"});
    const std::string stateBefore = ReadFile(state);
    const std::string file = (dir / "front.qcs").string();
    for (const bool existed : {false, true}) {
        SCOPED_TRACE(existed ? "over an existing file" : "no file before");
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
        EXPECT_TRUE(Contains(run.err, existed ? "zarnixctl: stopped on SIGHUP\n" : "zarnixctl: stopped on SIGTERM\n"))
            << run.err;
        std::vector<std::string> expected;
        for (int k = 0; k <= last; ++k)
            expected.push_back("read a0:" + Hex2(static_cast<unsigned>(k)));
        EXPECT_EQ(Registers(run.watched), expected);

        if (existed)
            EXPECT_EQ(ReadFile(file), "an older backup\r\n");
        else
            EXPECT_FALSE(std::filesystem::exists(file));
        // No temporary file left beside it either.
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir))
            names.insert(entry.path().filename().string());
        std::set<std::string> left{"cam.state", "stdout", "stderr"};
        if (existed)
            left.insert("front.qcs");
        EXPECT_EQ(names, left);
        EXPECT_EQ(ReadFile(state), stateBefore);
    }
}

TEST_F(ZarnixctlStopTest, SigintDuringSaveStoresNothingMoreAfterTheRegisterUnderWay)
{
    // Live settings that differ from the stored ones in every stored register.
    Ok({"search"});
    CSimState camera = Camera();
    for (unsigned k = 0; k < kStoreSettingsEnd; ++k)
        camera.banks[0x30][k] = static_cast<std::uint8_t>(camera.banks[0xA0][k] ^ 0x01);
    WriteState(FormatSimState(camera));

    struct CCase {
        const char* name;
        const char* mark; // what the trace shows before the signal
        unsigned count;
    };
    for (const CCase c : {CCase{"during the read-back", ", 0x01, [a1 ", 3}, CCase{"while storing", ", 0x00, [a0 ", 3}}) {
        SCOPED_TRACE(c.name);
        WriteState(FormatSimState(camera));
        const CStopped run = RunStopped({"save", "-y"}, 3, c.mark, c.count, SIGINT);
        ASSERT_TRUE(run.signalled) << run.err;
        EXPECT_EQ(run.status, 130) << run.err;
        EXPECT_TRUE(Contains(run.err, "zarnixctl: stopped on SIGINT\n")) << run.err;
        for (const std::string& reg : Registers(run.watched))
            EXPECT_EQ(reg.rfind("half", 0), std::string::npos) << reg;

        CSimState expected = camera;
        if (std::string(c.mark) == ", 0x01, [a1 ") {
            EXPECT_TRUE(Contains(run.err, "Stopped during the read-back, nothing stored\n")) << run.err;
            EXPECT_FALSE(Contains(run.watched, ", 0x00, ["));
        } else {
            const int last = StoppedAt(run.err, "Stopped after storing register ");
            ASSERT_GE(last, 2) << run.err;
            EXPECT_TRUE(Contains(run.err, ", the rest not stored\n")) << run.err;
            for (const std::uint8_t k : kStoredIndexes)
                if (k <= last)
                    expected.banks[0xA0][k] = camera.banks[0x30][k];
        }
        EXPECT_EQ(Camera(), expected);
    }
}

// The question before a load is no answer to Ctrl-C: the tool leaves the camera alone.
TEST_F(ZarnixctlStopTest, SigintAtTheQuestionWritesNothing)
{
    const std::string file = (dir / "front.qcs").string();
    Ok({"dump", file});
    const std::string stateBefore = ReadFile(state);
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const int slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(slave, 0);
    const CStopped run = RunStopped({"load", file}, 2, "Continue? [y/N] ", 1, SIGINT, slave);
    ::close(slave);
    ::close(master);
    ASSERT_TRUE(run.signalled) << run.err;
    EXPECT_EQ(run.status, 130) << run.err;
    EXPECT_TRUE(Contains(run.err, "Stopped before anything was written\n")) << run.err;
    EXPECT_FALSE(Contains(run.err, "Aborting")) << run.err;
    EXPECT_EQ(ReadFile(state), stateBefore);
}

} // namespace
} // namespace zarnix::test
