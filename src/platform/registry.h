// Reads of registry values for the portable code.
#pragma once

#include <string>

namespace platform {

class RegistryReader {
public:
  virtual ~RegistryReader() = default;
  // The value `name` of the key at `keyPath` ("HKEY_CURRENT_USER\..." or
  // "HKCU\..."), as text; `def` when the key or the value is missing.
  virtual std::string Read(const std::string& keyPath, const std::string& name,
                           const std::string& def) = 0;
};

} // namespace platform
