// The behaviour every private-profile engine shares: our own engine here, the Windows functions
// on Windows. Cases marked OursOnly are where our engine knowingly differs from Windows; cases
// marked WineDiffers run on Windows but not under Wine, whose re-implementation of the Windows
// functions answers otherwise there, for the reason given.

#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

#include "privateprofile.h"
#include "scratchdirectory.h"
#include "snapshotprofile.h"

namespace velmora {
namespace {

using test::ScratchDirectory;

#ifdef _WIN32
constexpr bool WindowsEngine = true;

bool runningUnderWine()
{
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

// std::filesystem::hard_link_count always gives 1 with MinGW's C library.
std::uintmax_t linkCount(const std::string &path)
{
    const HANDLE file = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    BY_HANDLE_FILE_INFORMATION info {};
    const bool known = file != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, &info);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return known ? info.nNumberOfLinks : 0;
}
#else
constexpr bool WindowsEngine = false;

bool runningUnderWine()
{
    return false;
}

std::uintmax_t linkCount(const std::string &path)
{
    return std::filesystem::hard_link_count(path);
}
#endif

// Which engines a case holds for.
struct Engines
{
    enum Kind { All, OursOnly, WineDiffers };
    Kind kind = All;
    const char *reason = nullptr; // why Wine answers otherwise

    // Why the case cannot run with this engine; nothing when it runs.
    std::optional<std::string> skipReason() const
    {
        if (kind == OursOnly && WindowsEngine)
            return "the Windows functions differ here";
        if (kind == WineDiffers && runningUnderWine())
            return std::string("Wine differs from Windows here: ") + reason;
        return std::nullopt;
    }
};

constexpr Engines AllEngines {};
constexpr Engines OursOnly { Engines::OursOnly };

constexpr Engines WineDiffers(const char *reason)
{
    return { Engines::WineDiffers, reason };
}

// What Wine does that Windows does not, as Wine 8 shows it.
constexpr const char *WineStripsAllWhitespace
    = "Wine strips every whitespace byte (tab, line feed, form feed too) around names and values";
constexpr const char *WineEndsHeaderAtLastBracket
    = "Wine ends a section name at the last ']' of its line";
constexpr const char *WineHasPreambleSection
    = "Wine keeps the lines before the first header as a section named \"\", which comes "
      "first and so also hides a later [] header";
constexpr const char *WineRewritesWholeFile
    = "Wine writes the whole file anew from its parsed copy: blank lines and text after a "
      "header's ']' are dropped, and a new key goes after the section's last line";

// A file as its UTF-16LE bytes with the byte-order mark.
std::string utf16File(std::u16string_view text)
{
    std::string bytes = "\xFF\xFE";
    for (const char16_t unit : text) {
        bytes.push_back(char(unit & 0xFF));
        bytes.push_back(char(unit >> 8));
    }
    return bytes;
}

using namespace std::string_literals;

// Makes the system code page Shift-JIS for one case where it can be: a POSIX locale, or the
// Windows code page 932 that the system was started with.
class ShiftJisCodePage
{
public:
    ShiftJisCodePage()
#ifdef _WIN32
        : m_set(GetACP() == 932)
#else
        : m_set(std::setlocale(LC_ALL, "ja_JP.SJIS") || std::setlocale(LC_ALL, "ja_JP.Shift_JIS"))
#endif
    { }
#ifndef _WIN32
    ~ShiftJisCodePage()
    {
        std::setlocale(LC_ALL, "C");
    }
#endif
    ShiftJisCodePage(const ShiftJisCodePage &) = delete;
    ShiftJisCodePage &operator=(const ShiftJisCodePage &) = delete;

