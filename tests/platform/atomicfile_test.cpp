// What every system's safe replacement does with names: a temporary file beside a file of the
// longest name the system takes still fits, and temporary files that killed replacements left
// are removed unless a live writer holds them.

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

#include "atomicfile.h"
#include "scratchdirectory.h"

namespace velmora {
namespace {

using test::ScratchDirectory;

// A temporary file that a live writer holds, as a replacement holds its own.
class HeldFile
{
public:
    explicit HeldFile(const std::string &path)
    {
#ifdef _WIN32
        m_handle = CreateFileA(
            path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
#else
        m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (m_fd >= 0 && ::flock(m_fd, LOCK_EX) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
#endif
    }
    ~HeldFile()
    {
#ifdef _WIN32
        if (m_handle != INVALID_HANDLE_VALUE)
            CloseHandle(m_handle);
#else
        if (m_fd >= 0)
            ::close(m_fd);
#endif
    }
    HeldFile(const HeldFile &) = delete;
    HeldFile &operator=(const HeldFile &) = delete;

#ifdef _WIN32
    bool isHeld() const
    {
        return m_handle != INVALID_HANDLE_VALUE;
    }

private:
    HANDLE m_handle;
#else
    bool isHeld() const
    {
        return m_fd >= 0;
    }

private:
    int m_fd = -1;
#endif
};

// The longest name a file may have here: what the file system takes, or on Windows 255 units
// or what the ANSI functions' path limit leaves of them.
std::string longestName(const ScratchDirectory &dir)
{
#ifdef _WIN32
    const std::size_t length = std::min<std::size_t>(255, MAX_PATH - 1 - dir.path().size());
#else
    const std::size_t length = std::size_t(::pathconf(dir.path().c_str(), _PC_NAME_MAX));
#endif
    return std::string(length - 4, 'n') + ".ini";
}

TEST(ReplaceFilesTest, FileOfTheLongestNameIsReplaced)
{
    ScratchDirectory dir;
    const std::string name = longestName(dir);
    dir.write(name, "old");
    const FileText file { dir.file(name), bytesAtHand("new") };
    EXPECT_TRUE(replaceFiles({ &file, 1 }).succeeded());
    EXPECT_EQ(dir.read(name), "new");
    EXPECT_EQ(dir.listing(), name);
}

TEST(ReplaceFilesTest, RemovesWhatKilledReplacementsLeftUnlessAWriterHoldsIt)
{
    ScratchDirectory dir;
    dir.write("a.ini", "old");
    // A person's own files may look much like ours.
    for (const char *own : { ".a.ini.velmora-backup", ".a.ini.velmora-Stale1.txt",
             ".b.ini.velmora-OLD001", "other.txt" })
        dir.write(own, "someone else's");
    for (const char *left :
        { ".a.ini.velmora-Stale1", ".a.ini.velmora-Held01", ".b.ini.velmora-7stAle" })
        dir.write(left, "left behind");
    // The note of a replacement of a.ini and c.ini that was cut off after its last rename.
    using namespace std::string_literals;
    dir.write(".a.ini.velmora-journal",
        "a.ini\0.a.ini.velmora-Gone01\0\0c.ini\0.c.ini.velmora-Gone02\0\0"s);
    const HeldFile held(dir.file(".a.ini.velmora-Held01"));
    ASSERT_TRUE(held.isHeld());

    // Replacing a file removes its own left-overs; the note of a cut-off replacement of several
    // files is not one of them.
    const FileText file { dir.file("a.ini"), bytesAtHand("new") };
    EXPECT_TRUE(replaceFiles({ &file, 1 }).succeeded());
    EXPECT_EQ(dir.listing(),
        ".a.ini.velmora-Held01 .a.ini.velmora-Stale1.txt .a.ini.velmora-backup "
        ".a.ini.velmora-journal .b.ini.velmora-7stAle .b.ini.velmora-OLD001 a.ini other.txt");

    // Finishing a cut-off replacement removes every left-over in the folder that nobody holds.
    const std::string paths[] = { dir.file("a.ini"), dir.file("c.ini") };
    EXPECT_TRUE(finishCutOffReplacement(paths));
    EXPECT_EQ(dir.listing(),
        ".a.ini.velmora-Held01 .a.ini.velmora-Stale1.txt .a.ini.velmora-backup "
        ".b.ini.velmora-OLD001 a.ini other.txt");
}

// A sweep of left-overs in the folder, made while a save of two files is under way (here by a
// load in another process), finds the temporary file of the first one complete and waiting for
// its rename: that writer is live, and its file stays.
TEST(ReplaceFilesTest, SweepWhileASaveRunsLeavesItsTemporaryFiles)
{
    ScratchDirectory dir;
    dir.write("ITEM.CSV", "old items");
    dir.write("VALUE.CSV", "old values");
    const std::string paths[] = { dir.file("ITEM.CSV"), dir.file("VALUE.CSV") };
    bool swept = false;
    const std::array files { FileText { paths[0], bytesAtHand("new items") },
        FileText { paths[1], [&](const PutBytes &put) {
                      swept = finishCutOffReplacement(paths);
                      return put("new values");
                  } } };
    EXPECT_TRUE(replaceFiles(files).succeeded());
    EXPECT_TRUE(swept);
    EXPECT_EQ(dir.read("ITEM.CSV"), "new items");
    EXPECT_EQ(dir.read("VALUE.CSV"), "new values");
    EXPECT_EQ(dir.listing(), "ITEM.CSV VALUE.CSV");
}

// Every file under dir with its bytes, in a stable order.
std::string contentsOf(const ScratchDirectory &dir)
{
    std::map<std::string, std::string> files;
    for (const auto &entry : std::filesystem::recursive_directory_iterator(dir.path())) {
        if (entry.is_regular_file()) {
            const std::string name
                = std::filesystem::relative(entry.path(), dir.path()).generic_string();
            files[name] = dir.read(name);
        }
    }
    std::string contents;
    for (const auto &[name, bytes] : files)
        contents += name + "=" + bytes + "\n";
    return contents;
}

// The note that a replacement of ITEM.CSV and VALUE.CSV keeps while it renames them.
struct NoteCase
{
    const char *name;
    // Fields per file: name, temporary name, old file's second name; an earlier layout put the
    // folder before them ("<outside>" for a folder of its own) and whether the file existed after.
    std::vector<std::vector<std::string>> files;
    bool repaired; // false: refused, and nothing changes
};

void PrintTo(const NoteCase &c, std::ostream *os)
{
    *os << c.name;
}

class CutOffNoteTest : public testing::TestWithParam<NoteCase>
{
};

// The repair after a crash renames and removes files by what the note says: only the names of
// the two files and names of our own temporary files beside them are taken. Any other note is
// kept, and the repair fails, so that loads and saves report it.
TEST_P(CutOffNoteTest, RepairTouchesOnlyThePairAndOurTemporaryFiles)
{
    const NoteCase &c = GetParam();
    ScratchDirectory dir;
    for (const char *name : { "ITEM.CSV", "VALUE.CSV", "KVT.INI" }) {
        dir.write(name, std::string("old ") + name);
        dir.write("." + std::string(name) + ".velmora-Ab3dE5", std::string("new ") + name);
    }
    std::filesystem::create_directory(dir.file("outside"));
    dir.write("outside/victim", "victim's own bytes");
    dir.write("outside/.victim.velmora-Ab3dE5", "planted");
    std::string note;
    for (const std::vector<std::string> &file : c.files) {
        for (std::string field : file) {
            if (field == "<outside>")
                field = dir.file("outside") + dir.path().back();
            note.append(field).push_back('\0');
        }
    }
    if (c.files.empty())
        note = "no note of ours";
    dir.write(".ITEM.CSV.velmora-journal", note);
    const std::string before = contentsOf(dir);

    const std::string paths[] = { dir.file("ITEM.CSV"), dir.file("VALUE.CSV") };
    EXPECT_EQ(finishCutOffReplacement(paths), c.repaired);
    EXPECT_EQ(replacementWasCutOff(paths), !c.repaired);
    if (c.repaired) {
        EXPECT_EQ(dir.read("ITEM.CSV"), "new ITEM.CSV");
        EXPECT_EQ(dir.read("VALUE.CSV"), "new VALUE.CSV");
        EXPECT_EQ(dir.read("KVT.INI"), "old KVT.INI");
        EXPECT_EQ(dir.read("outside/victim"), "victim's own bytes");
    } else {
        EXPECT_EQ(contentsOf(dir), before);
    }
}

const std::vector<std::string> Value = { "VALUE.CSV", ".VALUE.CSV.velmora-Ab3dE5", "" };
const std::vector<std::string> EarlierValue
    = { "", "VALUE.CSV", ".VALUE.CSV.velmora-Ab3dE5", "", "1" };

INSTANTIATE_TEST_SUITE_P(Notes, CutOffNoteTest,
    testing::Values(
        NoteCase { "Ours", { { "ITEM.CSV", ".ITEM.CSV.velmora-Ab3dE5", "" }, Value }, true },
        NoteCase { "OursOfAnEarlierVersion",
            { { "", "ITEM.CSV", ".ITEM.CSV.velmora-Ab3dE5", "", "1" }, EarlierValue }, true },
        NoteCase { "TemporaryInAnotherFolder",
            { { "", "ITEM.CSV", "../outside/victim", "", "1" }, EarlierValue }, false },
        NoteCase { "TemporaryThatIsAnotherFile", { { "ITEM.CSV", "KVT.INI", "" }, Value }, false },
        NoteCase { "OldFileThatIsAnotherFile",
            { { "", "ITEM.CSV", ".ITEM.CSV.velmora-Ab3dE5", "KVT.INI", "1" }, EarlierValue },
            false },
        NoteCase { "FileThatIsNotOneOfThePair",
            { { "", "KVT.INI", ".KVT.INI.velmora-Ab3dE5", "", "1" }, EarlierValue }, false },
        NoteCase { "FileInAnotherFolder",
            { { "<outside>", "victim", ".victim.velmora-Ab3dE5", "", "1" }, EarlierValue }, false },
        NoteCase { "NoNoteOfOurs", {}, false }),
    [](const testing::TestParamInfo<NoteCase> &info) { return std::string(info.param.name); });

} // namespace
} // namespace velmora
