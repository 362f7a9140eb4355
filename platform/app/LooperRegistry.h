#pragma once

#include <functional>

#include <SupportDefs.h>

class BLooper;

namespace BPrivate {

// Every looper of the process by token, so that a messenger can find its looper, or learn that
// it is gone, without touching freed memory. Tokens are never reused. Any thread may call it.
namespace LooperRegistry {

int32 Register(BLooper* looper);
// Once it returns, no Use() is running with this looper and none will start.
void Unregister(int32 token);
// Calls `use` with the looper, under the registry's lock (keep it short and never take the
// registry again inside); false, without calling it, when the token names no looper.
bool Use(int32 token, const std::function<void(BLooper*)>& use);

} // namespace LooperRegistry

} // namespace BPrivate
