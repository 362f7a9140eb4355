#include <Entry.h>

#include <stdlib.h>
#include <sys/stat.h>

#include <string>

#include <gtest/gtest.h>

#include "support/TempDirectory.h"

namespace {

class EntryRef : public ::testing::Test
{
protected:
	void SetUp() override
	{
		setenv("BEOS_ROOT", fRoot.Path().c_str(), 1);
		fRoot.WriteFile("boot/home/velmo/VelmoLaunch", "#!/bin/true\n");
	}
	void TearDown() override { unsetenv("BEOS_ROOT"); }

	struct stat HostStat(const std::string& relative) const
	{
		struct stat result = {};
		EXPECT_EQ(stat(fRoot.Join(relative).c_str(), &result), 0) << relative;
		return result;
	}

	VelmoTest::PlatformRootDirectory fRoot;
};

TEST_F(EntryRef, RefForExistingFileNamesItsHostDirectory)
{
	entry_ref ref;
	ASSERT_EQ(get_ref_for_path("/boot/home/velmo/VelmoLaunch", &ref), B_OK);
	struct stat directory = HostStat("boot/home/velmo");
	EXPECT_EQ(ref.device, directory.st_dev);
	EXPECT_EQ(ref.directory, directory.st_ino);
	EXPECT_STREQ(ref.name, "VelmoLaunch");
}

TEST_F(EntryRef, RefForMissingFileInExistingDirectorySucceeds)
{
	entry_ref ref;
	ASSERT_EQ(get_ref_for_path("/boot/home/velmo/NotThere", &ref), B_OK);
	EXPECT_EQ(ref.directory, HostStat("boot/home/velmo").st_ino);
	EXPECT_STREQ(ref.name, "NotThere");
}

TEST_F(EntryRef, RefInMissingDirectoryIsEntryNotFound)
{
	entry_ref ref;
	EXPECT_EQ(get_ref_for_path("/boot/home/nobody/VelmoLaunch", &ref), B_ENTRY_NOT_FOUND);
	// A file is no directory.
	EXPECT_EQ(get_ref_for_path("/boot/home/velmo/VelmoLaunch/x", &ref), B_ENTRY_NOT_FOUND);
}

TEST_F(EntryRef, NullArgumentsAreBadValue)
{
	entry_ref ref;
	EXPECT_EQ(get_ref_for_path(NULL, &ref), B_BAD_VALUE);
	EXPECT_EQ(get_ref_for_path("/boot/home/velmo/VelmoLaunch", NULL), B_BAD_VALUE);
	EXPECT_EQ(get_ref_for_path("", &ref), B_BAD_VALUE);
}

TEST_F(EntryRef, DotDotCannotClimbOutOfThePlatformRoot)
{
	entry_ref direct;
	entry_ref climbing;
	ASSERT_EQ(get_ref_for_path("/boot/home/velmo/VelmoLaunch", &direct), B_OK);
	ASSERT_EQ(get_ref_for_path("/../../boot/home/./velmo//VelmoLaunch", &climbing), B_OK);
	EXPECT_TRUE(direct == climbing);
}

TEST_F(EntryRef, RefsCompareDeviceDirectoryAndName)
{
	entry_ref launch;
	entry_ref other;
	ASSERT_EQ(get_ref_for_path("/boot/home/velmo/VelmoLaunch", &launch), B_OK);
	ASSERT_EQ(get_ref_for_path("/boot/home/velmo/Other", &other), B_OK);
	EXPECT_TRUE(launch != other);

	ASSERT_EQ(other.set_name("VelmoLaunch"), B_OK);
	EXPECT_TRUE(launch == other);

	// Made by hand from the same three values: equal, though it cannot be found again.
	entry_ref byHand(launch.device, launch.directory, "VelmoLaunch");
	EXPECT_TRUE(byHand == launch);
	entry_ref elsewhere(launch.device, launch.directory + 1, "VelmoLaunch");
	EXPECT_TRUE(elsewhere != launch);
	EXPECT_TRUE(entry_ref() == entry_ref());
}

TEST_F(EntryRef, CopiesOwnTheirNames)
{
	entry_ref original;
	ASSERT_EQ(get_ref_for_path("/boot/home/velmo/VelmoLaunch", &original), B_OK);
	entry_ref copy(original);
	entry_ref assigned;
	assigned = original;
	ASSERT_EQ(original.set_name("Changed"), B_OK);
	EXPECT_STREQ(copy.name, "VelmoLaunch");
	EXPECT_STREQ(assigned.name, "VelmoLaunch");
	EXPECT_TRUE(copy == assigned);
	assigned = assigned;
	EXPECT_STREQ(assigned.name, "VelmoLaunch");
}

} // namespace
