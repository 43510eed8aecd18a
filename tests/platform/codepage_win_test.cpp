#include <gtest/gtest.h>

#include <windows.h>

#include "codepage.h"

namespace velmora {
namespace {

// The conversions follow the ANSI code page that the system runs with; the tests know the
// Western European and the Japanese ones.
TEST(CodePageWinTest, ConvertsThroughTheAnsiCodePage)
{
    EXPECT_FALSE(systemCodePageIsUtf8());
    EXPECT_EQ(systemToUtf8("KVT.INI"), "KVT.INI");
    switch (GetACP()) {
    case 1252:
        EXPECT_EQ(systemToUtf8("caf\xE9 \x80"), "café €");
        EXPECT_EQ(utf8ToSystem("café €"), "caf\xE9 \x80");
        EXPECT_EQ(utf8ToSystem("設定"), "??");
        break;
    case 932:
        // 表 ends in the byte of a backslash; ～ and ① exist only in Windows' variant.
        EXPECT_EQ(systemToUtf8("\x95\x5C\x81\x60\x87\x40"), "表～①");
        EXPECT_EQ(utf8ToSystem("表～①"), "\x95\x5C\x81\x60\x87\x40");
        EXPECT_EQ(utf8ToSystem("é"), "?");
        break;
    default:
        GTEST_SKIP() << "no expectations for code page " << GetACP();
    }
}

TEST(CodePageWinTest, WhatTheCodePageCannotHoldBecomesAQuestionMark)
{
    // Never a look-alike: "Ā" is no "A".
    EXPECT_EQ(utf8ToSystem("\xC4\x80=1"), "?=1");
    EXPECT_EQ(utf8ToSystem("a\xFF!"), "a?!");
}

} // namespace
} // namespace velmora
