#pragma once

// For tests that build a BApplication: the headless display, standard input not a terminal (so
// that a test run from a shell neither changes nor reads it), and a watchdog that ends a Run()
// which would otherwise hang.

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <Application.h>

inline void UseHeadlessDisplay()
{
	setenv("BEOS_DISPLAY", "headless", 1);
	int null = open("/dev/null", O_RDONLY | O_CLOEXEC);
	if (null >= 0) {
		dup2(null, STDIN_FILENO);
		close(null);
	}
}

// Quits the application if it is still running after `timeout`; Fired() tells whether it had
// to. Stop it (or destroy it) once Run() has returned, before the application goes.
class RunWatchdog
{
public:
	explicit RunWatchdog(BApplication* application,
	                     std::chrono::seconds timeout = std::chrono::seconds(20))
	    : fThread([this, application, timeout] {
		      std::unique_lock<std::mutex> lock(fMutex);
		      if (!fChanged.wait_for(lock, timeout, [this] { return fStopped; })) {
			      fFired = true;
			      application->Quit();
		      }
	      })
	{
	}
	~RunWatchdog() { Stop(); }

	void Stop()
	{
		{
			std::lock_guard<std::mutex> lock(fMutex);
			fStopped = true;
		}
		fChanged.notify_all();
		if (fThread.joinable())
			fThread.join();
	}
	bool Fired()
	{
		std::lock_guard<std::mutex> lock(fMutex);
		return fFired;
	}

private:
	std::mutex fMutex;
	std::condition_variable fChanged;
	bool fStopped = false;
	bool fFired = false;
	std::thread fThread;
};
