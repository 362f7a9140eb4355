#include "support/ProcessTimes.h"

#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

namespace VelmoTest {

std::chrono::microseconds CpuTimeOf(pid_t pid)
{
	std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
	std::string text;
	if (!std::getline(file, text))
		return std::chrono::microseconds(-1);
	// The command name (field 2) is in parentheses and may hold spaces and parentheses itself:
	// the fields after it start behind the last ')'.
	size_t close = text.rfind(')');
	if (close == std::string::npos)
		return std::chrono::microseconds(-1);
	std::istringstream fields(text.substr(close + 1));
	// Fields 3 to 13, then utime (14) and stime (15), in clock ticks.
	std::string skipped;
	for (int field = 3; field <= 13; field++)
		fields >> skipped;
	long long userTicks = -1;
	long long systemTicks = -1;
	fields >> userTicks >> systemTicks;
	long ticksPerSecond = sysconf(_SC_CLK_TCK);
	if (!fields || userTicks < 0 || systemTicks < 0 || ticksPerSecond <= 0)
		return std::chrono::microseconds(-1);
	return std::chrono::microseconds((userTicks + systemTicks) * 1000000 / ticksPerSecond);
}

} // namespace VelmoTest
