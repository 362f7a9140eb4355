// The /proc readers the benchmarks measure the program with, checked against this process.

#include "support/ProcessStats.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/ProcessCensus.h"

#include "support/ProgramRun.h"

using namespace VelmoTest;
using namespace std::chrono_literals;

namespace {

long long ThreadCpuNanoseconds()
{
	timespec now;
	clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
	return now.tv_sec * 1000000000LL + now.tv_nsec;
}

// Burns `nanoseconds` of the calling thread's own CPU time.
void Burn(long long nanoseconds)
{
	const long long start = ThreadCpuNanoseconds();
	while (ThreadCpuNanoseconds() - start < nanoseconds) {
	}
}

// A named thread that, once told to, does its work, then stays until it is let go: the readings
// before and after see the same thread.
class BusyThread
{
public:
	BusyThread(const char* name, std::function<void()> work)
	    : fWork(std::move(work)), fThread([this, name] { _Run(name); })
	{
	}
	~BusyThread()
	{
		_Set(&fReleased);
		fThread.join();
	}

	bool WaitUntilNamed() { return _Wait(&fNamed); }
	void Work() { _Set(&fGo); }
	bool WaitUntilWorked() { return _Wait(&fWorked); }

private:
	void _Run(const char* name)
	{
		pthread_setname_np(pthread_self(), name);
		_Set(&fNamed);
		if (!_Wait(&fGo))
			return;
		fWork();
		_Set(&fWorked);
		_Wait(&fReleased);
	}
	void _Set(bool* flag)
	{
		std::lock_guard<std::mutex> lock(fLock);
		*flag = true;
		fChanged.notify_all();
	}
	bool _Wait(const bool* flag)
	{
		std::unique_lock<std::mutex> lock(fLock);
		return fChanged.wait_for(lock, 30s, [&] { return *flag || fReleased; }) && *flag;
	}

	std::mutex fLock;
	std::condition_variable fChanged;
	bool fNamed = false;
	bool fGo = false;
	bool fWorked = false;
	bool fReleased = false;
	const std::function<void()> fWork;
	std::thread fThread;
};

const ThreadUse* FindThread(const CpuUse& use, const std::string& name)
{
	for (const ThreadUse& thread : use.threads) {
		if (thread.name == name)
			return &thread;
	}
	return nullptr;
}

double WallMilliseconds(const ProcessSample& first, const ProcessSample& last)
{
	return std::chrono::duration<double, std::milli>(last.time - first.time).count();
}

} // namespace

TEST(ProcessStats, AThreadsCpuTimeShowsUnderItsNameEvenWithParenthesesAndSpaces)
{
	BusyThread busy("spin) (x y", [] { Burn(200 * 1000000LL); });
	ASSERT_TRUE(busy.WaitUntilNamed());
	const ProcessSample before = SampleProcess(getpid());
	busy.Work();
	ASSERT_TRUE(busy.WaitUntilWorked());
	const ProcessSample after = SampleProcess(getpid());

	const CpuUse use = CpuUseBetween(before, after);
	const double wall = WallMilliseconds(before, after);
	const ThreadUse* thread = FindThread(use, "spin) (x y");
	ASSERT_NE(thread, nullptr);
	// 200 ms on a CPU, counted to the nanosecond.
	EXPECT_GE(thread->percent * wall / 100.0, 199.0);
	EXPECT_GT(thread->runsPerSecond, 0.0);
	EXPECT_GE(use.precisePercent * wall / 100.0, 199.0);
	// Ticks come in 10 ms steps and are sampled: generous floors, read past the odd name.
	EXPECT_GE(thread->tickPercent * wall / 100.0, 100.0);
	EXPECT_GE(use.percent * wall / 100.0, 100.0);
	EXPECT_EQ(use.threads.front().name, "spin) (x y") << "the busiest thread comes first";
}

TEST(ProcessStats, OnlyThreadsPresentAtBothReadingsAreCompared)
{
	const ProcessSample before = SampleProcess(getpid());
	BusyThread late("late", [] {});
	ASSERT_TRUE(late.WaitUntilNamed());
	const ProcessSample after = SampleProcess(getpid());
	EXPECT_EQ(FindThread(CpuUseBetween(before, after), "late"), nullptr);
	EXPECT_NE(FindThread(CpuUseBetween(after, SampleProcess(getpid())), "late"), nullptr);
}

