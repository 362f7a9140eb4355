#include <Handler.h>

#include <Looper.h>
#include <Message.h>

BHandler::BHandler(const char* name)
    : fName(name != NULL ? name : ""), fLooper(NULL), fNextHandler(NULL)
{
}

BHandler::~BHandler()
{
	if (fLooper != NULL && fLooper != this)
		fLooper->RemoveHandler(this);
}

void BHandler::MessageReceived(BMessage* message)
{
	// A message nobody handles is dropped: this layer has no replies to send back.
	if (fNextHandler != NULL && fNextHandler != this)
		fNextHandler->MessageReceived(message);
}

void BHandler::SetName(const char* name)
{
	fName = name != NULL ? name : "";
}

bool BHandler::LockLooper()
{
	return fLooper != NULL && fLooper->Lock();
}

void BHandler::UnlockLooper()
{
	if (fLooper != NULL)
		fLooper->Unlock();
}
