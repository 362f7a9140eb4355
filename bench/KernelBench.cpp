// Round trips between two threads through the kernel services, against the same round trip
// through a bare std::mutex and std::condition_variable. Each round trip is timed on its own;
// after the run a table gives the median and the 99th percentile of each, and the ratios. The
// kernel's round trips are measured twice: with untimed waits, and with waits that carry a
// time-out (never reached), which take the clock and the timed path of every wait.
//
// The process is held to one CPU first. Left free, the scheduler puts the two threads on the
// same CPU for some runs and on two for others; on a virtual machine a wake-up across CPUs costs
// some 40 µs against 4 µs on one, and which of the two a run gets is chance, so the medians
// compared the placements rather than the implementations.

#include <sched.h>
#include <stdio.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include <OS.h>

#include <benchmark/benchmark.h>

#include "BenchFigures.h"

namespace {

const int kRoundTrips = 20000;

// Long enough never to run out; only the path a timed wait takes is measured.
const bigtime_t kUnreachedTimeout = 10000000;

std::vector<double> gPortSamples;
std::vector<double> gSemaphoreSamples;
std::vector<double> gTimedPortSamples;
std::vector<double> gTimedSemaphoreSamples;
std::vector<double> gBareSamples;

// The time-out flags of a wait: untimed, or relative with a time-out never reached.
uint32 WaitFlags(bool timed)
{
	return timed ? B_RELATIVE_TIMEOUT : 0;
}

bigtime_t WaitTimeout(bool timed)
{
	return timed ? kUnreachedTimeout : 0;
}

double NowMicroseconds()
{
	return std::chrono::duration<double, std::micro>(
	           std::chrono::steady_clock::now().time_since_epoch())
	    .count();
}

struct PortPair
{
	port_id ping;
	port_id pong;
	bool timed;
};

// Answers every message on `ping` with one on `pong`; a negative code ends it.
int32 PortEcho(void* data)
{
	PortPair* pair = static_cast<PortPair*>(data);
	for (;;) {
		int32 code;
		if (read_port_etc(pair->ping, &code, NULL, 0, WaitFlags(pair->timed),
		                  WaitTimeout(pair->timed)) < 0 ||
		    code < 0)
			return B_OK;
		write_port_etc(pair->pong, code, NULL, 0, WaitFlags(pair->timed), WaitTimeout(pair->timed));
	}
}

// Argument 1: timed waits.
void BM_PortPingPong(benchmark::State& state)
{
	PortPair pair{create_port(1, "ping"), create_port(1, "pong"), state.range(0) != 0};
	std::vector<double>& samples = pair.timed ? gTimedPortSamples : gPortSamples;
	thread_id echo = spawn_thread(PortEcho, "port echo", B_NORMAL_PRIORITY, &pair);
	resume_thread(echo);
	samples.clear();
	for (auto _ : state) {
		double start = NowMicroseconds();
		write_port_etc(pair.ping, 1, NULL, 0, WaitFlags(pair.timed), WaitTimeout(pair.timed));
		int32 code;
		read_port_etc(pair.pong, &code, NULL, 0, WaitFlags(pair.timed), WaitTimeout(pair.timed));
		samples.push_back(NowMicroseconds() - start);
	}
	write_port(pair.ping, -1, NULL, 0);
	wait_for_thread(echo, NULL);
	delete_port(pair.ping);
	delete_port(pair.pong);
}

struct SemaphorePair
{
	sem_id ping;
	sem_id pong;
	bool timed;
	bool quit = false; // set before the last ping, read after it: ordered by the semaphore
};

int32 SemaphoreEcho(void* data)
{
	SemaphorePair* pair = static_cast<SemaphorePair*>(data);
	for (;;) {
		if (acquire_sem_etc(pair->ping, 1, WaitFlags(pair->timed), WaitTimeout(pair->timed)) !=
		        B_OK ||
		    pair->quit)
			return B_OK;
		release_sem(pair->pong);
	}
}

// Argument 1: timed waits.
void BM_SemaphorePingPong(benchmark::State& state)
{
	SemaphorePair pair{create_sem(0, "ping"), create_sem(0, "pong"), state.range(0) != 0};
	std::vector<double>& samples = pair.timed ? gTimedSemaphoreSamples : gSemaphoreSamples;
	thread_id echo = spawn_thread(SemaphoreEcho, "sem echo", B_NORMAL_PRIORITY, &pair);
	resume_thread(echo);
	samples.clear();
	for (auto _ : state) {
		double start = NowMicroseconds();
		release_sem(pair.ping);
		acquire_sem_etc(pair.pong, 1, WaitFlags(pair.timed), WaitTimeout(pair.timed));
		samples.push_back(NowMicroseconds() - start);
	}
	pair.quit = true;
	release_sem(pair.ping);
	wait_for_thread(echo, NULL);
	delete_sem(pair.ping);
	delete_sem(pair.pong);
}

// The same round trip written directly on the standard library, as a baseline.
struct BarePair
{
	std::mutex lock;
	std::condition_variable pingSignal;
	std::condition_variable pongSignal;
	bool ping = false;
	bool pong = false;
	bool quit = false;
};

void BM_BarePingPong(benchmark::State& state)
{
	BarePair pair;
	std::thread echo([&pair] {
		for (;;) {
			{
				std::unique_lock<std::mutex> lock(pair.lock);
				pair.pingSignal.wait(lock, [&] { return pair.ping || pair.quit; });
				if (pair.quit)
					return;
				pair.ping = false;
				pair.pong = true;
			}
			pair.pongSignal.notify_one();
		}
	});
	gBareSamples.clear();
	for (auto _ : state) {
		double start = NowMicroseconds();
		{
			std::lock_guard<std::mutex> lock(pair.lock);
			pair.ping = true;
		}
		pair.pingSignal.notify_one();
		{
			std::unique_lock<std::mutex> lock(pair.lock);
			pair.pongSignal.wait(lock, [&] { return pair.pong; });
			pair.pong = false;
		}
		gBareSamples.push_back(NowMicroseconds() - start);
	}
	{
		std::lock_guard<std::mutex> lock(pair.lock);
		pair.quit = true;
	}
	pair.pingSignal.notify_one();
	echo.join();
}

BENCHMARK(BM_PortPingPong)->Arg(0)->Arg(1)->Iterations(kRoundTrips)->UseRealTime();
BENCHMARK(BM_SemaphorePingPong)->Arg(0)->Arg(1)->Iterations(kRoundTrips)->UseRealTime();
BENCHMARK(BM_BarePingPong)->Iterations(kRoundTrips)->UseRealTime();

// NaN when nothing was measured.
struct Figures
{
	double median = NAN;
	double p99 = NAN;
};

Figures FiguresOf(std::vector<double> samples)
{
	Figures figures;
	if (samples.empty())
		return figures;
	std::sort(samples.begin(), samples.end());
	figures.median = samples[samples.size() / 2];
	figures.p99 = samples[std::min(samples.size() - 1, samples.size() * 99 / 100)];
	return figures;
}

} // namespace

