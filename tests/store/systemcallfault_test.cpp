// Each system call that a save of the item files or an INI write makes fails once, fails from
// then on, or is where the process dies, in turn. Every file is always its old or its new bytes
// whole; a save that reports success has written the new ones; and after the next start (the
// load's repair, or the next write of the INI file) the item files are a matching pair, keep
// their permission bits, and nothing of ours is left beside them.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>

#include <sys/stat.h>
#include <sys/syscall.h>

#include "atomicfile.h"
#include "inivalue.h"
#include "itemfiles.h"
#include "scratchdirectory.h"
#include "storecalls.h"
#include "systemcallfault.h"

namespace velmora {
namespace {

using test::reported;
using test::ScratchDirectory;
using test::SystemCallFault;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool AddressSanitizer = true;
#elif defined(__has_feature)
constexpr bool AddressSanitizer = __has_feature(address_sanitizer);
#else
constexpr bool AddressSanitizer = false;
#endif

struct CallGroup
{
    const char *name;
    std::vector<long> calls;
    const char *notUnderAddressSanitizer = nullptr; // why not
};

const CallGroup Groups[] = {
    { "open", { SYS_openat } },
    { "read", { SYS_read, SYS_getdents64, SYS_readlinkat, SYS_readlink } },
    { "stat", { SYS_newfstatat, SYS_fstat } },
    { "lock", { SYS_flock } },
    { "write", { SYS_write, SYS_pwrite64 },
        "the address sanitizer probes memory with write() on a pipe of its own and stops the "
        "process when that fails" },
    { "access", { SYS_fchmod, SYS_fchown, SYS_fsetxattr, SYS_fremovexattr, SYS_flistxattr } },
    { "sync", { SYS_fsync, SYS_fdatasync } },
    { "link", { SYS_linkat, SYS_link } },
    { "rename", { SYS_renameat, SYS_renameat2, SYS_rename } },
    { "remove", { SYS_unlinkat, SYS_unlink } },
};

ItemList items(std::size_t count, const std::string &text)
{
    ItemList list(count);
    for (std::size_t i = 0; i < count; ++i)
        list[i] = { "", text + std::to_string(i), "a.ini", "S", "K",
            { { "", "01", text, text + text } } };
    return list;
}

struct Writer
{
    const char *name;
    std::vector<std::string> files;
    // The bytes of every file before and after.
    std::vector<std::string> before;
    std::vector<std::string> after;
    std::function<void(const ScratchDirectory &)> write;
    // What the next start does: repair and load, or write again.
    std::function<void(const ScratchDirectory &)> nextStart;
};

std::vector<std::string> texts(const ItemList &list)
{
    const ItemFileTexts formatted = FormatItemFiles(list);
    return { formatted.items, formatted.values };
}

Writer itemSave()
{
    return { "item save", { "ITEM.CSV", "VALUE.CSV" }, texts(items(2, "old")),
        texts(items(3, "new")),
        [](const ScratchDirectory &dir) { WriteItemFiles(dir.path(), items(3, "new")); },
        [](const ScratchDirectory &dir) {
            const ItemFilesReadLock pair(dir.path());
            ItemList loaded = LoadItemFile(dir.file("ITEM.CSV"));
            LinkValues(loaded, LoadValueFile(dir.file("VALUE.CSV")));
        } };
}

Writer iniWrite()
{
    const auto write
        = [](const ScratchDirectory &dir) { WriteIniValue(dir.file("t.ini"), "S", "K", "new"); };
    return { "INI write", { "t.ini" }, { "[S]\nK=old\n" }, { "[S]\nK=new\n" }, write, write };
}

// Which state every file is in: 0 old, 1 new; -1 for a file that is neither.
std::vector<int> statesOf(const ScratchDirectory &dir, const Writer &writer)
{
    std::vector<int> states;
    for (std::size_t i = 0; i < writer.files.size(); ++i) {
        const std::string bytes
            = dir.exists(writer.files[i]) ? dir.read(writer.files[i]) : "missing";
        states.push_back(bytes == writer.before[i] ? 0 : bytes == writer.after[i] ? 1 : -1);
    }
    return states;
}

std::string expectedListing(const Writer &writer)
{
    std::set<std::string> sorted(writer.files.begin(), writer.files.end());
    std::string listing;
    for (const std::string &name : sorted)
        listing += (listing.empty() ? "" : " ") + name;
    return listing;
}

// Runs the writer with the fault, then the next start, and checks what the header says.
// False when the writer never made the nth call.
bool checkFault(const Writer &writer, const SystemCallFault &fault)
{
    ScratchDirectory dir;
    for (std::size_t i = 0; i < writer.files.size(); ++i) {
        dir.write(writer.files[i], writer.before[i]);
        ::chmod(dir.file(writer.files[i]).c_str(), 0640);
    }
    const auto run
        = test::runWithSystemCallFault(fault, [&] { return reported([&] { writer.write(dir); }); });
    if (!run)
        return false;
    if (!run->reached)
        return false;

    const std::vector<int> states = statesOf(dir, writer);
    for (std::size_t i = 0; i < states.size(); ++i)
        EXPECT_NE(states[i], -1) << writer.files[i] << " is torn or missing";
    if (!run->crashed && run->result == "done") {
        EXPECT_EQ(states, std::vector<int>(states.size(), 1)) << "success reported, old bytes";
    } else if (!run->crashed) {
        EXPECT_TRUE(run->result.find("ITEM.CSV を作成できません") != std::string::npos
            || run->result.find("VALUE.CSV を作成できません") != std::string::npos
            || run->result == "ストリームへの書き込みエラー"
            || run->result == dir.file("t.ini") + " に書き込めません")
            << run->result;
    }

    EXPECT_EQ(reported([&] { writer.nextStart(dir); }), "done");
    const std::vector<int> repaired = statesOf(dir, writer);
    EXPECT_TRUE(repaired == std::vector<int>(repaired.size(), 0)
        || repaired == std::vector<int>(repaired.size(), 1))
        << "the files do not belong to one save";
    for (const std::string &file : writer.files) {
        struct stat info = {};
        ::stat(dir.file(file).c_str(), &info);
        EXPECT_EQ(info.st_mode & 07777, 0640u) << file;
    }
    EXPECT_EQ(dir.listing(), expectedListing(writer));
    return true;
}

const char *kindName(SystemCallFault::Kind kind)
{
    switch (kind) {
    case SystemCallFault::Kind::FailOnce:
        return "fails once";
    case SystemCallFault::Kind::FailFromThen:
        return "fails from then on";
    case SystemCallFault::Kind::Crash:
        return "crash";
    }
    return "";
}

class SystemCallFaultTest : public testing::TestWithParam<CallGroup>
{
};

TEST_P(SystemCallFaultTest, EveryCallFailingOrCrashingLeavesOneWholeSave)
{
    if (AddressSanitizer && GetParam().notUnderAddressSanitizer)
        GTEST_SKIP() << GetParam().notUnderAddressSanitizer;
    if (!test::runWithSystemCallFault({ GetParam().calls }, [] { return std::string(); }))
        GTEST_SKIP() << "this system cannot make system calls fail";
    for (const Writer &writer : { itemSave(), iniWrite() }) {
        for (const auto kind : { SystemCallFault::Kind::FailOnce,
                 SystemCallFault::Kind::FailFromThen, SystemCallFault::Kind::Crash }) {
            for (int nth = 1; nth < 200; ++nth) {
                SCOPED_TRACE(std::string(writer.name) + ", call " + std::to_string(nth) + " "
                    + kindName(kind));
                if (!checkFault(writer, { GetParam().calls, nth, kind }))
                    break;
                if (HasFailure())
                    return;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Calls, SystemCallFaultTest, testing::ValuesIn(Groups),
    [](const testing::TestParamInfo<CallGroup> &info) { return std::string(info.param.name); });

// A Velmora folder may be moved, also after a crash: the save it cut off is still repaired at
// the next start.
TEST(CutOffSaveTest, IsRepairedAfterTheFolderWasMoved)
{
    const Writer writer = itemSave();
    const std::vector<long> renames = Groups[8].calls;
    for (int nth = 1; nth < 20; ++nth) {
        SCOPED_TRACE("killed at rename " + std::to_string(nth));
        ScratchDirectory dir;
        std::filesystem::create_directory(dir.file("before"));
        WriteItemFiles(dir.file("before/"), items(2, "old"));
        const auto run
            = test::runWithSystemCallFault({ renames, nth, SystemCallFault::Kind::Crash }, [&] {
                  return reported([&] { WriteItemFiles(dir.file("before/"), items(3, "new")); });
              });
        if (!run)
            GTEST_SKIP() << "this system cannot make system calls fail";
        if (!run->reached)
            break;
        std::filesystem::rename(dir.file("before"), dir.file("after"));
        EXPECT_EQ(reported([&] {
            const ItemFilesReadLock pair(dir.file("after/"));
            LoadItemFile(dir.file("after/ITEM.CSV"));
        }),
            "done");
        const std::string item = dir.read("after/ITEM.CSV");
        const std::string value = dir.read("after/VALUE.CSV");
        EXPECT_TRUE((item == writer.before[0] && value == writer.before[1])
            || (item == writer.after[0] && value == writer.after[1]));
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.file("after")),
                      std::filesystem::directory_iterator()),
            2);
    }
}

// A cut-off save whose files cannot be found at the next start (ITEM.CSV links into a folder
// that is away) stays noted: the load reports it instead of dropping the note, and once the
// folder is back the next load repairs the pair.
TEST(CutOffSaveTest, StaysNotedUntilItsFilesCanBeFound)
{
    const std::vector<long> renames = Groups[8].calls;
    const auto load = [](const ScratchDirectory &dir) {
        return reported([&] {
            const ItemFilesReadLock pair(dir.path());
            ItemList loaded = LoadItemFile(dir.file("ITEM.CSV"));
            LinkValues(loaded, LoadValueFile(dir.file("VALUE.CSV")));
        });
    };
    bool cutOff = false;
    for (int nth = 1; nth < 20 && !cutOff; ++nth) {
        ScratchDirectory dir;
        std::filesystem::create_directory(dir.file("data"));
        std::filesystem::create_symlink("data/items.csv", dir.file("ITEM.CSV"));
        WriteItemFiles(dir.path(), items(2, "old"));
        const auto run
            = test::runWithSystemCallFault({ renames, nth, SystemCallFault::Kind::Crash },
                [&] { return reported([&] { WriteItemFiles(dir.path(), items(3, "new")); }); });
        if (!run)
            GTEST_SKIP() << "this system cannot make system calls fail";
        if (!run->reached)
            break;
        const std::string paths[] = { dir.file("ITEM.CSV"), dir.file("VALUE.CSV") };
        cutOff = replacementWasCutOff(paths);
        if (!cutOff)
            continue;
        SCOPED_TRACE("killed at rename " + std::to_string(nth));
        std::filesystem::rename(dir.file("data"), dir.file("away"));
        EXPECT_EQ(load(dir), "ファイル " + dir.file("ITEM.CSV") + " は開けません");
        EXPECT_TRUE(replacementWasCutOff(paths));
        std::filesystem::rename(dir.file("away"), dir.file("data"));
        EXPECT_EQ(load(dir), "done");
        EXPECT_FALSE(replacementWasCutOff(paths));
        const std::vector<std::string> pair = { dir.read("data/items.csv"), dir.read("VALUE.CSV") };
        EXPECT_TRUE(pair == itemSave().before || pair == itemSave().after);
    }
    EXPECT_TRUE(cutOff) << "no kill cut a save off between its renames";
}

} // namespace
} // namespace velmora