    bool isSet() const
    {
        return m_set;
    }

private:
    bool m_set;
};

constexpr const char *NoShiftJis = "the system code page cannot be Shift-JIS here";

// Shift-JIS characters whose second byte looks like ASCII: ゾーン holds the byte of ']', and the
// second bytes of ア and ヂ are those of 'A' and 'a'.
const std::string Zone = "\x83\x5D\x81\x5B\x83\x93";
const std::string KatakanaA = "\x83\x41";
const std::string KatakanaDi = "\x83\x61";
// 一亜: first bytes whose rows hold second bytes from 0x9F up only, and a second byte that is
// itself a first byte elsewhere.
const std::string KanjiOneA = "\x88\xEA\x88\x9F";

const std::string MixedLineEnds = "[S]\ra=1\nb=2\r\nc=3";
const std::string Sample = "[S]\r\nK=1\r\n";

struct ReadCase
{
    const char *rule;
    std::optional<std::string> file; // no file at all when empty
    std::string section;
    std::string key;
    std::string expected;
    Engines engines = AllEngines;
    bool shiftJis = false; // the case needs the Shift-JIS code page
};

void PrintTo(const ReadCase &c, std::ostream *os)
{
    *os << c.rule;
}

class ReadContractTest : public testing::TestWithParam<ReadCase>
{
};

TEST_P(ReadContractTest, FindsTheValueAndLeavesTheFile)
{
    const ReadCase &c = GetParam();
    if (const auto reason = c.engines.skipReason())
        GTEST_SKIP() << *reason;
    const std::optional<ShiftJisCodePage> codePage(
        c.shiftJis ? std::optional<ShiftJisCodePage>(std::in_place) : std::nullopt);
    if (codePage && !codePage->isSet())
        GTEST_SKIP() << NoShiftJis;
    ScratchDirectory dir;
    if (c.file)
        dir.write("t.ini", *c.file);
    EXPECT_EQ(systemPrivateProfile().readString(c.section, c.key, dir.file("t.ini")), c.expected);
    EXPECT_EQ(makeSnapshotProfile()->readString(c.section, c.key, dir.file("t.ini")), c.expected)
        << "the snapshot of a burst of reads answers as the engine does";
    EXPECT_EQ(dir.listing(), c.file ? "t.ini" : "");
    EXPECT_EQ(c.file ? dir.read("t.ini") : "", c.file.value_or(""));
}

INSTANTIATE_TEST_SUITE_P(Rules, ReadContractTest,
    testing::Values(
        // Lines end at CR, LF or CR LF; the last one needs no line end.
        ReadCase { "LineEndCr", MixedLineEnds, "S", "a", "1" },
        ReadCase { "LineEndLf", MixedLineEnds, "S", "b", "2" },
        ReadCase { "LastLineWithoutLineEnd", MixedLineEnds, "S", "c", "3" },
        ReadCase { "LfCrIsTwoLineEnds", "[S]\n\rK=1\n", "S", "K", "1" },
        // Blanks are space, tab and vertical tab, nothing else.
        ReadCase { "BlanksAroundNamesAndValue", "\t[ S\v]\r\n \t\vK \t= \v a \t b \t\r\n", "S", "K",
            "a \t b" },
        ReadCase { "FormFeedIsNoBlank", "[S]\r\n\fK=1\r\n", "S", "K", "",
            WineDiffers(WineStripsAllWhitespace) },
        // Headers.
        ReadCase { "HeaderNameEndsAtFirstBracket", "[S]x]=y\r\nK=1\r\n", "S", "K", "1",
            WineDiffers(WineEndsHeaderAtLastBracket) },
        ReadCase { "HeaderWithoutBracketRunsToLineEnd", "[ S \r\nK=1\r\n", "S", "K", "1",
            WineDiffers("Wine takes a line without ']' for no header at all") },
        ReadCase { "EmptySectionName", "[]\r\nK=1\r\n", "", "K", "1",
            WineDiffers(WineHasPreambleSection) },
        ReadCase { "OrdinaryBytesInSectionName", "[[;\"x']\r\nK=1\r\n", "[;\"x'", "K", "1" },
        ReadCase {
            "BracketInsideLineIsNoHeader", "[A]\r\nK=[S]\r\nK=2\r\n[S]\r\nK=1\r\n", "S", "K", "1" },
        ReadCase { "NextHeaderEndsSection", "[S]\r\n[T]\r\nK=1\r\n", "S", "K", "" },
        // Comments, and what is not one.
        ReadCase { "CommentNeverMatches", "[S]\r\n \t;K=1\r\n", "S", ";K", "",
            WineDiffers(
                "Wine reads a comment line like an entry, so a key spelled ';K' finds it") },
        ReadCase { "HashIsNoComment", "[S]\r\n#K=1\r\n", "S", "#K", "1" },
        ReadCase { "SemicolonLaterIsPartOfValue", "[S]\r\nK=a ;b\r\n", "S", "K", "a ;b" },
        // Entries.
        ReadCase { "NameEndsAtFirstEquals", "[S]\r\nK=a=b\r\n", "S", "K", "a=b" },
        ReadCase { "EmptyKeyName", "[S]\r\n=v\r\n", "S", "", "v" },
        ReadCase { "LineWithoutEqualsIsNoEntry", "[S]\r\nK\r\nK=1\r\n", "S", "K", "1",
            WineDiffers("Wine takes a line without '=' for a key with an empty value") },
        ReadCase { "LinesBeforeFirstHeaderNeverFound", "K=1\r\n[S]\r\n", "", "K", "",
            WineDiffers(WineHasPreambleSection) },
        ReadCase { "LinesBeforeFirstHeaderNotInIt", "K=1\r\n[S]\r\n", "S", "K", "" },
        ReadCase { "OnlyFirstSectionOfName", "[S]\r\nA=1\r\n[s]\r\nK=2\r\n", "S", "K", "" },
        ReadCase { "FirstEntryWins", "[S]\r\nK=1\r\nk=2\r\n", "S", "K", "1" },
        // Names.
        ReadCase { "AsciiCaseIgnored", "[Sec]\r\nKey=1\r\n", "sEC", "kEY", "1" },
        ReadCase { "OtherBytesCompareExactly", "[\xC9]\r\nK=1\r\n", "\xE9", "K", "" },
        ReadCase { "CallerOuterSpacesIgnored", Sample, "  S ", " K  ", "1" },
        ReadCase { "CallerTabIsSignificant", "[S]\r\nK\t=1\r\n", "S", "K\t", "",
            WineDiffers(WineStripsAllWhitespace) },
        ReadCase { "CallerSectionTabIsSignificant", "[S\t]\r\nK=1\r\n", "S\t", "K", "",
            WineDiffers(WineStripsAllWhitespace) },
        ReadCase { "CallerSectionCannotHoldBracket", "[a]b]\r\nK=1\r\n", "a]b", "K", "",
            WineDiffers(WineEndsHeaderAtLastBracket) },
        ReadCase { "CallerLineFeedIsSignificant", Sample, "S\n", "K", "",
            WineDiffers(WineStripsAllWhitespace) },
        // Quotes.
        ReadCase { "DoubleQuotesKeepInnerBlanks", "[S]\r\nK= \" a \" \r\n", "S", "K", " a " },
        ReadCase { "SingleQuotes", "[S]\r\nK='b'\r\n", "S", "K", "b" },
        ReadCase { "OnePairOnly", "[S]\r\nK=\"\"c\"\"\r\n", "S", "K", "\"c\"" },
        ReadCase { "MismatchedQuotesKept", "[S]\r\nK=\"d'\r\n", "S", "K", "\"d'" },
        ReadCase { "LoneQuoteKept", "[S]\r\nK=\"\r\n", "S", "K", "\"" },
        // Missing things and the result's size.
        ReadCase { "MissingFile", std::nullopt, "S", "K", "" },
        ReadCase { "MissingSection", Sample, "T", "K", "" },
        ReadCase { "MissingKey", Sample, "S", "L", "" },
        ReadCase { "CutAt2047Bytes", "[S]\r\nK=" + std::string(3000, 'x') + "\r\n", "S", "K",
            std::string(2047, 'x') },
        // Bytes: high bytes are ordinary, NUL is ordinary in a line but ends the C string.
        ReadCase { "ShiftJisBytes", "[\x95\x5C]\r\n\x83\x7C=\x95\x5C\r\n", "\x95\x5C", "\x83\x7C",
            "\x95\x5C" },
        ReadCase { "NulInOtherLine", "[S]\r\nJ=\0\r\nK=1\r\n"s, "S", "K", "1" },
        ReadCase { "NulEndsResult", "[S]\r\nK=a\0b\r\n"s, "S", "K", "a" },
        // Byte-order marks.
        ReadCase { "Utf8MarkSkipped", "\xEF\xBB\xBF[S]\r\nK=1\r\n", "S", "K", "1", OursOnly },
        ReadCase {
            "Utf16File", utf16File(u"[設定]\r\nキー=値\r\n"), "設定", "キー", "値", OursOnly },
        ReadCase { "Utf16UnpairedSurrogate", utf16File(u"[S]\r\nK=a\xD800z\r\n"), "S", "K",
            "a\xED\xA0\x80z", OursOnly },
        // Double-byte characters: a second byte is no ']' and no letter.
        ReadCase { "ShiftJisSecondByteIsNoBracket", "[" + Zone + "]\r\nK=1\r\n", Zone, "K", "1",
            AllEngines, true },
        ReadCase { "ShiftJisSecondByteIsNoLetter", "[S]\r\n" + KatakanaDi + "=1\r\n", "S",
            KatakanaA, "", AllEngines, true },
        ReadCase { "ShiftJisHighSecondByteIsNoFirstByte", "[" + KanjiOneA + "]\r\nK=1\r\n",
            KanjiOneA, "K", "1", AllEngines, true }),
    [](const testing::TestParamInfo<ReadCase> &info) { return std::string(info.param.rule); });

TEST(ReadContractTest, EveryReadSeesTheFileAsItIsNow)
{
    ScratchDirectory dir;
    dir.write("t.ini", Sample);
    PrivateProfile &profile = systemPrivateProfile();
    EXPECT_EQ(profile.readString("S", "K", dir.file("t.ini")), "1");
    dir.write("t.ini", "[S]\r\nK=2\r\n");
    EXPECT_EQ(profile.readString("S", "K", dir.file("t.ini")), "2");
}

struct WriteCase
{
    const char *rule;
    std::optional<std::string> before; // no file at all when empty
    std::string section;
    std::string key;
    std::string value;
    std::string after;
    Engines engines = AllEngines;
    // What a read of the same section and key then gives, when it is not the value.
    std::optional<std::string> readBack = std::nullopt;
    bool shiftJis = false; // the case needs the Shift-JIS code page
};

void PrintTo(const WriteCase &c, std::ostream *os)
{
    *os << c.rule;
}

class WriteContractTest : public testing::TestWithParam<WriteCase>
{
};

TEST_P(WriteContractTest, WritesTheBytesAndReadsBack)
{
    const WriteCase &c = GetParam();
    if (const auto reason = c.engines.skipReason())
        GTEST_SKIP() << *reason;
    const std::optional<ShiftJisCodePage> codePage(
        c.shiftJis ? std::optional<ShiftJisCodePage>(std::in_place) : std::nullopt);
    if (codePage && !codePage->isSet())
        GTEST_SKIP() << NoShiftJis;
    PrivateProfile &profile = systemPrivateProfile();
    ScratchDirectory dir;
    const std::string file = dir.file("t.ini");
    if (c.before)
        dir.write("t.ini", *c.before);
    EXPECT_TRUE(profile.writeString(c.section, c.key, c.value, file));
    EXPECT_EQ(dir.read("t.ini"), c.after);
    EXPECT_EQ(dir.listing(), "t.ini");
    EXPECT_EQ(profile.readString(c.section, c.key, file), c.readBack.value_or(c.value));

    // Writing the same again changes nothing, and does not even replace the file: a second
    // name for it would lose its tie to a replaced file.
    ScratchDirectory other;
    std::filesystem::create_hard_link(file, other.file("link"));
    EXPECT_TRUE(profile.writeString(c.section, c.key, c.value, file));
    EXPECT_EQ(dir.read("t.ini"), c.after);
    EXPECT_EQ(linkCount(file), 2u);
}

INSTANTIATE_TEST_SUITE_P(Rules, WriteContractTest,
    testing::Values(
        // An existing entry is edited where it stands; every other byte stays.
        WriteCase { "EditKeepsEveryOtherByte",
            "x\0=1\r\n[S]\r\n; c\r\n\r\n  K =\t1\r\nJ = 2 \r\n[T]\r\nK=9\r\n"s, "S", "K", "5",
            "x\0=1\r\n[S]\r\n; c\r\n\r\n  K =\t5\r\nJ = 2 \r\n[T]\r\nK=9\r\n"s, OursOnly },
        WriteCase { "EditKeepsFileSpellingOfNames", "[Sec]\r\nKey=1\r\n", " sEC ", "KEY ", "2",
            "[Sec]\r\nKey=2\r\n" },
        WriteCase {
            "EditDropsOldTrailingBlanks", "[S]\r\nK=1 \t\r\n", "S", "K", "2", "[S]\r\nK=2\r\n" },
        WriteCase { "EditKeepsLinesOwnLineEnd", "[S]\r\nA=1\nK=1\rB=2\r\n", "S", "K", "2",
            "[S]\r\nA=1\nK=2\rB=2\r\n", OursOnly },
        WriteCase {
            "EditLastLineWithoutLineEnd", "[S]\r\nK=1", "S", "K", "2", "[S]\r\nK=2", OursOnly },
        WriteCase { "EditFirstEntryOfFirstSection", "[S]\r\nK=1\r\nK=2\r\n[S]\r\nK=3\r\n", "S", "K",
            "4", "[S]\r\nK=4\r\nK=2\r\n[S]\r\nK=3\r\n" },
        WriteCase { "ValueWithLeadingBlankReplacesBlanksAfterEquals", "[S]\r\nK = 1\r\n", "S", "K",
            " 2", "[S]\r\nK = 2\r\n", OursOnly, "2" },
        WriteCase { "SameValueNotRewritten", "[S]\r\nK = 1\r\n", "S", "K", "1", "[S]\r\nK = 1\r\n",
            OursOnly },
        WriteCase {
            "QuotedValueIsNotTheSameText", "[S]\r\nK=\"1\"\r\n", "S", "K", "1", "[S]\r\nK=1\r\n" },
        WriteCase { "EmptyValueIsWrittenNotDeleted", Sample, "S", "K", "", "[S]\r\nK=\r\n" },
        // A new key goes after the section's last entry line.
        WriteCase { "NewKeyAfterLastEntry", "[S]\r\nA=1\r\nB=2\r\njunk\r\n; c\r\n\r\n[T]\r\n", "S",
            "C", "3", "[S]\r\nA=1\r\nB=2\r\nC=3\r\njunk\r\n; c\r\n\r\n[T]\r\n",
            WineDiffers(WineRewritesWholeFile) },
        WriteCase { "NewKeyRightAfterHeaderOfEmptySection", "[S] x\r\n;C=1\r\n[T]\r\n", "S", "C",
            "3", "[S] x\r\nC=3\r\n;C=1\r\n[T]\r\n", WineDiffers(WineRewritesWholeFile) },
        WriteCase { "NewKeyInFirstSectionOfName", "[S]\r\nA=1\r\n[S]\r\nB=1\r\n", "S", "C", "3",
            "[S]\r\nA=1\r\nC=3\r\n[S]\r\nB=1\r\n" },
        WriteCase { "NewKeyAfterLastLineWithoutLineEnd", "[S]\r\nA=1", "S", "C", "3",
            "[S]\r\nA=1\r\nC=3\r\n", OursOnly },
        // A new section goes at the end.
        WriteCase { "NewSectionAtEnd", Sample, "T", "K", "v", "[S]\r\nK=1\r\n[T]\r\nK=v\r\n" },
        WriteCase { "NewSectionAfterMissingLineEnd", "[S]\r\nK=1", "T", "K", "v",
            "[S]\r\nK=1\r\n[T]\r\nK=v\r\n" },
        WriteCase { "LinesBeforeFirstHeaderAreNoSection", "K=1\r\n", "", "K", "v",
            "K=1\r\n[]\r\nK=v\r\n", WineDiffers(WineHasPreambleSection) },
        WriteCase { "CallerSpacesDroppedValueVerbatim", "[S]\r\n", "  T ", " K ", " \"v\" ",
            "[S]\r\n[T]\r\nK= \"v\" \r\n",
            WineDiffers("Wine drops only the leading spaces of section and key, and the value's "
                        "leading blanks"),
            "v" },
        WriteCase { "MissingFileCreated", std::nullopt, "T", "K", "v", "[T]\nK=v\n", OursOnly },
        // New lines copy the file's first line end; LF when it has none.
        WriteCase { "FirstLineEndIsCr", "[S]\rA=1\nB=2\r\n", "S", "C", "3",
            "[S]\rA=1\nB=2\r\nC=3\r", OursOnly },
        WriteCase {
            "FirstLineEndIsLf", "[S]\nA=1\r\n", "T", "K", "v", "[S]\nA=1\r\n[T]\nK=v\n", OursOnly },
        WriteCase { "NoLineEndGivesLf", "[S]", "S", "K", "v", "[S]\nK=v\n", OursOnly },
        // Byte-order marks.
        WriteCase { "Utf8MarkKept", "\xEF\xBB\xBF[S]\r\nK=1\r\n", "S", "K", "2",
            "\xEF\xBB\xBF[S]\r\nK=2\r\n", OursOnly },
        WriteCase { "Utf16EditKeepsOtherUnitsAndOddByte",
            utf16File(u"\xDC00\r\n[設定]\r\nK=1\r\n[T]\r\n") + "\x7F", "設定", "k", "値",
            utf16File(u"\xDC00\r\n[設定]\r\nK=値\r\n[T]\r\n") + "\x7F", OursOnly },
        WriteCase { "Utf16NewSectionWithUnpairedSurrogate", utf16File(u"[S]\r\nK=\xD83D\xDE00"),
            "新", "K", "\xED\xA0\x80", utf16File(u"[S]\r\nK=\xD83D\xDE00\r\n[新]\r\nK=\xD800\r\n"),
            OursOnly },
        // Double-byte characters: a section whose second byte is that of ']' is written to.
        WriteCase { "ShiftJisEditInSectionWithBracketSecondByte", "[" + Zone + "]\r\nK=1\r\n", Zone,
            "K", "2", "[" + Zone + "]\r\nK=2\r\n", AllEngines, std::nullopt, true },
        WriteCase { "ShiftJisNewKeyInSectionWithBracketSecondByte", "[" + Zone + "]\r\nK=1\r\n",
            Zone, KatakanaA, "2", "[" + Zone + "]\r\nK=1\r\n" + KatakanaA + "=2\r\n", AllEngines,
            std::nullopt, true },
        WriteCase { "ShiftJisEditInSectionWithHighSecondBytes", "[" + KanjiOneA + "]\r\nK=1\r\n",
            KanjiOneA, "K", "2", "[" + KanjiOneA + "]\r\nK=2\r\n", AllEngines, std::nullopt,
            true }),
    [](const testing::TestParamInfo<WriteCase> &info) { return std::string(info.param.rule); });

TEST(WriteContractTest, WriteThatCannotHappenFailsAndChangesNothing)
{
    PrivateProfile &profile = systemPrivateProfile();
    ScratchDirectory dir;
    dir.write("readonly.ini", Sample);
    namespace fs = std::filesystem;
    fs::permissions(dir.file("readonly.ini"),
        fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    fs::create_directory(dir.file("directory.ini"));
    // A read-only file fails even when its value already stands, and even for root.
    for (const auto &[name, value] : { std::pair { "gone/t.ini", "2" }, { "directory.ini", "2" },
             { "readonly.ini", "2" }, { "readonly.ini", "1" } }) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(profile.writeString("S", "K", value, dir.file(name)));
        profile.flush(dir.file(name));
    }
    EXPECT_EQ(dir.read("readonly.ini"), Sample);
    EXPECT_TRUE(fs::is_empty(dir.file("directory.ini")));
    EXPECT_EQ(dir.listing(), "directory.ini readonly.ini");
}

} // namespace
} // namespace velmora
