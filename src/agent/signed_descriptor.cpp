#include "agent/signed_descriptor.h"

#include "package/payload.h"
#include "util/text.h"

namespace agent {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool IsDigits(std::string_view s) {
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return !s.empty();
}

bool IsIsoDate(std::string_view s) {
  return s.size() == 10 && s[4] == '-' && s[7] == '-' && IsDigits(s.substr(0, 4)) &&
         IsDigits(s.substr(5, 2)) && IsDigits(s.substr(8, 2));
}

// The .original's name beside the .info: every extension goes.
std::string OriginalNameOf(std::string_view infoName) {
  const std::string name = util::FileNameOf(infoName);
  return std::string(std::string_view(name).substr(0, name.find('.'))) + ".original";
}

} // namespace

std::string IniTextValue(std::string_view content, std::string_view section,
                         std::string_view key) {
  if (content.substr(0, kByteOrderMark.size()) == kByteOrderMark)
    content.remove_prefix(kByteOrderMark.size());
  bool inSection = false;
  std::size_t pos = 0;
  while (pos < content.size()) {
    std::size_t end = content.find('\n', pos);
    if (end == std::string_view::npos) end = content.size();
    const std::string_view line = util::TrimView(content.substr(pos, end - pos));
    pos = end + 1;
    if (!line.empty() && line.front() == '[') {
      const std::size_t close = line.find(']');
      inSection = close != std::string_view::npos &&
                  util::EqualsNoCase(util::TrimView(line.substr(1, close - 1)), section);
      continue;
    }
    const std::size_t eq = line.find('=');
    if (inSection && eq != std::string_view::npos &&
        util::EqualsNoCase(util::TrimView(line.substr(0, eq)), key))
      return std::string(util::TrimView(line.substr(eq + 1)));
  }
  return {};
}

StaleDescriptor CheckSignedDescriptorAge(std::string_view content, std::string_view todayUtc,
                                         std::int64_t highestStamp, std::int64_t& stamp) {
  stamp = util::StrToInt64Def(IniTextValue(content, "NewSetup", "Stamp"), 0);
  const std::string expires = IniTextValue(content, "NewSetup", "Expires");
  if (!expires.empty() && !IsIsoDate(expires)) return StaleDescriptor::kBadExpires;
  // Both texts are YYYY-MM-DD, so their order is the days' order.
  if (!expires.empty() && todayUtc > std::string_view(expires)) return StaleDescriptor::kExpired;
  if (stamp < highestStamp) return StaleDescriptor::kStampLowered;
  return StaleDescriptor::kNo;
}

const char* StaleDescriptorText(StaleDescriptor why) {
  switch (why) {
  case StaleDescriptor::kExpired: return "expired (Expires is past)";
  case StaleDescriptor::kBadExpires: return "Expires is no date YYYY-MM-DD";
  case StaleDescriptor::kStampLowered: return "its Stamp is lower than one verified before";
  default: return "current";
  }
}

std::int64_t RetryPauseSeconds(std::int64_t failedAttempts) {
  if (failedAttempts <= 1) return 0;
  std::int64_t pause = kRetryPauseFirstSeconds;
  for (std::int64_t i = 2; i < failedAttempts && pause < kRetryPauseMaxSeconds; ++i) pause *= 2;
  return pause < kRetryPauseMaxSeconds ? pause : kRetryPauseMaxSeconds;
}

bool IsUsableDownloadName(std::string_view name, std::string_view agentFileName,
                          std::string_view infoName) {
  const std::string file = util::FileNameOf(name);
  if (file.empty() || !package::IsSafeRelativeName(file)) return false;
  const std::string info = util::FileNameOf(infoName);
  const std::string agent = util::FileNameOf(agentFileName);
  for (const std::string& own :
       {agent, "X_" + agent, info, info + ".sig", OriginalNameOf(infoName)})
    if (util::EqualsNoCase(file, own)) return false;
  return true;
}

} // namespace agent
