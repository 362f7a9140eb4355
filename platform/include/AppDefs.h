#pragma once

// Message codes of the Application Kit, with the BeOS values (four characters, in hex so that the
// header compiles cleanly under -Wmultichar).

#include <SupportDefs.h>

enum
{
	B_ABOUT_REQUESTED = 0x5f414252,        // '_ABR'
	B_ARGV_RECEIVED = 0x5f415247,          // '_ARG'
	B_KEY_DOWN = 0x5f4b5944,               // '_KYD'
	B_KEY_UP = 0x5f4b5955,                 // '_KYU'
	B_MESSAGE_NOT_UNDERSTOOD = 0x5f4d4e55, // '_MNU'
	B_MOUSE_DOWN = 0x5f4d444e,             // '_MDN'
	B_MOUSE_MOVED = 0x5f4d4d56,            // '_MMV'
	B_MOUSE_UP = 0x5f4d5550,               // '_MUP'
	B_PULSE = 0x5f50554c,                  // '_PUL'
	B_QUIT_REQUESTED = 0x5f515251,         // '_QRQ'
	B_READY_TO_RUN = 0x5f525452,           // '_RTR'
	B_REFS_RECEIVED = 0x5f525243,          // '_RRC'
};
