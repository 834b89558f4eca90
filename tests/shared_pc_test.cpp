// A bench PC that several operators share: the locks, the simulated camera's
// state file, the file writer and the vendor library, with a second local user
// played by a child process that drops to `nobody`.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "link/adapters/bus_list.h"
#include "link/adapters/library_adapter.h"
#include "system/files.h"
#include "system/lock.h"
#include "sim/sim_camera.h"
#include "sim/sim_state.h"
#include "tests/folder_fixture.h"

namespace zarnix::test {
namespace {

namespace fs = std::filesystem;

class SharedPcTest : public FolderTest {
protected:
    void SetUp() override
    {
        FolderTest::SetUp();
        ::chmod(dir.c_str(), 0755); // the second user passes through to the shared folders inside
        const passwd* nobody = ::getpwnam("nobody");
        if (nobody) {
            nobodyUid = nobody->pw_uid;
            nobodyGid = nobody->pw_gid;
        }
    }
    // A sticky world-writable folder, as /tmp is.
    fs::path Shared() const
    {
        fs::create_directory(dir / "tmp");
        EXPECT_EQ(::chmod((dir / "tmp").c_str(), 01777), 0);
        return dir / "tmp";
    }
    // A second user needs root to become one.
    bool CanActAsAnotherUser() const { return ::geteuid() == 0 && nobodyUid != 0; }

