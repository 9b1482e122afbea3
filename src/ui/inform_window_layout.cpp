#include "ui/inform_window_layout.h"

#include "util/system_info.h"
#include "util/text.h"

namespace ui {

InformAction DecideInform(std::string_view text, std::string_view link) {
  if (!text.empty()) return InformAction::Show;
  return util::TrimView(link).empty() ? InformAction::None : InformAction::OpenLink;
}

std::string InformTextFace(std::string_view face) {
  if (face.empty() || face == "Tahoma") return "Verdana";
  return std::string(face);
}

int InformButtonFontHeight(int points, int dpi) {
  return -util::PointsToPixels(points, dpi);
}

Rect CentredOnScreen(int screenWidth, int screenHeight, int width, int height) {
  return {(screenWidth - width) / 2, (screenHeight - height) / 2, width, height};
}

InformLayout LayoutInform(Size client, bool hasLink, int dpi) {
  const auto scaled = [dpi](int length) { return util::MulDivRounded(length, dpi, 96); };
  const int margin = scaled(3), strip = scaled(kInformButtonStrip);
  const int buttonWidth = scaled(kInformButtonWidth);
  InformLayout l;
  l.text = {margin, 0, client.width - margin, client.height - (hasLink ? strip : 0)};
  if (hasLink) {
    l.button = {(client.width - buttonWidth) / 2, client.height - scaled(33), buttonWidth,
                scaled(kInformButtonHeight)};
    l.separatorY = client.height - strip;
  }
  return l;
}

} // namespace ui
