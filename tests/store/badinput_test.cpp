// Hostile and broken files fed to the item store and the INI engine: each gives its message or
// its result, nothing crashes, and no file but the one the call is about changes.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <random>

#include "childprocess.h"
#include "commatext.h"
#include "error.h"
#include "initext.h"
#include "inivalue.h"
#include "itemfiles.h"
#include "scratchdirectory.h"
#include "snapshotprofile.h"

namespace velmora {
namespace {

using test::ScratchDirectory;
using namespace std::string_literals;
namespace fs = std::filesystem;

// Names and bytes of the files a case starts from; nothing makes a directory of that name.
using Files = std::vector<std::pair<std::string, std::optional<std::string>>>;

// Inputs and expected files are made only when their case runs: some are megabytes long.
struct BadInput
{
    const char *name;
    std::function<Files()> files;
    // Runs the calls and describes what they gave; "<dir>" in the text stands for the directory.
    std::function<std::string(const ScratchDirectory &)> act;
    std::string outcome;
    // The one file the calls may change, and its bytes afterwards (none when it is removed).
    const char *changed = nullptr;
    std::function<std::string()> changedTo = nullptr;
};

void PrintTo(const BadInput &c, std::ostream *os)
{
    *os << c.name;
}

// The message of the Error that work raised, or work's own result.
std::string reported(const std::function<std::string()> &work)
{
    try {
        return work();
    } catch (const Error &error) {
        return error.what();
    }
}

std::string quotedLine(std::initializer_list<std::string_view> fields)
{
    std::string line;
    for (const std::string_view field : fields)
        line += (line.empty() ? "" : ",") + QuoteCommaField(field);
    return line + "\r\n";
}

// Loads both item files, saves what was loaded and loads again; the files must then hold their
// old bytes.
std::string loadSaveLoad(const ScratchDirectory &dir)
{
    return reported([&] {
        const auto load = [&] {
            ItemList items = LoadItemFile(dir.file("ITEM.CSV"));
            LinkValues(items, LoadValueFile(dir.file("VALUE.CSV")));
            return items;
        };
        WriteItemFiles(dir.path(), load());
        std::string sizes;
        for (const TItemData &item : load()) {
            sizes += std::to_string(item.Name.size()) + " byte name,";
            for (const TValueData &value : item.Values)
                sizes += " " + std::to_string(value.Value.size()) + " byte value";
        }
        return sizes;
    });
}

std::string loadItemFile(const ScratchDirectory &dir)
{
    return reported(
        [&] { return std::to_string(LoadItemFile(dir.file("ITEM.CSV")).size()) + " items"; });
}

// What a read of the file gives, also through the snapshot of a menu build, then whether a
// write of value takes and reads back.
std::string readWriteRead(const ScratchDirectory &dir, const std::string &section,
    const std::string &key, const std::string &value)
{
    const std::string file = dir.file("t.ini");
    const std::string before = ReadIniValue(file, section, key);
    if (ReadIniValue(file, section, key, *makeSnapshotProfile()) != before)
        return "the snapshot reads otherwise";
    return reported([&] {
        WriteIniValue(file, section, key, value);
        return "read '" + before + "', wrote, read '" + ReadIniValue(file, section, key) + "'";
    });
}

std::string utf16(std::u16string_view text, bool bigEndian = false)
{
    std::string bytes;
    for (const char16_t unit : text) {
        bytes.push_back(char(bigEndian ? unit >> 8 : unit & 0xFF));
        bytes.push_back(char(bigEndian ? unit & 0xFF : unit >> 8));
    }
    return bytes;
}

std::string utf32(std::u32string_view text, bool bigEndian = false)
{
    std::string bytes;
    for (const char32_t unit : text) {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(char(unit >> (bigEndian ? 24 - 8 * i : 8 * i)));
    }
    return bytes;
}

const std::string TenMegabytes(10 * 1024 * 1024, 'n');
const std::string OneMegabyte(1024 * 1024, 'x');

std::string manySections(const std::string &lastValue)
{
    std::string text;
    for (int i = 0; i < 100000; ++i) {
        text += "[Section" + std::to_string(i)
            + "]\r\nKey=" + (i == 99999 ? lastValue : std::to_string(i)) + "\r\n";
    }
    return text;
}

std::string binaryGarbage()
{
    std::mt19937 random(8);
    std::string bytes(64 * 1024, '\0');
    for (char &byte : bytes)
        byte = char(random());
    return bytes;
}

const BadInput Cases[] = {
    // Item files.
    { "ItemFileWithNulInsideALine",
        [] {
            return Files { { "ITEM.CSV", "\"01\",\"a\0b\",\"f\",\"s\",\"k\"\r\n"s } };
        },
        loadItemFile, "リストのインデックスが範囲を超えています (2)" },
    { "TenMegabyteLine",
        [] {
            return Files { { "ITEM.CSV", quotedLine({ "01", "a", "f", "s", "k" }) },
                { "VALUE.CSV", quotedLine({ "01", "01", "v", TenMegabytes }) } };
        },
        loadSaveLoad, "1 byte name, 10485760 byte value" },
    { "BytesInvalidInTheCodePage",
        [] {
            return Files {
                { "ITEM.CSV",
                    quotedLine({ "01", "\xFF\xFE", "\x80\xC0\xAF.ini", "\x81", "\xED\xA0\x80" }) },
                { "VALUE.CSV", quotedLine({ "01", "01", "\x82", "\xF5\"\x9F" }) }
            };
        },
        loadSaveLoad, "2 byte name, 3 byte value" },
    { "PathInvalidInTheCodePageNamedInTheMessage", [] { return Files {}; },
        [](const ScratchDirectory &dir) {
            return reported(
                [&] { return std::to_string(LoadItemFile(dir.file("\xFF/I")).size()); });
        },
        "ファイル <dir>\xEF\xBF\xBD/I は開けません" },
    { "DirectoryInPlaceOfItemFileLoads",
        [] {
            return Files { { "ITEM.CSV", std::nullopt } };
        },
        loadItemFile, "ファイル <dir>ITEM.CSV は開けません" },
    { "DirectoryInPlaceOfItemFileSaves",
        [] {
            return Files { { "ITEM.CSV", std::nullopt },
                { "VALUE.CSV", quotedLine({ "01", "01", "v", "1" }) } };
        },
        [](const ScratchDirectory &dir) {
            return reported([&] {
                WriteItemFiles(dir.path(), ItemList(1));
                return "saved"s;
            });
        },
        "ファイル <dir>ITEM.CSV を作成できません" },
    { "ValueFileVanishesAfterTheItemFileLoaded",
        [] {
            return Files { { "ITEM.CSV", quotedLine({ "01", "a", "f", "s", "k" }) },
                { "VALUE.CSV", quotedLine({ "01", "01", "v", "1" }) } };
        },
        [](const ScratchDirectory &dir) {
            const std::string items = loadItemFile(dir);
            fs::remove(dir.file("VALUE.CSV"));
            return items + ", then " + reported([&] {
                return std::to_string(LoadValueFile(dir.file("VALUE.CSV")).size());
            });
        },
        "1 items, then ファイル <dir>VALUE.CSV は開けません", "VALUE.CSV" },

    // INI files.
    { "IniFileVanishesBetweenReadAndWrite",
        [] {
            return Files { { "t.ini", "[S]\r\nK=1\r\n" } };
        },
        [](const ScratchDirectory &dir) {
            const std::string before = ReadIniValue(dir.file("t.ini"), "S", "K");
            fs::remove(dir.file("t.ini"));
            return before + ", then " + readWriteRead(dir, "S", "K", "2");
        },
        "1, then read '', wrote, read '2'", "t.ini", [] { return "[S]\nK=2\n"; } },
    { "HundredThousandSections",
        [] {
            return Files { { "t.ini", manySections("last") } };
        },
        [](const ScratchDirectory &dir) {
            return ReadIniValue(dir.file("t.ini"), "Section0", "Key") + ", "
                + readWriteRead(dir, "section99999", "key", "new");
        },
        "0, read 'last', wrote, read 'new'", "t.ini", [] { return manySections("new"); } },
    { "MegabyteLines",
        [] {
            return Files { { "t.ini",
                "[S]\r\nA=" + OneMegabyte + "\r\n" + OneMegabyte + "\r\nK=1" } };
        },
        [](const ScratchDirectory &dir) {
            return std::to_string(ReadIniValue(dir.file("t.ini"), "S", "A").size()) + " bytes, "
                + readWriteRead(dir, "S", "K", "2");
        },
        "2047 bytes, read '1', wrote, read '2'", "t.ini",
        [] { return "[S]\r\nA=" + OneMegabyte + "\r\n" + OneMegabyte + "\r\nK=2"; } },
    { "BinaryGarbage",
        [] {
            return Files { { "t.ini", binaryGarbage() } };
        },
        [](const ScratchDirectory &dir) { return readWriteRead(dir, "S", "K", "v"); },
        "read '', wrote, read 'v'", "t.ini",
        // The garbage's first line end is a lone CR, and it ends without one.
        [] { return binaryGarbage() + "\r[S]\rK=v\r"; } },
    { "CrOnlyLineEnds",
        [] {
            return Files { { "t.ini", "[S]\rK=1\rL=2" } };
        },
        [](const ScratchDirectory &dir) {
            return ReadIniValue(dir.file("t.ini"), "S", "K") + ", "
                + readWriteRead(dir, "S", "M", "3");
        },
        "1, read '', wrote, read '3'", "t.ini", [] { return "[S]\rK=1\rL=2\rM=3\r"; } },
    { "Utf8MarkRecognisedAndKept",
        [] {
            return Files { { "t.ini", "\xEF\xBB\xBF[S]\r\nK=1\r\n" } };
        },
        [](const ScratchDirectory &dir) { return readWriteRead(dir, "S", "K", "2"); },
        "read '1', wrote, read '2'", "t.ini", [] { return "\xEF\xBB\xBF[S]\r\nK=2\r\n"; } },
    { "Utf16LittleEndianMarkMakesAUnicodeFile",
        [] {
            return Files { { "t.ini", utf16(u"\uFEFF[S]\r\nK=値\r\n") } };
        },
        [](const ScratchDirectory &dir) { return readWriteRead(dir, "S", "K", "新"); },
        "read '値', wrote, read '新'", "t.ini", [] { return utf16(u"\uFEFF[S]\r\nK=新\r\n"); } },
    // Other marks are ordinary bytes that spoil the first line.
    { "Utf16BigEndianMarkIsOrdinaryBytes",
        [] {
            return Files { { "t.ini", "\xFE\xFF[S]\r\nK=1\r\n" } };
        },
        [](const ScratchDirectory &dir) { return readWriteRead(dir, "S", "K", "2"); },
        "read '', wrote, read '2'", "t.ini",
        [] { return "\xFE\xFF[S]\r\nK=1\r\n[S]\r\nK=2\r\n"; } },
    { "Utf16BigEndianFileIsUnreadable",
        [] {
            return Files { { "t.ini", utf16(u"\uFEFF[S]\r\nK=1\r\n", true) } };
        },
        [](const ScratchDirectory &dir) { return readWriteRead(dir, "S", "K", "2"); },
        "read '', wrote, read '2'", "t.ini",
        [] { return utf16(u"\uFEFF[S]\r\nK=1\r\n", true) + "[S]\rK=2\r"; } },
    { "Utf32BigEndianFileIsUnreadable",
        [] {
            return Files { { "t.ini", utf32(U"\uFEFF[S]\r\n", true) } };
        },
        [](const ScratchDirectory &dir) { return readWriteRead(dir, "S", "K", "2"); },
        "read '', wrote, read '2'", "t.ini",
        [] { return utf32(U"\uFEFF[S]\r\n", true) + "[S]\rK=2\r"; } },
    // The UTF-32 little-endian mark starts with the UTF-16 one: the file reads as UTF-16 text
    // whose every other unit is NUL, and a write adds UTF-16 text.
    { "Utf32LittleEndianFileReadsAsUtf16",
        [] {
            return Files { { "t.ini", utf32(U"\uFEFF[S]\r\nK=1\r\n") } };
        },
        [](const ScratchDirectory &dir) { return readWriteRead(dir, "S", "K", "2"); },
        "read '', wrote, read '2'", "t.ini",
        [] { return utf32(U"\uFEFF[S]\r\nK=1\r\n") + utf16(u"\r[S]\rK=2\r"); } },
};

// The regular files and directories under the directory, with their bytes.
std::map<std::string, std::optional<std::string>> contents(const ScratchDirectory &dir)
{
    std::map<std::string, std::optional<std::string>> found;
    for (const auto &entry : fs::recursive_directory_iterator(dir.path())) {
        const std::string name = fs::relative(entry.path(), dir.path()).string();
        found[name] = entry.is_directory() ? std::nullopt : std::optional(dir.read(name));
    }
    return found;
}

class BadInputTest : public testing::TestWithParam<BadInput>
{
};

TEST_P(BadInputTest, GivesItsOutcomeAndChangesNoOtherFile)
{
    const BadInput &c = GetParam();
    ScratchDirectory dir;
    dir.write("bystander.ini", "[S]\r\nK=1\r\n");
    for (const auto &[name, bytes] : c.files()) {
        if (bytes)
            dir.write(name, *bytes);
        else
            fs::create_directory(dir.file(name));
    }
    auto expected = contents(dir);
    if (c.changed) {
        expected.erase(c.changed);
        if (c.changedTo)
            expected[c.changed] = c.changedTo();
    }

    std::string outcome = c.outcome;
    if (const std::size_t at = outcome.find("<dir>"); at != std::string::npos)
        outcome.replace(at, 5, dir.path());
    EXPECT_EQ(c.act(dir), outcome);
    const auto after = contents(dir);
    EXPECT_EQ(after.size(), expected.size());
    for (const auto &[name, bytes] : expected) {
        const auto found = after.find(name);
        ASSERT_NE(found, after.end()) << name << " is gone";
        EXPECT_TRUE(found->second == bytes) << name << " changed";
    }
}

INSTANTIATE_TEST_SUITE_P(Files, BadInputTest, testing::ValuesIn(Cases),
    [](const testing::TestParamInfo<BadInput> &info) { return std::string(info.param.name); });

#if defined(__SANITIZE_ADDRESS__)
constexpr bool AddressSanitizer = true;
#elif defined(__has_feature)
constexpr bool AddressSanitizer = __has_feature(address_sanitizer);
#else
constexpr bool AddressSanitizer = false;
#endif

// Files far larger than the memory a process has left: each still gives its outcome, the
// loader's own message at the first bad line or for a file that does not fit, never a raw
// allocation failure.
TEST(HugeInputTest, GivesItsOutcomeWithinLittleMemory)
{
    if (AddressSanitizer)
        GTEST_SKIP() << "the address sanitizer maps more memory than any such limit allows";
    constexpr std::size_t Megabyte = 1024 * 1024;
    const struct
    {
        const char *name;
        const char *file;
        std::function<std::string()> bytes;
        std::function<std::string(const ScratchDirectory &)> act;
        std::string outcome;
    } cases[] = {
        { "a line, then 50 MB of line ends", "ITEM.CSV",
            [] {
                return quotedLine({ "01", "a", "f", "s", "k" }) + std::string(50 * Megabyte, '\n');
            },
            loadItemFile, "リストのインデックスが範囲を超えています (0)" },
        { "ten million items of empty fields", "ITEM.CSV",
            [] {
                std::string text;
                for (int i = 0; i < 10'000'000; ++i)
                    text += ",,,,\r\n";
                return text;
            },
            loadItemFile, "ファイル <dir>ITEM.CSV は開けません" },
        { "50 MB of '[' in one value, read for a menu", "t.ini",
            [] { return "[S]\r\nK=" + std::string(50 * Megabyte, '[') + "\r\n"; },
            [](const ScratchDirectory &dir) {
                return ReadIniValue(dir.file("t.ini"), "S", "K", *makeSnapshotProfile());
            },
            std::string(MaxIniValueBytes, '[') },
        { "ten million headers of one section, read for a menu", "t.ini",
            [] {
                std::string text;
                for (int i = 0; i < 10'000'000; ++i)
                    text += "[a]\n";
                return text + "[S]\nK=1\n";
            },
            [](const ScratchDirectory &dir) {
                return ReadIniValue(dir.file("t.ini"), "S", "K", *makeSnapshotProfile());
            },
            "1" },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDirectory dir;
        dir.write(c.file, c.bytes());
        std::string outcome = c.outcome;
        if (const std::size_t at = outcome.find("<dir>"); at != std::string::npos)
            outcome.replace(at, 5, dir.path());
        EXPECT_EQ(test::runWithMemoryLimit(200 * Megabyte,
                      [&] {
                          try {
                              return c.act(dir);
                          } catch (const std::exception &error) {
                              return std::string("raw exception: ") + error.what();
                          }
                      }),
            outcome);
    }
}

} // namespace
} // namespace velmora
