#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#ifndef _WIN32
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "childprocess.h"
#endif

#include "error.h"
#include "itemfiles.h"
#include "scratchdirectory.h"

namespace velmora {
namespace {

using test::ScratchDirectory;

std::string loadError(const std::function<void()> &load)
{
    try {
        load();
    } catch (const Error &error) {
        return error.what();
    }
    return "no error";
}

TValueData value(
    std::string name, std::string text, std::string itemCode = {}, std::string valueCode = "01")
{
    return { std::move(itemCode), std::move(valueCode), std::move(name), std::move(text) };
}

TEST(LoadItemFileTest, ReadsFieldsByPositionOverEveryLineEnd)
{
    ScratchDirectory dir;
    dir.write("ITEM.CSV",
        "\"01\",\"Screen\",\"a.ini\",\"S\",\"K\"\r\n"
        "02,Sound,b.ini,T,L\n"
        "\"03\",\"x\",\"c.ini\",\"U\",\"M\",\"extra\"\r"
        "\"04\",\"last\",\"d.ini\",\"V\",\"N\"");
    const ItemList items = LoadItemFile(dir.file("ITEM.CSV"));
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0].Code, "01");
    EXPECT_EQ(items[0].Name, "Screen");
    EXPECT_EQ(items[0].FileName, "a.ini");
    EXPECT_EQ(items[0].Section, "S");
    EXPECT_EQ(items[0].Key, "K");
    EXPECT_EQ(items[1].Name, "Sound");
    EXPECT_EQ(items[2].Key, "M");
    EXPECT_EQ(items[3].Name, "last");
    EXPECT_TRUE(items[3].Values.empty());
}

TEST(LoadItemFileTest, EmptyFilesGiveEmptyLists)
{
    ScratchDirectory dir;
    dir.write("ITEM.CSV", "");
    dir.write("VALUE.CSV", "");
    EXPECT_TRUE(LoadItemFile(dir.file("ITEM.CSV")).empty());
    EXPECT_TRUE(LoadValueFile(dir.file("VALUE.CSV")).empty());
}

TEST(LoadItemFileTest, NulByteEndsTheText)
{
    ScratchDirectory dir;
    dir.write("VALUE.CSV", std::string("01,01,a,1\r\n01,02,b,2\r\n\0garbage\r\n", 32));
    EXPECT_EQ(LoadValueFile(dir.file("VALUE.CSV")).size(), 2u);
}

TEST(LoadItemFileTest, LineEndAtTheVeryEndStartsNoLine)
{
    ScratchDirectory dir;
    for (const char *end : { "\r\n", "\n", "\r" }) {
        dir.write("VALUE.CSV", std::string("01,01,a,1") + end);
        EXPECT_EQ(LoadValueFile(dir.file("VALUE.CSV")).size(), 1u) << end;
    }
}

TEST(LoadItemFileTest, UnescapedFieldsKeepTheirOwnText)
{
    ScratchDirectory dir;
    dir.write("ITEM.CSV", "\"0\"\"1\",\"a\"\"b\",f,\"s\"\"\",\"k\"\"x\r\n");
    dir.write("VALUE.CSV", "\"0\"\"1\",\"0\"\"2\",\"say \"\"hi\"\"\",\"x\"\"y\r\n");
    const ItemList items = LoadItemFile(dir.file("ITEM.CSV"));
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].Code, "0\"1");
    EXPECT_EQ(items[0].Name, "a\"b");
    EXPECT_EQ(items[0].FileName, "f");
    EXPECT_EQ(items[0].Section, "s\"");
    EXPECT_EQ(items[0].Key, "k\""); // no closing quote: the last byte is dropped
    const std::vector<TValueData> values = LoadValueFile(dir.file("VALUE.CSV"));
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].ItemCode, "0\"1");
    EXPECT_EQ(values[0].ValueCode, "0\"2");
    EXPECT_EQ(values[0].Name, "say \"hi\"");
    EXPECT_EQ(values[0].Value, "x\"");
}

struct BadFileCase
{
    const char *name;
    bool valueFile;
    std::string bytes;
    std::string message;
};

void PrintTo(const BadFileCase &c, std::ostream *os)
{
    *os << c.name;
}

class LoadFailureTest : public testing::TestWithParam<BadFileCase>
{
};

