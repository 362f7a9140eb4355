// A hundred whole resets, one after another on each of a few parallel lanes, each with its own
// simulated unit: every one exits 0 with exactly the lines of a reset, every one holds the same
// descriptors and threads while asking, and when they are over this process holds what it held
// before and no temporary file is left.

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/Eventually.h"
#include "support/ProcessCensus.h"
#include "support/ProgramRun.h"
#include "support/RemoteUnitRig.h"
#include "support/TempDirectory.h"
#include "support/Transcript.h"
#include "unit-sim/UnitSimulator.h"

using namespace VelmoTest;
using namespace std::chrono_literals;

namespace {

const std::chrono::seconds kGenerous = 30s;
const int kLanes = 5;
const int kResetsPerLane = 20;

// What one reset showed; filled by its lane, read once all lanes are joined.
struct ResetRecord
{
	bool ran = false;     // it got as far as the question
	int descriptors = -1; // the program's, while asking
	std::vector<std::string> descriptorTargets;
	int threads = -1;     // the program's, while asking
	std::string rootPath; // the platform root, removed by the end of the reset
	std::string failure;  // empty when the reset was whole
};

void RunOneReset(int index, const std::string& temporaryDirectory, ResetRecord* record)
{
	RemoteUnitRig rig;
	record->rootPath = rig.root.Path();
	std::string why;
	if (!rig.StartUnit(&why)) {
		record->failure = why;
		return;
	}
	ProgramRun::Options options = HeadlessOptions(rig.root);
	options.environment["TMPDIR"] = temporaryDirectory;
	ProgramRun& program = rig.StartProgram(options);
	if (!program.WaitForLine(kClassicLine, kGenerous) ||
	    !program.WaitForLine(kPrompt2, kGenerous) ||
	    !rig.unit.WaitForLcd(kPrompt1, kPrompt2, Clock::now() + kGenerous)) {
		record->failure = "no question:\n" + program.Output();
		return;
	}
	record->ran = true;
	// The fewest over a few looks: a sanitizer's runtime opens a pipe for a moment now and then
	// (to probe memory), which is none of the program's doing.
	for (int look = 0; look < 5; look++) {
		const int descriptors = OpenDescriptorCount(program.Pid());
		if (record->descriptors < 0 || descriptors < record->descriptors) {
			record->descriptors = descriptors;
			record->descriptorTargets = OpenDescriptorTargets(program.Pid());
		}
		std::this_thread::sleep_for(10ms);
	}
	record->threads = ThreadCount(program.Pid());

	if (index % 2 == 0)
		rig.unit.PressKey(UnitSim::Key::Enter);
	else
		program.Type("\r");
	if (!program.WaitForExit(kGenerous)) {
		record->failure = "no exit:\n" + program.Output();
		return;
	}
	if (!program.Exited() || program.ExitCode() != 0) {
		record->failure = "status " + std::to_string(program.Status()) + ":\n" + program.Output();
		return;
	}
	// With the machine this loaded the unit's thread may answer a poll later than the read
	// time-out, or pause in the middle of a reply: the lines the protocol has for that are
	// allowed for each stall the unit counted, and only then.
	const testing::AssertionResult transcript = IsTranscriptOf(program.Lines(), rig.Transcript());
	if (!transcript)
		record->failure = transcript.message();
	else if (!program.SessionLeftAtExit().empty())
		record->failure = "a process of its session is still running";
}

TEST(BackToBackResets, HundredResetsExitZeroWithExactOutputAndLeaveNothingBehind)
{
	TempDirectory programTemporary("velmo-program-tmp");
	// A first thread of its own, so that what a runtime starts with the first one (as
	// ThreadSanitizer does) is there before the count.
	std::thread([] {}).join();
	const int descriptorsBefore = OpenDescriptorCount(getpid());
	const int threadsBefore = ThreadCount(getpid());
	ASSERT_GT(descriptorsBefore, 0);
	ASSERT_GT(threadsBefore, 0);

	std::vector<ResetRecord> records(kLanes * kResetsPerLane);
	{
		std::vector<std::thread> lanes;
		for (int lane = 0; lane < kLanes; lane++) {
			lanes.emplace_back([&, lane] {
				for (int run = 0; run < kResetsPerLane; run++) {
					const int index = lane * kResetsPerLane + run;
					RunOneReset(index, programTemporary.Path(), &records[index]);
				}
			});
		}
		for (std::thread& lane : lanes)
			lane.join();
	}

	int failures = 0;
	for (size_t index = 0; index < records.size(); index++) {
		const ResetRecord& record = records[index];
		if (!record.failure.empty() && failures++ < 3)
			ADD_FAILURE() << "reset " << index << ": " << record.failure;
		EXPECT_FALSE(std::filesystem::exists(record.rootPath)) << record.rootPath;
	}
	EXPECT_EQ(failures, 0) << "resets that were not whole";

	ASSERT_TRUE(records[0].ran);
	for (size_t index = 0; index < records.size(); index++) {
		if (!records[index].ran)
			continue;
		EXPECT_EQ(records[index].descriptors, records[0].descriptors)
		    << "reset " << index << ": " << testing::PrintToString(records[index].descriptorTargets)
		    << " against " << testing::PrintToString(records[0].descriptorTargets);
		EXPECT_EQ(records[index].threads, records[0].threads) << "reset " << index;
	}

	EXPECT_EQ(OpenDescriptorCount(getpid()), descriptorsBefore);
	// A joined thread's /proc entry may outlive the join for a moment: the kernel wakes the
	// joiner as the thread clears its id, before the task is released.
	EXPECT_TRUE(Eventually([&] { return ThreadCount(getpid()) == threadsBefore; }, kGenerous))
	    << ThreadCount(getpid()) << " threads, " << threadsBefore << " before";
	EXPECT_TRUE(DirectoryEntries(programTemporary.Path()).empty())
	    << "the program left files in its TMPDIR";
}

} // namespace
