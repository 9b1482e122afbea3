// Where the agent keeps its settings: a key in a section of an INI file.
// The agent's deciding code reads and writes its descriptors only through
// this, so it can be tested against a store in memory.
#pragma once

#include <string>

namespace platform {

class SettingsStore {
public:
  virtual ~SettingsStore() = default;
  // The value of `key` in `section` of `file`; `def` when the file, the
  // section or the key is missing or the value is empty.
  virtual std::string Read(const std::string& file, const std::string& section,
                           const std::string& key, const std::string& def) = 0;
  // Writes one value (creating the file or the section when missing). False
  // when it could not be written; the old value then stays as it was.
  virtual bool Write(const std::string& file, const std::string& section, const std::string& key,
                     const std::string& value) = 0;
};

} // namespace platform
