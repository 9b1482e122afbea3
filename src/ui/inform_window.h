// The inform window (class "VRichEditBox"): a longer text in a read-only,
// scrollable rich-edit control and, with a link, one centred button that
// opens the link and closes the window. Windows build only.
#pragma once

#include <cstdint>
#include <string_view>

namespace ui {

// Shows `text` (no markup; the control reads rich-text input itself) and
// returns 1 once the window is closed; without text opens `link` at once
// (1) or does nothing (0). The parent is not disabled, but the call returns
// only after the window has been closed.
int ShowInformWindow(std::uintptr_t parent, std::string_view title, std::string_view buttonCaption,
                     int charset, int fontSize, std::string_view fontFace, bool rightToLeft,
                     int height, int width, std::string_view link, std::string_view text);

} // namespace ui
