#pragma once

#include <signal.h>

namespace BPrivate {

// While it exists: SIGINT, SIGTERM and SIGHUP restore the terminal modes registered with
// RegisterTerminalMode and then end the process by the same signal (default action, re-raised),
// so that nothing more of the program runs: no static destructors, no half-finished exit. SIGPIPE
// is ignored (a write to a closed pipe fails with EPIPE instead). The previous dispositions come
// back on destruction. One at a time per process; created and destroyed on the main thread.
class SignalHandling
{
public:
	SignalHandling();
	~SignalHandling();

	SignalHandling(const SignalHandling&) = delete;
	SignalHandling& operator=(const SignalHandling&) = delete;

private:
	static void OnTerminatingSignal(int signalNumber);

	static const int kTerminatingSignals[3];
	struct sigaction fPrevious[3];
	struct sigaction fPreviousPipe;
};

} // namespace BPrivate
