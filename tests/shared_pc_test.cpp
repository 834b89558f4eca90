// A bench PC that several operators share: the locks, the simulated camera's
// state file, the file writer and the vendor library, with a second local user
// played by a child process that drops to `nobody`.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "link/adapters/bus_list.h"
#include "link/adapters/library_adapter.h"
#include "link/files.h"
#include "link/lock.h"
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
    // Held by another program: refused at once, the holder named by the kernel.
    const std::string node = (dir / "i2c-7").string();
    std::ofstream(node) << "";
    CHolder holder;
    Hold(holder, [&] {
        static CResourceLock held; // kept until the child exits
        std::string error;
        return held.TakeFile(node, node, error);
    });
    ASSERT_TRUE(holder.took);
    CResourceLock mine;
    std::string error;
    EXPECT_FALSE(mine.TakeFile(node, node, error));
    EXPECT_NE(error.find(node + " is in use by "), std::string::npos) << error;
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

    if (!CanActAsAnotherUser())
        GTEST_SKIP() << "the planted link needs a second user";
    // Another user's link in a shared folder is not followed to the file it names.
    const fs::path shared = dir / "tmp";
    fs::create_directory(shared);
    ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
    std::ofstream(dir / "victim") << "precious\n";
    ASSERT_TRUE(AsNobody([&] { return ::symlink((dir / "victim").c_str(), (shared / "x.state").c_str()) == 0; }));
    CSimStateFile planted;
    EXPECT_EQ(planted.Open(shared / "x.state", state, error), ESimStateLoad::Failed);
    EXPECT_NE(error.find("not following another user's link in a shared folder"), std::string::npos) << error;
    EXPECT_EQ(ReadFile(dir / "victim"), "precious\n");
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
    const auto watch = [&](const std::string& temp, int) {
        struct stat st {};
        EXPECT_EQ(::stat(temp.c_str(), &st), 0);
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

    // A pipe is written in place and stays a pipe.
    const fs::path fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string piped;
    std::thread reader([&] { piped = ReadFile(fifo); });
    EXPECT_TRUE(ReplaceFile(fifo, "through the pipe", fault)) << fault.reason;
    reader.join();
    EXPECT_EQ(piped, "through the pipe");
    EXPECT_TRUE(fs::is_fifo(fifo));

    if (!CanActAsAnotherUser())
        GTEST_SKIP() << "links of another user need root";
    // In a sticky world-writable folder a link is followed when it is ours or
    // its owner owns the folder; another user's is refused and its target kept.
    const fs::path shared = dir / "tmp";
    fs::create_directory(shared);
    ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
    std::ofstream(dir / "victim") << "precious\n";
    struct CCase {
        const char* what;
        fs::path folder;
        bool byNobody;
        bool followed;
    };
    const fs::path nobodysFolder = dir / "nobodys";
    fs::create_directory(nobodysFolder);
    ASSERT_EQ(::chmod(nobodysFolder.c_str(), 01777), 0);
    ASSERT_EQ(::chown(nobodysFolder.c_str(), nobodyUid, nobodyGid), 0);
    for (const CCase& c : {CCase{"another user's link", shared, true, false}, CCase{"our own link", shared, false, true},
                           CCase{"the folder owner's link", nobodysFolder, true, true}}) {
        SCOPED_TRACE(c.what);
        const fs::path link = c.folder / "x.qcs";
        const fs::path real = dir / (std::string(c.what).substr(0, 3) + ".real");
        std::ofstream(real) << "before\n";
        fs::remove(link);
        const auto plant = [&] { return ::symlink(real.c_str(), link.c_str()) == 0; };
        ASSERT_TRUE(c.byNobody ? AsNobody(plant) : plant());
        fault = {};
        EXPECT_EQ(ReplaceFile(link, "after\n", fault), c.followed) << fault.reason;
        EXPECT_EQ(ReadFile(real), c.followed ? "after\n" : "before\n");
        EXPECT_TRUE(fs::is_symlink(link));
        if (!c.followed) {
            EXPECT_TRUE(fault.atOpen);
            EXPECT_EQ(fault.reason, "not following another user's link in a shared folder");
        }
    }
    // Opened for writing in place (the trace): another user's file there is not truncated.
    const fs::path theirs = shared / "trace";
    ASSERT_TRUE(AsNobody([&] { return ::close(::open(theirs.c_str(), O_CREAT | O_WRONLY, 0666)) == 0; }));
    std::ofstream(theirs) << "theirs";
    EXPECT_EQ(OpenForWriting(theirs, fault), -1);
    EXPECT_EQ(ReadFile(theirs), "theirs");
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
