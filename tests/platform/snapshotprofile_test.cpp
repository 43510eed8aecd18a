#include <gtest/gtest.h>

#include "scratchdirectory.h"
#include "snapshotprofile.h"

namespace velmora {
namespace {

using test::ScratchDirectory;

TEST(SnapshotProfileTest, ReadsEachFileOnceAndAfreshAfterAWrite)
{
    ScratchDirectory dir;
    dir.write("a.ini", "[A]\nk=1\n[b]\nk=2\n[B]\nk=3\n");
    const std::string a = dir.file("a.ini");
    const auto snapshot = makeSnapshotProfile();
    EXPECT_EQ(snapshot->readString("A", "k", a), "1");
    dir.write("a.ini", "[A]\nk=changed\n");
    EXPECT_EQ(snapshot->readString("A", "k", a), "1") << "one burst sees one moment";
    EXPECT_EQ(snapshot->readString(" B ", "K", a), "2") << "the first section of a name wins";
    EXPECT_EQ(snapshot->readString("missing", "k", a), "");
    EXPECT_EQ(snapshot->readString("A", "k", dir.file("none.ini")), "");

    ASSERT_TRUE(snapshot->writeString("A", "j", "4", a));
    EXPECT_EQ(snapshot->readString("A", "k", a), "changed");
    EXPECT_EQ(snapshot->readString("A", "j", a), "4");
}

} // namespace
} // namespace velmora
