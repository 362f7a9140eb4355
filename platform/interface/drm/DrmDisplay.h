#pragma once

#include <memory>
#include <string>

#include "interface/Display.h"

namespace BPrivate {

// A display on the console's own screen, through kernel mode setting and no renderer: every
// connected screen stays in its mode and shows black, the windows go at their frames on the first
// one, and what changes in their framebuffers is copied to the screen. Keys come from libinput;
// the text console beneath is kept out of the way (VirtualConsole). `outcome` names the card and
// screen taken ("card0: Virtual-1 1280x800"), or says why none could be (DrmCard::OpenFirst:
// null then); `screenExpected` says whether there was a graphics card at all. Main thread.
std::unique_ptr<Display> CreateDrmDisplay(std::string* outcome, bool* screenExpected);

} // namespace BPrivate
