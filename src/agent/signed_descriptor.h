// What an agent checks of a descriptor besides its signature: the signed
// descriptor's age (Expires, Stamp), the file names it gives, and the pause
// before a failed release is tried again. Pure: the callers bring the
// texts, today's date and the remembered values.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace agent {

// The value of `key` in `section` of INI text (the first one; names in any
// letter case; a leading UTF-8 byte-order mark is skipped); "" when absent.
std::string IniTextValue(std::string_view content, std::string_view section,
                         std::string_view key);

// Why a validly signed descriptor is still refused.
enum class StaleDescriptor {
  kNo,
  kExpired,      // Expires lies before today (UTC)
  kBadExpires,   // Expires is not YYYY-MM-DD
  kStampLowered, // Stamp is lower than the highest one verified before
};

// `todayUtc` is "YYYY-MM-DD". An Expires day itself still counts. `stamp`
// gets the descriptor's Stamp (0 without one).
StaleDescriptor CheckSignedDescriptorAge(std::string_view content, std::string_view todayUtc,
                                         std::int64_t highestStamp, std::int64_t& stamp);
// The log's words for it.
const char* StaleDescriptorText(StaleDescriptor why);

// The pause before the next try after `failedAttempts` failed attempts at
// one release: none after the first (the next due check tries again), then
// 15 minutes, doubling up to a day.
inline constexpr std::int64_t kRetryPauseFirstSeconds = 15 * 60;
inline constexpr std::int64_t kRetryPauseMaxSeconds = 24 * 60 * 60;
std::int64_t RetryPauseSeconds(std::int64_t failedAttempts);

// A file name a descriptor gives (NameOfUpdateFile, NameOfInformFile),
// once reduced to its file-name part, may be written into the agent's
// folder: it passes the package's safe-name rule and names none of the
// agent's own files (the agent and its copy, the .info and its signature,
// the .original). `infoName` is the .info's file name.
bool IsUsableDownloadName(std::string_view name, std::string_view agentFileName,
                          std::string_view infoName);

} // namespace agent
