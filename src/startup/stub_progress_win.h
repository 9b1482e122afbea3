// The stub's own progress object: transfers report through it to the two
// bars of the stub window.
#pragma once

#include "http/prog_bar.h"

namespace startup {

// Created on first use; lives for the process.
http::TProgBar* StubProgressObject();

} // namespace startup
