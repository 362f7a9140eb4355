#include "support/Transcript.h"

#include <map>
#include <sstream>

namespace VelmoTest {

namespace {

// Depth-first search over positions in each sequence, remembering dead ends.
class InterleavingSearch {
public:
	InterleavingSearch(const std::vector<std::string>& actual,
		const std::vector<std::vector<std::string>>& threads)
		: fActual(actual), fThreads(threads) {}

	bool Search(std::vector<size_t>& positions, size_t done, size_t* furthest)
	{
		if (done > *furthest)
			*furthest = done;
		if (done == fActual.size()) {
			for (size_t i = 0; i < fThreads.size(); i++) {
				if (positions[i] != fThreads[i].size())
					return false;
			}
			return true;
		}
		if (fDeadEnds.count(positions) != 0)
			return false;
		for (size_t i = 0; i < fThreads.size(); i++) {
			if (positions[i] < fThreads[i].size()
				&& fThreads[i][positions[i]] == fActual[done]) {
				positions[i]++;
				bool found = Search(positions, done + 1, furthest);
				positions[i]--;
				if (found)
					return true;
			}
		}
		fDeadEnds[positions] = true;
		return false;
	}

private:
	const std::vector<std::string>& fActual;
	const std::vector<std::vector<std::string>>& fThreads;
	std::map<std::vector<size_t>, bool> fDeadEnds;
};

} // namespace

bool
IsInterleavingOf(const std::vector<std::string>& actual,
	const std::vector<std::vector<std::string>>& threads, std::string* why)
{
	InterleavingSearch search(actual, threads);
	std::vector<size_t> positions(threads.size(), 0);
	size_t furthest = 0;
	if (search.Search(positions, 0, &furthest))
		return true;
	if (why != nullptr) {
		std::ostringstream text;
		text << "the lines match the threads' sequences only up to line " << furthest;
		if (furthest < actual.size())
			text << " (\"" << actual[furthest] << "\")";
		text << "; printed:\n";
		for (const std::string& line : actual)
			text << "  |" << line << "|\n";
		*why = text.str();
	}
	return false;
}

int
IndexOf(const std::vector<std::string>& lines, const std::string& text)
{
	for (size_t i = 0; i < lines.size(); i++) {
		if (lines[i] == text)
			return (int)i;
	}
	return -1;
}

std::vector<std::string>
ApplicationLines(bool velmoLaunchWasRunning)
{
	return {
		"VelmoReset::ReadyToRun(): Checking if we need to terminate VelmoLaunch ...",
		velmoLaunchWasRunning
			? "VelmoReset::ReadyToRun(): VelmoLaunch terminated."
			: "VelmoReset::ReadyToRun(): VelmoLaunch not running, no need to terminate it.",
		"Reset with mode = 0",
	};
}

std::vector<std::string>
InstallerLines()
{
	return {
		"Installer running (default mode = 0)",
		"",
		"Remove floppy   ",
		"Insert CD, ENTER",
		"",
		"",
		"Rebooting VELMO ",
		"  please wait   ",
		"",
		"Installer exiting",
	};
}

} // namespace VelmoTest
