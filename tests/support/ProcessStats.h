#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace VelmoTest {

// What Linux's /proc tells about a running process from outside: the CPU time of the process and
// of each of its threads, the system calls each made, and its resident memory. Plain functions,
// callable from any thread; a process that has gone reads as zeros and empty lists.

// One thread's counters at one moment.
struct ThreadSample
{
	std::string name;             // the thread's name as the kernel holds it (15 bytes at most)
	long long ticks = 0;          // stat: utime + stime, in clock ticks
	long long runNanoseconds = 0; // schedstat: time on a CPU
	long long timeslices = 0;     // schedstat: how often it was put on a CPU
	long long reads = 0;          // io: read-like system calls
	long long writes = 0;         // io: write-like system calls
};

// A process's counters at one moment.
struct ProcessSample
{
	std::chrono::steady_clock::time_point time;
	long long ticks = -1; // stat: utime + stime of the whole process, ended threads included
	std::map<pid_t, ThreadSample> threads;
};

ProcessSample SampleProcess(pid_t pid);

// One thread's use between two readings, per second of wall time.
struct ThreadUse
{
	std::string name;
	double percent = 0;     // of one core, from schedstat (to the nanosecond)
	double tickPercent = 0; // of one core, from stat's ticks (10 ms steps)
	double runsPerSecond = 0;
	double readsPerSecond = 0;
	double writesPerSecond = 0;
};

struct CpuUse
{
	double percent = -1;            // of one core, from the process's ticks; -1 if unknown
	double precisePercent = 0;      // the threads' schedstat percentages summed
	std::vector<ThreadUse> threads; // threads alive at both readings, busiest first
};

CpuUse CpuUseBetween(const ProcessSample& first, const ProcessSample& last);

// VmRSS; -1 if unknown.
long ResidentKibibytes(pid_t pid);
// "anonymous A KiB, file-backed F KiB, shared S KiB; largest: NAME N KiB ..." (four mappings).
std::string ResidentBreakdown(pid_t pid);

// Waits at most `timeout` for child `pid` to end, without reaping it (a pidfd), and sets *end to
// the moment it was seen gone; false on time-out or when the process cannot be watched.
bool WaitForProcessEnd(pid_t pid, std::chrono::steady_clock::duration timeout,
                       std::chrono::steady_clock::time_point* end);

// A child of this process running the program `name` (as /proc/PID/status names it); -1 if none.
pid_t FindChildNamed(const std::string& name);

} // namespace VelmoTest
