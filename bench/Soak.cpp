// The soak run: the real program asking for minutes on end (headless, on a terminal of its own)
// against the simulated unit at the line's own speed, while the unit cycles through good
// replies, garbage, bursts of wrong headers and bad checksums, and presses of its backslash key.
// Once a second it samples the program's resident memory and its open descriptors; it measures
// the pass period in a window of good replies at the start and another at the end. At the end it
// presses the unit's ENTER and checks that the program announces, resets and exits with 0.
//
//     VelmoSoak [SECONDS]      (or SOAK_SECONDS; 600 by default, 30 at least)
//
// Passes when the resident memory grew by less than 1 MiB from the first sample after the
// warm-up (the first minute, or the first quarter of a shorter run) to the last, the descriptor
// count never changed, the end's pass period is within 5 % of the start's, no ENTER was seen
// before the end and the program exited cleanly after it. Exit status 1 otherwise.

#include <signal.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/ProcessCensus.h"
#include "support/ProcessStats.h"
#include "support/ProgramRun.h"
#include "support/RemoteUnitRig.h"
#include "support/Transcript.h"
#include "unit-sim/UnitSimulator.h"

#include "Statistics.h"

using namespace VelmoTest;
using namespace std::chrono_literals;
using UnitSim::Misbehaviour;

namespace {

using VelmoBench::Median;

typedef std::chrono::duration<double, std::milli> Milliseconds;
typedef std::chrono::duration<double> Seconds;

const int kDefaultSeconds = 600;
const int kLeastSeconds = 30;
const auto kGenerous = 20s;
const auto kSampleInterval = 1s;
const auto kLongestWarmUp = 60s;
const auto kLongestPassWindow = 10s;
const long kResidentGrowthLimitKib = 1024;
const double kPassDriftLimit = 0.05;

// One step of the unit's cycle (10 s): how it answers, and whether it presses backslash as the
// step begins.
struct Step
{
	Misbehaviour misbehaviour;
	Clock::duration length;
	bool pressBackslash;
	const char* name;
};

const Step kCycle[] = {
    {Misbehaviour::None, 3s, true, "good replies, backslash pressed"},
    {Misbehaviour::Garbage, 1s, false, "garbage"},
    {Misbehaviour::None, 2s, false, "good replies"},
    {Misbehaviour::WrongHeader, 500ms, false, "wrong headers"},
    {Misbehaviour::None, 2s, true, "good replies, backslash pressed"},
    {Misbehaviour::BadChecksum, 500ms, false, "bad checksums"},
    {Misbehaviour::None, 1s, false, "good replies"},
};

// The least time a pass can take when it waits for its own reply (KM-3II): the 20 ms pause,
// then the 33 LCD bytes, the poll and the 27 reply bytes at 10 bit times each. A pass well
// under it read a reply that was already waiting: one its predecessor's read had timed out on.
const double kFloorMs = 20.0 + (33 + 1 + 27) * 10 * 1000.0 / 57600;
const double kUnderFloorMs = 2.0;

struct Sample
{
	Clock::time_point time;
	long residentKib;
	int descriptors;
};

// Samples a process once every kSampleInterval on a thread of its own, from construction until
// Stop. Samples() may be called from any thread.
class Sampler
{
public:
	explicit Sampler(pid_t pid) : fPid(pid), fThread([this] { _Run(); }) {}
	~Sampler() { Stop(); }
	Sampler(const Sampler&) = delete;
	Sampler& operator=(const Sampler&) = delete;

	void Stop()
	{
		{
			std::lock_guard<std::mutex> lock(fLock);
			fStopping = true;
		}
		fChanged.notify_all();
		if (fThread.joinable())
			fThread.join();
	}

