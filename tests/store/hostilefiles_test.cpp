// What another user or program may put where the item files or an INI file should be: devices,
// FIFOs, sockets and planted links. Loads and reads give up at once with their message, saves and
// writes are refused before anything is written, and whatever stood there stays as it was.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include "childprocess.h"
#include "inivalue.h"
#include "itemfiles.h"
#include "scratchdirectory.h"
#include "snapshotprofile.h"
#include "storecalls.h"
#include "systemcallfault.h"

namespace velmora {
namespace {

using test::oneItem;
using test::reported;
using test::ScratchDirectory;
namespace fs = std::filesystem;

// The calls that open a path.
const std::vector<long> OpenCalls = {
    SYS_openat,
#ifdef SYS_open
    SYS_open,
#endif
};

// The absolute path of name in dir as the system names it, without links in its folders.
std::string systemPath(const ScratchDirectory &dir, const std::string &name)
{
    return (fs::canonical(dir.path()) / name).string();
}

const char *const OldItems = "\"01\",\"old\",\"f\",\"s\",\"k\"\r\n";
const char *const OldValues = "\"01\",\"01\",\"old\",\"1\"\r\n";
const char *const OldIni = "[S]\r\nK=1\r\n";

enum class Node { Fifo, Socket, LinkToNullDevice, LinkToZeroDevice };

// Makes node at path; false when this system does not let us (making devices needs root).
bool makeNode(const ScratchDirectory &dir, Node node, const std::string &path)
{
    switch (node) {
    case Node::Fifo:
        return ::mkfifo(path.c_str(), 0666) == 0;
    case Node::Socket: {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        const bool bound
            = ::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
        ::close(fd);
        return bound;
    }
    case Node::LinkToNullDevice:
    case Node::LinkToZeroDevice: {
        const dev_t device = node == Node::LinkToNullDevice ? ::makedev(1, 3) : ::makedev(1, 5);
        return ::mknod(dir.file("device").c_str(), S_IFCHR | 0666, device) == 0
            && ::symlink("device", path.c_str()) == 0;
    }
    }
    return false;
}

struct NodeCase
{
    const char *name;
    Node node;
    const char *file; // ITEM.CSV, VALUE.CSV or t.ini
};

void PrintTo(const NodeCase &c, std::ostream *os)
{
    *os << c.name;
}

class SpecialFileTest : public testing::TestWithParam<NodeCase>
{
};

TEST_P(SpecialFileTest, IsRefusedAtOnceAndStaysWhatItWas)
{
    const NodeCase &c = GetParam();
    ScratchDirectory dir;
    for (const auto &[name, bytes] :
        { std::pair { "ITEM.CSV", OldItems }, { "VALUE.CSV", OldValues }, { "t.ini", OldIni } }) {
        if (c.file != std::string(name))
            dir.write(name, bytes);
    }
    const std::string path = dir.file(c.file);
    if (!makeNode(dir, c.node, path))
        GTEST_SKIP() << "cannot make the node here (making a device needs root)";
    const auto typeOf = [](const std::string &node) {
        return fs::status(node).type(); // through the link, the device itself
    };
    const fs::file_type nodeType = typeOf(path);
    const std::string listing = dir.listing();

    // Every call that may meet the node: each gives up at once with its message.
    const auto useTheNode = [&] {
        if (c.file == std::string("t.ini")) {
            return "read '" + ReadIniValue(path, "S", "K") + "', snapshot read '"
                + ReadIniValue(path, "S", "K", *makeSnapshotProfile()) + "', "
                + reported([&] { WriteIniValue(path, "S", "K", "2"); });
        }
        return reported([&] {
            c.file == std::string("ITEM.CSV") ? (void)LoadItemFile(path)
                                              : (void)LoadValueFile(path);
        }) + ", "
            + reported([&] { WriteItemFiles(dir.path(), oneItem()); });
    };
    EXPECT_EQ(useTheNode(),
        c.file == std::string("t.ini")
            ? "read '', snapshot read '', " + path + " に書き込めません"
            : "ファイル " + path + " は開けません, ファイル " + path + " を作成できません");

    // The node is only ever looked at, never opened: opening a device may act on it (a tape
    // rewinds), and opening a FIFO makes its writers see a reader.
    const std::string node = systemPath(dir, c.file);
    const std::string device = systemPath(dir, "device");
    const auto opensTheNode = [&](const test::SystemCall &call) {
        const int flags = call.openFlags();
        if (flags & O_PATH)
            return false;
        const bool isLink = c.node == Node::LinkToNullDevice || c.node == Node::LinkToZeroDevice;
        return call.path() == device || (call.path() == node && !(isLink && (flags & O_NOFOLLOW)));
    };
    const auto run = test::runWithSystemCallFault(
        { OpenCalls, 1, test::SystemCallFault::Kind::FailOnce, EIO, opensTheNode }, useTheNode);
    if (run) {
        EXPECT_FALSE(run->reached) << "the node was opened";
    }

    EXPECT_EQ(typeOf(path), nodeType);
    EXPECT_EQ(dir.listing(), listing);
    for (const auto &[name, bytes] :
        { std::pair { "ITEM.CSV", OldItems }, { "VALUE.CSV", OldValues }, { "t.ini", OldIni } }) {
        if (c.file != std::string(name)) {
            EXPECT_EQ(dir.read(name), bytes);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Nodes, SpecialFileTest,
    testing::Values(NodeCase { "FifoAsItemFile", Node::Fifo, "ITEM.CSV" },
        NodeCase { "SocketAsValueFile", Node::Socket, "VALUE.CSV" },
        NodeCase { "LinkToNullDeviceAsItemFile", Node::LinkToNullDevice, "ITEM.CSV" },
        NodeCase { "LinkToZeroDeviceAsValueFile", Node::LinkToZeroDevice, "VALUE.CSV" },
        NodeCase { "FifoAsIniFile", Node::Fifo, "t.ini" },
        NodeCase { "LinkToZeroDeviceAsIniFile", Node::LinkToZeroDevice, "t.ini" }),
    [](const testing::TestParamInfo<NodeCase> &info) { return std::string(info.param.name); });

// A link to a file that does not exist yet: a write creates the file where the link points, the
// link stays a link; a write that is refused or fails leaves no file there, not even an empty one.
struct MissingBehindLinkCase
{
    const char *name;
    const char *link; // ITEM.CSV or t.ini, a link to "real" that does not exist
    const char *fifo; // an item file that is a FIFO, or nullptr
    std::size_t fileSizeLimit; // 0: none
    const char *outcome; // with <dir> for the folder
};

void PrintTo(const MissingBehindLinkCase &c, std::ostream *os)
{
    *os << c.name;
}

class MissingBehindLinkTest : public testing::TestWithParam<MissingBehindLinkCase>
{
};

TEST_P(MissingBehindLinkTest, FileIsCreatedOnlyByAWriteThatSucceeds)
{
    const MissingBehindLinkCase &c = GetParam();
    ScratchDirectory dir;
    fs::create_symlink("real", dir.file(c.link));
    const bool itemSave = c.link == std::string("ITEM.CSV");
    if (itemSave && !c.fifo)
        dir.write("VALUE.CSV", OldValues);
    if (c.fifo) {
        ASSERT_EQ(::mkfifo(dir.file(c.fifo).c_str(), 0666), 0);
    }
    const std::string listing = dir.listing();
    const auto write = [&] {
        return reported([&] {
            if (itemSave)
                WriteItemFiles(dir.path(), oneItem());
            else
                WriteIniValue(dir.file("t.ini"), "S", "K", "2");
        });
    };
    const std::string outcome
        = c.fileSizeLimit == 0 ? write() : test::runWithFileSizeLimit(c.fileSizeLimit, write);

    std::string expected = c.outcome;
    if (const std::size_t at = expected.find("<dir>"); at != std::string::npos)
        expected.replace(at, 5, dir.path());
    EXPECT_EQ(outcome, expected);
    EXPECT_TRUE(fs::is_symlink(dir.file(c.link)));
    if (outcome == "done") {
        EXPECT_EQ(dir.read("real"),
            itemSave ? FormatItemFiles(oneItem()).items : std::string("[S]\nK=2\n"));
    } else {
        EXPECT_EQ(dir.listing(), listing);
    }
}

INSTANTIATE_TEST_SUITE_P(Writes, MissingBehindLinkTest,
    testing::Values(MissingBehindLinkCase { "SaveCreatesTheFile", "ITEM.CSV", nullptr, 0, "done" },
        MissingBehindLinkCase { "IniWriteCreatesTheFile", "t.ini", nullptr, 0, "done" },
        MissingBehindLinkCase { "SaveRefusedForTheOtherFile", "ITEM.CSV", "VALUE.CSV", 0,
            "ファイル <dir>VALUE.CSV を作成できません" },
        MissingBehindLinkCase {
            "SaveOnAFullDisk", "ITEM.CSV", nullptr, 8, "ストリームへの書き込みエラー" },
        MissingBehindLinkCase {
            "IniWriteOnAFullDisk", "t.ini", nullptr, 4, "<dir>t.ini に書き込めません" }),
    [](const testing::TestParamInfo<MissingBehindLinkCase> &info) {
        return std::string(info.param.name);
    });

bool systemProtectsLinks()
{
    int on = 0;
    std::ifstream("/proc/sys/fs/protected_symlinks") >> on;
    return on == 1;
}

// The system refuses to follow a link in a sticky folder that anyone may write to when the link
// belongs to neither the follower nor the folder's owner; a save or write must not follow it
// either, but fail as any program would.
TEST(PlantedLinkTest, LinkOfAnotherUserInAStickyFolderIsNotFollowed)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give the link to another user";
    ScratchDirectory dir;
    dir.write("victim", "victim's own bytes");
    fs::create_directory(dir.file("shared"));
    ::chmod(dir.file("shared").c_str(), 01777);
    const uid_t other = 65534;
    for (const char *name : { "ITEM.CSV", "t.ini" }) {
        const std::string link = dir.file("shared/") + name;
        ASSERT_EQ(::symlink("../victim", link.c_str()), 0);
        ASSERT_EQ(::lchown(link.c_str(), other, other), 0);
    }
    dir.write("shared/VALUE.CSV", OldValues);

    const auto write = [&] {
        return reported([&] { WriteItemFiles(dir.file("shared/"), oneItem()); }) + "\n"
            + reported([&] { WriteIniValue(dir.file("shared/t.ini"), "S", "K", "2"); });
    };
    std::string outcome;
    if (systemProtectsLinks()) {
        outcome = write();
    } else {
        // Where the system follows such links (fs.protected_symlinks off), its refusal is played
        // instead: every open that follows one of them fails as the system would fail it. A
        // write that resolved the link by itself would still reach the victim.
        const std::string links[]
            = { systemPath(dir, "shared/ITEM.CSV"), systemPath(dir, "shared/t.ini") };
        const auto followsALink = [&](const test::SystemCall &call) {
            return !(call.openFlags() & O_NOFOLLOW) && std::ranges::count(links, call.path()) > 0;
        };
        const auto run = test::runWithSystemCallFault(
            { OpenCalls, 1, test::SystemCallFault::Kind::FailFromThen, EACCES, followsALink },
            write);
        if (!run)
            GTEST_SKIP() << "fs.protected_symlinks is off, and this system cannot make system "
                            "calls fail to play its refusal";
        outcome = run->result;
    }
    EXPECT_EQ(outcome,
        "ファイル " + dir.file("shared/ITEM.CSV") + " を作成できません\n" + dir.file("shared/t.ini")
            + " に書き込めません");
    EXPECT_EQ(dir.read("victim"), "victim's own bytes");
    EXPECT_EQ(dir.read("shared/VALUE.CSV"), OldValues);
    EXPECT_TRUE(fs::is_symlink(dir.file("shared/ITEM.CSV")));
    EXPECT_TRUE(fs::is_symlink(dir.file("shared/t.ini")));
}

} // namespace
} // namespace velmora
