// Checks of the locations a vendor types into a package (the update URL, a
// download source): what the stub could not fetch from is refused at build
// time instead of failing on a user's machine.
#pragma once

#include <string>

namespace pack {

// Why `location` is no location the stub can use, or empty when it is one:
// an http:// or https:// URL with a host and no blanks or control
// characters, or a folder (C:\Updates, \\server\share).
std::string LocationProblem(const std::string& location);

} // namespace pack
