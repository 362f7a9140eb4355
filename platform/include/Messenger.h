#pragma once

#include <SupportDefs.h>

class BHandler;
class BLooper;
class BMessage;

// Sends messages to a looper, safely even after it is gone: a messenger names its looper by a
// token that is looked up (under a lock) at each send, so a send to a deleted looper fails with
// B_BAD_PORT_ID and touches nothing. A BMessenger is a value; any thread may use one.
class BMessenger
{
public:
	BMessenger();
	// Targets the handler's looper (the looper itself when the handler is one). `looper` is
	// used when `handler` is NULL. `result` (optional): B_OK, or B_BAD_VALUE without a target.
	explicit BMessenger(const BHandler* handler, const BLooper* looper = NULL,
	                    status_t* result = NULL);
	BMessenger(const BMessenger& other) = default;
	~BMessenger() = default;

	BMessenger& operator=(const BMessenger& other) = default;
	bool operator==(const BMessenger& other) const;
	bool operator!=(const BMessenger& other) const { return !(*this == other); }

	// Whether the target looper still exists.
	bool IsValid() const;
	// The looper, if it still exists and lives in this process (no lifetime guarantee).
	BLooper* Target(BLooper** looper) const;
	bool IsTargetLocal() const { return true; }

	// Posts a copy of the message (the caller keeps its own) to the looper, whose preferred
	// handler (or the looper itself) receives it: a handler may be gone by the time it would be
	// handled. B_BAD_PORT_ID when the looper is gone, B_BAD_VALUE for a NULL message. `replyTo` is
	// accepted and ignored: this layer has no replies.
	status_t SendMessage(uint32 command, BHandler* replyTo = NULL) const;
	status_t SendMessage(BMessage* message, BHandler* replyTo = NULL, bigtime_t timeout = -1) const;

private:
	int32 fToken;
	const BHandler* fHandler;
};
