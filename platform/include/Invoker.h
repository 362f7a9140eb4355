#pragma once

#include <Messenger.h>
#include <SupportDefs.h>

class BHandler;
class BLooper;
class BMessage;

// A message and a target to send it to. The invoker owns its message.
// Not thread-safe: one thread at a time uses one invoker.
class BInvoker
{
public:
	BInvoker();
	// Takes ownership of `message` (may be NULL).
	BInvoker(BMessage* message, const BMessenger& messenger);
	BInvoker(BMessage* message, const BHandler* handler, const BLooper* looper = NULL);
	virtual ~BInvoker();

	BInvoker(const BInvoker&) = delete;
	BInvoker& operator=(const BInvoker&) = delete;

	// Replaces (and deletes) the current message; takes ownership of the new one.
	virtual status_t SetMessage(BMessage* message);
	BMessage* Message() const { return fMessage; }
	uint32 Command() const;

	virtual status_t SetTarget(const BHandler* handler, const BLooper* looper = NULL);
	virtual status_t SetTarget(BMessenger messenger);
	bool IsTargetLocal() const { return true; }
	BHandler* Target(BLooper** looper = NULL) const;
	BMessenger Messenger() const { return fMessenger; }

	// Sends a copy of `message`, or of the invoker's own message when it is NULL. B_BAD_VALUE
	// when there is neither; otherwise the send's result.
	virtual status_t Invoke(BMessage* message = NULL);

private:
	BMessage* fMessage;
	BMessenger fMessenger;
};
