#pragma once

#include <chrono>
#include <thread>

namespace VelmoTest {

// Waits until `condition()` holds, looking again every `interval`; false when `timeout` passed
// first. For conditions no event announces (a pattern across a program's printed lines); where
// an event exists, wait on it instead.
template <typename Condition>
bool Eventually(Condition condition, std::chrono::milliseconds timeout,
                std::chrono::milliseconds interval = std::chrono::milliseconds(20))
{
	const auto deadline = std::chrono::steady_clock::now() + timeout;
	for (;;) {
		if (condition())
			return true;
		if (std::chrono::steady_clock::now() >= deadline)
			return false;
		std::this_thread::sleep_for(interval);
	}
}

} // namespace VelmoTest
