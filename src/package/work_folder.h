// The temporary work folder the setup unpacks into.
#pragma once

#include <string>

namespace package {

// The system temporary folder + "SETUP_" + the low 16 bits of the own file's
// DOS date-time stamp. The first call clears a leftover folder of that name
// and creates it.
std::string GetWorkFolder();

// Deletes a folder with everything in it; true when it existed and is gone.
bool RemoveFolderTree(const std::string& folder);

}  // namespace package
