// ScreenBench's CPU and memory while the program asks, in every place at once, beside the
// minimal loop asking in the same protocol over the same seconds.

#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "BenchFigures.h"
#include "ScreenKiosk.h"
#include "ScreenShared.h"
#include "support/ProcessStats.h"

namespace ScreenBench {

namespace {

// The rows and figures of one place's seconds of asking, beside the loop's of the same seconds.
void ReportAsking(const Place& place, const CpuUse& use, const CpuUse* loopUse,
                  double pollsPerSecond, double loopPollsPerSecond, const CpuUse* server,
                  long resident, const std::string& residentBreakdown)
{
	const std::string& where = place.where;
	const std::string aim = loopUse != nullptr ? "<= 1.3 x the loop" : "";
	const auto verdict = [&](double percent, double loopPercent) {
		return loopUse == nullptr ? "" : percent <= 1.3 * loopPercent ? "met" : "MISSED";
	};
	AddRow("CPU while asking, " + where + " (stat ticks)", Fixed(use.percent, 2, " % of a core"),
	       aim, verdict(use.percent, loopUse != nullptr ? loopUse->percent : 0));
	AddRow("CPU while asking, " + where + " (schedstat)",
	       Fixed(use.precisePercent, 2, " % of a core"), aim,
	       verdict(use.precisePercent, loopUse != nullptr ? loopUse->precisePercent : 0));
	AddRow("Polls while asking, " + where, Fixed(pollsPerSecond, 1, " a second"), "", "");
	if (loopUse != nullptr) {
		VelmoBench::RecordFigure("screen.loop_cpu_" + place.key + "_percent",
		                         loopUse->precisePercent);
		VelmoBench::RecordFigure("screen.loop_polls_" + place.key + "_per_s", loopPollsPerSecond);
	}
	if (server != nullptr) {
		AddRow("X server's CPU meanwhile, " + where + " (stat ticks)",
		       Fixed(server->percent, 2, " % of a core"), "", "");
	}
	AddRow("Resident memory while asking, " + where, Fixed(double(resident), 0, " KiB"), "", "");
	VelmoBench::RecordFigure("screen.cpu_" + place.key + "_percent", use.precisePercent);
	// The remote-unit thread alone: the part of the program that does what the loop does.
	for (const ThreadUse& thread : use.threads) {
		if (thread.name == "UserInterface")
			VelmoBench::RecordFigure("screen.ui_thread_cpu_" + place.key + "_percent",
			                         thread.percent);
	}
	VelmoBench::RecordFigure("screen.polls_" + place.key + "_per_s", pollsPerSecond);
	VelmoBench::RecordFigure("screen.rss_" + place.key + "_kib", double(resident));
	AddThreadNotes("CPU while asking, " + where, use);
	AddNote("Resident memory while asking, " + where + ": " + residentBreakdown);
}

} // namespace

std::map<std::string, double> MeasureAsking(const std::vector<Place>& places)
{
	std::map<std::string, double> cpu;
	std::vector<std::unique_ptr<Kiosk>> kiosks;
	std::vector<const Place*> asking;
	for (const Place& place : places) {
		auto kiosk = std::make_unique<Kiosk>();
		std::string error;
		if (!kiosk->Start(place.environment, place.unset, &error)) {
			AddFailure("CPU while asking, " + place.where, error);
			continue;
		}
		kiosks.push_back(std::move(kiosk));
		asking.push_back(&place);
	}
	if (kiosks.empty())
		return cpu;
	std::string beside;
	for (const Place* place : asking)
		beside += (beside.empty() ? "" : " and ") + place->where;
	AskingLoopRun loop;
	std::string error;
	const bool loopAsks = loop.Start(&error);
	if (!loopAsks)
		AddFailure("CPU of the asking loop, beside " + beside, error);
	// Let the start-up's last work (first paint, first LCD frames) pass.
	std::this_thread::sleep_for(1s);

	const size_t count = kiosks.size();
	std::vector<ProcessSample> first(count);
	std::vector<ProcessSample> serverFirst(count);
	std::vector<uint64_t> polls(count);
	for (size_t index = 0; index < count; index++) {
		first[index] = SampleProcess(kiosks[index]->Program().Pid());
		if (asking[index]->serverPid > 0)
			serverFirst[index] = SampleProcess(asking[index]->serverPid);
		polls[index] = kiosks[index]->Unit().PollCount();
	}
	const pid_t loopPid = loopAsks ? loop.Loop().Pid() : -1;
	const ProcessSample loopFirst = loopAsks ? SampleProcess(loopPid) : ProcessSample();
	const uint64_t loopPolls = loopAsks ? loop.Unit().PollCount() : 0;
	const Clock::time_point from = Clock::now();
	std::this_thread::sleep_for(kAskingWindow);
	std::vector<CpuUse> uses(count);
	std::vector<CpuUse> servers(count);
	for (size_t index = 0; index < count; index++) {
		uses[index] = CpuUseBetween(first[index], SampleProcess(kiosks[index]->Program().Pid()));
		if (asking[index]->serverPid > 0)
			servers[index] =
			    CpuUseBetween(serverFirst[index], SampleProcess(asking[index]->serverPid));
	}
	const CpuUse loopUse = loopAsks ? CpuUseBetween(loopFirst, SampleProcess(loopPid)) : CpuUse();
	const double seconds = Milliseconds(Clock::now() - from) / 1000;
	const double loopPollsPerSecond =
	    loopAsks ? double(loop.Unit().PollCount() - loopPolls) / seconds : 0;
	const bool loopStillAsking = loopAsks && loop.Unit().PollCount() > loopPolls;
	if (loopAsks)
		loop.Stop();
	if (loopAsks && !loopStillAsking)
		AddFailure("CPU of the asking loop, beside " + beside, "the loop stopped asking");
	const bool haveLoop = loopAsks && loopStillAsking;

	for (size_t index = 0; index < count; index++) {
		Kiosk& kiosk = *kiosks[index];
		const pid_t pid = kiosk.Program().Pid();
		const double pollsPerSecond = double(kiosk.Unit().PollCount() - polls[index]) / seconds;
		const long resident = ResidentKibibytes(pid);
		const std::string residentBreakdown = ResidentBreakdown(pid);
		const bool stillAsking = kiosk.Unit().LcdLines().second == kQuestionLine2;
		kiosk.Stop();
		if (!stillAsking) {
			AddFailure("CPU while asking, " + asking[index]->where, "the program stopped asking");
			continue;
		}
		ReportAsking(*asking[index], uses[index], haveLoop ? &loopUse : nullptr, pollsPerSecond,
		             loopPollsPerSecond,
		             asking[index]->serverPid > 0 ? &servers[index] : nullptr, resident,
		             residentBreakdown);
		cpu[asking[index]->key] = uses[index].precisePercent;
	}
	if (haveLoop) {
		AddRow("CPU of the asking loop meanwhile (stat ticks)",
		       Fixed(loopUse.percent, 2, " % of a core"), "", "");
		AddRow("CPU of the asking loop meanwhile (schedstat)",
		       Fixed(loopUse.precisePercent, 2, " % of a core"), "", "");
		AddRow("Polls of the asking loop meanwhile", Fixed(loopPollsPerSecond, 1, " a second"), "",
		       "");
		AddThreadNotes("CPU of the asking loop beside " + beside, loopUse);
	}
	return cpu;
}

} // namespace ScreenBench
