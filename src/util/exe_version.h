#pragma once

#include <string>

namespace util {

// "a.b.c.d" from the fixed version record of `file` (the running program
// when empty); empty when it has none.
std::string GetExeVersion(const std::string& file = {});

}  // namespace util
