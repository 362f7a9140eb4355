#pragma once

namespace BPrivate {

// What the Wayland compositor the environment names (WAYLAND_DISPLAY, or its default socket)
// offers, found by one registry round trip on a connection of its own, closed again at once.
// SDL 2.26 crashes in SDL_Init on a compositor with no seat (a headless weston, say), and waits
// for ever in it on one that takes the connection and never answers: the SDL display asks this
// first. The round trip is given up after two seconds.
enum class WaylandSeat
{
	kNoCompositor,
	kNoAnswer,
	kNone,
	kOffered,
};

WaylandSeat ProbeWaylandSeat();

} // namespace BPrivate
