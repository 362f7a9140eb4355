#include "interface/sdl/X11LossGuard.h"

#include <setjmp.h>

#include <cassert>

#include <X11/Xlib.h>

namespace BPrivate {

namespace {

// Where the guarded step started; set only while one runs, on the main thread.
jmp_buf* gEscape = nullptr;

int EscapeFromIOError(Display*)
{
	// Whatever Xlib still holds of the broken connection stays as it is: nobody uses it again.
	if (gEscape != nullptr)
		longjmp(*gEscape, 1);
	return 0;
}

} // namespace

bool RunGuardedAgainstXLoss(void (*step)(void* context), void* context)
{
	assert(gEscape == nullptr);
	jmp_buf escape;
	const XIOErrorHandler previous = XSetIOErrorHandler(EscapeFromIOError);
	bool finished;
	gEscape = &escape;
	if (setjmp(escape) == 0) {
		step(context);
		finished = true;
	} else {
		finished = false;
	}
	gEscape = nullptr;
	XSetIOErrorHandler(previous);
	return finished;
}

} // namespace BPrivate
