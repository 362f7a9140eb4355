#include "support/Xvfb.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "support/Xwd.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds kStopTimeout{5000};

// An owned file descriptor.
class Descriptor
{
public:
	explicit Descriptor(int fd = -1) : fFd(fd) {}
	~Descriptor() { Reset(); }
	Descriptor(Descriptor&& other) noexcept : fFd(other.fFd) { other.fFd = -1; }
	Descriptor& operator=(Descriptor&& other) noexcept
	{
		if (this != &other) {
			Reset();
			fFd = other.fFd;
			other.fFd = -1;
		}
		return *this;
	}

	int Get() const { return fFd; }
	void Reset()
	{
		if (fFd >= 0)
			close(fFd);
		fFd = -1;
	}

private:
	int fFd;
};

bool MakePipe(Descriptor* readEnd, Descriptor* writeEnd)
{
	int fds[2];
	if (pipe2(fds, O_CLOEXEC) != 0)
		return false;
	*readEnd = Descriptor(fds[0]);
	*writeEnd = Descriptor(fds[1]);
	return true;
}

int RemainingMilliseconds(Clock::time_point deadline)
{
	const auto remaining =
	    std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
	return remaining <= 0 ? 0 : int(std::min<long long>(remaining, 1 << 30));
}

// Waits until `fd` is readable (or hung up), at most until `deadline`.
bool WaitReadable(int fd, Clock::time_point deadline)
{
	for (;;) {
		pollfd entry = {fd, POLLIN, 0};
		const int ready = poll(&entry, 1, RemainingMilliseconds(deadline));
		if (ready > 0)
			return true;
		if (ready == 0)
			return false;
		if (errno != EINTR)
			return false;
	}
}

// Redirections for a child: its descriptor `target` becomes `source`.
struct Redirection
{
	int source;
	int target;
};

// Starts `command` with `environment` set on top of the test's, standard input from /dev/null and
// the redirections given. The child dies with the test (PR_SET_PDEATHSIG): a test killed by
// its time-out leaves no X server behind. -1 with *error when it cannot start.
pid_t SpawnChild(const std::vector<std::string>& command,
                 std::map<std::string, std::string> environment,
                 const std::vector<Redirection>& redirections, std::string* error)
{
	// Everything the child needs is built before fork: after it, only async-signal-safe calls.
	std::vector<char*> argv;
	for (const std::string& argument : command)
		argv.push_back(const_cast<char*>(argument.c_str()));
	argv.push_back(nullptr);
	std::vector<std::string> variables;
	for (char** variable = environ; *variable != nullptr; variable++) {
		const char* equals = strchr(*variable, '=');
		const std::string name(*variable, equals != nullptr ? equals - *variable : 0);
		if (environment.count(name) == 0)
			variables.push_back(*variable);
	}
	for (const auto& [name, value] : environment)
		variables.push_back(name + "=" + value);
	std::vector<char*> envp;
	for (std::string& variable : variables)
		envp.push_back(variable.data());
	envp.push_back(nullptr);

	Descriptor devNull(open("/dev/null", O_RDONLY | O_CLOEXEC));
	Descriptor execReadEnd, execWriteEnd;
	if (devNull.Get() < 0 || !MakePipe(&execReadEnd, &execWriteEnd)) {
		*error = std::string("cannot prepare a child: ") + strerror(errno);
		return -1;
	}
	const pid_t parent = getpid();
	const pid_t pid = fork();
	if (pid < 0) {
		*error = std::string("fork: ") + strerror(errno);
		return -1;
	}
	if (pid == 0) {
		prctl(PR_SET_PDEATHSIG, SIGKILL);
		if (getppid() != parent)
			_exit(127);
		dup2(devNull.Get(), STDIN_FILENO);
		for (const Redirection& redirection : redirections)
			dup2(redirection.source, redirection.target);
		execvpe(argv[0], argv.data(), envp.data());
		const int failure = errno;
		(void)!write(execWriteEnd.Get(), &failure, sizeof(failure));
		_exit(127);
	}
	execWriteEnd.Reset();
	// The exec pipe closes on a successful exec; otherwise it carries the child's errno.
	int failure = 0;
	ssize_t got;
	do
		got = read(execReadEnd.Get(), &failure, sizeof(failure));
	while (got < 0 && errno == EINTR);
	if (got == sizeof(failure)) {
		waitpid(pid, nullptr, 0);
		*error = command[0] + ": " + strerror(failure);
		return -1;
	}
	return pid;
}

} // namespace

