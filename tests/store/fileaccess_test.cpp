// Who may use a file stays the same when an INI write or a save replaces it: its ACL and other
// extended attributes, its group where the writer belongs to it, its permission bits; a
// replacement that cannot be given them is refused and leaves the old file.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>

#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "childprocess.h"
#include "inivalue.h"
#include "itemfiles.h"
#include "scratchdirectory.h"
#include "storecalls.h"
#include "systemcallfault.h"

namespace velmora {
namespace {

using test::oneItem;
using test::reported;
using test::ScratchDirectory;

struct Writer
{
    const char *name;
    std::vector<std::string> files;
    std::function<void(const ScratchDirectory &)> write;
    const char *failure; // with <dir> for the folder
};

void PrintTo(const Writer &writer, std::ostream *os)
{
    *os << writer.name;
}

const Writer Writers[] = {
    { "IniWrite", { "t.ini" },
        [](const ScratchDirectory &dir) { WriteIniValue(dir.file("t.ini"), "S", "K", "2"); },
        "<dir>t.ini に書き込めません" },
    { "ItemSave", { "ITEM.CSV", "VALUE.CSV" },
        [](const ScratchDirectory &dir) { WriteItemFiles(dir.path(), oneItem()); },
        "ファイル <dir>ITEM.CSV を作成できません" },
};

std::string withDirectory(std::string text, const ScratchDirectory &dir)
{
    if (const std::size_t at = text.find("<dir>"); at != std::string::npos)
        text.replace(at, 5, dir.path());
    return text;
}

std::optional<std::string> attribute(const std::string &path, const char *name)
{
    char value[256];
    const ssize_t size = ::getxattr(path.c_str(), name, value, sizeof value);
    if (size < 0)
        return std::nullopt;
    return std::string(value, std::size_t(size));
}

struct stat statusOf(const std::string &path)
{
    struct stat info = {};
    ::stat(path.c_str(), &info);
    return info;
}

// An access ACL in the kernel's form: the owner, user nobody and the mask may read and write,
// the owning group may read, others nothing.
std::string aclGivingNobodyWriteAccess()
{
    std::string acl;
    const auto put = [&](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            acl.push_back(char(value >> (8 * i)));
    };
    put(2, 4); // version
    const std::uint32_t undefined = 0xFFFFFFFF;
    for (const auto &[tag, permissions, id] :
        { std::tuple { 0x01u, 6u, undefined }, { 0x02u, 6u, 65534u }, { 0x04u, 4u, undefined },
            { 0x10u, 6u, undefined }, { 0x20u, 0u, undefined } }) {
        put(tag, 2);
        put(permissions, 2);
        put(id, 4);
    }
    return acl;
}

class FileAccessTest : public testing::TestWithParam<Writer>
{
protected:
    void SetUp() override
    {
        m_dir.write("t.ini", "[S]\nK=1\n");
        m_dir.write("ITEM.CSV", "\"01\",\"old\",\"f\",\"s\",\"k\"\r\n");
        m_dir.write("VALUE.CSV", "\"01\",\"01\",\"old\",\"1\"\r\n");
    }

    ScratchDirectory m_dir;
};

TEST_P(FileAccessTest, KeepsTheAclAndOtherExtendedAttributes)
{
    const std::string acl = aclGivingNobodyWriteAccess();
    for (const std::string &file : GetParam().files) {
        const std::string path = m_dir.file(file);
        if (::setxattr(path.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) != 0
            || ::setxattr(path.c_str(), "user.velmora-test", "kept", 4, 0) != 0)
            GTEST_SKIP() << "this file system keeps no ACLs or extended attributes";
    }
    std::vector<std::optional<std::string>> before;
    for (const std::string &file : GetParam().files)
        before.push_back(attribute(m_dir.file(file), "system.posix_acl_access"));

    GetParam().write(m_dir);
    for (std::size_t i = 0; i < GetParam().files.size(); ++i) {
        const std::string path = m_dir.file(GetParam().files[i]);
        SCOPED_TRACE(path);
        EXPECT_EQ(attribute(path, "system.posix_acl_access"), before[i]);
        EXPECT_EQ(attribute(path, "user.velmora-test"), "kept");
        EXPECT_EQ(statusOf(path).st_mode & 07777, 0660u) << "the group bits are the ACL's mask";
    }
}

TEST_P(FileAccessTest, KeepsTheGroupWhenAnotherMemberWrites)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to act as another user";
    const gid_t shared = 4242;
    const uid_t member = 65534;
    ::chmod(m_dir.path().c_str(), 0777);
    for (const std::string &file : GetParam().files) {
        ::chown(m_dir.file(file).c_str(), 0, shared);
        ::chmod(m_dir.file(file).c_str(), 0664);
    }
    // The writer's own group is another one: the group is kept because it is a member.
    EXPECT_EQ(test::runAsUser(member, member,
                  [&] { return reported([&] { GetParam().write(m_dir); }); }, { shared }),
        "done");
    for (const std::string &file : GetParam().files) {
        const struct stat info = statusOf(m_dir.file(file));
        EXPECT_EQ(info.st_gid, shared) << file;
        EXPECT_EQ(info.st_uid, member) << file << ": only root may give a file away";
        EXPECT_EQ(info.st_mode & 07777, 0664u) << file;
    }
}

TEST_P(FileAccessTest, PermissionBitsThatCannotBeSetFailTheWriteAndKeepTheOldFile)
{
    for (const std::string &file : GetParam().files)
        ::chmod(m_dir.file(file).c_str(), 0640);
    const std::string listing = m_dir.listing();
    const std::string old = m_dir.read(GetParam().files.front());
    test::SystemCallFault chmodFails { { SYS_fchmod, SYS_fchmodat } };
    chmodFails.kind = test::SystemCallFault::Kind::FailFromThen;
    const auto run = test::runWithSystemCallFault(
        chmodFails, [&] { return reported([&] { GetParam().write(m_dir); }); });
    if (!run)
        GTEST_SKIP() << "this system cannot make system calls fail";
    EXPECT_EQ(run->result, withDirectory(GetParam().failure, m_dir));
    EXPECT_EQ(m_dir.read(GetParam().files.front()), old);
    EXPECT_EQ(statusOf(m_dir.file(GetParam().files.front())).st_mode & 07777, 0640u);
    EXPECT_EQ(m_dir.listing(), listing);
}

INSTANTIATE_TEST_SUITE_P(Writers, FileAccessTest, testing::ValuesIn(Writers),
    [](const testing::TestParamInfo<Writer> &info) { return std::string(info.param.name); });

} // namespace
} // namespace velmora
