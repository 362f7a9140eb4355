#pragma once

#include <chrono>
#include <string>

struct _XDisplay;

namespace VelmoTest {

// Another X client that keeps a window of its own on top by hand, as the program does: an
// override-redirect window raised again whenever another top-level window is mapped or
// restacked. Counts the restacks of windows not its own, which are the other client's raises.
// One thread.
class XTopTaker
{
public:
	explicit XTopTaker(const std::string& displayName);
	~XTopTaker();

	XTopTaker(const XTopTaker&) = delete;
	XTopTaker& operator=(const XTopTaker&) = delete;

	bool Connected() const { return fDisplay != nullptr; }
	// Takes the top back for `period`, as often as it is taken.
	void Fight(std::chrono::milliseconds period);
	// Restacks of other windows seen so far.
	int OthersRestacks() const { return fOthersRestacks; }

private:
	_XDisplay* fDisplay;
	unsigned long fWindow = 0;
	int fOthersRestacks = 0;
};

} // namespace VelmoTest
