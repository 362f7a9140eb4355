#include "interface/sdl/WaylandSeatProbe.h"

#include <cstring>

#include <wayland-client.h>

namespace BPrivate {

namespace {

void NoteGlobal(void* seen, wl_registry*, uint32_t, const char* interface, uint32_t)
{
	if (strcmp(interface, wl_seat_interface.name) == 0)
		*static_cast<bool*>(seen) = true;
}

void IgnoreRemoval(void*, wl_registry*, uint32_t)
{
}

} // namespace

WaylandSeat ProbeWaylandSeat()
{
	wl_display* display = wl_display_connect(nullptr);
	if (display == nullptr)
		return WaylandSeat::kNoCompositor;
	bool seen = false;
	static const wl_registry_listener listener = {NoteGlobal, IgnoreRemoval};
	wl_registry* registry = wl_display_get_registry(display);
	// The compositor announces its globals before it answers the round trip.
	if (registry != nullptr) {
		wl_registry_add_listener(registry, &listener, &seen);
		if (wl_display_roundtrip(display) < 0)
			seen = false;
		wl_registry_destroy(registry);
	}
	wl_display_disconnect(display);
	return seen ? WaylandSeat::kOffered : WaylandSeat::kNone;
}

} // namespace BPrivate
