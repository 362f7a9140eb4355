#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <SupportDefs.h>

namespace BPrivate {

class NotifySocket;

// Tells a service manager (systemd, through the socket NOTIFY_SOCKET names) how the application
// stands, from what the kits themselves see of it: READY=1 once its first window is on the display
// (the headless display counts: the window is up, shown nowhere), STATUS= with the text a window
// drew in one round, which is what the screen shows, and STOPPING=1 when the application quits,
// with the message it quit on. Only changes are sent, in the order they happened. Without
// NOTIFY_SOCKET in the environment at construction nothing is sent and nothing else is done. A
// send never waits (NotifySocket); a failed one is reported once, on standard error, and the
// application goes on.
//
// Threads: any; the calls are serialised, so the manager hears them in the order they were made.
class ServiceNotifier
{
public:
	ServiceNotifier();
	~ServiceNotifier();

	ServiceNotifier(const ServiceNotifier&) = delete;
	ServiceNotifier& operator=(const ServiceNotifier&) = delete;

	// The process's notifier, which the application kit and the windows tell.
	static ServiceNotifier& Default();

	// Whether NOTIFY_SOCKET was set when this notifier was made.
	bool IsEnabled() const { return fEnabled; }

	// A window is on the display: READY=1, the first time only, followed by the status drawn
	// so far.
	void WindowShown();
	// The texts a window drew in one round (one message or one pulse of its thread), in the
	// order drawn: STATUS= with StatusFor(texts), unless that is empty or was the last status.
	// A window draws into its backing store before the display shows it (the SDL window comes up
	// on the main thread after the program has started): until READY=1 the status is only kept.
	void TextsDrawn(const std::vector<std::string>& texts);
	// A screen was expected (a graphics card, a display named in the environment) but none
	// could be used, for the reason given: the application goes on without one, and from now on
	// each STATUS= says so first: "no screen (reason): " before the texts. Before the first
	// window is shown.
	void ScreenMissing(const std::string& reason);
	// The application quits while handling a message with code `messageCode` (0 when not while
	// handling one): STOPPING=1 with STATUS=QuittingStatus(messageCode), once.
	void Quitting(uint32 messageCode);

	// The texts with their surrounding spaces taken off, control characters made spaces (a
	// status is one line), empty ones left out, joined by " / ".
	static std::string StatusFor(const std::vector<std::string>& texts);
	// "Quitting on message 'DATA'" (a code of four printable characters is shown as them, any
	// other in hexadecimal), or "Quitting" for 0.
	static std::string QuittingStatus(uint32 messageCode);

private:
	// With fLock held.
	void Send(const std::string& assignments);
	void SendStatus();

	const bool fEnabled;
	// While enabled.
	std::unique_ptr<NotifySocket> fSocket;
	std::mutex fLock;
	// Guarded by fLock.
	bool fReady;
	bool fStopping;
	// The last status drawn; sent, unless drawn before READY=1 (then sent with it).
	std::string fStatus;
	// "no screen (reason)", or empty.
	std::string fScreenMissing;
};

} // namespace BPrivate
