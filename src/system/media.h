// Removable media: ejecting a CD/DVD and keeping the shell's AutoPlay quiet
// while the program waits for the next disk. Windows build only.
#pragma once

#include <string>

namespace sys {

// True when the drive of the path's first letter is a CD/DVD drive and the
// eject request succeeded; any other drive gives false without opening it.
bool EjectMedia(const std::string& path);

// On: registers the "QueryCancelAutoPlay" message and keeps its id; off:
// keeps 0. The program's windows answer that message with 1.
void SetAutoPlaySuppression(bool on);
// The kept message id; 0 while suppression is off.
unsigned AutoPlaySuppressionMessage();

} // namespace sys
