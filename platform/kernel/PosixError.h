#pragma once

// The one translation of errno values into the status codes of the BeOS API, for every kit of the
// layer.

#include <SupportDefs.h>

namespace BPrivate {

// `error` is an errno value (positive). Values without a counterpart give B_ERROR; 0 gives B_OK.
status_t PosixError(int error);

} // namespace BPrivate
