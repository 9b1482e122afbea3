// Whether a file the stub is to start is a program Windows starts: a stub
// or an engine that is a text file fails only on the user's machine.
#pragma once

#include <string>

namespace pack {

// A PE image: "MZ", and "PE\0\0" where the DOS header's e_lfanew points.
bool IsPeProgram(const std::string& path);
// What the stub may start as its engine: a PE image, or a batch file
// (".bat", ".cmd"), which Windows runs through its command interpreter.
bool IsStartableEngine(const std::string& path);

} // namespace pack
