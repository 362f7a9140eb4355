#include "support/ProcessStats.h"

#include <dirent.h>
#include <errno.h>
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace VelmoTest {

namespace {

std::string ReadWholeFile(const std::string& path)
{
	std::ifstream file(path);
	std::stringstream contents;
	contents << file.rdbuf();
	return contents.str();
}

// A "Name: value" field of a /proc status or io file; 0 if absent. Names are matched at the
// start of a line, so "Pid" does not find "PPid" or "TracerPid".
long long NamedField(const std::string& contents, const std::string& name)
{
	const std::string key = name + ":";
	for (size_t at = 0; at < contents.size();) {
		if (contents.compare(at, key.size(), key) == 0) {
			try {
				return std::stoll(contents.substr(at + key.size()));
			} catch (...) {
				return 0;
			}
		}
		const size_t end = contents.find('\n', at);
		if (end == std::string::npos)
			break;
		at = end + 1;
	}
	return 0;
}

// utime + stime of a /proc stat file, in clock ticks; -1 if unreadable. The name in parentheses
// may hold spaces and parentheses itself, so the fields are counted from the last ')'.
long long StatTicks(const std::string& path)
{
	const std::string stat = ReadWholeFile(path);
	const size_t close = stat.rfind(')');
	if (close == std::string::npos)
		return -1;
	std::istringstream fields(stat.substr(close + 1));
	std::string field;
	long long ticks = 0;
	// The state is field 3, utime field 14, stime field 15.
	for (int number = 3; number <= 15 && fields >> field; number++) {
		if (number == 14 || number == 15)
			ticks += std::stoll(field);
	}
	return ticks;
}

// The entries of a /proc directory that are numbers (processes or threads).
std::vector<pid_t> NumberedEntries(const std::string& path)
{
	std::vector<pid_t> numbers;
	DIR* directory = opendir(path.c_str());
	if (directory == nullptr)
		return numbers;
	while (dirent* entry = readdir(directory)) {
		if (entry->d_name[0] >= '0' && entry->d_name[0] <= '9')
			numbers.push_back(pid_t(std::stol(entry->d_name)));
	}
	closedir(directory);
	return numbers;
}

double Milliseconds(std::chrono::steady_clock::duration duration)
{
	return std::chrono::duration<double, std::milli>(duration).count();
}

} // namespace

ProcessSample SampleProcess(pid_t pid)
{
	ProcessSample times;
	times.time = std::chrono::steady_clock::now();
	const std::string base = "/proc/" + std::to_string(pid);
	times.ticks = StatTicks(base + "/stat");
	for (pid_t id : NumberedEntries(base + "/task")) {
		const std::string task = base + "/task/" + std::to_string(id);
		ThreadSample thread;
		thread.name = ReadWholeFile(task + "/comm");
		if (!thread.name.empty() && thread.name.back() == '\n')
			thread.name.pop_back();
		thread.ticks = StatTicks(task + "/stat");
		std::istringstream schedstat(ReadWholeFile(task + "/schedstat"));
		long long waiting = 0;
		schedstat >> thread.runNanoseconds >> waiting >> thread.timeslices;
		const std::string io = ReadWholeFile(task + "/io");
		thread.reads = NamedField(io, "syscr");
		thread.writes = NamedField(io, "syscw");
		times.threads[id] = thread;
	}
	return times;
}

CpuUse CpuUseBetween(const ProcessSample& first, const ProcessSample& last)
{
	const double tickMilliseconds = 1000.0 / sysconf(_SC_CLK_TCK);
	CpuUse use;
	const double wall = Milliseconds(last.time - first.time);
	if (wall <= 0 || first.ticks < 0 || last.ticks < 0)
		return use;
	use.percent = 100.0 * (last.ticks - first.ticks) * tickMilliseconds / wall;
	for (const auto& [id, after] : last.threads) {
		auto found = first.threads.find(id);
		if (found == first.threads.end())
			continue;
		const ThreadSample& before = found->second;
		ThreadUse thread;
		thread.name = after.name;
		thread.percent = 100.0 * (after.runNanoseconds - before.runNanoseconds) / 1e6 / wall;
		thread.tickPercent = 100.0 * (after.ticks - before.ticks) * tickMilliseconds / wall;
		thread.runsPerSecond = (after.timeslices - before.timeslices) * 1000.0 / wall;
		thread.readsPerSecond = (after.reads - before.reads) * 1000.0 / wall;
		thread.writesPerSecond = (after.writes - before.writes) * 1000.0 / wall;
		use.precisePercent += thread.percent;
		use.threads.push_back(thread);
	}
	std::sort(use.threads.begin(), use.threads.end(),
	          [](const ThreadUse& a, const ThreadUse& b) { return a.percent > b.percent; });
	return use;
}

long ResidentKibibytes(pid_t pid)
{
	const std::string status = ReadWholeFile("/proc/" + std::to_string(pid) + "/status");
	return status.empty() ? -1 : long(NamedField(status, "VmRSS"));
}

std::string ResidentBreakdown(pid_t pid)
{
	const std::string base = "/proc/" + std::to_string(pid);
	const std::string status = ReadWholeFile(base + "/status");
	std::string text = "anonymous " + std::to_string(NamedField(status, "RssAnon")) +
	                   " KiB, file-backed " + std::to_string(NamedField(status, "RssFile")) +
	                   " KiB, shared " + std::to_string(NamedField(status, "RssShmem")) +
	                   " KiB; largest:";
	std::map<std::string, long long> byMapping;
	std::ifstream smaps(base + "/smaps");
	std::string line;
	std::string mapping;
	while (std::getline(smaps, line)) {
		if (line.rfind("Rss:", 0) == 0) {
			byMapping[mapping] += NamedField(line, "Rss");
			continue;
		}
		// A mapping's first line: address range, permissions, offset, device, inode, path;
		// the lines of its figures start with a name and a colon.
		std::istringstream fields(line);
		std::string range;
		fields >> range;
		if (range.find('-') == std::string::npos || range.back() == ':')
			continue;
		std::string skipped;
		fields >> skipped >> skipped >> skipped >> skipped;
		mapping.clear();
		std::getline(fields >> std::ws, mapping);
		const size_t slash = mapping.rfind('/');
		if (slash != std::string::npos)
			mapping = mapping.substr(slash + 1);
		if (mapping.empty())
			mapping = "(anonymous)";
	}
	std::vector<std::pair<long long, std::string>> largest;
	for (const auto& [name, kibibytes] : byMapping)
		largest.push_back({kibibytes, name});
	std::sort(largest.rbegin(), largest.rend());
	for (size_t i = 0; i < largest.size() && i < 4; i++)
		text += " " + largest[i].second + " " + std::to_string(largest[i].first) + " KiB";
	return text;
}

bool WaitForProcessEnd(pid_t pid, std::chrono::steady_clock::duration timeout,
                       std::chrono::steady_clock::time_point* end)
{
	const int pidfd = int(syscall(SYS_pidfd_open, pid, 0));
	if (pidfd < 0)
		return false;
	const auto deadline = std::chrono::steady_clock::now() + timeout;
	pollfd waiting = {pidfd, POLLIN, 0};
	int ready;
	do {
		const auto left = std::chrono::ceil<std::chrono::milliseconds>(
		    deadline - std::chrono::steady_clock::now());
		ready = poll(&waiting, 1, int(std::max<long long>(0, left.count())));
	} while (ready < 0 && errno == EINTR);
	*end = std::chrono::steady_clock::now();
	close(pidfd);
	return ready > 0;
}

pid_t FindChildNamed(const std::string& name)
{
	for (pid_t pid : NumberedEntries("/proc")) {
		const std::string status = ReadWholeFile("/proc/" + std::to_string(pid) + "/status");
		if (status.rfind("Name:\t" + name + "\n", 0) == 0 && NamedField(status, "PPid") == getpid())
			return pid;
	}
	return -1;
}

} // namespace VelmoTest
