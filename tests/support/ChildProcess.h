#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace VelmoTest {

// A process a test starts: killed with SIGKILL and reaped on destruction if it is still there, so
// a failed assertion leaves nothing running. Holds a pidfd, so waits are events with deadlines and
// signals never reach a reused pid. One thread at a time.
class ChildProcess
{
public:
	ChildProcess() = default;
	~ChildProcess();

	ChildProcess(const ChildProcess&) = delete;
	ChildProcess& operator=(const ChildProcess&) = delete;

	// Runs `path` with `arguments` (after argv[0] = path) and the test's environment with
	// `environment` set on top. Returns once the program has been executed (false on failure,
	// with the reason added as a test failure).
	bool Start(const std::string& path, const std::vector<std::string>& arguments = {},
	           const std::map<std::string, std::string>& environment = {});

	pid_t Pid() const { return fPid; }

	// Waits until the process has ended, leaving it unreaped (a zombie that keeps its pid);
	// false when `timeout` passed first.
	bool WaitUntilEnded(std::chrono::milliseconds timeout) const;
	// Waits until the process has ended and reaps it; false when `timeout` passed first.
	bool WaitForExit(std::chrono::milliseconds timeout);
	// Whether it has ended, without waiting and without reaping it.
	bool HasEnded() const { return WaitUntilEnded(std::chrono::milliseconds(0)); }

	// Sends `signalNumber` to the process (a no-op once it has been reaped).
	void Signal(int signalNumber);

	bool Reaped() const { return fReaped; }
	// After WaitForExit: the waitpid status.
	int Status() const { return fStatus; }

private:
	pid_t fPid = -1;
	int fPidFd = -1;
	int fStatus = 0;
	bool fReaped = false;
};

} // namespace VelmoTest
