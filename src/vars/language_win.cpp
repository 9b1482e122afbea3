#include <windows.h>

#include "vars/language.h"

namespace vars {

std::uint32_t detail::ReadThreadLocale() {
  return GetThreadLocale();
}

} // namespace vars
