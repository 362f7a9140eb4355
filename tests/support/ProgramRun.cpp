#include "support/ProgramRun.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <stdexcept>

#include "support/Eventually.h"
#include "support/ProcessCensus.h"

namespace VelmoTest {

namespace {

// How long a process of an ended program's session may take to go before it counts as left.
const std::chrono::milliseconds kSessionSettles(2000);

} // namespace

ProgramRun::ProgramRun(const std::string& path, const Options& options)
{
	std::vector<std::string> argumentStorage;
	argumentStorage.push_back(path);
	argumentStorage.insert(argumentStorage.end(), options.arguments.begin(),
		options.arguments.end());
	std::vector<char*> argv;
	for (std::string& argument : argumentStorage)
		argv.push_back(argument.data());
	argv.push_back(nullptr);

	// The child's environment is made here: between fork and exec a child of a threaded process
	// may only make async-signal-safe calls.
	std::map<std::string, std::string> environment;
	for (char** entry = environ; *entry != nullptr; entry++) {
		const std::string text = *entry;
		const size_t equals = text.find('=');
		if (equals != std::string::npos)
			environment[text.substr(0, equals)] = text.substr(equals + 1);
	}
	for (const std::string& name : options.unsetEnvironment)
		environment.erase(name);
	for (const auto& [name, value] : options.environment)
		environment[name] = value;
	std::vector<std::string> environmentStorage;
	for (const auto& [name, value] : environment)
		environmentStorage.push_back(name + "=" + value);
	std::vector<char*> envp;
	for (std::string& entry : environmentStorage)
		envp.push_back(entry.data());
	envp.push_back(nullptr);

	int outputPipe[2] = {-1, -1};
	if (!options.onTerminal && pipe2(outputPipe, O_CLOEXEC) != 0)
		throw std::runtime_error("pipe failed");

	int null = -1;
	if (options.onTerminal) {
		// A terminal as a new pseudo-terminal comes, but for the echo when asked.
		struct termios mode;
		int probeMaster;
		int probeSlave;
		if (openpty(&probeMaster, &probeSlave, nullptr, nullptr, nullptr) != 0)
			throw std::runtime_error("openpty failed");
		tcgetattr(probeSlave, &mode);
		close(probeSlave);
		close(probeMaster);
		if (!options.terminalEcho)
			mode.c_lflag &= ~(ECHO | ECHONL);
		fPid = forkpty(&fMaster, nullptr, &mode, nullptr);
	} else {
		null = open("/dev/null", O_RDONLY | O_CLOEXEC);
		fPid = fork();
	}
	if (fPid < 0) {
		if (null >= 0)
			close(null);
		throw std::runtime_error("fork failed");
	}

	if (fPid == 0) {
		if (!options.onTerminal) {
			dup2(null, STDIN_FILENO);
			dup2(outputPipe[1], STDOUT_FILENO);
			dup2(outputPipe[1], STDERR_FILENO);
		}
		// Only the three standard descriptors go along: other threads of this process open
		// pseudo-terminals and pipes of their own at any moment, and a program holding one
		// would keep another run's terminal from hanging up.
		close_range(3, ~0U, 0);
		execve(path.c_str(), argv.data(), envp.data());
		_exit(127);
	}
	if (null >= 0)
		close(null);

	int readFd = fMaster;
	if (!options.onTerminal) {
		close(outputPipe[1]);
		readFd = outputPipe[0];
	}
	fReader = std::thread([this, readFd] { ReadOutput(readFd); });
}

ProgramRun::~ProgramRun()
{
	if (!fReaped) {
		kill(fPid, SIGKILL);
		waitpid(fPid, &fStatus, 0);
		fReaped = true;
	}
	if (fReader.joinable())
		fReader.join();
	if (fMaster >= 0)
		close(fMaster);
}

void
ProgramRun::ReadOutput(int fd)
{
	char buffer[4096];
	for (;;) {
		ssize_t count = read(fd, buffer, sizeof(buffer));
		if (count < 0 && errno == EINTR)
			continue;
		if (count <= 0)
			break; // EIO from a terminal whose other side has closed, or end of the pipe
		std::lock_guard<std::mutex> lock(fLock);
		fOutput.append(buffer, count);
		for (ssize_t i = 0; i < count; i++) {
			if (buffer[i] == '\n') {
				if (!fPartial.empty() && fPartial.back() == '\r')
					fPartial.pop_back();
				fLines.push_back({fPartial, Clock::now()});
				fPartial.clear();
			} else
				fPartial.push_back(buffer[i]);
		}
		fChanged.notify_all();
	}
	if (fd != fMaster)
		close(fd);
	std::lock_guard<std::mutex> lock(fLock);
	fOutputEnded = true;
	fChanged.notify_all();
}

void
ProgramRun::Type(const std::string& bytes)
{
	if (fMaster < 0)
		throw std::logic_error("the program has no terminal");
	size_t done = 0;
	while (done < bytes.size()) {
		ssize_t written = write(fMaster, bytes.data() + done, bytes.size() - done);
		if (written < 0 && errno == EINTR)
			continue;
		if (written <= 0)
			return;
		done += written;
	}
}

void
ProgramRun::Signal(int signalNumber)
{
	if (!fReaped)
		kill(fPid, signalNumber);
}

bool
ProgramRun::HasLineLocked(const std::string& text) const
{
	for (const PrintedLine& line : fLines) {
		if (line.text == text)
			return true;
	}
	return false;
}

bool
ProgramRun::WaitForLine(const std::string& text, std::chrono::milliseconds timeout)
{
	std::unique_lock<std::mutex> lock(fLock);
	return fChanged.wait_for(lock, timeout,
		[&] { return HasLineLocked(text) || fOutputEnded; }) && HasLineLocked(text);
}

bool
ProgramRun::WaitForExit(std::chrono::milliseconds timeout)
{
	if (fReaped)
		return true;
	const Clock::time_point deadline = Clock::now() + timeout;
	for (;;) {
		siginfo_t ended = {};
		if (waitid(P_PID, id_t(fPid), &ended, WEXITED | WNOHANG | WNOWAIT) == 0 &&
			ended.si_pid == fPid) {
			fEndedAt = Clock::now();
			// The session's number is held until the program is reaped. A sanitizer's helper
			// task may still be dying in it for a moment; what is left is what stays.
			Eventually(
				[this] {
					fSessionLeftAtExit = LiveProcessesInSession(fPid);
					return fSessionLeftAtExit.empty();
				},
				kSessionSettles, std::chrono::milliseconds(10));
			waitpid(fPid, &fStatus, 0);
			fReaped = true;
			break;
		}
		if (Clock::now() >= deadline)
			return false;
		// A child's end has no descriptor to wait on here; check again shortly.
		std::unique_lock<std::mutex> lock(fLock);
		fChanged.wait_for(lock, std::chrono::milliseconds(5));
	}
	std::unique_lock<std::mutex> lock(fLock);
	// A terminal's master side reports the end once every holder of the slave side is gone.
	return fChanged.wait_until(lock, deadline, [&] { return fOutputEnded; });
}

bool
ProgramRun::Exited() const
{
	return fReaped && WIFEXITED(fStatus);
}

int
ProgramRun::ExitCode() const
{
	return Exited() ? WEXITSTATUS(fStatus) : -1;
}

bool
ProgramRun::Signaled() const
{
	return fReaped && WIFSIGNALED(fStatus);
}

int
ProgramRun::TermSignal() const
{
	return Signaled() ? WTERMSIG(fStatus) : 0;
}

std::vector<PrintedLine>
ProgramRun::Lines() const
{
	std::lock_guard<std::mutex> lock(fLock);
	return fLines;
}

std::vector<std::string>
ProgramRun::Texts() const
{
	std::vector<std::string> texts;
	for (const PrintedLine& line : Lines())
		texts.push_back(line.text);
	return texts;
}

std::string
ProgramRun::Output() const
{
	std::lock_guard<std::mutex> lock(fLock);
	return fOutput;
}

bool
ProgramRun::TimeOf(const std::string& text, Clock::time_point* time) const
{
	std::lock_guard<std::mutex> lock(fLock);
	for (const PrintedLine& line : fLines) {
		if (line.text == text) {
			*time = line.time;
			return true;
		}
	}
	return false;
}

std::string
BuildPath(const std::string& relative)
{
	return std::string(VELMO_BUILD_DIR) + "/" + relative;
}

std::string
VelmoResetPath()
{
	return BuildPath("VelmoReset");
}

} // namespace VelmoTest