TEST_P(LoadFailureTest, NamesTheMissingFieldPosition)
{
    ScratchDirectory dir;
    dir.write("F.CSV", GetParam().bytes);
    const std::string path = dir.file("F.CSV");
    EXPECT_EQ(loadError([&] {
        GetParam().valueFile ? (void)LoadValueFile(path) : (void)LoadItemFile(path);
    }),
        GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(Files, LoadFailureTest,
    testing::Values(BadFileCase { "ExtraEmptyLineAtEnd", false, "01,a,b,c,d\r\n\r\n",
                        "リストのインデックスが範囲を超えています (0)" },
        BadFileCase { "BlankLine", false, "01,a,b,c,d\r\n  \r\n02,a,b,c,d\r\n",
            "リストのインデックスが範囲を超えています (0)" },
        BadFileCase { "ItemLineWithFourFields", false, "01,a,b,c\r\n",
            "リストのインデックスが範囲を超えています (4)" },
        BadFileCase { "LineFeedThenCarriageReturnIsTwoLineEnds", false, "01,a,b,c,d\n\r02,a,b,c,d",
            "リストのインデックスが範囲を超えています (0)" },
        BadFileCase { "ValueLineWithTwoFields", true, "01,01,a,1\r\n01,02\r\n",
            "リストのインデックスが範囲を超えています (2)" }),
    [](const testing::TestParamInfo<BadFileCase> &info) { return std::string(info.param.name); });

TEST(LoadItemFileTest, UnreadableFileIsNamedInTheMessage)
{
    ScratchDirectory dir;
    EXPECT_EQ(loadError([&] { LoadItemFile(dir.file("ITEM.CSV")); }),
        "ファイル " + dir.file("ITEM.CSV") + " は開けません");
    std::filesystem::create_directory(dir.file("VALUE.CSV"));
    EXPECT_EQ(loadError([&] { LoadValueFile(dir.file("VALUE.CSV")); }),
        "ファイル " + dir.file("VALUE.CSV") + " は開けません");
}

TEST(LinkValuesTest, MatchesCodesExactlyInFileOrder)
{
    ItemList items(3);
    items[0].Code = "01";
    items[1].Code = "02";
    items[2].Code = "01"; // shares its code with the first item
    const std::vector<TValueData> values { value("a", "1", "01"), value("b", "2", "02"),
        value("c", "3", "01"), value("d", "4", "1"), value("e", "5", "01 "),
        value("f", "6", "99") };
    LinkValues(items, values);
    const auto names = [](const TItemData &item) {
        std::string joined;
        for (const TValueData &v : item.Values)
            joined += v.Name;
        return joined;
    };
    EXPECT_EQ(names(items[0]), "ac");
    EXPECT_EQ(names(items[1]), "b");
    EXPECT_EQ(names(items[2]), "ac");
}

struct LinkCase
{
    const char *name;
    std::vector<std::string> itemCodes;
    std::vector<std::pair<std::string, std::string>> values; // item code, name
    std::vector<std::string> names; // of each item's values, joined
};

void PrintTo(const LinkCase &c, std::ostream *os)
{
    *os << c.name;
}

class LinkValuesOrderTest : public testing::TestWithParam<LinkCase>
{
};

TEST_P(LinkValuesOrderTest, GivesEveryItemTheValuesOfItsCodeInFileOrder)
{
    ItemList items;
    for (const std::string &code : GetParam().itemCodes)
        items.push_back({ code, "", "", "", "", { value("stale", "") } });
    std::vector<TValueData> values;
    std::string valueFile;
    for (const auto &[code, name] : GetParam().values) {
        values.push_back(value(name, "", code));
        valueFile += "\"" + code + "\",\"01\",\"" + name + "\",\"\"\r\n";
    }
    const auto namesOf = [](const ItemList &linked) {
        std::vector<std::string> names;
        for (const TItemData &item : linked) {
            names.emplace_back();
            for (const TValueData &v : item.Values)
                names.back() += v.Name;
        }
        return names;
    };
    ItemList linked = items;
    LinkValues(linked, values);
    EXPECT_EQ(namesOf(linked), GetParam().names) << "linked";

    ScratchDirectory dir;
    dir.write("VALUE.CSV", valueFile);
    LoadAndLinkValues(items, dir.file("VALUE.CSV"));
    EXPECT_EQ(namesOf(items), GetParam().names) << "loaded and linked";
}

TEST(LoadAndLinkValuesTest, StopsAtABadLineLeavingNoItemAnyValue)
{
    ScratchDirectory dir;
    dir.write("VALUE.CSV", "\"01\",\"01\",\"a\",\"1\"\r\n\"01\",\"02\"\r\n");
    ItemList items { { "01", "", "", "", "", { value("stale", "") } } };
    EXPECT_EQ(loadError([&] { LoadAndLinkValues(items, dir.file("VALUE.CSV")); }),
        "リストのインデックスが範囲を超えています (2)");
    EXPECT_TRUE(items[0].Values.empty());
    EXPECT_EQ(loadError([&] { LoadAndLinkValues(items, dir.file("MISSING.CSV")); }),
        "ファイル " + dir.file("MISSING.CSV") + " は開けません");
}

INSTANTIATE_TEST_SUITE_P(Files, LinkValuesOrderTest,
    testing::Values(
        LinkCase { "AsSaved", { "01", "02", "03" },
            { { "01", "a" }, { "01", "b" }, { "02", "c" }, { "03", "d" } }, { "ab", "c", "d" } },
        LinkCase { "ItemsWithoutValuesAndValuesWithoutItems", { "01", "02", "04" },
            { { "00", "w" }, { "01", "a" }, { "03", "x" }, { "04", "b" }, { "05", "y" } },
            { "a", "", "b" } },
        LinkCase { "ValuesOutOfOrder", { "01", "02", "03" },
            { { "03", "a" }, { "01", "b" }, { "02", "c" }, { "01", "d" } }, { "bd", "c", "a" } },
        LinkCase { "CodesOfDifferentLengths", { "9", "10", "100" },
            { { "10", "a" }, { "9", "b" }, { "100", "c" }, { "010", "d" }, { "1", "e" } },
            { "b", "a", "c" } },
        LinkCase { "ItemsOutOfOrderSharingCodes", { "02", "01", "02" },
            { { "01", "a" }, { "02", "b" }, { "03", "x" }, { "02", "c" } }, { "bc", "a", "bc" } },
        LinkCase { "EmptyCodesMatchEachOther", { "", "01" },
            { { "", "a" }, { "01", "b" }, { "", "c" } }, { "ac", "b" } },
        LinkCase { "NoValues", { "01", "02" }, {}, { "", "" } }),
    [](const testing::TestParamInfo<LinkCase> &info) { return std::string(info.param.name); });

TEST(WriteItemFilesTest, WritesQuotedFieldsAndCodesFromPositions)
{
    ScratchDirectory dir;
    ItemList items(2);
    items[0] = { "07", "画面", "C:\\a.ini", "Disp", "Mode", {} };
    items[0].Values = { value("高", "1", "stale", "01"), value("低 \"x\"", "", "", "02") };
    items[1] = { "", "b", "", "", "", {} };
    items[1].Values = { value("v", "w", "07", "05") };
    WriteItemFiles(dir.path(), items);
    EXPECT_EQ(dir.read("ITEM.CSV"),
        "\"01\",\"画面\",\"C:\\a.ini\",\"Disp\",\"Mode\"\r\n"
        "\"02\",\"b\",\"\",\"\",\"\"\r\n");
    EXPECT_EQ(dir.read("VALUE.CSV"),
        "\"01\",\"01\",\"高\",\"1\"\r\n"
        "\"01\",\"02\",\"低 \"\"x\"\"\",\"\"\r\n"
        "\"02\",\"05\",\"v\",\"w\"\r\n");
}

TEST(WriteItemFilesTest, EmptyListGivesTwoEmptyFiles)
{
    ScratchDirectory dir;
    dir.write("ITEM.CSV", "\"01\",\"a\",\"b\",\"c\",\"d\"\r\n");
    WriteItemFiles(dir.path(), {});
    EXPECT_EQ(dir.read("ITEM.CSV"), "");
    EXPECT_EQ(dir.read("VALUE.CSV"), "");
    EXPECT_EQ(dir.listing(), "ITEM.CSV VALUE.CSV");
}

TEST(WriteItemFilesTest, CodesPastNinetyNineKeepGrowing)
{
    EXPECT_EQ(TwoDigitCode(1), "01");
    EXPECT_EQ(TwoDigitCode(99), "99");
    EXPECT_EQ(TwoDigitCode(100), "100");
}

ItemList loadLinked(const ScratchDirectory &dir)
{
    ItemList items = LoadItemFile(dir.file("ITEM.CSV"));
    LinkValues(items, LoadValueFile(dir.file("VALUE.CSV")));
    return items;
}

// Every field of every item and value, so that two lists compare in one expectation.
std::string describe(const ItemList &items)
{
    std::string text;
    for (const TItemData &item : items) {
        text += item.Code + "|" + item.Name + "|" + item.FileName + "|" + item.Section + "|"
            + item.Key + "\n";
        for (const TValueData &v : item.Values)
            text += "  " + v.ItemCode + "|" + v.ValueCode + "|" + v.Name + "|" + v.Value + "\n";
    }
    return text;
}

TEST(LoadItemFilesTest, LoadingOverAnyListGivesWhatAFreshLoadGives)
{
    ScratchDirectory dir;
    dir.write("ITEM.CSV",
        "\"01\",\"a\",\"f\",\"s\",\"k\"\r\n"
        "\"02\",\"b\",\"/a/long/enough/path/to/leave/the/short/buffer.ini\",\"s\",\"k\"\r\n"
        "\"01\",\"c\",\"f\",\"s\",\"k\"\r\n");
    dir.write("VALUE.CSV",
        "\"01\",\"01\",\"a1\",\"1\"\r\n"
        "\"02\",\"01\",\"b1 with a name longer than a short buffer\",\"1\"\r\n"
        "\"01\",\"02\",\"a2\",\"2\"\r\n"
        "\"09\",\"01\",\"orphan\",\"1\"\r\n");
    const std::string fresh = describe(loadLinked(dir));
    const TItemData big { "07", std::string(40, 'n'), std::string(60, 'f'), "S", "K",
        std::vector<TValueData>(5, value(std::string(30, 'v'), std::string(20, 'w'), "07")) };
    const struct
    {
        const char *name;
        ItemList before;
    } cases[] = {
        { "empty", {} },
        { "fewer items, more values", { big } },
        { "more items", ItemList(6, big) },
        { "as many items without values", ItemList(3) },
    };
    for (const auto &c : cases) {
        ItemList items = c.before;
        LoadItemFiles(items, dir.path());
        EXPECT_EQ(describe(items), fresh) << c.name;
    }
}

TEST(LoadItemFilesTest, BadItemFileKeepsTheListAndBadValueFileLeavesNoValues)
{
    ScratchDirectory dir;
    dir.write("ITEM.CSV", "\"01\",\"a\",\"f\",\"s\",\"k\"\r\n\"02\",\"b\"\r\n");
    dir.write("VALUE.CSV", "\"01\",\"01\",\"a1\",\"1\"\r\n");
    const ItemList before { { "05", "old", "f", "s", "k", { value("v", "1", "05") } } };
    ItemList items = before;
    EXPECT_EQ(loadError([&] { LoadItemFiles(items, dir.path()); }),
        "リストのインデックスが範囲を超えています (2)");
    EXPECT_EQ(describe(items), describe(before));

    dir.write("ITEM.CSV", "\"01\",\"a\",\"f\",\"s\",\"k\"\r\n");
    dir.write("VALUE.CSV", "\"01\",\"01\",\"a1\",\"1\"\r\n\"01\",\"02\"\r\n");
    EXPECT_EQ(loadError([&] { LoadItemFiles(items, dir.path()); }),
        "リストのインデックスが範囲を超えています (2)");
    EXPECT_EQ(describe(items), "01|a|f|s|k\n");
}

TEST(ItemFilesRoundTripTest, AwkwardFieldsSurviveSaveAndLoad)
{
    ScratchDirectory dir;
    ItemList items(1);
    items[0] = { "", " a, b ", "/tmp/x y/\x95\x5C.ini", "\"q\"", "k\x83\x7C", {} };
    items[0].Values = { value("\"\"", " , ", "", "01"), value("設定 値", "1920x1080", "", "02") };
    WriteItemFiles(dir.path(), items);
    const ItemList loaded = loadLinked(dir);
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded[0].Code, "01");
    EXPECT_EQ(loaded[0].Name, items[0].Name);
    EXPECT_EQ(loaded[0].FileName, items[0].FileName);
    EXPECT_EQ(loaded[0].Section, items[0].Section);
    EXPECT_EQ(loaded[0].Key, items[0].Key);
    ASSERT_EQ(loaded[0].Values.size(), 2u);
    EXPECT_EQ(loaded[0].Values[0].Name, "\"\"");
    EXPECT_EQ(loaded[0].Values[0].Value, " , ");
    EXPECT_EQ(loaded[0].Values[1].Name, "設定 値");
    EXPECT_EQ(loaded[0].Values[1].ItemCode, "01");
}

TEST(ItemFilesRoundTripTest, DeletingTheFirstItemRenumbersTheRest)
{
    ScratchDirectory dir;
    dir.write("ITEM.CSV",
        "\"01\",\"a\",\"f\",\"s\",\"k\"\r\n"
        "\"02\",\"b\",\"f\",\"s\",\"k\"\r\n"
        "\"03\",\"c\",\"f\",\"s\",\"k\",\"sixth\"\r\n");
    dir.write("VALUE.CSV",
        "\"01\",\"01\",\"a1\",\"1\"\r\n"
        "\"02\",\"01\",\"b1\",\"1\"\r\n"
        "\"03\",\"01\",\"c1\",\"1\"\r\n"
        "\"03\",\"02\",\"c2\",\"2\"\r\n"
        "\"09\",\"01\",\"orphan\",\"1\"\r\n");
    ItemList items = loadLinked(dir);
    items.erase(items.begin());
    WriteItemFiles(dir.path(), items);
    EXPECT_EQ(dir.read("ITEM.CSV"),
        "\"01\",\"b\",\"f\",\"s\",\"k\"\r\n"
        "\"02\",\"c\",\"f\",\"s\",\"k\"\r\n");
    EXPECT_EQ(dir.read("VALUE.CSV"),
        "\"01\",\"01\",\"b1\",\"1\"\r\n"
        "\"02\",\"01\",\"c1\",\"1\"\r\n"
        "\"02\",\"02\",\"c2\",\"2\"\r\n");
}

ItemList manyItems(std::size_t count)
{
    ItemList items(count);
    for (std::size_t i = 0; i < count; ++i) {
        items[i] = { "", "item " + std::to_string(i), "/tmp/x.ini", "S", "K", {} };
        items[i].Values.assign(5, value(std::string(200, 'n'), std::string(200, 'v')));
    }
    return items;
}

const char *const OldItems = "\"01\",\"old\",\"f\",\"s\",\"k\"\r\n";
const char *const OldValues = "\"01\",\"01\",\"old\",\"1\"\r\n";

TEST(WriteItemFilesFailureTest, FieldThatCannotStayOnItsLineIsRefusedBeforeWriting)
{
    const struct
    {
        std::string itemName, valueName, refusedFile;
    } cases[] = {
        { "two\r\nlines", "v", "ITEM.CSV" },
        { "i", "two\nlines", "VALUE.CSV" },
        { std::string("nul\0byte", 8), "v", "ITEM.CSV" },
        { "i", "carriage\rreturn", "VALUE.CSV" },
    };
    for (const auto &c : cases) {
        ScratchDirectory dir;
        dir.write("ITEM.CSV", OldItems);
        dir.write("VALUE.CSV", OldValues);
        ItemList items = manyItems(2);
        items[1].Name = c.itemName;
        items[1].Values[0].Name = c.valueName;
        EXPECT_EQ(loadError([&] { WriteItemFiles(dir.path(), items); }),
            "ファイル " + dir.file(c.refusedFile) + " を作成できません");
        EXPECT_EQ(dir.read("ITEM.CSV"), OldItems);
        EXPECT_EQ(dir.read("VALUE.CSV"), OldValues);
        EXPECT_EQ(dir.listing(), "ITEM.CSV VALUE.CSV");
    }
}

#ifndef _WIN32
// Saves in a child process whose file size limit stops the write half-way (a full disk, as far
// as the program can tell), and returns the message the save raised.
std::string saveWithFileSizeLimit(const ScratchDirectory &dir, std::size_t limit)
{
    return test::runWithFileSizeLimit(
        limit, [&] { return loadError([&] { WriteItemFiles(dir.path(), manyItems(200)); }); });
}

TEST(WriteItemFilesFailureTest, FullDiskLeavesBothOldFilesAndNoTemporaryFile)
{
    // The item file is small and fits; the value file is about 400 KB and does not.
    for (const std::size_t limit : { 100, 64 * 1024 }) {
        ScratchDirectory dir;
        dir.write("ITEM.CSV", OldItems);
        dir.write("VALUE.CSV", OldValues);
        EXPECT_EQ(saveWithFileSizeLimit(dir, limit), "ストリームへの書き込みエラー");
        EXPECT_EQ(dir.read("ITEM.CSV"), OldItems);
        EXPECT_EQ(dir.read("VALUE.CSV"), OldValues);
        EXPECT_EQ(dir.listing(), "ITEM.CSV VALUE.CSV");
    }
}
#endif

TEST(WriteItemFilesFailureTest, DirectoryInPlaceOfValueFileLeavesItemFile)
{
    ScratchDirectory dir;
    dir.write("ITEM.CSV", OldItems);
    std::filesystem::create_directory(dir.file("VALUE.CSV"));
    EXPECT_EQ(loadError([&] { WriteItemFiles(dir.path(), manyItems(2)); }),
        "ファイル " + dir.file("VALUE.CSV") + " を作成できません");
    EXPECT_EQ(dir.read("ITEM.CSV"), OldItems);
    EXPECT_EQ(dir.listing(), "ITEM.CSV VALUE.CSV");
}

TEST(WriteItemFilesFailureTest, MissingDirectoryNamesTheItemFile)
{
    ScratchDirectory dir;
    EXPECT_EQ(loadError([&] { WriteItemFiles(dir.file("gone/"), {}); }),
        "ファイル " + dir.file("gone/ITEM.CSV") + " を作成できません");
}

#ifndef _WIN32
TEST(WriteItemFilesTest, KeepsPermissionBitsAndSymbolicLinks)
{
    ScratchDirectory dir;
    dir.write("real-items.csv", OldItems);
    std::filesystem::create_symlink("real-items.csv", dir.file("ITEM.CSV"));
    dir.write("VALUE.CSV", OldValues);
    ::chmod(dir.file("VALUE.CSV").c_str(), 0640);
    WriteItemFiles(dir.path(), manyItems(1));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("ITEM.CSV")));
    EXPECT_NE(dir.read("real-items.csv"), OldItems);
    struct stat info
    {
    };
    ::stat(dir.file("VALUE.CSV").c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(dir.listing(), "ITEM.CSV VALUE.CSV real-items.csv");
}

