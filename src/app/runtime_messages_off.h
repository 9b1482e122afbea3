// Force-included into every file of the stub (cmake/stub.cmake).
//
// The standard library passes its error texts ("basic_string::_M_create",
// ...) through the __N() hook meant for translating them. The stub's
// replacements of the library's error paths end the process without
// reading a text (stub_runtime_win.cpp), yet each file kept its own copy
// of every text it could pass: 8 KB. An empty text is all they need.
#pragma once

#include <bits/c++config.h>

#undef __N
// A call rather than "": the library also passes its texts as printf formats,
// and an empty literal there draws a warning.
inline const char* RuntimeNoText() { return ""; }
#define __N(msgid) (::RuntimeNoText())
