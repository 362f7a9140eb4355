#include "device/SerialDevices.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

#include "storage/PlatformRoot.h"

namespace BPrivate {

namespace {

const char* const kPortsDirectory = "/dev/ports";
const char* const kSysTtyDirectory = "/sys/class/tty";

struct DirectoryCloser
{
	void operator()(DIR* directory) const { closedir(directory); }
};
typedef std::unique_ptr<DIR, DirectoryCloser> DirectoryHandle;

bool IsDirectory(const std::string& path)
{
	struct stat info;
	return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::vector<std::string> EntryNames(const std::string& path)
{
	std::vector<std::string> names;
	DirectoryHandle directory(opendir(path.c_str()));
	if (directory == nullptr)
		return names;
	while (struct dirent* entry = readdir(directory.get())) {
		std::string name = entry->d_name;
		if (name != "." && name != "..")
			names.push_back(name);
	}
	std::sort(names.begin(), names.end());
	return names;
}

// The 8250 driver registers ttyS placeholders whether or not a UART is there; "type" 0 means none.
bool HasUart(const std::string& ttyDirectory)
{
	int descriptor = open((ttyDirectory + "/type").c_str(), O_RDONLY | O_CLOEXEC);
	if (descriptor < 0)
		return false;
	char text[16] = {};
	ssize_t length = read(descriptor, text, sizeof(text) - 1);
	close(descriptor);
	return length > 0 && atoi(text) != 0;
}

std::vector<std::string> MachineSerialPorts()
{
	std::vector<std::string> ports;
	for (const std::string& name : EntryNames(kSysTtyDirectory)) {
		std::string directory = std::string(kSysTtyDirectory) + "/" + name;
		struct stat info;
		// Virtual terminals and ptys have no device behind them.
		if (lstat((directory + "/device").c_str(), &info) != 0)
			continue;
		if (name.compare(0, 4, "ttyS") == 0 && !HasUart(directory))
			continue;
		ports.push_back(name);
	}
	return ports;
}

} // namespace

std::vector<std::string> ListSerialDevices()
{
	std::string portsDirectory = HostPath(kPortsDirectory);
	if (IsDirectory(portsDirectory))
		return EntryNames(portsDirectory);
	return MachineSerialPorts();
}

std::string SerialDevicePath(const char* name)
{
	if (name[0] == '/')
		return HostPath(name);
	std::string portsDirectory = HostPath(kPortsDirectory);
	if (IsDirectory(portsDirectory))
		return portsDirectory + "/" + name;
	return std::string("/dev/") + name;
}

} // namespace BPrivate
