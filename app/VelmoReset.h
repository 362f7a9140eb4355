#pragma once

// The reset utility's application object: it takes over the screen, ends a running VelmoLaunch,
// starts the dialogue's two worker threads and, on a reset request, stops them in order and quits.

#include <Application.h>
#include <GraphicsDefs.h>
#include <OS.h>

class BMessage;
class ResetWindow;

extern const char* APP_SIGNATURE;

extern const rgb_color Black;
extern const rgb_color kaPurple;

// The reset request: this code, and the mode as the int32 field "which".
static const uint32 kResetRequest = 'DATA';

class VelmoReset : public BApplication {
public:
	VelmoReset();
	virtual ~VelmoReset();

	virtual void MessageReceived(BMessage* message);
	virtual void ReadyToRun();

private:
	ResetWindow* window;
	thread_id uiThread;
	thread_id installerThread;
};

// Kills a running VelmoLaunch; true if it was running.
bool TerminateVelmoLaunch();