namespace VelmoTest {

Xvfb::Process::~Process()
{
	Stop();
}

bool Xvfb::Process::WaitForExit(std::chrono::milliseconds timeout, int* status)
{
	if (fPid <= 0)
		return false;
	const Clock::time_point deadline = Clock::now() + timeout;
	// A pidfd becomes readable when the process ends (Linux 5.3 on); before that, polling.
	Descriptor exitNotice(int(syscall(SYS_pidfd_open, fPid, 0)));
	if (exitNotice.Get() >= 0 && !WaitReadable(exitNotice.Get(), deadline))
		return false;
	for (;;) {
		const pid_t reaped = waitpid(fPid, status, WNOHANG);
		if (reaped == fPid) {
			fPid = -1;
			return true;
		}
		if ((reaped < 0 && errno != EINTR) || Clock::now() >= deadline)
			return false;
		if (reaped == 0)
			usleep(10000);
	}
}

void Xvfb::Process::Stop()
{
	if (fPid <= 0)
		return;
	int status;
	kill(fPid, SIGTERM);
	if (WaitForExit(kStopTimeout, &status))
		return;
	kill(fPid, SIGKILL);
	while (waitpid(fPid, &status, 0) < 0 && errno == EINTR) {
	}
	fPid = -1;
}

std::unique_ptr<Xvfb> Xvfb::Start(std::string* error)
{
	return Start(Options(), error);
}

void Xvfb::Kill()
{
	if (fServer->Pid() > 0)
		kill(fServer->Pid(), SIGKILL);
	fServer->Stop();
}

std::unique_ptr<Xvfb> Xvfb::Start(const Options& options, std::string* error)
{
	std::string ignored;
	if (error == nullptr)
		error = &ignored;
	const Clock::time_point deadline = Clock::now() + kDefaultTimeout;

	// -displayfd: the server picks a free display number itself and writes it here once it
	// takes connections, which leaves no race with other servers starting at the same time.
	Descriptor numberReadEnd, numberWriteEnd;
	if (!MakePipe(&numberReadEnd, &numberWriteEnd)) {
		*error = std::string("pipe: ") + strerror(errno);
		return nullptr;
	}
	const int numberTarget = numberWriteEnd.Get() == 3 ? 4 : 3;
	// Its complaints are kept for when it fails to start.
	char logPath[] = "/tmp/velmo-xvfb-XXXXXX";
	Descriptor log(mkostemp(logPath, O_CLOEXEC));
	if (log.Get() < 0) {
		*error = std::string("mkostemp: ") + strerror(errno);
		return nullptr;
	}
	unlink(logPath);
	std::vector<std::string> command = {"Xvfb", "-displayfd", std::to_string(numberTarget)};
	for (size_t screen = 0; screen < options.screens.size(); screen++) {
		command.insert(command.end(),
		               {"-screen", std::to_string(screen), options.screens[screen]});
	}
	if (options.xinerama)
		command.push_back("+xinerama");
	command.insert(command.end(), {"-nolisten", "tcp", "-noreset"});
	const pid_t pid = SpawnChild(command, {},
	                             {{numberWriteEnd.Get(), numberTarget},
	                              {log.Get(), STDERR_FILENO},
	                              {log.Get(), STDOUT_FILENO}},
	                             error);
	if (pid < 0)
		return nullptr;
	std::unique_ptr<Process> server(new Process(pid));
	numberWriteEnd.Reset();

	std::string number;
	while (number.find('\n') == std::string::npos) {
		char buffer[16];
		ssize_t got = -1;
		if (WaitReadable(numberReadEnd.Get(), deadline))
			got = read(numberReadEnd.Get(), buffer, sizeof(buffer));
		if (got < 0 && errno == EINTR)
			continue;
		if (got <= 0) {
			server->Stop();
			char said[2048] = {};
			(void)!pread(log.Get(), said, sizeof(said) - 1, 0);
			*error = std::string(got == 0 ? "Xvfb ended before it took connections"
			                              : "Xvfb did not take connections in time") +
			         ": " + said;
			return nullptr;
		}
		number.append(buffer, size_t(got));
	}
	std::unique_ptr<Xvfb> xvfb(new Xvfb(std::move(server), atoi(number.c_str())));
	// One more proof that clients get through, with the tool the tests rely on being there.
	if (!xvfb->Run({"xdpyinfo"}, nullptr, error,
	               std::chrono::milliseconds(RemainingMilliseconds(deadline) + 1))) {
		*error = "xdpyinfo against the new server: " + *error;
		return nullptr;
	}
	return xvfb;
}

Xvfb::Xvfb(std::unique_ptr<Process> server, int displayNumber)
    : fServer(std::move(server)), fDisplayName(":" + std::to_string(displayNumber))
{
}

Xvfb::~Xvfb() = default;

bool Xvfb::Run(const std::vector<std::string>& command, std::string* output, std::string* error,
               std::chrono::milliseconds timeout) const
{
	std::string ignored;
	if (error == nullptr)
		error = &ignored;
	if (output != nullptr)
		output->clear();
	const Clock::time_point deadline = Clock::now() + timeout;

	Descriptor readEnd, writeEnd;
	if (!MakePipe(&readEnd, &writeEnd)) {
		*error = std::string("pipe: ") + strerror(errno);
		return false;
	}
	const pid_t pid =
	    SpawnChild(command, {{"DISPLAY", fDisplayName}}, {{writeEnd.Get(), STDOUT_FILENO}}, error);
	if (pid < 0)
		return false;
	Process process(pid);
	writeEnd.Reset();

	for (;;) {
		if (!WaitReadable(readEnd.Get(), deadline)) {
			*error = command[0] + " did not finish in time";
			return false;
		}
		char buffer[65536];
		const ssize_t got = read(readEnd.Get(), buffer, sizeof(buffer));
		if (got < 0 && errno == EINTR)
			continue;
		if (got <= 0)
			break;
		if (output != nullptr)
			output->append(buffer, size_t(got));
	}
	int status = 0;
	if (!process.WaitForExit(std::chrono::milliseconds(RemainingMilliseconds(deadline)), &status)) {
		*error = command[0] + " did not end in time";
		return false;
	}
	if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
		*error = command[0] + " failed (wait status " + std::to_string(status) + ")";
		return false;
	}
	return true;
}

std::unique_ptr<Xvfb::Process>
Xvfb::Launch(const std::vector<std::string>& command, std::string* error,
             const std::map<std::string, std::string>& environment) const
{
	std::string ignored;
	std::map<std::string, std::string> variables = environment;
	variables["DISPLAY"] = fDisplayName;
	const pid_t pid = SpawnChild(command, variables, {}, error != nullptr ? error : &ignored);
	if (pid < 0)
		return nullptr;
	return std::unique_ptr<Process>(new Process(pid));
}

bool Xvfb::Screenshot(Xwd* image, std::string* error) const
{
	std::string data;
	if (!Run({"xwd", "-root", "-silent"}, &data, error))
		return false;
	return image->Parse(std::vector<uint8_t>(data.begin(), data.end()), error);
}

} // namespace VelmoTest
