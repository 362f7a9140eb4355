#include <Invoker.h>

#include <Handler.h>
#include <Looper.h>
#include <Message.h>

BInvoker::BInvoker() : fMessage(NULL) {}

BInvoker::BInvoker(BMessage* message, const BMessenger& messenger)
    : fMessage(message), fMessenger(messenger)
{
}

BInvoker::BInvoker(BMessage* message, const BHandler* handler, const BLooper* looper)
    : fMessage(message), fMessenger(handler, looper)
{
}

BInvoker::~BInvoker()
{
	delete fMessage;
}

status_t BInvoker::SetMessage(BMessage* message)
{
	if (message != fMessage) {
		delete fMessage;
		fMessage = message;
	}
	return B_OK;
}

uint32 BInvoker::Command() const
{
	return fMessage != NULL ? fMessage->what : 0;
}

status_t BInvoker::SetTarget(const BHandler* handler, const BLooper* looper)
{
	status_t status;
	fMessenger = BMessenger(handler, looper, &status);
	return status;
}

status_t BInvoker::SetTarget(BMessenger messenger)
{
	fMessenger = messenger;
	return B_OK;
}

BHandler* BInvoker::Target(BLooper** looper) const
{
	BLooper* target = fMessenger.Target(looper);
	return target;
}

status_t BInvoker::Invoke(BMessage* message)
{
	if (message == NULL)
		message = fMessage;
	if (message == NULL)
		return B_BAD_VALUE;
	// The messenger posts a copy: the invoker keeps its message for the next Invoke.
	return fMessenger.SendMessage(message);
}