	std::vector<Sample> Samples() const
	{
		std::lock_guard<std::mutex> lock(fLock);
		return fSamples;
	}

private:
	void _Run()
	{
		std::unique_lock<std::mutex> lock(fLock);
		Clock::time_point next = Clock::now();
		while (!fStopping) {
			lock.unlock();
			const Sample sample = {Clock::now(), ResidentKibibytes(fPid),
			                       OpenDescriptorCount(fPid)};
			lock.lock();
			fSamples.push_back(sample);
			next += kSampleInterval;
			fChanged.wait_until(lock, next, [this] { return fStopping; });
		}
	}

	const pid_t fPid;
	mutable std::mutex fLock;
	std::condition_variable fChanged;
	bool fStopping = false;
	std::vector<Sample> fSamples;
	std::thread fThread;
};

struct Window
{
	Clock::time_point from;
	Clock::time_point to;
};

// The periods between consecutive polls that both fell inside one of `windows`.
std::vector<double> PassPeriods(const std::vector<Clock::time_point>& polls,
                                const std::vector<Window>& windows)
{
	std::vector<double> periods;
	for (const Window& window : windows) {
		for (size_t index = 1; index < polls.size(); index++) {
			if (polls[index - 1] >= window.from && polls[index] <= window.to)
				periods.push_back(Milliseconds(polls[index] - polls[index - 1]).count());
		}
	}
	return periods;
}

int SoakSeconds(int argc, char** argv)
{
	const char* text = argc > 1 ? argv[1] : getenv("SOAK_SECONDS");
	if (text == nullptr || text[0] == '\0')
		return kDefaultSeconds;
	return std::max(kLeastSeconds, atoi(text));
}

// Holds the unit to good replies for `length` and returns the window, less its first 100 ms, in
// which a reply to a poll taken under the previous behaviour may still be going out.
Window GoodWindow(UnitSim::UnitSimulator& unit, Clock::duration length)
{
	unit.SetMisbehaviour(Misbehaviour::None);
	const Clock::time_point from = Clock::now() + 100ms;
	std::this_thread::sleep_until(from + length);
	return {from, Clock::now()};
}

struct Verdict
{
	bool passed = true;
	void Check(bool met, const char* what)
	{
		printf("  %-58s %s\n", what, met ? "met" : "FAILED");
		passed = passed && met;
	}
};

} // namespace

