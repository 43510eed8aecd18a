#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <functional>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>

#include "childprocess.h"
#endif

#include "codepage.h"
#include "error.h"
#include "inivalue.h"
#include "scratchdirectory.h"

namespace velmora {
namespace {

using test::ScratchDirectory;
using namespace std::string_literals;

// Records every platform call as one line of text.
class RecordingProfile : public PrivateProfile
{
public:
    std::string readString(
        const std::string &section, const std::string &key, const std::string &fileName) override
    {
        calls.push_back("read [" + section + "][" + key + "] " + fileName);
        return storedValue;
    }

    bool writeString(const std::string &section, const std::string &key, const std::string &value,
        const std::string &fileName) override
    {
        calls.push_back("write [" + section + "][" + key + "][" + value + "] " + fileName);
        return writeSucceeds;
    }

    void flush(const std::string &fileName) override { calls.push_back("flush " + fileName); }

    std::vector<std::string> calls;
    std::string storedValue = " v ";
    bool writeSucceeds = true;
};

using Calls = std::vector<std::string>;

std::string raisedMessage(const std::function<void()> &work)
{
    try {
        work();
    } catch (const Error &error) {
        return error.what();
    }
    return "no error";
}

TEST(ReadIniValueTest, BlankSectionOrKeySkipsTheReadButNotTheFlush)
{
    struct Case
    {
        std::string section;
        std::string key;
        std::string result;
        Calls calls;
    };
    const Case cases[] = {
        { " S\t", "\x01K ", " v ", { "read [ S\t][\x01K ] a.ini", "flush a.ini" } },
        { " \t\x01\x1F ", "K", "", { "flush a.ini" } },
        { "S", "", "", { "flush a.ini" } },
        { "S", "\r\n \x20", "", { "flush a.ini" } },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.section + "|" + c.key);
        RecordingProfile profile;
        EXPECT_EQ(ReadIniValue("a.ini", c.section, c.key, profile), c.result);
        EXPECT_EQ(profile.calls, c.calls);
    }
}

TEST(WriteIniValueTest, FlushesOnlyAfterASuccessfulWrite)
{
    RecordingProfile profile;
    WriteIniValue("a.ini", " ", "K", "", profile); // no blank test before a write
    EXPECT_EQ(profile.calls, (Calls { "write [ ][K][] a.ini", "flush a.ini" }));

    profile.calls.clear();
    profile.writeSucceeds = false;
#ifdef _WIN32
    // The name is shown as the ANSI code page reads it, whichever code page that is.
    const std::string shownName = systemToUtf8("C:\\設定\x95.ini");
#else
    const std::string shownName = "C:\\設定\xEF\xBF\xBD.ini";
#endif
    EXPECT_EQ(raisedMessage([&] { WriteIniValue("C:\\設定\x95.ini", "S", "K", "v", profile); }),
        shownName + " に書き込めません");
    EXPECT_EQ(profile.calls, (Calls { "write [S][K][v] C:\\設定\x95.ini" }));
}

TEST(WriteIniValueTest, RefusesTextThatWouldBreakTheFileBeforeAnyPlatformCall)
{
    struct Case
    {
        std::string section;
        std::string key;
        std::string value;
        bool refused;
    };
    const Case cases[] = {
        // Line breaks and NUL anywhere.
        { "S", "K", "1\r\n[T]", true },
        { "S", "K", "1\n", true },
        { "S\r", "K", "1", true },
        { "S", "K\n", "1", true },
        { "S", "K", "1\0002"s, true },
        // A section that would end early, a key that would split, or read as a comment or a
        // header once the engine drops its leading spaces.
        { "a]b", "K", "1", true },
        { "S", "a=b", "1", true },
        { "S", ";K", "1", true },
        { "S", "  ;K", "1", true },
        { "S", " [K", "1", true },
        // Outer tabs and vertical tabs: the name would be written but never found again.
        { "S", "\t;K", "1", true },
        { "S", "K\t ", "1", true },
        { " \vS", "K", "1", true },
        // All of these keep the file's lines.
        { "[S;", "K]", " ;=[]\t\"' ", false },
        { "S", "a;b", "1", false },
        { "S", "a\tb", "1", false },
        { " ", "", "1", false },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.section + "|" + c.key + "|" + c.value);
        RecordingProfile recording;
        ScratchDirectory dir;
        dir.write("t.ini", "[S]\r\nK=0\r\n");
        const std::string file = dir.file("t.ini");
        const std::string expected = c.refused ? file + " に書き込めません" : "no error";
        EXPECT_EQ(raisedMessage([&] { WriteIniValue(file, c.section, c.key, c.value, recording); }),
            expected);
        EXPECT_EQ(recording.calls.empty(), c.refused);
        EXPECT_EQ(raisedMessage([&] { WriteIniValue(file, c.section, c.key, c.value); }), expected);
        if (c.refused) {
            EXPECT_EQ(dir.read("t.ini"), "[S]\r\nK=0\r\n");
        }
    }
}

