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

InformLayout LayoutInform(Size client, bool hasLink) {
  InformLayout l;
  l.text = {3, 0, client.width - 3, client.height - (hasLink ? kInformButtonStrip : 0)};
  if (hasLink) {
    l.button = {(client.width - kInformButtonWidth) / 2, client.height - 33, kInformButtonWidth,
                kInformButtonHeight};
    l.separatorY = client.height - kInformButtonStrip;
  }
  return l;
}

} // namespace ui
