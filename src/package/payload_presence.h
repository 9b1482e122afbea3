// Whether a package file carries payload blocks.
#pragma once

#include <string>

namespace package {

// True when bytes lie between the package's header blocks and its trailer
// (data after the end marker, a signature, does not count). An update agent
// is the stub and its header only.
bool HasPayload(const std::string& fileName);

}  // namespace package
