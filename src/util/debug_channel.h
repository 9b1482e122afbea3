// The debug channel: trace text travels as global atoms, with the registered
// message ".V_DebugMsg.", to a viewer window of class ".VDebug." (when one
// runs), and/or is appended to a fixed debug file, as the build selects.
#pragma once

#include <string_view>

namespace util {

// Sets the channel up; call before any other code writes trace text.
void StartDebugChannel();
// Delivers one piece of text to the viewer and/or the debug file.
void SendDebugText(std::string_view text);

}  // namespace util
