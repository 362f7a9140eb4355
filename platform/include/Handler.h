#pragma once

#include <string>

#include <SupportDefs.h>

class BLooper;
class BMessage;

// Something that handles messages for a looper. A handler belongs to at most one looper and is
// called on that looper's thread with the looper locked.
class BHandler
{
public:
	explicit BHandler(const char* name = NULL);
	virtual ~BHandler();

	BHandler(const BHandler&) = delete;
	BHandler& operator=(const BHandler&) = delete;

	// Default: hands the message to the next handler, or drops it when there is none.
	virtual void MessageReceived(BMessage* message);

	BLooper* Looper() const { return fLooper; }
	const char* Name() const { return fName.c_str(); }
	void SetName(const char* name);

	BHandler* NextHandler() const { return fNextHandler; }
	void SetNextHandler(BHandler* handler) { fNextHandler = handler; }

	// Locks the handler's looper (false when it has none).
	bool LockLooper();
	void UnlockLooper();

private:
	friend class BLooper;

	std::string fName;
	BLooper* fLooper;
	BHandler* fNextHandler;
};
