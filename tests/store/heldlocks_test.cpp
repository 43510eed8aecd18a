// Another program that holds a lock on an INI file, on its folder or on the item files' folder
// makes a write, a save or a load fail after a short wait, never freeze; once it lets go, the
// same call succeeds. Where the file system takes no locks, the calls work without them.

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <functional>

#include <sys/syscall.h>

#include "childprocess.h"
#include "inivalue.h"
#include "itemfiles.h"
#include "scratchdirectory.h"
#include "storecalls.h"
#include "systemcallfault.h"

namespace velmora {
namespace {

using test::LockHeldElsewhere;
using test::oneItem;
using test::reported;
using test::ScratchDirectory;

struct HeldLockCase
{
    const char *name;
    const char *held; // "" for the folder itself
    bool exclusive;
    std::function<void(const ScratchDirectory &)> act;
    const char *message; // with <dir> for the folder; "done" when the call does not wait
};

void PrintTo(const HeldLockCase &c, std::ostream *os)
{
    *os << c.name;
}

void loadItemFiles(const ScratchDirectory &dir)
{
    const ItemFilesReadLock pair(dir.path());
    ItemList items = LoadItemFile(dir.file("ITEM.CSV"));
    LinkValues(items, LoadValueFile(dir.file("VALUE.CSV")));
}

class HeldLockTest : public testing::TestWithParam<HeldLockCase>
{
};

TEST_P(HeldLockTest, WaitsAShortWhileThenFailsAndWorksOnceReleased)
{
    const HeldLockCase &c = GetParam();
    ScratchDirectory dir;
    dir.write("t.ini", "[S]\nK=1\n");
    WriteItemFiles(dir.path(), oneItem());
    LockHeldElsewhere lock(dir.file(c.held), c.exclusive);
    ASSERT_TRUE(lock.isHeld());
    std::string message = c.message;
    if (const std::size_t at = message.find("<dir>"); at != std::string::npos)
        message.replace(at, 5, dir.path());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(reported([&] { c.act(dir); }), message);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3))
        << "the program would seem to hang";
    lock.release();
    EXPECT_EQ(reported([&] { c.act(dir); }), "done");
}

INSTANTIATE_TEST_SUITE_P(Locks, HeldLockTest,
    testing::Values(
        HeldLockCase { "IniFileHeld", "t.ini", true,
            [](const ScratchDirectory &dir) { WriteIniValue(dir.file("t.ini"), "S", "K", "2"); },
            "<dir>t.ini に書き込めません" },
        // A file that does not exist yet has no lock: writers take turns on its folder.
        HeldLockCase { "FolderOfNewIniFileHeld", "", true,
            [](const ScratchDirectory &dir) { WriteIniValue(dir.file("new.ini"), "S", "K", "2"); },
            "<dir>new.ini に書き込めません" },
        HeldLockCase { "ItemFolderHeldBySaveStopsSave", "", true,
            [](const ScratchDirectory &dir) { WriteItemFiles(dir.path(), oneItem()); },
            "ファイル <dir>ITEM.CSV を作成できません" },
        HeldLockCase { "ItemFolderHeldBySaveStopsLoad", "", true, loadItemFiles,
            "ファイル <dir>ITEM.CSV は開けません" },
        HeldLockCase { "ItemFolderHeldByLoadStopsSave", "", false,
            [](const ScratchDirectory &dir) { WriteItemFiles(dir.path(), oneItem()); },
            "ファイル <dir>ITEM.CSV を作成できません" },
        HeldLockCase { "ItemFolderHeldByLoadLetsLoad", "", false, loadItemFiles, "done" }),
    [](const testing::TestParamInfo<HeldLockCase> &info) { return std::string(info.param.name); });

// NFS refuses flock on a folder, and an exclusive one on a file open for reading, with EBADF;
// other file systems answer ENOLCK, EOPNOTSUPP or EINVAL. Loads, saves and writes then go on
// without the lock.
TEST(UnsupportedLockTest, CallsWorkWithoutTheLock)
{
    const std::pair<const char *, std::function<void(const ScratchDirectory &)>> calls[] = {
        { "INI write",
            [](const ScratchDirectory &dir) { WriteIniValue(dir.file("t.ini"), "S", "K", "2"); } },
        { "INI write of a new file",
            [](const ScratchDirectory &dir) {
                WriteIniValue(dir.file("new.ini"), "S", "K", "2");
            } },
        { "save", [](const ScratchDirectory &dir) { WriteItemFiles(dir.path(), oneItem()); } },
        { "load", loadItemFiles },
    };
    for (const int error : { EBADF, ENOLCK, EOPNOTSUPP, EINVAL }) {
        for (const auto &call : calls) {
            SCOPED_TRACE(
                std::string(call.first) + ", flock failing with errno " + std::to_string(error));
            ScratchDirectory dir;
            dir.write("t.ini", "[S]\nK=1\n");
            WriteItemFiles(dir.path(), oneItem());
            const test::SystemCallFault fault { { SYS_flock }, 1,
                test::SystemCallFault::Kind::FailFromThen, error };
            const auto run = test::runWithSystemCallFault(
                fault, [&] { return reported([&] { call.second(dir); }); });
            if (!run)
                GTEST_SKIP() << "this system cannot make system calls fail";
            EXPECT_TRUE(run->reached) << "no lock was asked for";
            EXPECT_EQ(run->result, "done");
        }
    }
}

} // namespace
} // namespace velmora