// Sets or clears a file's immutable flag, which makes renaming over it fail also for root.
bool setImmutable(const std::string &path, bool immutable)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    int flags = 0;
    bool done = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = immutable ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    if (fd >= 0)
        ::close(fd);
    return done;
}

TEST(WriteItemFilesFailureTest, ValueFileThatCannotBeReplacedPutsTheItemFileBack)
{
    for (const bool itemFileExisted : { true, false }) {
        SCOPED_TRACE(itemFileExisted ? "item file existed" : "no item file before");
        ScratchDirectory dir;
        if (itemFileExisted)
            dir.write("ITEM.CSV", OldItems);
        dir.write("VALUE.CSV", OldValues);
        if (!setImmutable(dir.file("VALUE.CSV"), true))
            GTEST_SKIP() << "this file system has no immutable files";
        const std::string message = loadError([&] { WriteItemFiles(dir.path(), manyItems(2)); });
        setImmutable(dir.file("VALUE.CSV"), false);
        EXPECT_EQ(message, "ファイル " + dir.file("VALUE.CSV") + " を作成できません");
        EXPECT_EQ(dir.read("VALUE.CSV"), OldValues);
        if (itemFileExisted) {
            EXPECT_EQ(dir.read("ITEM.CSV"), OldItems);
        }
        EXPECT_EQ(dir.listing(), itemFileExisted ? "ITEM.CSV VALUE.CSV" : "VALUE.CSV");
    }
}

TEST(WriteItemFilesFailureTest, FilesItsUserMayNotWriteAreLeftAlone)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to act as another user";
    ScratchDirectory dir;
    dir.write("ITEM.CSV", OldItems);
    dir.write("VALUE.CSV", OldValues);
    // Anyone may create files in the folder, but the item files belong to root alone.
    ::chmod(dir.path().c_str(), 0777);
    const uid_t nobody = 65534;
    EXPECT_EQ(test::runAsUser(nobody, nobody,
                  [&] { return loadError([&] { WriteItemFiles(dir.path(), manyItems(2)); }); }),
        "ファイル " + dir.file("ITEM.CSV") + " を作成できません");
    EXPECT_EQ(dir.read("ITEM.CSV"), OldItems);
    EXPECT_EQ(dir.read("VALUE.CSV"), OldValues);
    EXPECT_EQ(dir.listing(), "ITEM.CSV VALUE.CSV");
}
#endif

} // namespace
} // namespace velmora
