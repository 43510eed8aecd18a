#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <thread>

#include <windows.h>

#include "atomicfile.h"
#include "filebytes.h"
#include "folderlock.h"
#include "scratchdirectory.h"

namespace velmora {
namespace {

using test::ScratchDirectory;

// Holds a file open the way an editor or a virus scanner may: nobody else may delete or rename
// it meanwhile.
class HeldFile
{
public:
    explicit HeldFile(const std::string &path)
        : m_handle(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
            FILE_ATTRIBUTE_NORMAL, nullptr))
    { }
    ~HeldFile() { release(); }
    HeldFile(const HeldFile &) = delete;
    HeldFile &operator=(const HeldFile &) = delete;

    bool isHeld() const { return m_handle != INVALID_HANDLE_VALUE; }
    void release()
    {
        if (isHeld())
            CloseHandle(std::exchange(m_handle, INVALID_HANDLE_VALUE));
    }

private:
    HANDLE m_handle;
};

std::array<FileText, 2> pairIn(const ScratchDirectory &dir)
{
    return { FileText { dir.file("ITEM.CSV"), bytesAtHand("new items") },
        FileText { dir.file("VALUE.CSV"), bytesAtHand("new values") } };
}

TEST(ReplaceFilesWinTest, ReadOnlyFileStopsTheWholeReplacementBeforeAnyRename)
{
    ScratchDirectory dir;
    dir.write("ITEM.CSV", "old items");
    dir.write("VALUE.CSV", "old values");
    SetFileAttributesA(dir.file("VALUE.CSV").c_str(), FILE_ATTRIBUTE_READONLY);
    const ReplaceOutcome outcome = replaceFiles(pairIn(dir));
    EXPECT_EQ(outcome.failedStep, ReplaceStep::Create);
    EXPECT_EQ(outcome.fileIndex, 1u);
    EXPECT_EQ(dir.read("ITEM.CSV"), "old items");
    EXPECT_EQ(dir.read("VALUE.CSV"), "old values");
    EXPECT_EQ(dir.listing(), "ITEM.CSV VALUE.CSV");
    SetFileAttributesA(dir.file("VALUE.CSV").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(ReplaceFilesWinTest, WaitsForAProgramThatHoldsTheFileBriefly)
{
    ScratchDirectory dir;
    dir.write("ITEM.CSV", "old items");
    HeldFile held(dir.file("ITEM.CSV"));
    ASSERT_TRUE(held.isHeld());
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        held.release();
    });
    const ReplaceOutcome outcome = replaceFiles(pairIn(dir));
    releaser.join();
    EXPECT_TRUE(outcome.succeeded());
    EXPECT_EQ(dir.read("ITEM.CSV"), "new items");
    EXPECT_EQ(dir.read("VALUE.CSV"), "new values");
    EXPECT_EQ(dir.listing(), "ITEM.CSV VALUE.CSV");
}

TEST(ReplaceFilesWinTest, GivesUpOnAFileThatStaysHeldAndKeepsItsBytes)
{
    ScratchDirectory dir;
    dir.write("ITEM.CSV", "old items");
    const HeldFile held(dir.file("ITEM.CSV"));
    ASSERT_TRUE(held.isHeld());
    const ReplaceOutcome outcome = replaceFiles(pairIn(dir));
    EXPECT_EQ(outcome.failedStep, ReplaceStep::Replace);
    EXPECT_EQ(outcome.fileIndex, 0u);
    EXPECT_EQ(dir.read("ITEM.CSV"), "old items");
    EXPECT_EQ(dir.listing(), "ITEM.CSV") << "no temporary file stays behind";
}

TEST(ReplaceFilesWinTest, HeldSecondFilePutsTheFirstBack)
{
    for (const bool firstExisted : { true, false }) {
        SCOPED_TRACE(firstExisted ? "first file existed" : "no first file before");
        ScratchDirectory dir;
        if (firstExisted)
            dir.write("ITEM.CSV", "old items");
        dir.write("VALUE.CSV", "old values");
        const HeldFile held(dir.file("VALUE.CSV"));
        ASSERT_TRUE(held.isHeld());
        const ReplaceOutcome outcome = replaceFiles(pairIn(dir));
        EXPECT_EQ(outcome.failedStep, ReplaceStep::Replace);
        EXPECT_EQ(outcome.fileIndex, 1u);
        EXPECT_EQ(dir.read("VALUE.CSV"), "old values");
        if (firstExisted) {
            EXPECT_EQ(dir.read("ITEM.CSV"), "old items");
        }
        EXPECT_EQ(dir.listing(), firstExisted ? "ITEM.CSV VALUE.CSV" : "VALUE.CSV");
    }
}

TEST(ReplaceFilesWinTest, ReplacedFileKeepsItsAttributes)
{
    ScratchDirectory dir;
    dir.write("ITEM.CSV", "old items");
    const std::string path = dir.file("ITEM.CSV");
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN);
    const FileText file { path, bytesAtHand("new items") };
    EXPECT_TRUE(replaceFiles({ &file, 1 }).succeeded());
    EXPECT_EQ(dir.read("ITEM.CSV"), "new items");
    EXPECT_TRUE(GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_HIDDEN);
}

TEST(ReplaceFilesWinTest, PipeIsNeitherReadNorReplaced)
{
    const std::string pipe = "\\\\.\\pipe\\velmora-test-" + std::to_string(GetCurrentProcessId());
    const HANDLE server = CreateNamedPipeA(pipe.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE,
        PIPE_UNLIMITED_INSTANCES, 4096, 4096, 0, nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(readFileBytes(pipe).has_value());
    const FileText file { pipe, bytesAtHand("new") };
    EXPECT_EQ(replaceFiles({ &file, 1 }).failedStep, ReplaceStep::Create);
    CloseHandle(server);
}

// Every spelling of one folder names the same lock: letter case, slashes, a final separator or
// none, a detour through a subfolder.
TEST(FolderLockWinTest, TakesTurnsWithAnotherHolderOfTheFolderByAnySpelling)
{
    ScratchDirectory dir;
    CreateDirectoryA(dir.file("sub").c_str(), nullptr);
    std::string upper = dir.path();
    CharUpperBuffA(upper.data(), DWORD(upper.size()));
    std::string slashes = dir.path();
    std::replace(slashes.begin(), slashes.end(), '\\', '/');
    const std::string spellings[] = { dir.path(), upper, slashes,
        dir.path().substr(0, dir.path().size() - 1), dir.file("sub\\..") };
    for (const std::string &spelling : spellings) {
        SCOPED_TRACE(spelling);
        FolderLock held(dir.path(), FolderLock::Mode::Exclusive);
        ASSERT_TRUE(held.isHeld());
        // A mutex belongs to its thread: another thread stands for another process.
        const auto takenElsewhere = [&] {
            bool taken = false;
            std::thread([&] {
                taken = FolderLock(spelling, FolderLock::Mode::Shared).isHeld();
            }).join();
            return taken;
        };
        EXPECT_FALSE(takenElsewhere());
        held.release();
        EXPECT_TRUE(takenElsewhere());
    }
}

} // namespace
} // namespace velmora
