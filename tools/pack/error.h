// The one error type of vpack: a short message that says what is wrong and,
// for package damage, at which file offset. Thrown by the library, caught
// once in the command-line front end.
#pragma once

#include <stdexcept>
#include <string>

namespace pack {

class Error : public std::runtime_error {
public:
  explicit Error(const std::string& message) : std::runtime_error(message) {}
};

} // namespace pack
