#include <gtest/gtest.h>

#include <clocale>

#include "codepage.h"

namespace velmora {
namespace {

TEST(CodePageTest, Utf8LocaleKeepsValidTextAndReplacesInvalidBytes)
{
    ASSERT_TRUE(std::setlocale(LC_ALL, "C.UTF-8"));
    EXPECT_TRUE(systemCodePageIsUtf8());
    EXPECT_EQ(systemToUtf8("設定.ini"), "設定.ini");
    EXPECT_EQ(systemToUtf8("a\x95\x5C"), "a\xEF\xBF\xBD\\");
    EXPECT_EQ(systemToUtf8("\xED\xA0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(utf8ToSystem("設定"), "設定");
    std::setlocale(LC_ALL, "C");
}

TEST(CodePageTest, ShiftJisLocaleUsesWindowsCodePage932)
{
    if (!std::setlocale(LC_ALL, "ja_JP.SJIS") && !std::setlocale(LC_ALL, "ja_JP.Shift_JIS"))
        GTEST_SKIP() << "no Shift-JIS locale on this machine";
    EXPECT_FALSE(systemCodePageIsUtf8());
    // 表 ends in the byte of a backslash; ～ and ① exist only in Windows' variant.
    EXPECT_EQ(systemToUtf8("\x95\x5C\x81\x60\x87\x40"), "表～①");
    EXPECT_EQ(utf8ToSystem("表～①"), "\x95\x5C\x81\x60\x87\x40");
    EXPECT_EQ(systemToUtf8("a\x85\x40"), "a\xEF\xBF\xBD@");
    // A character that the code page cannot hold becomes one '?', whatever its UTF-8 length.
    EXPECT_EQ(utf8ToSystem("a€bĀc😀d"), "a?b?c?d");
    std::setlocale(LC_ALL, "C");
}

} // namespace
} // namespace velmora
