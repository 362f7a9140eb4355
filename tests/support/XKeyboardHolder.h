#pragma once

#include <string>

struct _XDisplay;

namespace VelmoTest {

// Another X client holding the keyboard (an active grab on a small window of its own) until
// released or gone, as a screen locker or a menu would.
class XKeyboardHolder
{
public:
	explicit XKeyboardHolder(const std::string& displayName);
	~XKeyboardHolder();

	XKeyboardHolder(const XKeyboardHolder&) = delete;
	XKeyboardHolder& operator=(const XKeyboardHolder&) = delete;

	// Whether the grab was taken.
	bool Held() const { return fHeld; }
	void Release();

private:
	_XDisplay* fDisplay;
	unsigned long fWindow = 0;
	bool fHeld = false;
};

} // namespace VelmoTest
