#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace VelmoTest {

using Clock = std::chrono::steady_clock;

// One line a program printed, with the time it was read.
struct PrintedLine {
	std::string text; // without the line end ("\n", or "\r\n" from a terminal)
	Clock::time_point time;
};

// Runs a program as a person would: on a pseudo-terminal of its own (standard input, output and
// error), or with its output on a pipe and standard input from /dev/null. Collects what it prints
// line by line, with times. The program is killed and reaped on destruction if still running.
// Thread-safe: the reader thread and the test's thread.
class ProgramRun {
public:
	struct Options {
		std::vector<std::string> arguments;
		std::map<std::string, std::string> environment; // set on top of the test's own
		std::vector<std::string> unsetEnvironment;
		bool onTerminal = true;
		// Whether the terminal echoes what is typed until the program changes its mode.
		bool terminalEcho = true;
	};

	ProgramRun(const std::string& path, const Options& options);
	~ProgramRun();

	ProgramRun(const ProgramRun&) = delete;
	ProgramRun& operator=(const ProgramRun&) = delete;

	pid_t Pid() const { return fPid; }
	// The pseudo-terminal's master side, or -1 when not on a terminal.
	int TerminalFd() const { return fMaster; }

	// Types bytes on the program's terminal.
	void Type(const std::string& bytes);
	void Signal(int signalNumber);

	// Waits until `text` has been printed as a whole line; false when `timeout` passed first.
	bool WaitForLine(const std::string& text, std::chrono::milliseconds timeout);
	// Waits until the program has ended and its output has been read; false on time-out.
	bool WaitForExit(std::chrono::milliseconds timeout);

	// After WaitForExit: the waitpid status.
	int Status() const { return fStatus; }
	// After WaitForExit: when its end was seen, and the processes of its session still alive two
	// seconds after it, looked at before it was reaped (then its number may be given to a new
	// session).
	Clock::time_point EndedAt() const { return fEndedAt; }
	const std::vector<pid_t>& SessionLeftAtExit() const { return fSessionLeftAtExit; }
	bool Exited() const;
	int ExitCode() const;
	bool Signaled() const;
	int TermSignal() const;

	std::vector<PrintedLine> Lines() const;
	std::vector<std::string> Texts() const;
	// Everything read so far, as it came.
	std::string Output() const;
	// The time the line `text` was first printed; false if it was not.
	bool TimeOf(const std::string& text, Clock::time_point* time) const;

private:
	void ReadOutput(int fd);
	bool HasLineLocked(const std::string& text) const;

	pid_t fPid = -1;
	int fMaster = -1;
	int fStatus = 0;
	bool fReaped = false;
	Clock::time_point fEndedAt;
	std::vector<pid_t> fSessionLeftAtExit;

	mutable std::mutex fLock;
	std::condition_variable fChanged;
	std::string fOutput;
	std::string fPartial;
	std::vector<PrintedLine> fLines;
	bool fOutputEnded = false;
	std::thread fReader;
};

// The built programs.
std::string VelmoResetPath();
std::string BuildPath(const std::string& relative);

} // namespace VelmoTest
