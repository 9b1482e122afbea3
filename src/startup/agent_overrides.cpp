#include "startup/agent_overrides.h"

#include "util/field_list.h"
#include "util/text.h"

namespace startup {

namespace {
std::uint8_t g_overrides[kOverrideCount] = {255, 255, 255, 255, 255, 255, 255, 255};
} // namespace

void SetOverride(int position, std::int64_t value) {
  if (position < 0 || position > 5) return;
  g_overrides[position] = static_cast<std::uint8_t>(value & 0xFF);
}

std::uint8_t OverrideValue(int position) {
  if (position < 0 || position >= kOverrideCount) return kOverrideNotSet;
  return g_overrides[position];
}

std::string OverridesToText() {
  std::string text = "|";
  for (std::uint8_t v : g_overrides)
    text.append(util::IntToStr(v)).append("|");
  return text;
}

void OverridesFromText(std::string_view text) {
  for (int i = 0; i < kOverrideCount; ++i) {
    if (const auto v = util::StrToInt64(util::SUB::GetField(text, i)))
      g_overrides[i] = static_cast<std::uint8_t>(*v & 0xFF);
  }
}

void ResetOverrides() {
  for (std::uint8_t& v : g_overrides)
    v = kOverrideNotSet;
}

} // namespace startup
