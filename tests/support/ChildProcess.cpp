#include "support/ChildProcess.h"

#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

extern char** environ;

namespace VelmoTest {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

ChildProcess::~ChildProcess()
{
	if (fPid > 0 && !fReaped) {
		Signal(SIGKILL);
		// SIGKILL cannot be ignored: the wait ends unless the kernel holds the process.
		if (!WaitForExit(milliseconds(30000)))
			ADD_FAILURE() << "child " << fPid << " did not end after SIGKILL";
	}
	if (fPidFd >= 0)
		close(fPidFd);
}

bool ChildProcess::Start(const std::string& path, const std::vector<std::string>& arguments,
                         const std::map<std::string, std::string>& environment)
{
	if (fPid > 0) {
		ADD_FAILURE() << "ChildProcess started twice";
		return false;
	}

	std::vector<std::string> argumentTexts{path};
	argumentTexts.insert(argumentTexts.end(), arguments.begin(), arguments.end());
	std::vector<char*> argv;
	for (std::string& argument : argumentTexts)
		argv.push_back(argument.data());
	argv.push_back(nullptr);

	std::vector<std::string> environmentTexts;
	for (char** variable = environ; *variable != nullptr; variable++) {
		std::string text = *variable;
		std::string name = text.substr(0, text.find('='));
		if (environment.find(name) == environment.end())
			environmentTexts.push_back(text);
	}
	for (const auto& [name, value] : environment)
		environmentTexts.push_back(name + "=" + value);
	std::vector<char*> envp;
	for (std::string& variable : environmentTexts)
		envp.push_back(variable.data());
	envp.push_back(nullptr);

	// glibc's posix_spawn returns after the exec succeeded or with the exec's error.
	pid_t pid;
	int error = posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv.data(), envp.data());
	if (error != 0) {
		ADD_FAILURE() << "posix_spawn " << path << ": " << strerror(error);
		return false;
	}
	fPid = pid;
	// Our own unreaped child: its pid cannot have been reused yet.
	long fd = syscall(SYS_pidfd_open, pid, 0);
	if (fd < 0) {
		ADD_FAILURE() << "pidfd_open " << pid << ": " << strerror(errno);
		kill(pid, SIGKILL);
		int status;
		while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
		}
		fReaped = true;
		return false;
	}
	fPidFd = (int)fd;
	return true;
}

bool ChildProcess::WaitUntilEnded(milliseconds timeout) const
{
	if (fReaped)
		return true;
	if (fPidFd < 0)
		return false;
	// A pidfd becomes readable when its process has ended.
	steady_clock::time_point deadline = steady_clock::now() + timeout;
	for (;;) {
		auto remaining =
		    std::chrono::duration_cast<milliseconds>(deadline - steady_clock::now()).count();
		struct pollfd descriptor = {fPidFd, POLLIN, 0};
		int ready = poll(&descriptor, 1, remaining > 0 ? (int)remaining : 0);
		if (ready > 0)
			return true;
		if (ready == 0)
			return false;
		if (errno != EINTR)
			return false;
	}
}

bool ChildProcess::WaitForExit(milliseconds timeout)
{
	if (fReaped)
		return true;
	if (!WaitUntilEnded(timeout))
		return false;
	pid_t result;
	do
		result = waitpid(fPid, &fStatus, 0);
	while (result < 0 && errno == EINTR);
	fReaped = true;
	return result == fPid;
}

void ChildProcess::Signal(int signalNumber)
{
	if (fReaped || fPidFd < 0)
		return;
	syscall(SYS_pidfd_send_signal, fPidFd, signalNumber, nullptr, 0);
}

} // namespace VelmoTest
