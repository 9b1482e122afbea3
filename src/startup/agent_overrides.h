// The agent's eight override values: each takes precedence over the
// matching switch of the downloaded descriptor while it is set (not 255).
// Control commands set positions 0 to 5; "/TRANSIENTx=" carries all eight
// to another agent process as a field list.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace startup {

inline constexpr int kOverrideCount = 8;
inline constexpr std::uint8_t kOverrideNotSet = 255;

// Positions: 0 AskBeforeCheck, 1 RequestConfirmationBeforeDownload,
// 2 RequestConfirmationBeforeInstall, 3 BackgroundUpdate, 4 InformFinish,
// 5 RestartProcess, 6 RequestConfirmationBeforeDownloadForce,
// 7 RequestConfirmationBeforeInstallForce.
// Positions outside 0..5 are left alone; the value is kept as a byte.
void SetOverride(int position, std::int64_t value);
// kOverrideNotSet for a position outside 0..7.
std::uint8_t OverrideValue(int position);
// "|" + the eight values in decimal, each followed by "|".
std::string OverridesToText();
// Field i of `text` (a field list) into
// position i, for i = 0..7; a missing field or one that is not a number
// keeps the value.
void OverridesFromText(std::string_view text);
// All back to "not set".
void ResetOverrides();

} // namespace startup