TEST(WriteIniValueTest, ShiftJisSecondBytesDecideWhatBreaksTheFile)
{
#ifdef _WIN32
    if (GetACP() != 932)
        GTEST_SKIP() << "the system code page is not Shift-JIS";
#else
    if (!std::setlocale(LC_ALL, "ja_JP.SJIS") && !std::setlocale(LC_ALL, "ja_JP.Shift_JIS"))
        GTEST_SKIP() << "no Shift-JIS locale on this machine";
#endif
    // ゾ ends in the byte of ']', which is part of it; a section that ends in the first byte of a
    // character would take the ']' of its header as its second.
    const struct
    {
        std::string section;
        bool refused;
    } cases[]
        = { { "\x83\x5D", false }, { "\x83\x5D]", true }, { "A\x83", true }, { "A\x83 ", true } };
    for (const auto &c : cases) {
        RecordingProfile recording;
        EXPECT_EQ(raisedMessage([&] { WriteIniValue("a.ini", c.section, "K", "1", recording); }),
            c.refused ? "a.ini に書き込めません" : "no error")
            << c.section;
    }
#ifndef _WIN32
    std::setlocale(LC_ALL, "C");
#endif
}

const std::string Original = "[S]\r\nK=1\r\n; " + std::string(1000, 'x') + "\r\n";

#ifndef _WIN32
// Writes in a child process whose file size limit stops the write half-way; returns the message.
std::string writeWithFileSizeLimit(const std::string &file)
{
    return test::runWithFileSizeLimit(
        100, [&] { return raisedMessage([&] { WriteIniValue(file, "S", "K", "2"); }); });
}
#endif

TEST(WriteIniValueTest, WriteThatCannotHappenRaisesAndLeavesTheFile)
{
    namespace fs = std::filesystem;
    ScratchDirectory dir;
    dir.write("full.ini", Original);
    dir.write("readonly.ini", Original);
    fs::permissions(dir.file("readonly.ini"), fs::perms::owner_read | fs::perms::group_read);
    fs::create_directory(dir.file("directory.ini"));

#ifndef _WIN32
    const std::string full = dir.file("full.ini");
    EXPECT_EQ(writeWithFileSizeLimit(full), full + " に書き込めません");
#endif
    for (const char *name : { "readonly.ini", "directory.ini", "gone/t.ini" }) {
        const std::string file = dir.file(name);
        EXPECT_EQ(
            raisedMessage([&] { WriteIniValue(file, "S", "K", "2"); }), file + " に書き込めません");
    }
    EXPECT_EQ(dir.read("full.ini"), Original);
    EXPECT_EQ(dir.read("readonly.ini"), Original);
    EXPECT_TRUE(fs::is_empty(dir.file("directory.ini")));
    EXPECT_EQ(dir.listing(), "directory.ini full.ini readonly.ini");
}

#ifndef _WIN32
TEST(WriteIniValueTest, FileItsUserMayNotWriteIsLeftAlone)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to act as another user";
    ScratchDirectory dir;
    dir.write("root.ini", Original);
    // Anyone may create files in the folder, but the INI file belongs to root alone.
    ::chmod(dir.path().c_str(), 0777);
    const std::string file = dir.file("root.ini");
    const uid_t nobody = 65534;
    EXPECT_EQ(test::runAsUser(nobody, nobody,
                  [&] { return raisedMessage([&] { WriteIniValue(file, "S", "K", "2"); }); }),
        file + " に書き込めません");
    EXPECT_EQ(dir.read("root.ini"), Original);
    EXPECT_EQ(dir.listing(), "root.ini");
}
#endif

TEST(IniValueTest, WrittenValueReadsBackAndSpaceOnlySectionStillWrites)
{
    ScratchDirectory dir;
    const std::string file = dir.file("t.ini");
    WriteIniValue(file, "Window", "Left", "120");
    WriteIniValue(file, "  ", "K", "v");
    EXPECT_EQ(ReadIniValue(file, "Window", "Left"), "120");
    EXPECT_EQ(ReadIniValue(file, "  ", "K"), "");
#ifndef _WIN32 // the bytes that the Windows functions write are the contract suite's concern
    EXPECT_EQ(dir.read("t.ini"), "[Window]\nLeft=120\n[]\nK=v\n");
#endif
}

} // namespace
} // namespace velmora
