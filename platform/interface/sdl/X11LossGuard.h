#pragma once

namespace BPrivate {

// Runs `step(context)`, SDL or Xlib calls that may talk to an X server, so that the server going
// away during them ends the step rather than the process: true when the step ran to its end,
// false when an X connection broke in it. Then the step was cut short inside Xlib, and nothing
// of SDL's video (nor that connection) may be used again: its state is left as it is.
//
// Xlib calls the process-wide I/O error handler when a connection breaks and ends the process
// (status 1) if the handler returns; the per-connection exit handler (X11Connection) can stop
// that only for a connection the program can name, and SDL keeps a second one of its own. The
// handler installed here does not return: it jumps back here, out of C frames only. `step` must
// therefore destroy no C++ object while it calls SDL or Xlib: release an owner first, then call.
//
// Main thread only; not nested.
bool RunGuardedAgainstXLoss(void (*step)(void* context), void* context);

} // namespace BPrivate
