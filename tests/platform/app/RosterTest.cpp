#include <Roster.h>

#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include <Entry.h>
#include <OS.h>

#include <gtest/gtest.h>

#include "support/ChildProcess.h"
#include "support/TempDirectory.h"
#include "support/VelmoLaunchRoot.h"

namespace {

using namespace std::chrono_literals;

using Roster = VelmoTest::VelmoLaunchRoot;
using VelmoTest::InstallExecutable;

TEST_F(Roster, ProgramStartedFromTheFileIsRunningAsItsTeam)
{
	VelmoTest::ChildProcess launch;
	ASSERT_TRUE(launch.Start(fRoot.VelmoLaunchPath(), {"60"}));
	entry_ref ref = VelmoLaunchRef();
	EXPECT_TRUE(be_roster->IsRunning(&ref));
	EXPECT_EQ(be_roster->TeamFor(&ref), launch.Pid());
}

TEST_F(Roster, SeveralInstancesGiveOneTeamTheLowest)
{
	VelmoTest::ChildProcess first;
	VelmoTest::ChildProcess second;
	ASSERT_TRUE(first.Start(fRoot.VelmoLaunchPath(), {"60"}));
	ASSERT_TRUE(second.Start(fRoot.VelmoLaunchPath(), {"60"}));
	entry_ref ref = VelmoLaunchRef();
	EXPECT_EQ(be_roster->TeamFor(&ref), std::min(first.Pid(), second.Pid()));
}

TEST_F(Roster, NothingRunningGivesFalseAndError)
{
	entry_ref ref = VelmoLaunchRef();
	EXPECT_FALSE(be_roster->IsRunning(&ref));
	EXPECT_EQ(be_roster->TeamFor(&ref), B_ERROR);
}

TEST_F(Roster, SameProgramAtAnotherPathIsNeverMatched)
{
	std::string elsewhere = fRoot.Join("boot/home/other/VelmoLaunch");
	InstallExecutable("/bin/sleep", elsewhere);
	VelmoTest::ChildProcess other;
	ASSERT_TRUE(other.Start(elsewhere, {"60"}));
	entry_ref ref = VelmoLaunchRef();
	EXPECT_FALSE(be_roster->IsRunning(&ref));
	EXPECT_EQ(be_roster->TeamFor(&ref), B_ERROR);

	// Started later, the right one is found even though the other has a lower pid.
	VelmoTest::ChildProcess launch;
	ASSERT_TRUE(launch.Start(fRoot.VelmoLaunchPath(), {"60"}));
	EXPECT_EQ(be_roster->TeamFor(&ref), launch.Pid());
}

TEST_F(Roster, KilledButUnreapedProgramNoLongerRuns)
{
	VelmoTest::ChildProcess launch;
	ASSERT_TRUE(launch.Start(fRoot.VelmoLaunchPath(), {"60"}));
	entry_ref ref = VelmoLaunchRef();
	ASSERT_TRUE(be_roster->IsRunning(&ref));

	launch.Signal(SIGKILL);
	ASSERT_TRUE(launch.WaitUntilEnded(10s));
	// A zombie: its pid is still taken, but it runs nothing.
	ASSERT_FALSE(launch.Reaped());
	auto deadline = std::chrono::steady_clock::now() + 10s;
	while (be_roster->IsRunning(&ref) && std::chrono::steady_clock::now() < deadline)
		std::this_thread::sleep_for(1ms);
	EXPECT_FALSE(be_roster->IsRunning(&ref));
	EXPECT_EQ(be_roster->TeamFor(&ref), B_ERROR);
}

TEST_F(Roster, ReplacedFileNoLongerMatchesTheProgramStartedFromIt)
{
	VelmoTest::ChildProcess launch;
	ASSERT_TRUE(launch.Start(fRoot.VelmoLaunchPath(), {"60"}));
	entry_ref ref = VelmoLaunchRef();
	ASSERT_TRUE(be_roster->IsRunning(&ref));

	std::string replacement = fRoot.Join("boot/home/velmo/VelmoLaunch.new");
	InstallExecutable("/bin/sleep", replacement);
	std::filesystem::rename(replacement, fRoot.VelmoLaunchPath());
	EXPECT_FALSE(be_roster->IsRunning(&ref));
	EXPECT_EQ(be_roster->TeamFor(&ref), B_ERROR);
}

TEST_F(Roster, RefsThatNameNoFileAreNotRunning)
{
	VelmoTest::ChildProcess launch;
	ASSERT_TRUE(launch.Start(fRoot.VelmoLaunchPath(), {"60"}));
	entry_ref ref = VelmoLaunchRef();
	EXPECT_FALSE(be_roster->IsRunning(static_cast<const entry_ref*>(NULL)));
	EXPECT_EQ(be_roster->TeamFor(static_cast<const entry_ref*>(NULL)), B_ERROR);
	entry_ref byHand(ref.device, ref.directory, ref.name);
	EXPECT_FALSE(be_roster->IsRunning(&byHand));
	entry_ref missing;
	ASSERT_EQ(get_ref_for_path("/boot/home/velmo/Missing", &missing), B_OK);
	EXPECT_FALSE(be_roster->IsRunning(&missing));
}

TEST_F(Roster, SignaturesAreNeverRegistered)
{
	EXPECT_FALSE(be_roster->IsRunning("application/x-vnd.VELMO-Reset"));
	EXPECT_EQ(be_roster->TeamFor("application/x-vnd.VELMO-Reset"), B_ERROR);
}

} // namespace
