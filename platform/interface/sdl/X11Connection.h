#pragma once

#include <atomic>
#include <memory>

#include <OS.h>
#include <SDL.h>

struct _XDisplay;

namespace BPrivate {

// SDL's connection to the X server, as the SDL display waits on it and outlives its loss.
//
// Xlib ends the process (exit status 1) when the connection breaks, the server killed, say. While
// this object lives, the connection's I/O error exit handler only notes the loss instead, and the
// process-wide I/O error handler says nothing (the display says it in one line of its own). After
// the loss nothing may use the connection again: Xlib marks it dead and returns at once from most
// calls, but SDL would spin on a socket that stays readable. The owner checks Lost() after every
// round of SDL calls and stops touching SDL at once (see SdlDisplay).
//
// Only SDL's main connection is covered: SDL opens a second one to wake a thread that sleeps in
// SDL_WaitEventTimeout, so the display never sleeps there on X (it polls ConnectionNumber itself)
// and that second connection is never written to after start-up. SDL_Init and SDL_Quit, which
// use both, and the closing of a window run under X11LossGuard instead.
//
// Main thread only, like every SDL video call.
class X11Connection
{
public:
	// SDL's connection (read from one of its windows), watched from now on.
	explicit X11Connection(_XDisplay* display);
	~X11Connection();

	X11Connection(const X11Connection&) = delete;
	X11Connection& operator=(const X11Connection&) = delete;

	_XDisplay* Get() const { return fDisplay; }
	bool Lost() const { return fLost.load(std::memory_order_relaxed); }
	// The loss was found by other means (X11LossGuard).
	void NoteLost() { fLost.store(true, std::memory_order_relaxed); }
	// SDL is about to close the connection (SDL_Quit): this no longer touches it, and goes with
	// its handler on it.
	void Forget() { fForgotten = true; }

	// Sends what Xlib has buffered and waits until the server has something to read, `wake` is
	// readable or `deadline` (system_time clock) passes. Returns at once when Xlib has events
	// queued already. Not after Lost().
	void Wait(int wake, bigtime_t deadline);
	// Looks, without waiting and without Xlib, whether the server has closed the connection,
	// and counts it lost then. Xlib finds a loss only when it reads the end of what the server
	// sent; if that happens inside one of its calls that hold the connection's lock (the XSync
	// of a present, say), its exit handler returns into a call that then releases the lock a
	// second time. Looking first keeps Xlib from ever finding it in the usual case.
	bool LookForHangUp();

private:
	static int QuietIOError(_XDisplay* display);
	// Notes a hang-up in what poll said of the connection.
	void NoteHangUp(short events);
	static void NoteLoss(_XDisplay* display, void* connection);

	_XDisplay* const fDisplay;
	// Written by the exit handler, which Xlib calls on this (the main) thread.
	std::atomic<bool> fLost{false};
	bool fForgotten = false;
	int (*fPreviousHandler)(_XDisplay*) = nullptr;
};

} // namespace BPrivate