// Holds this process (and the threads it starts from now on) to the CPU it runs on; that CPU,
// or -1 when it cannot.
int StayOnThisCpu()
{
	const int cpu = sched_getcpu();
	if (cpu < 0)
		return -1;
	cpu_set_t one;
	CPU_ZERO(&one);
	CPU_SET(cpu, &one);
	return sched_setaffinity(0, sizeof(one), &one) == 0 ? cpu : -1;
}

int main(int argc, char** argv)
{
	const int cpu = StayOnThisCpu();
	benchmark::Initialize(&argc, argv);
	if (benchmark::ReportUnrecognizedArguments(argc, argv))
		return 1;
	benchmark::RunSpecifiedBenchmarks();
	benchmark::Shutdown();

	Figures port = FiguresOf(gPortSamples);
	Figures semaphore = FiguresOf(gSemaphoreSamples);
	Figures timedPort = FiguresOf(gTimedPortSamples);
	Figures timedSemaphore = FiguresOf(gTimedSemaphoreSamples);
	Figures bare = FiguresOf(gBareSamples);
	printf("\nround trip between two threads (%d each), microseconds, ", kRoundTrips);
	if (cpu >= 0)
		printf("both on CPU %d\n", cpu);
	else
		printf("wherever the scheduler put them\n");
	printf("%-24s %10s %10s\n", "", "median", "p99");
	printf("%-24s %10.2f %10.2f\n", "port", port.median, port.p99);
	printf("%-24s %10.2f %10.2f\n", "semaphore", semaphore.median, semaphore.p99);
	printf("%-24s %10.2f %10.2f\n", "port, timed", timedPort.median, timedPort.p99);
	printf("%-24s %10.2f %10.2f\n", "semaphore, timed", timedSemaphore.median, timedSemaphore.p99);
	printf("%-24s %10.2f %10.2f\n", "mutex + condition var", bare.median, bare.p99);
	if (bare.median > 0 && bare.p99 > 0) {
		printf("%-24s %10.2f %10.2f\n", "ratio port / bare", port.median / bare.median,
		       port.p99 / bare.p99);
		printf("%-24s %10.2f %10.2f\n", "ratio semaphore / bare", semaphore.median / bare.median,
		       semaphore.p99 / bare.p99);
		printf("%-24s %10.2f %10.2f\n", "ratio timed port / bare", timedPort.median / bare.median,
		       timedPort.p99 / bare.p99);
		printf("%-24s %10.2f %10.2f\n", "ratio timed sem / bare",
		       timedSemaphore.median / bare.median, timedSemaphore.p99 / bare.p99);
	}
	VelmoBench::RecordFigure("kernel.port_median_us", port.median);
	VelmoBench::RecordFigure("kernel.semaphore_median_us", semaphore.median);
	VelmoBench::RecordFigure("kernel.bare_median_us", bare.median);
	return 0;
}
