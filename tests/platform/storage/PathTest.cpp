#include <Path.h>

#include <stdlib.h>
#include <unistd.h>

#include <string>

#include <Entry.h>
#include <StorageDefs.h>

#include <gtest/gtest.h>

#include "support/TempDirectory.h"

namespace {

class Path : public ::testing::Test
{
protected:
	void SetUp() override { setenv("BEOS_ROOT", fRoot.Path().c_str(), 1); }
	void TearDown() override { unsetenv("BEOS_ROOT"); }

	VelmoTest::PlatformRootDirectory fRoot;
};

TEST_F(Path, DefaultPathIsUninitialised)
{
	BPath path;
	EXPECT_EQ(path.InitCheck(), B_NO_INIT);
	EXPECT_EQ(path.Path(), nullptr);
	EXPECT_EQ(path.Leaf(), nullptr);
}

TEST_F(Path, TextIsKeptAsGivenWhenNotNormalised)
{
	// Nothing of it exists below the root: an unnormalised path is not checked on disk.
	BPath path("/boot/nowhere/VelmoLaunch");
	EXPECT_EQ(path.InitCheck(), B_OK);
	EXPECT_STREQ(path.Path(), "/boot/nowhere/VelmoLaunch");
	EXPECT_STREQ(path.Leaf(), "VelmoLaunch");
}

TEST_F(Path, LeafIsAppendedToDirectory)
{
	EXPECT_STREQ(BPath("/boot/home", "velmo/VelmoLaunch").Path(), "/boot/home/velmo/VelmoLaunch");
	EXPECT_STREQ(BPath("/boot/", "home").Path(), "/boot/home");
	EXPECT_STREQ(BPath("/", "boot").Path(), "/boot");
	EXPECT_STREQ(BPath("/boot", "").Path(), "/boot");
}

TEST_F(Path, AbsoluteLeafOrMissingDirectoryIsBadValue)
{
	EXPECT_EQ(BPath("/boot", "/home").InitCheck(), B_BAD_VALUE);
	EXPECT_EQ(BPath((const char*)NULL, "home").InitCheck(), B_BAD_VALUE);
	EXPECT_EQ(BPath("").InitCheck(), B_BAD_VALUE);
	BPath path("/boot");
	EXPECT_EQ(path.SetTo((const char*)NULL), B_BAD_VALUE);
	EXPECT_EQ(path.Path(), nullptr);
	EXPECT_EQ(path.InitCheck(), B_BAD_VALUE);
}

TEST_F(Path, NormalisingResolvesDotsAndDuplicateSlashes)
{
	BPath path("/boot//home/./velmo/resources/../VelmoLaunch", NULL, true);
	EXPECT_EQ(path.InitCheck(), B_OK);
	EXPECT_STREQ(path.Path(), "/boot/home/velmo/VelmoLaunch");
	EXPECT_STREQ(BPath("/../boot/home/velmo/").Path(), "/boot/home/velmo");
}

TEST_F(Path, NormalisingNeedsTheEntrysDirectory)
{
	EXPECT_EQ(BPath("/boot/home/velmo/missing", NULL, true).InitCheck(), B_OK);
	EXPECT_EQ(BPath("/boot/nowhere/missing", NULL, true).InitCheck(), B_ENTRY_NOT_FOUND);
	// A ".." forces normalisation even when it was not asked for.
	EXPECT_EQ(BPath("/boot/nowhere/../nowhere/x").InitCheck(), B_ENTRY_NOT_FOUND);
}

TEST_F(Path, RelativePathIsTakenFromTheWorkingDirectory)
{
	char previous[B_PATH_NAME_LENGTH * 4];
	ASSERT_NE(getcwd(previous, sizeof(previous)), nullptr);
	ASSERT_EQ(chdir(fRoot.Join("boot/home").c_str()), 0);
	BPath path("velmo/VelmoLaunch");
	ASSERT_EQ(chdir(previous), 0);
	EXPECT_EQ(path.InitCheck(), B_OK);
	EXPECT_STREQ(path.Path(), "/boot/home/velmo/VelmoLaunch");
}

TEST_F(Path, OverlongPathIsNameTooLong)
{
	std::string name(B_PATH_NAME_LENGTH, 'x');
	EXPECT_EQ(BPath("/boot", name.c_str()).InitCheck(), B_NAME_TOO_LONG);
}

TEST_F(Path, LeafOfRootIsEmpty)
{
	EXPECT_STREQ(BPath("/").Leaf(), "");
}

TEST_F(Path, GetParentStepsUpToTheRoot)
{
	BPath parent;
	ASSERT_EQ(BPath("/boot/home/velmo").GetParent(&parent), B_OK);
	EXPECT_STREQ(parent.Path(), "/boot/home");
	ASSERT_EQ(BPath("/boot").GetParent(&parent), B_OK);
	EXPECT_STREQ(parent.Path(), "/");
	EXPECT_EQ(BPath("/").GetParent(&parent), B_ENTRY_NOT_FOUND);
	EXPECT_EQ(BPath().GetParent(&parent), B_NO_INIT);
	EXPECT_EQ(BPath("/boot").GetParent(NULL), B_BAD_VALUE);
}

TEST_F(Path, AppendAddsARelativePath)
{
	BPath path("/boot/home");
	EXPECT_EQ(path.Append("velmo/VelmoLaunch"), B_OK);
	EXPECT_STREQ(path.Path(), "/boot/home/velmo/VelmoLaunch");
	EXPECT_EQ(path.Append("/etc"), B_BAD_VALUE);
	EXPECT_EQ(BPath().Append("velmo"), B_BAD_VALUE);
}

TEST_F(Path, CopiesCompareEqualAndUnsetClears)
{
	BPath path("/boot/home/velmo/VelmoLaunch");
	BPath copy(path);
	EXPECT_TRUE(copy == path);
	EXPECT_TRUE(copy == "/boot/home/velmo/VelmoLaunch");
	BPath other("/boot/home");
	EXPECT_TRUE(other != path);
	other = path;
	EXPECT_TRUE(other == path);
	other = "/boot";
	EXPECT_STREQ(other.Path(), "/boot");

	path.Unset();
	EXPECT_EQ(path.InitCheck(), B_NO_INIT);
	EXPECT_TRUE(path == BPath());
	EXPECT_TRUE(path != copy);
	EXPECT_STREQ(copy.Path(), "/boot/home/velmo/VelmoLaunch");
}

TEST_F(Path, PathOfAnEntryRefIsItsBeosPath)
{
	entry_ref ref;
	ASSERT_EQ(get_ref_for_path("/boot/home/velmo/VelmoLaunch", &ref), B_OK);
	BPath path(&ref);
	EXPECT_EQ(path.InitCheck(), B_OK);
	EXPECT_STREQ(path.Path(), "/boot/home/velmo/VelmoLaunch");

	EXPECT_EQ(BPath((const entry_ref*)NULL).InitCheck(), B_BAD_VALUE);
	// Made by hand, a reference says nothing about where its directory is on this machine.
	entry_ref byHand(ref.device, ref.directory, "VelmoLaunch");
	EXPECT_EQ(BPath(&byHand).InitCheck(), B_ENTRY_NOT_FOUND);
}

} // namespace