    // A child process that runs `take` (as `nobody` when asked), tells the test
    // whether it succeeded, and holds on until Release().
    struct CHolder {
        pid_t pid = -1;
        int go = -1;
        bool took = false;
        void Release()
        {
            if (pid < 0)
                return;
            ::close(go);
            ::waitpid(pid, nullptr, 0);
            pid = -1;
        }
        ~CHolder() { Release(); }
    };
    void Hold(CHolder& holder, const std::function<bool()>& take, bool asNobody = false)
    {
        int ready[2], go[2];
        ASSERT_EQ(::pipe(ready), 0);
        ASSERT_EQ(::pipe(go), 0);
        holder.pid = ::fork();
        if (holder.pid == 0) {
            ::close(ready[0]);
            ::close(go[1]);
            const bool dropped = !asNobody || (::setresgid(nobodyGid, nobodyGid, nobodyGid) == 0 &&
                                               ::setgroups(0, nullptr) == 0 &&
                                               ::setresuid(nobodyUid, nobodyUid, nobodyUid) == 0);
            const char took = dropped && take() ? 'y' : 'n';
            (void)!::write(ready[1], &took, 1);
            char c;
            (void)!::read(go[0], &c, 1); // until the test closes its end
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(go[0]);
        holder.go = go[1];
        char took = 'n';
        EXPECT_EQ(::read(ready[0], &took, 1), 1);
        ::close(ready[0]);
        holder.took = took == 'y';
    }
    // `take` run by another user, to its end; whether it succeeded.
    bool AsNobody(const std::function<bool()>& take)
    {
        CHolder once;
        Hold(once, take, true);
        return once.took;
    }
    static bool Lock(const std::string& path)
    {
        CResourceLock lock;
        std::string error;
        return lock.TakeFile(path, path, error);
    }

    uid_t nobodyUid = 0;
    gid_t nobodyGid = 0;
};

TEST_F(SharedPcTest, LocksAreOnTheResourceAndNameTheHolder)
{
    // Held by another program: refused at once, the holder named by the kernel,
    // its own choice of name kept from the terminal.
    const std::string node = (dir / "i2c-7").string();
    std::ofstream(node) << "";
    CHolder holder;
    Hold(holder, [&] {
        ::prctl(PR_SET_NAME, "held\033[2J");
        static CResourceLock held; // kept until the child exits
        std::string error;
        return held.TakeFile(node, node, error);
    });
    ASSERT_TRUE(holder.took);
    CResourceLock mine;
    std::string error;
    EXPECT_FALSE(mine.TakeFile(node, node, error));
    EXPECT_NE(error.find(node + " is in use by held\\x1b[2J"), std::string::npos) << error;
    EXPECT_NE(error.find(" (pid " + std::to_string(holder.pid) + ", user root); "), std::string::npos) << error;
    holder.Release();
    EXPECT_TRUE(mine.TakeFile(node, node, error)) << error;
    mine.Release();

    // One device however it is spelt: through "/./" and through a copy of its node.
    const std::string device = "/dev/zero";
    CResourceLock zero;
    ASSERT_TRUE(zero.TakeFile(DeviceNodeOf(device), device, error)) << error;
    std::vector<std::string> spellings{"/dev/./zero"};
    const std::string copy = (dir / "zero").string();
    if (::mknod(copy.c_str(), S_IFCHR | 0600, ::makedev(1, 5)) == 0)
        spellings.push_back(copy);
    for (const std::string& spelling : spellings) {
        SCOPED_TRACE(spelling);
        CHolder other;
        Hold(other, [&] { return Lock(DeviceNodeOf(spelling)); });
        EXPECT_FALSE(other.took);
    }
    zero.Release();

    if (!CanActAsAnotherUser())
        GTEST_SKIP() << "the second user's part needs root";
    // A bus node of the operators' group: whoever used it last, the next
    // operator can, and the refusal names the user, which a process cannot choose.
    ASSERT_EQ(::chown(node.c_str(), 0, nobodyGid), 0);
    ASSERT_EQ(::chmod(node.c_str(), 0660), 0);
    ASSERT_TRUE(Lock(node));
    CHolder operatorsRun;
    Hold(operatorsRun, [&] {
        static CResourceLock held;
        return held.TakeFile(node, node, error);
    }, true);
    ASSERT_TRUE(operatorsRun.took);
    EXPECT_FALSE(mine.TakeFile(node, node, error));
    EXPECT_NE(error.find(" (pid " + std::to_string(operatorsRun.pid) + ", user nobody); "), std::string::npos)
        << error;
    operatorsRun.Release();
    EXPECT_TRUE(Lock(node));
    // Whoever may only read it cannot hold it away from the operators.
    ASSERT_EQ(::chmod(node.c_str(), 0644), 0);
    EXPECT_FALSE(AsNobody([&] { return Lock(node); }));
}

TEST_F(SharedPcTest, TheStateFileIsLockedBeforeItIsRead)
{
    // A missing file locked under one name is locked under every other: a
    // relative one, and a hard link once it exists.
    const fs::path file = dir / "f.state";
    CHolder holder;
    Hold(holder, [&] {
        static CSimStateFile held;
        CSimState state;
        std::string error;
        if (::chdir(dir.c_str()) != 0 || held.Open("f.state", state, error) != ESimStateLoad::Missing)
            return false;
        // The holder's change is in the file before anybody else may read it.
        CSimCamera camera;
        camera.Poke(0x30, 0x04, 0x99);
        return held.Save(CaptureSimState(camera), error);
    });
    ASSERT_TRUE(holder.took);
    ASSERT_EQ(::link(file.c_str(), (dir / "hard.state").c_str()), 0);
    for (const fs::path& name : {file, dir / "." / "f.state", dir / "hard.state"}) {
        SCOPED_TRACE(name);
        CSimStateFile second;
        CSimState state;
        std::string error;
        EXPECT_EQ(second.Open(name, state, error), ESimStateLoad::Failed);
        EXPECT_NE(error.find("(pid " + std::to_string(holder.pid) + ", user root)"), std::string::npos) << error;
    }
    holder.Release();
    CSimStateFile after;
    CSimState state;
    std::string error;
    ASSERT_EQ(after.Open(file, state, error), ESimStateLoad::Loaded) << error;
    EXPECT_EQ(state.banks.at(0x30)[0x04], 0x99);
    CSimStateFile meanwhile; // held for as long as it is open, not only while it is read
    EXPECT_EQ(meanwhile.Open(file, state, error), ESimStateLoad::Failed);
    struct stat made {};
    ASSERT_EQ(::stat(file.c_str(), &made), 0);
    EXPECT_EQ(made.st_mode & 07777, 0600u); // the camera's memory is its operator's

    // A pipe as the state file is refused at once by every way in, never waited on.
    const fs::path fifo = dir / "p.state";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    CSimStateFile piped;
    EXPECT_EQ(piped.Open(fifo, state, error), ESimStateLoad::Failed);
    EXPECT_EQ(error, "cannot open " + fifo.string() + ": not a regular file");
    EXPECT_EQ(LoadSimStateFile(fifo, state, error), ESimStateLoad::Failed);
    // Nor written, when it took the name of a state file already open.
    ASSERT_EQ(piped.Open(dir / "q.state", state, error), ESimStateLoad::Missing);
    ASSERT_EQ(::rename(fifo.c_str(), (dir / "q.state").c_str()), 0);
    EXPECT_FALSE(piped.Save(state, error));
    EXPECT_EQ(error, "cannot write " + (dir / "q.state").string() + ": not a regular file");

    if (!CanActAsAnotherUser())
        GTEST_SKIP() << "the planted link needs a second user";
    // Only a user who may write the state file may lock the camera with it.
    after = {};
    ASSERT_EQ(::chmod(file.c_str(), 0644), 0);
    std::string refusal;
    EXPECT_FALSE(AsNobody([&] {
        CSimStateFile reader;
        CSimState read;
        return reader.Open(file, read, refusal) != ESimStateLoad::Failed;
    }));
    EXPECT_EQ(meanwhile.Open(file, state, error), ESimStateLoad::Loaded) << error;
}

TEST_F(SharedPcTest, TheWriterKeepsOthersOut)
{
    // The temporary file is private while it holds the bytes, and takes the
    // target's mode only after; a legal long name fits.
    const fs::path target = dir / "front.qcs";
    std::ofstream(target) << "old";
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    std::vector<mode_t> seen;
    CFileFault fault;
    const auto watch = [&](const std::string&, int fd) {
        struct stat st {};
        EXPECT_EQ(::fstat(fd, &st), 0);
        seen.push_back(st.st_mode & 07777);
    };
    ASSERT_TRUE(ReplaceFile(target, "new", fault, watch)) << fault.reason;
    EXPECT_EQ(seen, (std::vector<mode_t>{0600, 0600}));
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(ReadFile(target), "new");
    const fs::path longName = dir / (std::string(246, 'n') + ".qcs");
    EXPECT_TRUE(ReplaceFile(longName, "long", fault)) << fault.reason;
    EXPECT_EQ(ReadFile(longName), "long");

    // A pipe is written in place and stays a pipe; with no reader and no stop
    // to end a wait, it is refused at once.
    const fs::path fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(ReplaceFile(fifo, "nobody reads", fault));
    EXPECT_EQ(fault.reason, "no program reads the pipe");
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    EXPECT_TRUE(ReplaceFile(fifo, "through the pipe", fault)) << fault.reason;
    char piped[32] = {};
    EXPECT_EQ(::read(reader, piped, sizeof piped), 16);
    ::close(reader);
    EXPECT_STREQ(piped, "through the pipe");
    EXPECT_TRUE(fs::is_fifo(fifo));
}

// What a name in a sticky world-writable folder holds decides what each writer
// may do with it: the settings writer (replacing), the trace (in place) and the
// state file (read and replaced under its lock). Another user is uid 65534. A
// link is followed when it is ours or its owner owns the folder, as the kernel's
// protected_symlinks has it.
TEST_F(SharedPcTest, InASharedFolderOnlyWhatIsOursIsWritten)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "another user's names need root";
    const fs::path shared = Shared(), name = shared / "x", victim = dir / "victim";
    const auto theirs = [](const fs::path& p) { return ::lchown(p.c_str(), 65534, 65534) == 0; };
    const auto file = [](const fs::path& p) { return std::ofstream(p) << "old", ::chmod(p.c_str(), 0666) == 0; };
    const std::string link = "not following another user's link in a shared folder",
                      file1 = "not writing into another user's file in a shared folder",
                      pipe = "not writing into another user's pipe or device in a shared folder",
                      block = "not writing to a block device", regular = "not a regular file",
                      second = "not truncating a file that has another name (a hard link) in a shared folder";
    struct CRow {
        const char* what;
        std::function<bool(const fs::path&)> plant;
        std::string refused[3]; // replaced, written in place, opened as a state file; "": done
        bool followed = false;  // to the victim, which the writers then change
    };
    const CRow rows[] = {
        {"our own file", file, {"", "", ""}},
        {"another user's link", [&](const fs::path& p) { return ::symlink(victim.c_str(), p.c_str()) == 0 && theirs(p); },
         {link, link, link}},
        {"another user's fifo", [&](const fs::path& p) { return ::mkfifo(p.c_str(), 0666) == 0 && theirs(p); },
         {pipe, pipe, regular}},
        {"a block device", [](const fs::path& p) { return ::mknod(p.c_str(), S_IFBLK | 0666, ::makedev(7, 200)) == 0; },
         {block, block, regular}},
        {"a file with a second name", [&](const fs::path& p) { return ::link(victim.c_str(), p.c_str()) == 0; },
         {"", second, ""}},
        {"another user's file", [&](const fs::path& p) { return file(p) && theirs(p); }, {file1, file1, file1}},
        {"our own link", [&](const fs::path& p) { return ::symlink(victim.c_str(), p.c_str()) == 0; }, {"", "", ""}, true},
        {"the folder owner's link",
         [&](const fs::path& p) {
             return ::chown(shared.c_str(), 65534, 65534) == 0 && ::symlink(victim.c_str(), p.c_str()) == 0 && theirs(p);
         },
         {"", "", ""}, true},
    };
    for (const CRow& row : rows) {
        for (int way = 0; way < 3; ++way) {
            SCOPED_TRACE(std::string(row.what) + ", way " + std::to_string(way));
            std::ofstream(victim) << "precious\n";
            fs::remove(name);
            ASSERT_EQ(::chown(shared.c_str(), 0, 0), 0);
            ASSERT_TRUE(row.plant(name));
            struct stat before {}, after {};
            ::lstat(name.c_str(), &before);
            CFileFault fault;
            int fd = -1;
            bool done = way == 0 ? ReplaceFile(name, "new\n", fault)
                                 : (fd = way == 1 ? OpenForWriting(name, fault) : OpenRegularForUpdate(name, 0600, fault)) >= 0;
            if (fd >= 0 && way == 1) {
                EXPECT_EQ(::write(fd, "new\n", 4), 4);
            }
            if (fd >= 0)
                ::close(fd);
            EXPECT_EQ(done, row.refused[way].empty()) << fault.reason;
            EXPECT_EQ(ReadFile(victim), row.followed && way < 2 ? "new\n" : "precious\n");
            ::lstat(name.c_str(), &after);
            if (!done) {
                EXPECT_EQ(fault.reason, row.refused[way]);
                EXPECT_TRUE(after.st_ino == before.st_ino && after.st_uid == before.st_uid &&
                            after.st_mode == before.st_mode && after.st_size == before.st_size);
            } else if (way < 2) {
                EXPECT_EQ(ReadFile(name), "new\n");
            }
        }
    }
}

// Another user's swap at the worst moment, by a seam between the look at a name
// and its opening, and by the replacement's watch before the rename: what is
// written is what was decided on, or nothing.
TEST_F(SharedPcTest, ANameSwappedAfterItsLookIsNotWritten)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "another user's names need root";
    const fs::path shared = Shared(), name = shared / "x", victim = dir / "victim";
    // Made beside the name and renamed over it: never the inode the look saw.
    const fs::path side = shared / "side";
    const auto over = [&](bool made) { return made && ::rename(side.c_str(), name.c_str()) == 0; };
    const auto linkTo = [&](const fs::path& to) {
        return over(::symlink(to.c_str(), side.c_str()) == 0 && ::lchown(side.c_str(), 65534, 0) == 0);
    };
    const auto theirLink = [&] { return linkTo(victim); };
    struct CRow {
        const char* what;
        bool existed;
        std::function<bool()> swap;
        std::string refused;
    };
    const std::string replaced = "the file was replaced while it was opened";
    const CRow rows[] = {
        {"our file, then another user's link", true, theirLink, replaced},
        {"our file, then another user's link to a folder", true, [&] { return linkTo(dir); }, replaced},
        {"our file, then a block device", true,
         [&] { return over(::mknod(side.c_str(), S_IFBLK | 0666, ::makedev(7, 200)) == 0); }, replaced},
        {"our file, then another user's file", true,
         [&] { return over((std::ofstream(side) << "theirs", ::chown(side.c_str(), 65534, 0) == 0)); }, replaced},
        {"no name, then another user's link", false, theirLink,
         "not following another user's link in a shared folder"},
    };
    for (const CRow& row : rows) {
        for (const bool state : {false, true}) {
            SCOPED_TRACE(std::string(row.what) + (state ? ", state file" : ", trace"));
            std::ofstream(victim) << "precious\n";
            fs::remove(name);
            if (row.existed)
                std::ofstream(name) << "ours";
            bool swapped = false;
            SetBeforeOpenHookForTests([&](const std::string&) {
                if (!swapped && (swapped = true)) {
                    EXPECT_TRUE(row.swap());
                }
            });
            CFileFault fault;
            const int fd = state ? OpenRegularForUpdate(name, 0600, fault) : OpenForWriting(name, fault);
            SetBeforeOpenHookForTests({});
            EXPECT_TRUE(swapped);
            EXPECT_EQ(fd, -1);
            EXPECT_EQ(fault.reason, row.refused);
            EXPECT_EQ(ReadFile(victim), "precious\n");
        }
    }

