#pragma once

#include <string>
#include <vector>

namespace VelmoTest {

// Whether `actual` is an interleaving of the per-thread sequences: every sequence appears in it
// in order, and nothing else does. Threads print independently, so only each thread's own order
// is fixed. On failure, `why` says where it went wrong.
bool IsInterleavingOf(const std::vector<std::string>& actual,
	const std::vector<std::vector<std::string>>& threads, std::string* why);

// The index of the first line equal to `text`, or -1.
int IndexOf(const std::vector<std::string>& lines, const std::string& text);

// The lines of a whole reset, by the thread that prints them.
std::vector<std::string> ApplicationLines(bool velmoLaunchWasRunning);
std::vector<std::string> InstallerLines();

} // namespace VelmoTest
