// Another program that holds a lock on an INI file, on its folder or on the item files' folder
// makes a write, a save or a load fail after a short wait, never freeze; once it lets go, the
// same call succeeds.

#include <gtest/gtest.h>

#include <functional>

#include "childprocess.h"
#include "error.h"
#include "inivalue.h"
#include "itemfiles.h"
#include "scratchdirectory.h"

namespace velmora {
namespace {

using test::LockHeldElsewhere;
using test::ScratchDirectory;

std::string reported(const std::function<void()> &work)
{
    try {
        work();
    } catch (const Error &error) {
        return error.what();
    }
    return "done";
}

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

ItemList oneItem()
{
    ItemList items(1);
    items[0] = { "", "new", "a.ini", "S", "K", { { "", "01", "v", "1" } } };
    return items;
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
    EXPECT_EQ(reported([&] { c.act(dir); }), message);
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

} // namespace
} // namespace velmora