int main(int argc, char** argv)
{
	signal(SIGPIPE, SIG_IGN);
	const Clock::duration total = std::chrono::seconds(SoakSeconds(argc, argv));
	const Clock::duration warmUp = std::min<Clock::duration>(kLongestWarmUp, total / 4);
	const Clock::duration passWindow = std::min<Clock::duration>(kLongestPassWindow, total / 6);
	const Clock::duration reportEvery = total >= 300s ? 60s : 10s;

	UnitSim::Options options;
	options.model = UnitSim::Model::Km3II;
	options.wireTiming = true;
	options.bitRate = 57600;
	RemoteUnitRig rig(options);
	std::string error;
	if (!rig.StartUnit(&error)) {
		fprintf(stderr, "VelmoSoak: the unit did not start: %s\n", error.c_str());
		return 1;
	}
	ProgramRun& program = rig.StartProgram();
	if (!program.WaitForLine("Detected KM-3II", kGenerous) ||
	    !rig.unit.WaitForLcd(kPrompt1, kPrompt2, Clock::now() + kGenerous)) {
		fprintf(stderr, "VelmoSoak: the program never asked on the unit:\n%s\n",
		        program.Output().c_str());
		return 1;
	}
	const pid_t pid = program.Pid();
	const Clock::time_point start = Clock::now();
	const Clock::time_point end = start + total;
	printf("Soak: %.0f s of asking, KM-3II at 57600 bit/s; warm-up %.0f s, pass windows %.0f s\n",
	       Seconds(total).count(), Seconds(warmUp).count(), Seconds(passWindow).count());
	printf("%8s %12s %12s %16s\n", "at s", "VmRSS KiB", "descriptors", "good pass ms");
	fflush(stdout);

	Sampler sampler(pid);
	const Window first = GoodWindow(rig.unit, passWindow);
	std::vector<Window> goodSteps;
	// When each step of the cycle began, and which it was.
	std::vector<std::pair<Clock::time_point, const Step*>> stepLog;
	int backslashes = 0;
	bool died = false;
	Clock::time_point nextReport = start + reportEvery;
	size_t reportedSteps = 0;
	for (size_t step = 0; !died && Clock::now() + passWindow < end; step++) {
		const Step& now = kCycle[step % std::size(kCycle)];
		rig.unit.SetMisbehaviour(now.misbehaviour);
		if (now.pressBackslash) {
			rig.unit.PressKey(UnitSim::Key::Backslash);
			backslashes++;
		}
		const Clock::time_point from = Clock::now();
		stepLog.push_back({from, &now});
		const Clock::time_point until = std::min(from + now.length, end - passWindow);
		std::this_thread::sleep_until(until);
		if (now.misbehaviour == Misbehaviour::None)
			goodSteps.push_back({from + 100ms, until});
		// A process that has ended has no resident memory left, even before it is reaped.
		died = ResidentKibibytes(pid) <= 0;
		const std::vector<Sample> samples = sampler.Samples();
		if (Clock::now() >= nextReport && !samples.empty()) {
			const std::vector<Window> recent(goodSteps.begin() + reportedSteps, goodSteps.end());
			reportedSteps = goodSteps.size();
			printf("%8.0f %12ld %12d %16.2f\n", Seconds(Clock::now() - start).count(),
			       samples.back().residentKib, samples.back().descriptors,
			       Median(PassPeriods(rig.unit.PollTimes(), recent)));
			fflush(stdout);
			nextReport += reportEvery;
		}
	}
	const Window last = died ? Window() : GoodWindow(rig.unit, passWindow);
	sampler.Stop();
	const std::vector<Sample> samples = sampler.Samples();
	const std::vector<Clock::time_point> polls = rig.unit.PollTimes();
	const std::vector<std::string> linesBeforeEnter = program.Texts();
	const bool enteredEarly = IndexOf(linesBeforeEnter, kAnnounce2) >= 0;

	// The end: ENTER on the unit, the announcement, the reset, a clean exit.
	rig.unit.PressKey(UnitSim::Key::Enter);
	const bool announced = !died && program.WaitForLine(kAnnounce2, kGenerous) &&
	                       rig.unit.WaitForLcd(kAnnounce1, kAnnounce2, Clock::now() + kGenerous);
	const bool reset = announced && program.WaitForLine(kResetLine, kGenerous);
	const bool exited = program.WaitForExit(kGenerous) && program.Exited();
	const int exitCode = program.ExitCode();

	// Figures.
	const double firstPass = Median(PassPeriods(polls, {first}));
	const double lastPass = Median(PassPeriods(polls, {last}));
	const double goodPass = Median(PassPeriods(polls, goodSteps));
	const Clock::time_point warm = start + warmUp;
	const Sample* afterWarmUp = nullptr;
	long peakKib = 0;
	int fewestDescriptors = samples.empty() ? -1 : samples.front().descriptors;
	int mostDescriptors = fewestDescriptors;
	for (const Sample& sample : samples) {
		if (sample.time >= warm && afterWarmUp == nullptr)
			afterWarmUp = &sample;
		if (sample.time >= warm)
			peakKib = std::max(peakKib, sample.residentKib);
		fewestDescriptors = std::min(fewestDescriptors, sample.descriptors);
		mostDescriptors = std::max(mostDescriptors, sample.descriptors);
	}
	const long growthKib = afterWarmUp != nullptr && !samples.empty()
	                           ? samples.back().residentKib - afterWarmUp->residentKib
	                           : 0;
	const std::vector<std::string> lines = program.Texts();
	size_t underFloor = 0;
	Clock::time_point firstUnderFloor;
	std::string aroundFirst;
	for (size_t index = 1; index < polls.size(); index++) {
		if (polls[index - 1] < start)
			continue;
		if (Milliseconds(polls[index] - polls[index - 1]).count() < kFloorMs - kUnderFloorMs) {
			if (underFloor++ > 0)
				continue;
			firstUnderFloor = polls[index - 1];
			for (size_t near = index > 4 ? index - 4 : 1; near < polls.size() && near < index + 4;
			     near++) {
				char period[16];
				snprintf(period, sizeof(period), " %.1f",
				         Milliseconds(polls[near] - polls[near - 1]).count());
				aroundFirst += period;
			}
		}
	}
	std::string firstUnderFloorText = "none";
	if (underFloor > 0) {
		const char* during = "the first pass window";
		for (const auto& [began, step] : stepLog) {
			if (began <= firstUnderFloor)
				during = step->name;
		}
		char text[160];
		snprintf(text, sizeof(text), "first at %.2f s, during %s",
		         Seconds(firstUnderFloor - start).count(), during);
		firstUnderFloorText = text;
	}

	printf("\nSoak figures (%zu samples, one a second)\n", samples.size());
	printf("  VmRSS at the first sample           %8ld KiB\n",
	       samples.empty() ? -1 : samples.front().residentKib);
	printf("  VmRSS after the warm-up (%3.0f s)     %8ld KiB\n",
	       afterWarmUp == nullptr ? NAN : Seconds(afterWarmUp->time - start).count(),
	       afterWarmUp == nullptr ? -1 : afterWarmUp->residentKib);
	printf("  VmRSS at the last sample            %8ld KiB (growth %+ld KiB, peak %ld KiB)\n",
	       samples.empty() ? -1 : samples.back().residentKib, growthKib, peakKib);
	printf("  open descriptors                    %8d to %d\n", fewestDescriptors, mostDescriptors);
	printf("  pass period, first window (median)  %8.2f ms (%zu passes)\n", firstPass,
	       PassPeriods(polls, {first}).size());
	printf("  pass period, last window (median)   %8.2f ms (%zu passes, %+.2f %%)\n", lastPass,
	       PassPeriods(polls, {last}).size(), 100.0 * (lastPass - firstPass) / firstPass);
	printf("  pass period, all good steps         %8.2f ms (floor %.2f ms)\n", goodPass, kFloorMs);
	printf("  passes %.0f ms or more under the floor %7zu (%s)\n", kUnderFloorMs, underFloor,
	       firstUnderFloorText.c_str());
	if (underFloor > 0)
		printf("  pass periods around the first, ms   %s\n", aroundFirst.c_str());
	printf("  backslash presses                   %8d\n", backslashes);
	printf("  replies rejected: header / checksum %8zu / %zu\n",
	       CountStarting(lines, "Unknown header type "), CountStarting(lines, "Invalid checksum"));
	printf("  model lines printed                 %8zu\n",
	       CountStarting(lines, "Detected ") + CountStarting(lines, "Unknown packet size "));
	printf("  exit status after ENTER             %8d\n", exitCode);

	printf("\nVerdict\n");
	Verdict verdict;
	verdict.Check(!died, "the program ran throughout");
	verdict.Check(afterWarmUp != nullptr && growthKib < kResidentGrowthLimitKib,
	              "VmRSS grew < 1 MiB from after the warm-up to the end");
	verdict.Check(!samples.empty() && fewestDescriptors == mostDescriptors && fewestDescriptors > 0,
	              "the descriptor count never changed");
	verdict.Check(std::fabs(lastPass - firstPass) <= kPassDriftLimit * firstPass,
	              "the pass period at the end is within 5 % of the start's");
	verdict.Check(!enteredEarly, "no announcement before the unit's ENTER");
	verdict.Check(announced && reset, "ENTER announced on terminal and LCD, then the reset");
	verdict.Check(exited && exitCode == 0, "the program exited with status 0");
	printf("\n%s\n", verdict.passed ? "SOAK PASSED" : "SOAK FAILED");
	if (!verdict.passed && !exited) {
		const std::string output = program.Output();
		printf("the program's last output:\n%s\n",
		       output.substr(output.size() > 4000 ? output.size() - 4000 : 0).c_str());
	}
	return verdict.passed ? 0 : 1;
}
