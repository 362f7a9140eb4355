#include "support/ProcessCensus.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>

namespace VelmoTest {

namespace {

struct DirectoryCloser
{
	void operator()(DIR* directory) const { closedir(directory); }
};

// The entries other than "." and ".."; false if the directory cannot be opened.
bool ReadEntries(const std::string& path, std::vector<std::string>* names)
{
	std::unique_ptr<DIR, DirectoryCloser> directory(opendir(path.c_str()));
	if (directory == nullptr)
		return false;
	while (const dirent* entry = readdir(directory.get())) {
		std::string name = entry->d_name;
		if (name != "." && name != "..")
			names->push_back(name);
	}
	return true;
}

int CountEntries(const std::string& path)
{
	std::vector<std::string> names;
	return ReadEntries(path, &names) ? int(names.size()) : -1;
}

} // namespace

int OpenDescriptorCount(pid_t pid)
{
	return CountEntries("/proc/" + std::to_string(pid) + "/fd");
}

std::vector<std::string> OpenDescriptorTargets(pid_t pid)
{
	const std::string directory = "/proc/" + std::to_string(pid) + "/fd";
	std::vector<std::string> targets;
	for (const std::string& name : DirectoryEntries(directory)) {
		char target[512];
		const ssize_t length = readlink((directory + "/" + name).c_str(), target, sizeof(target));
		targets.push_back(name + " -> " +
		                  (length > 0 ? std::string(target, size_t(length)) : std::string("?")));
	}
	return targets;
}

int ThreadCount(pid_t pid)
{
	return CountEntries("/proc/" + std::to_string(pid) + "/task");
}

std::string ThreadStates(pid_t pid)
{
	const std::string process = "/proc/" + std::to_string(pid);
	std::string report;
	for (const std::string& thread : DirectoryEntries(process + "/task")) {
		const std::string task = process + "/task/" + thread;
		std::ifstream statFile(task + "/stat");
		std::string stat;
		std::getline(statFile, stat);
		// "TID (NAME) STATE ...": the name may hold spaces, the state follows the last ')'.
		const size_t close = stat.rfind(')');
		const std::string nameAndState =
		    close == std::string::npos ? stat : stat.substr(0, close + 3);
		std::ifstream wchanFile(task + "/wchan");
		std::string wchan;
		std::getline(wchanFile, wchan);
		report += nameAndState + " wchan " + (wchan.empty() ? "?" : wchan) + "\n";
	}
	std::ifstream status(process + "/status");
	for (std::string line; std::getline(status, line);) {
		if (line.rfind("Sig", 0) == 0 || line.rfind("ShdPnd", 0) == 0)
			report += line + "\n";
	}
	return report;
}

std::vector<pid_t> LiveProcessesInSession(pid_t session)
{
	std::vector<pid_t> found;
	for (const std::string& name : DirectoryEntries("/proc")) {
		char* end = nullptr;
		const long pid = strtol(name.c_str(), &end, 10);
		if (end == name.c_str() || *end != '\0')
			continue;
		std::ifstream stat("/proc/" + name + "/stat");
		std::string line;
		if (!std::getline(stat, line))
			continue;
		// The command name is in parentheses and may hold spaces; the fields follow the last ')'.
		const size_t close = line.rfind(')');
		if (close == std::string::npos)
			continue;
		std::istringstream fields(line.substr(close + 1));
		char state = 0;
		long parent = 0;
		long group = 0;
		long sessionId = 0;
		if (!(fields >> state >> parent >> group >> sessionId))
			continue;
		if (sessionId == session && state != 'Z' && state != 'X')
			found.push_back(pid_t(pid));
	}
	return found;
}

std::vector<std::string> DirectoryEntries(const std::string& path)
{
	std::vector<std::string> names;
	ReadEntries(path, &names);
	return names;
}

} // namespace VelmoTest
