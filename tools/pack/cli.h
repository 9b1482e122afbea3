// The vpack command line: parses the arguments, runs one command, prints its
// result and turns every error into one message and a non-zero exit code.
#pragma once

#include <ostream>

namespace pack {

int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

} // namespace pack
