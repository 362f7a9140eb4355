#include <Messenger.h>

#include <Handler.h>
#include <Looper.h>
#include <Message.h>

#include "app/LooperRegistry.h"

BMessenger::BMessenger() : fToken(0), fHandler(NULL) {}

BMessenger::BMessenger(const BHandler* handler, const BLooper* looper, status_t* result)
    : fToken(0), fHandler(handler)
{
	if (handler != NULL)
		looper = handler->Looper();
	if (looper != NULL)
		fToken = looper->Token();
	if (result != NULL)
		*result = fToken > 0 ? B_OK : B_BAD_VALUE;
}

bool BMessenger::operator==(const BMessenger& other) const
{
	return fToken == other.fToken && fHandler == other.fHandler;
}

bool BMessenger::IsValid() const
{
	return fToken > 0 && BPrivate::LooperRegistry::Use(fToken, [](BLooper*) {});
}

BLooper* BMessenger::Target(BLooper** looper) const
{
	BLooper* found = NULL;
	if (fToken > 0)
		BPrivate::LooperRegistry::Use(fToken, [&found](BLooper* target) { found = target; });
	if (looper != NULL)
		*looper = found;
	return found;
}

status_t BMessenger::SendMessage(uint32 command, BHandler* replyTo) const
{
	BMessage message(command);
	return SendMessage(&message, replyTo);
}

status_t BMessenger::SendMessage(BMessage* message, BHandler* /*replyTo*/,
                                 bigtime_t /*timeout*/) const
{
	if (message == NULL)
		return B_BAD_VALUE;
	if (fToken <= 0)
		return B_BAD_PORT_ID;
	// Posting only queues a copy and wakes the looper: short enough to do under the registry's
	// lock, which is what keeps the looper alive meanwhile. The message goes to the looper's
	// preferred handler (or the looper): a handler may be gone by the time it is handled.
	status_t status = B_BAD_PORT_ID;
	BPrivate::LooperRegistry::Use(fToken,
	                              [&](BLooper* looper) { status = looper->PostMessage(message); });
	return status;
}
