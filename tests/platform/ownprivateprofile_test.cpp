// What our own engine adds to the shared contract: safe replacement, writers that take turns,
// readers that never see a torn file.

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <functional>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "filebytes.h"
#include "ownprivateprofile.h"
#include "scratchdirectory.h"

namespace velmora {
namespace {

using test::ScratchDirectory;

// Runs work in a child process; the child's result is its exit status.
pid_t runInChild(const std::function<bool()> &work)
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(work() ? 0 : 1);
    return child;
}

bool succeeded(pid_t child)
{
    int status = 0;
    return ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(OwnPrivateProfileTest, TwoProcessesWritingAtOnceKeepEveryKey)
{
    ScratchDirectory dir;
    const std::string file = dir.file("shared.ini"); // missing: both also race to create it
    int gate[2];
    ASSERT_EQ(::pipe(gate), 0);
    std::vector<pid_t> children;
    for (const std::string writer : { "a", "b" }) {
        children.push_back(runInChild([&] {
            ::close(gate[1]);
            char ignored;
            (void)!::read(gate[0], &ignored, 1); // both start when the gate closes
            OwnPrivateProfile profile;
            bool allWritten = true;
            for (int i = 0; i < 500; ++i) {
                allWritten = profile.writeString(i % 2 ? "Odd" : "Even", writer + std::to_string(i),
                                 std::to_string(i), file)
                    && allWritten;
            }
            return allWritten;
        }));
    }
    ::close(gate[0]);
    ::close(gate[1]);
    for (const pid_t child : children)
        EXPECT_TRUE(succeeded(child));

    OwnPrivateProfile profile;
    int found = 0;
    for (const std::string writer : { "a", "b" }) {
        for (int i = 0; i < 500; ++i)
            found += profile.readString(i % 2 ? "Odd" : "Even", writer + std::to_string(i), file)
                == std::to_string(i);
    }
    EXPECT_EQ(found, 1000);
    EXPECT_EQ(dir.listing(), "shared.ini");
}

TEST(OwnPrivateProfileTest, ReaderSeesTheOldOrTheNewFileWhole)
{
    ScratchDirectory dir;
    const std::string file = dir.file("big.ini");
    std::string rest = "[Filler]\n";
    for (int i = 0; rest.size() < 256 * 1024; ++i)
        rest += "key" + std::to_string(i) + "=some value of the filler section\n";
    const std::string oldFile = "[S]\nK=old\n" + rest;
    const std::string newFile = "[S]\nK=new\n" + rest;
    dir.write("big.ini", oldFile);

    const pid_t writer = runInChild([&] {
        OwnPrivateProfile profile;
        bool allWritten = true;
        for (int i = 0; i < 200; ++i)
            allWritten = profile.writeString("S", "K", i % 2 ? "old" : "new", file) && allWritten;
        return allWritten;
    });
    OwnPrivateProfile profile;
    int torn = 0;
    int reads = 0;
    int status = 0;
    for (; ::waitpid(writer, &status, WNOHANG) == 0; ++reads) {
        const std::string value = profile.readString("S", "K", file);
        const std::optional<FileBytes> bytes = readFileBytes(file);
        torn += (value != "old" && value != "new") || !bytes
            || (bytes->view() != oldFile && bytes->view() != newFile);
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_GT(reads, 0);
    EXPECT_EQ(torn, 0) << "of " << reads << " reads";
    EXPECT_EQ(dir.read("big.ini"), oldFile);
}

TEST(OwnPrivateProfileTest, ReplacesTheFileALinkNamesAndKeepsItsPermissionBits)
{
    ScratchDirectory dir;
    dir.write("real.ini", "[S]\nK=1\n");
    ::chmod(dir.file("real.ini").c_str(), 0640);
    std::filesystem::create_symlink("real.ini", dir.file("link.ini"));
    EXPECT_TRUE(OwnPrivateProfile().writeString("S", "K", "2", dir.file("link.ini")));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link.ini")));
    EXPECT_EQ(dir.read("real.ini"), "[S]\nK=2\n");
    struct stat info = {};
    ::stat(dir.file("real.ini").c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(dir.listing(), "link.ini real.ini");
}

TEST(OwnPrivateProfileTest, LinkFlippedDuringWritesNeverCarriesOneFilesTextIntoAnother)
{
    ScratchDirectory dir;
    const std::string other = "[B]\nown=1\n";
    const std::string own = "[T]\nown=1\n";
    dir.write("B.ini", other);
    dir.write("t.ini", own);
    // Another program makes t.ini a file and a link to B.ini in turn, as fast as it can.
    const pid_t flipper = runInChild([&] {
        for (;;) {
            dir.write("file.tmp", own);
            ::rename(dir.file("file.tmp").c_str(), dir.file("t.ini").c_str());
            ::symlink("B.ini", dir.file("link.tmp").c_str());
            ::rename(dir.file("link.tmp").c_str(), dir.file("t.ini").c_str());
        }
        return true;
    });
    OwnPrivateProfile profile;
    for (int i = 0; i < 500; ++i)
        profile.writeString("S", "K", std::to_string(i % 2), dir.file("t.ini"));
    ::kill(flipper, SIGKILL);
    ::waitpid(flipper, nullptr, 0);
    // Written through the link, B.ini may have gained the key; it never becomes t.ini.
    const std::string b = dir.read("B.ini");
    EXPECT_TRUE(b.starts_with(other)) << b;
    EXPECT_EQ(b.find("[T]"), std::string::npos) << b;
}

TEST(OwnPrivateProfileTest, NameWithoutDirectoryIsTakenFromTheCurrentDirectory)
{
    ScratchDirectory dir;
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    OwnPrivateProfile profile;
    EXPECT_TRUE(profile.writeString("S", "K", "v", "plain.ini"));
    EXPECT_EQ(profile.readString("S", "K", "plain.ini"), "v");
    std::filesystem::current_path(previous);
    EXPECT_EQ(dir.read("plain.ini"), "[S]\nK=v\n");
}

TEST(OwnPrivateProfileTest, NewKeyBeforeAnEmptyLineKeepsThatLine)
{
    // The file's first line end is CR; a new line ending in CR right before the LF of an empty
    // line would pair with it into one line end and swallow the empty line.
    ScratchDirectory dir;
    dir.write("t.ini", "[S]\rA=1\r\n\n[T]\r");
    EXPECT_TRUE(OwnPrivateProfile().writeString("S", "B", "2", dir.file("t.ini")));
    EXPECT_EQ(dir.read("t.ini"), "[S]\rA=1\r\nB=2\r\n\n[T]\r");
}

TEST(OwnPrivateProfileTest, RefusesTextThatWouldBreakTheFile)
{
    ScratchDirectory dir;
    dir.write("t.ini", "[S]\nK=1\n");
    OwnPrivateProfile profile;
    EXPECT_FALSE(profile.writeString("S", "K", "1\n[T]", dir.file("t.ini")));
    EXPECT_FALSE(profile.writeString("S", " ;K", "2", dir.file("t.ini")));
    EXPECT_FALSE(profile.writeString("S]", "K", "2", dir.file("t.ini")));
    EXPECT_EQ(dir.read("t.ini"), "[S]\nK=1\n");
}

} // namespace
} // namespace velmora