    // The replacement renames relative to the folder it holds: a link put in
    // place of the name, or of the folder itself, leads nowhere else.
    fs::create_directory(dir / "a");
    fs::create_directory(dir / "b");
    fs::remove(name);
    std::ofstream(name) << "ours";
    std::ofstream(victim) << "precious\n";
    const std::function<bool()> swaps[] = {
        theirLink,
        [&] { return ::rename((dir / "a").c_str(), (dir / "a-moved").c_str()) == 0 && ::symlink("b", (dir / "a").c_str()) == 0; },
    };
    const fs::path targets[] = {name, dir / "a" / "f.qcs"};
    for (int i = 0; i < 2; ++i) {
        bool swapped = false;
        const auto watch = [&](const std::string&, int) {
            if (!swapped && (swapped = true)) {
                EXPECT_TRUE(swaps[i]());
            }
        };
        CFileFault fault;
        EXPECT_TRUE(ReplaceFile(targets[i], "new\n", fault, watch)) << fault.reason;
        EXPECT_TRUE(swapped);
    }
    EXPECT_EQ(ReadFile(victim), "precious\n");
    EXPECT_EQ(ReadFile(name), "new\n");
    EXPECT_EQ(ReadFile(dir / "a-moved" / "f.qcs"), "new\n");
    EXPECT_TRUE(fs::is_empty(dir / "b"));
}

TEST_F(SharedPcTest, RootLoadsOnlyALibraryRootAloneCanChange)
{
    if (!CanActAsAnotherUser())
        GTEST_SKIP() << "the refusals are root's";
    // Each case in a folder of its own beside a fresh copy of the test library;
    // the folders above (/, /tmp, the test's) are root's.
    struct CCase {
        const char* what;
        std::function<int(const fs::path& folder, const fs::path& library)> make; // 0 when made
        const char* says;                                                          // nullptr: loads
    };
    const CCase cases[] = {
        {"root's, in root's folders", [](auto&, auto&) { return 0; }, nullptr},
        {"another user's file", [&](auto&, auto& l) { return ::chown(l.c_str(), nobodyUid, 0); },
         "as root: it belongs to nobody"},
        {"writable by a group",
         [&](auto&, auto& l) { return ::chown(l.c_str(), 0, nobodyGid) | ::chmod(l.c_str(), 0664); },
         "it is writable by the group "},
        {"writable by everybody", [](auto&, auto& l) { return ::chmod(l.c_str(), 0646); },
         "it is writable by every user"},
        {"in another user's folder", [&](auto& f, auto&) { return ::chown(f.c_str(), nobodyUid, 0); },
         "/4 belongs to nobody, so another user could put"},
        {"in a world-writable folder", [](auto& f, auto&) { return ::chmod(f.c_str(), 0777); },
         "is writable by every user"},
        {"in root's sticky folder", [](auto& f, auto&) { return ::chmod(f.c_str(), 01777); }, nullptr},
        {"root's link in a sticky folder",
         [](auto& f, auto& l) {
             return ::chmod(f.c_str(), 01777) | ::rename(l.c_str(), (f / "real.so").c_str()) |
                    ::symlink("real.so", l.c_str());
         },
         nullptr},
        {"another user's link in a sticky folder",
         [&](auto& f, auto& l) {
             return ::chmod(f.c_str(), 01777) | ::rename(l.c_str(), (f / "real.so").c_str()) |
                    ::symlink("real.so", l.c_str()) | ::lchown(l.c_str(), nobodyUid, nobodyGid);
         },
         "not following another user's link in a shared folder"},
        {"a pipe", [](auto&, auto& l) { return ::unlink(l.c_str()) | ::mkfifo(l.c_str(), 0600); },
         "not a regular file"},
    };
    int n = 0;
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path folder = dir / std::to_string(n++);
        const fs::path library = folder / "libvendor.so";
        fs::create_directory(folder);
        fs::copy_file(ZARNIX_TEST_ADAPTER, library);
        ASSERT_EQ(::chmod(folder.c_str(), 0755) | ::chmod(library.c_str(), 0755), 0);
        ASSERT_EQ(c.make(folder, library), 0);
        std::string error;
        const auto adapter = CLibraryAdapter::Load(library, error);
        EXPECT_EQ(adapter != nullptr, c.says == nullptr) << error;
        EXPECT_NE(error.find(c.says ? c.says : ""), std::string::npos) << error;
    }
}

