#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace VelmoTest {

class Xwd;

// A private X server (Xvfb, by default one screen of 1280 x 1024, 24 bits) for tests that look at the screen and type on
// the keyboard as a person would, and the X programs they use against it (xdotool, xwd,
// xwininfo...). The server is stopped and reaped when the object goes. Every wait is bounded.
// One thread at a time may use an Xvfb.
class Xvfb
{
public:
	// A program started in the background against the server, killed and reaped when the
	// object goes.
	class Process
	{
	public:
		~Process();
		Process(const Process&) = delete;
		Process& operator=(const Process&) = delete;

		pid_t Pid() const { return fPid; }
		// Waits at most `timeout` for the program to end; true with its wait status then.
		bool WaitForExit(std::chrono::milliseconds timeout, int* status);
		// Ends the program (SIGTERM, then SIGKILL if it lingers) and reaps it.
		void Stop();

	private:
		friend class Xvfb;
		explicit Process(pid_t pid) : fPid(pid) {}

		pid_t fPid;
	};

	static constexpr std::chrono::milliseconds kDefaultTimeout{10000};

	struct Options
	{
		// One "WIDTHxHEIGHTxDEPTH" a screen.
		std::vector<std::string> screens = {"1280x1024x24"};
		// The screens side by side as one (Xinerama), screen 0 at the left.
		bool xinerama = false;
	};

	// Starts a server on a free display number and waits until it takes connections. Null with
	// the reason in *error when it cannot (Xvfb not installed, say).
	static std::unique_ptr<Xvfb> Start(std::string* error);
	static std::unique_ptr<Xvfb> Start(const Options& options, std::string* error);
	~Xvfb();

	// Ends the server at once (SIGKILL), as a crash would; its clients lose their connections.
	void Kill();

	// ":N", for DISPLAY.
	const std::string& DisplayName() const { return fDisplayName; }
	// The server's process, for a benchmark that reads its CPU use.
	pid_t Pid() const { return fServer->Pid(); }

	// Runs `command` (looked up on PATH) against the server and waits for it, at most `timeout`
	// (then it is killed). True when it ran and exited with 0; its standard output in *output,
	// why not in *error. Its standard error goes to the test's.
	bool Run(const std::vector<std::string>& command, std::string* output = nullptr,
	         std::string* error = nullptr,
	         std::chrono::milliseconds timeout = kDefaultTimeout) const;
	// Starts `command` against the server in the background, with `environment` set on top of
	// the test's; null with *error if it cannot.
	std::unique_ptr<Process>
	Launch(const std::vector<std::string>& command, std::string* error = nullptr,
	       const std::map<std::string, std::string>& environment = {}) const;
	// A screenshot of the whole screen (`xwd -root`; the pointer is never in it).
	bool Screenshot(Xwd* image, std::string* error = nullptr) const;

private:
	Xvfb(std::unique_ptr<Process> server, int displayNumber);

	std::unique_ptr<Process> fServer;
	std::string fDisplayName;
};

} // namespace VelmoTest
