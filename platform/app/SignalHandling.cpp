#include "app/SignalHandling.h"

#include <errno.h>
#include <string.h>

#include "app/TerminalRestore.h"

namespace BPrivate {

const int SignalHandling::kTerminatingSignals[3] = {SIGINT, SIGTERM, SIGHUP};

SignalHandling::SignalHandling()
{
	struct sigaction action;
	memset(&action, 0, sizeof(action));
	action.sa_handler = OnTerminatingSignal;
	sigemptyset(&action.sa_mask);
	// All three are held off while one is handled: the terminal is restored once, then the
	// process ends.
	for (int signalNumber : kTerminatingSignals)
		sigaddset(&action.sa_mask, signalNumber);
	for (int i = 0; i < 3; i++)
		sigaction(kTerminatingSignals[i], &action, &fPrevious[i]);

	struct sigaction ignore;
	memset(&ignore, 0, sizeof(ignore));
	ignore.sa_handler = SIG_IGN;
	sigemptyset(&ignore.sa_mask);
	sigaction(SIGPIPE, &ignore, &fPreviousPipe);
}

SignalHandling::~SignalHandling()
{
	for (int i = 0; i < 3; i++)
		sigaction(kTerminatingSignals[i], &fPrevious[i], NULL);
	sigaction(SIGPIPE, &fPreviousPipe, NULL);
}

// Async-signal-safe calls only.
void SignalHandling::OnTerminatingSignal(int signalNumber)
{
	int savedErrno = errno;
	RestoreTerminalModes();

	struct sigaction standard;
	memset(&standard, 0, sizeof(standard));
	standard.sa_handler = SIG_DFL;
	sigemptyset(&standard.sa_mask);
	sigaction(signalNumber, &standard, NULL);

	// The signal is blocked in this handler: raised again it waits, and unblocking it delivers
	// it at once with its default action, which ends the process here.
	raise(signalNumber);
	sigset_t pending;
	sigemptyset(&pending);
	sigaddset(&pending, signalNumber);
	sigprocmask(SIG_UNBLOCK, &pending, NULL);
	errno = savedErrno;
}

} // namespace BPrivate