TEST(ProcessStats, ReadAndWriteCallsAreCountedPerThread)
{
	int pipeEnds[2];
	ASSERT_EQ(pipe(pipeEnds), 0);
	int done = 0;
	BusyThread talker("talker", [&] {
		char byte = 'x';
		for (; done < 50; done++) {
			if (write(pipeEnds[1], &byte, 1) != 1 || read(pipeEnds[0], &byte, 1) != 1)
				break;
		}
	});
	ASSERT_TRUE(talker.WaitUntilNamed());
	const ProcessSample before = SampleProcess(getpid());
	talker.Work();
	ASSERT_TRUE(talker.WaitUntilWorked());
	const ProcessSample after = SampleProcess(getpid());
	close(pipeEnds[0]);
	close(pipeEnds[1]);
	ASSERT_EQ(done, 50);

	const CpuUse use = CpuUseBetween(before, after);
	const ThreadUse* thread = FindThread(use, "talker");
	ASSERT_NE(thread, nullptr);
	const double seconds = WallMilliseconds(before, after) / 1000.0;
	EXPECT_NEAR(thread->writesPerSecond * seconds, 50.0, 0.5);
	EXPECT_NEAR(thread->readsPerSecond * seconds, 50.0, 0.5);
}

TEST(ProcessStats, ResidentMemoryGrowsWithTouchedPages)
{
	const long before = ResidentKibibytes(getpid());
	ASSERT_GT(before, 0);
	std::vector<char> block(32 << 20);
	memset(block.data(), 1, block.size());
	EXPECT_GE(ResidentKibibytes(getpid()), before + (16 << 10));
	const std::string breakdown = ResidentBreakdown(getpid());
	EXPECT_EQ(breakdown.rfind("anonymous ", 0), 0u) << breakdown;
	EXPECT_NE(breakdown.find("; largest: "), std::string::npos) << breakdown;
}

TEST(ProcessStats, AProcessThatIsGoneReadsAsUnknown)
{
	const pid_t child = fork();
	ASSERT_GE(child, 0);
	if (child == 0)
		_exit(0);
	int status = 0;
	ASSERT_EQ(waitpid(child, &status, 0), child);

	const ProcessSample sample = SampleProcess(child);
	EXPECT_EQ(sample.ticks, -1);
	EXPECT_TRUE(sample.threads.empty());
	EXPECT_EQ(ResidentKibibytes(child), -1);
	EXPECT_LT(CpuUseBetween(sample, sample).percent, 0.0);
}

TEST(ProcessStats, FindsItsOwnChildByName)
{
	ProgramRun::Options options;
	options.arguments = {"30"};
	options.onTerminal = false;
	ProgramRun sleeper("/bin/sleep", options);
	// The child bears the program's name once it has exec'd.
	pid_t found = -1;
	const auto deadline = std::chrono::steady_clock::now() + 20s;
	while (found != sleeper.Pid() && std::chrono::steady_clock::now() < deadline) {
		found = FindChildNamed("sleep");
		if (found != sleeper.Pid())
			std::this_thread::sleep_for(5ms);
	}
	EXPECT_EQ(found, sleeper.Pid());
	EXPECT_EQ(FindChildNamed("no such program"), -1);
	sleeper.Signal(SIGTERM);
	EXPECT_TRUE(sleeper.WaitForExit(10s));
}

TEST(ProcessStats, OpenDescriptorsAreCountedAndAGoneProcessHasNone)
{
	const int before = OpenDescriptorCount(getpid());
	ASSERT_GT(before, 0);
	const int file = open("/dev/null", O_RDONLY | O_CLOEXEC);
	ASSERT_GE(file, 0);
	EXPECT_EQ(OpenDescriptorCount(getpid()), before + 1);
	close(file);
	EXPECT_EQ(OpenDescriptorCount(getpid()), before);

	const pid_t child = fork();
	ASSERT_GE(child, 0);
	if (child == 0)
		_exit(0);
	int status = 0;
	ASSERT_EQ(waitpid(child, &status, 0), child);
	EXPECT_EQ(OpenDescriptorCount(child), -1);
}

TEST(ProcessStats, AChildsEndIsSeenWithoutReapingIt)
{
	ProgramRun::Options options;
	options.arguments = {"30"};
	options.onTerminal = false;
	ProgramRun sleeper("/bin/sleep", options);
	std::chrono::steady_clock::time_point end;
	EXPECT_FALSE(WaitForProcessEnd(sleeper.Pid(), 50ms, &end)) << "still running";
	sleeper.Signal(SIGTERM);
	ASSERT_TRUE(WaitForProcessEnd(sleeper.Pid(), 20s, &end));
	EXPECT_LE(end, std::chrono::steady_clock::now());
	// Not reaped: the run's own wait still collects the status.
	ASSERT_TRUE(sleeper.WaitForExit(10s));
	EXPECT_TRUE(sleeper.Signaled());
	EXPECT_EQ(sleeper.TermSignal(), SIGTERM);
}