TEST_F(SharedPcTest, ALibraryIsLockedInTheOperatorsFolder)
{
    // Two names of one library, readable by all.
    const fs::path library = dir / "libvendor.so";
    std::ofstream(library) << "code";
    ASSERT_EQ(::chmod(library.c_str(), 0644) | ::link(library.c_str(), (dir / "alias.so").c_str()), 0);
    const int fd = ::open(library.c_str(), O_RDONLY | O_CLOEXEC);
    const int alias = ::open((dir / "alias.so").c_str(), O_RDONLY | O_CLOEXEC);
    const auto libraryLocked = [&] {
        const int other = ::open(library.c_str(), O_RDONLY | O_CLOEXEC);
        const bool locked = ::flock(other, LOCK_EX | LOCK_NB) != 0;
        ::close(other);
        return locked;
    };
    const fs::path run = dir / "run";
    CResourceLock first, second;
    std::string error, note;

    // No folder (a build tree): the library's own file, and a note that says so.
    ASSERT_TRUE(first.TakeLibrary(fd, "the library", error, note, run)) << error;
    EXPECT_NE(note.find("locked on its own file"), std::string::npos) << note;
    EXPECT_TRUE(libraryLocked());
    first.Release();

    // The operators' folder: one lock file for every name of the library, which
    // the next operator can open whatever the umask of the one who made it.
    fs::create_directory(run);
    ASSERT_EQ(::chown(run.c_str(), 0, nobodyGid) | ::chmod(run.c_str(), 03770), 0);
    const mode_t umask = ::umask(077);
    note.clear();
    ASSERT_TRUE(first.TakeLibrary(fd, "the library", error, note, run)) << error;
    ::umask(umask);
    EXPECT_EQ(note, "");
    EXPECT_FALSE(libraryLocked());
    EXPECT_FALSE(second.TakeLibrary(alias, "the library", error, note, run));
    EXPECT_NE(error.find("the library is in use by"), std::string::npos) << error;
    first.Release();
    std::vector<fs::path> made(fs::directory_iterator(run), fs::directory_iterator{});
    ASSERT_EQ(made.size(), 1u);
    struct stat st {};
    ASSERT_EQ(::lstat(made[0].c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0660u);
    EXPECT_EQ(st.st_gid, nobodyGid);

    const auto takes = [&](bool asNobody) {
        const auto take = [&] { return CResourceLock().TakeLibrary(fd, "the library", error, note, run); };
        return asNobody ? AsNobody(take) : take();
    };
    if (CanActAsAnotherUser()) {
        EXPECT_TRUE(takes(true)); // a member of the folder's group
        ASSERT_EQ(::chown(run.c_str(), 0, 0), 0);
        EXPECT_FALSE(takes(true)); // anybody else, who may read the library
    }
    // Nothing planted there is locked or followed, and a folder anyone may write is refused.
    std::ofstream(dir / "victim") << "precious\n";
    for (const auto plant : {::symlink, ::link}) {
        ASSERT_EQ(::unlink(made[0].c_str()) | plant((dir / "victim").c_str(), made[0].c_str()), 0);
        EXPECT_FALSE(takes(false));
        EXPECT_EQ(ReadFile(dir / "victim"), "precious\n");
    }
    ASSERT_EQ(::unlink(made[0].c_str()) | ::chmod(run.c_str(), 01777), 0);
    EXPECT_FALSE(takes(false));
    EXPECT_NE(error.find("writable by every user"), std::string::npos) << error;
    ::close(fd);
    ::close(alias);
}

} // namespace
} // namespace zarnix::test
