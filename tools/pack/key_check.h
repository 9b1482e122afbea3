// Keys a vendor wrote that the agent or the stub will never read (a typo
// such as "VersionNwe" reads as the default without a word), and keys they
// must not leave out. Each finding is one warning text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace pack {

// A descriptor's text: unknown sections and keys, and missing keys the
// agent needs (`isInfo`: a .info, else a .original with its [AutoUpdate]
// texts).
std::vector<std::string> DescriptorKeyWarnings(std::string_view content, bool isInfo);

// The package's language records (`header.languages` of InfoJson): keys
// the stub does not read.
std::vector<std::string> LanguageKeyWarnings(const nlohmann::ordered_json& languages);

} // namespace pack
