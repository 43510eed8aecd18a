#include <gtest/gtest.h>

#include <filesystem>

#include "executabledirectory.h"
#include "fileexists.h"
#include "scratchdirectory.h"

namespace velmora {
namespace {

using test::ScratchDirectory;

TEST(FileExistsTest, OnlyAFileCounts)
{
    ScratchDirectory dir;
    dir.write("KVT.INI", "");
    std::filesystem::create_directory(dir.file("folder"));
    EXPECT_TRUE(fileExists(dir.file("KVT.INI")));
    EXPECT_FALSE(fileExists(dir.file("folder")));
    EXPECT_FALSE(fileExists(dir.file("missing.ini")));
    EXPECT_FALSE(fileExists(dir.file("missing/KVT.INI")));
    EXPECT_FALSE(fileExists(""));
}

TEST(ExecutableDirectoryTest, IsTheFullPathOfTheFolderOfTheRunningProgram)
{
    const std::string directory = executableDirectory();
    ASSERT_FALSE(directory.empty());
    EXPECT_TRUE(directory.back() == '/' || directory.back() == '\\') << directory;
    EXPECT_TRUE(std::filesystem::path(directory).is_absolute()) << directory;
    EXPECT_TRUE(
        fileExists(directory + "platform_tests") || fileExists(directory + "platform_tests.exe"))
        << directory;
}

} // namespace
} // namespace velmora
