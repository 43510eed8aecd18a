// What every system's safe replacement does with names: a temporary file beside a file of the
// longest name the system takes still fits, and temporary files that killed replacements left
// are removed unless a live writer holds them.

#include <gtest/gtest.h>

#include <string>

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
    for (const char *left : { ".a.ini.velmora-Stale1", ".a.ini.velmora-Held01",
             ".b.ini.velmora-7stAle", ".a.ini.velmora-journal" })
        dir.write(left, "left behind");
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

} // namespace
} // namespace velmora
