#pragma once

// A child process forked onto a pseudo-terminal of its own (standard input, output and error),
// running a function of the test; the parent reads what it prints and types on its keyboard.
// Killed and reaped on destruction if still there. Used from the test's thread only.

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <stdio.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>

class PtyChild
{
public:
	PtyChild() = default;
	~PtyChild()
	{
		if (fPid > 0 && !fReaped) {
			kill(fPid, SIGKILL);
			waitpid(fPid, nullptr, 0);
		}
		if (fMaster >= 0)
			close(fMaster);
	}

	PtyChild(const PtyChild&) = delete;
	PtyChild& operator=(const PtyChild&) = delete;

	// Runs `body` in the child, which then ends with its return value (_exit: nothing of the
	// test runs there after).
	bool Start(const std::function<int()>& body)
	{
		// Whatever the test has printed but not yet written would be written twice.
		fflush(stdout);
		fflush(stderr);
		fPid = forkpty(&fMaster, nullptr, nullptr, nullptr);
		if (fPid < 0)
			return false;
		if (fPid == 0)
			_exit(body());
		return true;
	}

	pid_t Pid() const { return fPid; }
	int Master() const { return fMaster; }
	const std::string& Output() const { return fOutput; }

	void Type(const std::string& bytes)
	{
		ssize_t written = write(fMaster, bytes.data(), bytes.size());
		(void)written;
	}

	// Reads until `text` has been printed; false when 10 s passed first or the terminal closed.
	bool WaitForText(const std::string& text)
	{
		const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
		while (fOutput.find(text) == std::string::npos) {
			auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
			    deadline - std::chrono::steady_clock::now());
			if (left.count() <= 0 || !ReadSome((int)left.count()))
				return false;
		}
		return true;
	}

	// Waits (10 s at most) for the child's end, reading what it still prints, and reaps it.
	bool WaitForExit(int* status)
	{
		int pidfd = (int)syscall(SYS_pidfd_open, fPid, 0);
		if (pidfd < 0)
			return false;
		const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
		bool ended = false;
		while (!ended) {
			auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
			    deadline - std::chrono::steady_clock::now());
			if (left.count() <= 0)
				break;
			struct pollfd descriptors[2] = {{pidfd, POLLIN, 0}, {fMaster, POLLIN, 0}};
			int ready = poll(descriptors, 2, (int)left.count());
			if (ready < 0)
				break;
			if ((descriptors[1].revents & POLLIN) != 0)
				ReadSome(0);
			ended = (descriptors[0].revents & POLLIN) != 0;
		}
		close(pidfd);
		if (!ended)
			return false;
		// What the child wrote before it ended is still in the terminal.
		while (ReadSome(0)) {
		}
		fReaped = waitpid(fPid, status, 0) == fPid;
		return fReaped;
	}

private:
	bool ReadSome(int timeoutMs)
	{
		struct pollfd descriptor = {fMaster, POLLIN, 0};
		if (poll(&descriptor, 1, timeoutMs) <= 0 || (descriptor.revents & POLLIN) == 0)
			return false;
		char buffer[512];
		ssize_t count = read(fMaster, buffer, sizeof(buffer));
		if (count <= 0)
			return false;
		fOutput.append(buffer, count);
		return true;
	}

	pid_t fPid = -1;
	int fMaster = -1;
	bool fReaped = false;
	std::string fOutput;
};
