#include "device/SystemTerminals.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <utmpx.h>

#include <memory>
#include <sstream>

#include "support/ControllingTerminal.h"

namespace BPrivate {

namespace {

const char* const kSysTtyDirectory = "/sys/class/tty/";
const char* const kLoginRecords = "/run/utmp";

bool ReadText(const std::string& path, std::string* text)
{
	int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
	if (descriptor < 0)
		return false;
	char buffer[4096];
	text->clear();
	ssize_t length;
	while ((length = read(descriptor, buffer, sizeof(buffer))) != 0) {
		if (length < 0) {
			if (errno == EINTR)
				continue;
			break;
		}
		text->append(buffer, static_cast<size_t>(length));
	}
	close(descriptor);
	return true;
}

// The device number of the tty the kernel names `name` ("ttyS0"), from sysfs; 0 if unknown.
dev_t TtyDevice(const std::string& name)
{
	std::string text;
	unsigned int major = 0, minor = 0;
	if (name.find('/') != std::string::npos || !ReadText(kSysTtyDirectory + name + "/dev", &text) ||
	    sscanf(text.c_str(), "%u:%u", &major, &minor) != 2)
		return 0;
	return makedev(major, minor);
}

// The kernel's consoles: /sys/class/tty/console/active names them ("tty0 ttyS0"); tty0 stands for
// the virtual terminal in front, named in its own "active".
bool IsConsole(dev_t device)
{
	std::string text;
	if (!ReadText(std::string(kSysTtyDirectory) + "console/active", &text))
		return false;
	std::istringstream names(text);
	std::string name;
	while (names >> name) {
		if (TtyDevice(name) == device)
			return true;
		std::string front;
		if (name == "tty0" && ReadText(std::string(kSysTtyDirectory) + "tty0/active", &front)) {
			std::istringstream frontName(front);
			if (frontName >> front && TtyDevice(front) == device)
				return true;
		}
	}
	return false;
}

bool IsAlive(pid_t pid)
{
	// Another user's process answers EPERM: it is there all the same.
	return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM);
}

// A getty waiting on the line, or a user logged in there, as the login records tell. They stay
// readable where another user's processes are out of sight.
bool HasLoginRecord(dev_t device)
{
	std::string records;
	if (!ReadText(kLoginRecords, &records))
		return false;
	for (size_t offset = 0; offset + sizeof(struct utmpx) <= records.size();
	     offset += sizeof(struct utmpx)) {
		struct utmpx record;
		memcpy(&record, records.data() + offset, sizeof(record));
		if (record.ut_type != LOGIN_PROCESS && record.ut_type != USER_PROCESS)
			continue;
		std::string line(record.ut_line, strnlen(record.ut_line, sizeof(record.ut_line)));
		struct stat info;
		if (line.empty() || stat(("/dev/" + line).c_str(), &info) != 0)
			continue;
		if (S_ISCHR(info.st_mode) && info.st_rdev == device && IsAlive(record.ut_pid))
			return true;
	}
	return false;
}

struct DirectoryCloser
{
	void operator()(DIR* directory) const { closedir(directory); }
};

// Whether a process this one can see has the terminal as its controlling terminal: a shell or a
// getty the login records do not name.
bool IsControllingTerminal(dev_t device)
{
	std::unique_ptr<DIR, DirectoryCloser> processes(opendir("/proc"));
	if (processes == nullptr)
		return false;
	while (struct dirent* entry = readdir(processes.get())) {
		if (entry->d_name[0] < '1' || entry->d_name[0] > '9')
			continue;
		std::string stat;
		if (!ReadText(std::string("/proc/") + entry->d_name + "/stat", &stat))
			continue;
		if (ControllingTerminalInStat(stat) == device)
			return true;
	}
	return false;
}

} // namespace

const char* SystemUseOf(const std::string& path)
{
	struct stat info;
	if (stat(path.c_str(), &info) != 0 || !S_ISCHR(info.st_mode))
		return nullptr;
	// /dev/console and /dev/tty stand for terminals of their own.
	if (info.st_rdev == makedev(5, 1) || IsConsole(info.st_rdev))
		return "the system console";
	if (HasLoginRecord(info.st_rdev) || IsControllingTerminal(info.st_rdev))
		return "a login runs on it";
	return nullptr;
}

} // namespace BPrivate
