#include "interface/sdl/WaylandSeatProbe.h"

#include <poll.h>

#include <cerrno>
#include <cstring>

#include <OS.h>
#include <wayland-client.h>

#include "kernel/Time.h"

namespace BPrivate {

namespace {

// Long enough for a compositor on a loaded machine, short enough that a kiosk with a hung one
// still asks its question at once, on the terminal.
constexpr bigtime_t kAnswerWait = 2000000;

struct Probe
{
	bool seatSeen = false;
	bool answered = false;
};

void NoteGlobal(void* probe, wl_registry*, uint32_t, const char* interface, uint32_t)
{
	if (strcmp(interface, wl_seat_interface.name) == 0)
		static_cast<Probe*>(probe)->seatSeen = true;
}

void IgnoreRemoval(void*, wl_registry*, uint32_t) {}

void NoteAnswer(void* probe, wl_callback*, uint32_t)
{
	static_cast<Probe*>(probe)->answered = true;
}

// wl_display_roundtrip, but given up at `deadline`: it would wait for ever on a compositor that
// took the connection and never answers. False when the answer did not come in time or the
// connection failed.
bool WaitForAnswer(wl_display* display, const Probe& probe, bigtime_t deadline)
{
	while (!probe.answered) {
		// Events already read are handled first; prepare_read fails while there are any.
		while (wl_display_prepare_read(display) != 0) {
			if (wl_display_dispatch_pending(display) < 0)
				return false;
		}
		if (probe.answered) {
			wl_display_cancel_read(display);
			break;
		}
		// The request may not all go at once; the rest goes on the next round.
		if (wl_display_flush(display) < 0 && errno != EAGAIN) {
			wl_display_cancel_read(display);
			return false;
		}
		pollfd descriptor = {wl_display_get_fd(display), POLLIN, 0};
		const int ready = poll(&descriptor, 1, PollTimeout(deadline));
		if (ready <= 0) {
			wl_display_cancel_read(display);
			if (ready < 0 && errno == EINTR)
				continue;
			if (ready == 0 && system_time() < deadline)
				continue;
			return false;
		}
		if (wl_display_read_events(display) < 0 || wl_display_dispatch_pending(display) < 0)
			return false;
	}
	return true;
}

} // namespace

WaylandSeat ProbeWaylandSeat()
{
	wl_display* display = wl_display_connect(nullptr);
	if (display == nullptr)
		return WaylandSeat::kNoCompositor;
	const bigtime_t deadline = system_time() + kAnswerWait;
	Probe probe;
	static const wl_registry_listener registryListener = {NoteGlobal, IgnoreRemoval};
	static const wl_callback_listener answerListener = {NoteAnswer};
	wl_registry* registry = wl_display_get_registry(display);
	wl_callback* answer = wl_display_sync(display);
	bool answered = false;
	// The compositor announces its globals before it answers the sync.
	if (registry != nullptr && answer != nullptr) {
		wl_registry_add_listener(registry, &registryListener, &probe);
		wl_callback_add_listener(answer, &answerListener, &probe);
		answered = WaitForAnswer(display, probe, deadline);
	}
	if (answer != nullptr)
		wl_callback_destroy(answer);
	if (registry != nullptr)
		wl_registry_destroy(registry);
	wl_display_disconnect(display);
	if (!answered)
		return WaylandSeat::kNoAnswer;
	return probe.seatSeen ? WaylandSeat::kOffered : WaylandSeat::kNone;
}

} // namespace BPrivate
