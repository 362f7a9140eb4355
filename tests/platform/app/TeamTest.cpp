#include <OS.h>

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <Entry.h>
#include <Roster.h>

#include <gtest/gtest.h>

#include "app/TeamProcess.h"
#include "support/ChildProcess.h"
#include "support/TempDirectory.h"
#include "support/VelmoLaunchRoot.h"

namespace {

using namespace std::chrono_literals;

// Whether process `pid` still runs a program (not ended, not a zombie).
bool StillRuns(pid_t pid)
{
	dev_t device;
	ino_t inode;
	return BPrivate::ReadTeamExecutable(pid, &device, &inode) == B_OK;
}

using KillTeam = VelmoTest::VelmoLaunchRoot;
using VelmoTest::InstallExecutable;

TEST_F(KillTeam, EndsTheRosterTeamWithSigkill)
{
	VelmoTest::ChildProcess launch;
	ASSERT_TRUE(launch.Start(fRoot.VelmoLaunchPath(), {"60"}));
	entry_ref ref = VelmoLaunchRef();
	ASSERT_TRUE(be_roster->IsRunning(&ref));
	team_id team = be_roster->TeamFor(&ref);
	ASSERT_EQ(team, launch.Pid());

	EXPECT_EQ(kill_team(team), B_OK);
	ASSERT_TRUE(launch.WaitForExit(10s));
	ASSERT_TRUE(WIFSIGNALED(launch.Status()));
	EXPECT_EQ(WTERMSIG(launch.Status()), SIGKILL);
}

TEST_F(KillTeam, EndsAProcessNotLookedUpThroughTheRoster)
{
	VelmoTest::ChildProcess child;
	ASSERT_TRUE(child.Start("/bin/sleep", {"60"}));
	EXPECT_EQ(kill_team(child.Pid()), B_OK);
	ASSERT_TRUE(child.WaitForExit(10s));
	ASSERT_TRUE(WIFSIGNALED(child.Status()));
	EXPECT_EQ(WTERMSIG(child.Status()), SIGKILL);
}

TEST_F(KillTeam, LeavesTheSameProgramAtAnotherPathRunning)
{
	std::string elsewhere = fRoot.Join("boot/home/other/VelmoLaunch");
	InstallExecutable("/bin/sleep", elsewhere);
	VelmoTest::ChildProcess other;
	ASSERT_TRUE(other.Start(elsewhere, {"60"}));
	VelmoTest::ChildProcess launch;
	ASSERT_TRUE(launch.Start(fRoot.VelmoLaunchPath(), {"60"}));

	entry_ref ref = VelmoLaunchRef();
	EXPECT_EQ(kill_team(be_roster->TeamFor(&ref)), B_OK);
	ASSERT_TRUE(launch.WaitForExit(10s));
	EXPECT_TRUE(StillRuns(other.Pid()));
	EXPECT_FALSE(other.HasEnded());
}

TEST_F(KillTeam, MissingProcessIsBadTeamId)
{
	// Pids stay below pid_max: that one can never exist.
	std::ifstream pidMaxFile("/proc/sys/kernel/pid_max");
	long pidMax = 0;
	pidMaxFile >> pidMax;
	ASSERT_GT(pidMax, 0);
	EXPECT_EQ(kill_team((team_id)pidMax), B_BAD_TEAM_ID);

	VelmoTest::ChildProcess child;
	ASSERT_TRUE(child.Start("/bin/true"));
	ASSERT_TRUE(child.WaitForExit(10s));
	// Reaped: unless the pid has been given out again already, it names nothing.
	if (access(("/proc/" + std::to_string(child.Pid())).c_str(), F_OK) != 0) {
		EXPECT_EQ(kill_team(child.Pid()), B_BAD_TEAM_ID);
	}
}

TEST_F(KillTeam, ZeroAndNegativeIdsSignalNothing)
{
	// kill(0) would end this test's process group, kill(-1) every process of the user.
	VelmoTest::ChildProcess child;
	ASSERT_TRUE(child.Start("/bin/sleep", {"60"}));
	EXPECT_EQ(kill_team(0), B_BAD_TEAM_ID);
	EXPECT_EQ(kill_team(-1), B_BAD_TEAM_ID);
	EXPECT_EQ(kill_team(-child.Pid()), B_BAD_TEAM_ID);
	EXPECT_FALSE(child.HasEnded());
	EXPECT_TRUE(StillRuns(child.Pid()));
}

TEST_F(KillTeam, ThreadIdIsNoTeam)
{
	// A thread's id is a pid in Linux's eyes; signalling it would end this whole process. The
	// thread stays alive, blocked on a pipe, while kill_team runs.
	int toThread[2];
	int fromThread[2];
	ASSERT_EQ(pipe(toThread), 0);
	ASSERT_EQ(pipe(fromThread), 0);
	pid_t threadId = 0;
	std::thread thread([&] {
		threadId = gettid();
		char byte = 'r';
		if (write(fromThread[1], &byte, 1) == 1)
			(void)!read(toThread[0], &byte, 1);
	});
	char byte;
	bool started = read(fromThread[0], &byte, 1) == 1;
	EXPECT_TRUE(started);
	if (started) {
		EXPECT_NE(threadId, getpid());
		EXPECT_EQ(kill_team(threadId), B_BAD_TEAM_ID);
	}
	EXPECT_EQ(write(toThread[1], "q", 1), 1);
	thread.join();
	for (int fd : {toThread[0], toThread[1], fromThread[0], fromThread[1]})
		close(fd);
}

TEST_F(KillTeam, RefusesARosterTeamThatHasSinceRunAnotherProgram)
{
	// VelmoLaunch is a shell here that waits for a line on a FIFO, then becomes sleep.
	InstallExecutable("/bin/sh", fRoot.VelmoLaunchPath());
	std::string sleepCopy = fRoot.Join("bin/sleep");
	InstallExecutable("/bin/sleep", sleepCopy);
	std::string fifo = fRoot.Join("go");
	ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);

	VelmoTest::ChildProcess launch;
	ASSERT_TRUE(launch.Start(fRoot.VelmoLaunchPath(),
	                         {"-c", "read line < '" + fifo + "'; exec '" + sleepCopy + "' 60"}));
	entry_ref ref = VelmoLaunchRef();
	team_id team = be_roster->TeamFor(&ref);
	ASSERT_EQ(team, launch.Pid());

	// O_RDWR opens a FIFO without waiting for the other side (Linux).
	int fd = open(fifo.c_str(), O_RDWR | O_CLOEXEC);
	ASSERT_GE(fd, 0);
	ASSERT_EQ(write(fd, "go\n", 3), 3);
	struct stat sleepStat;
	ASSERT_EQ(stat(sleepCopy.c_str(), &sleepStat), 0);
	bool execed = false;
	auto deadline = std::chrono::steady_clock::now() + 10s;
	while (!execed && std::chrono::steady_clock::now() < deadline) {
		dev_t device;
		ino_t inode;
		execed = BPrivate::ReadTeamExecutable(team, &device, &inode) == B_OK &&
		         device == sleepStat.st_dev && inode == sleepStat.st_ino;
		if (!execed)
			std::this_thread::sleep_for(1ms);
	}
	close(fd);
	ASSERT_TRUE(execed);

	EXPECT_EQ(kill_team(team), B_BAD_TEAM_ID);
	EXPECT_FALSE(launch.HasEnded());
	EXPECT_TRUE(StillRuns(team));
}

} // namespace
