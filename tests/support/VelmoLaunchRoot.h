#pragma once

// A platform root, set as BEOS_ROOT for the test, whose boot/home/velmo/VelmoLaunch is a copy of
// /bin/sleep: a real program the roster can find and kill_team can end.

#include <stdlib.h>

#include <filesystem>
#include <string>

#include <Entry.h>

#include <gtest/gtest.h>

#include "support/TempDirectory.h"

namespace VelmoTest {

// Copies the executable `from` to `to` (host paths), keeping it executable.
inline void InstallExecutable(const std::string& from, const std::string& to)
{
	std::filesystem::create_directories(std::filesystem::path(to).parent_path());
	std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
	std::filesystem::permissions(to, std::filesystem::perms::owner_all);
}

class VelmoLaunchRoot : public ::testing::Test
{
protected:
	void SetUp() override
	{
		setenv("BEOS_ROOT", fRoot.Path().c_str(), 1);
		InstallExecutable("/bin/sleep", fRoot.VelmoLaunchPath());
	}
	void TearDown() override { unsetenv("BEOS_ROOT"); }

	entry_ref VelmoLaunchRef() const
	{
		entry_ref ref;
		EXPECT_EQ(get_ref_for_path("/boot/home/velmo/VelmoLaunch", &ref), B_OK);
		return ref;
	}

	PlatformRootDirectory fRoot;
};

} // namespace VelmoTest
