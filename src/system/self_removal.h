// Removing the running executable after it has ended: a batch file in the
// temporary folder retries the delete until the file is free.
#pragma once

#include <string>
#include <string_view>

namespace sys {

// The name of the batch file in the system temporary folder.
inline constexpr char kSelfRemovalBatchName[] = "_DEL_ME_.BAT";

// The batch text, every line ending in CR LF: a loop deleting `exe` until it
// is gone, with `removeFolder` an "RD" of `folder`, then the delete of the
// batch itself.
std::string SelfRemovalBatchText(std::string_view exe, std::string_view folder,
                                 std::string_view batchPath, bool removeFolder);

// Windows build only. Writes the batch for the running executable (and its
// folder with `removeFolder`; that succeeds only once the folder is empty)
// and starts it hidden. With `shortNames` the batch names every path by its
// short (8.3) form, for command interpreters without long-name support.
// A batch that cannot be written is not started; nothing is reported.
void DeleteSelf(bool removeFolder, bool shortNames);

} // namespace sys
