// Natively there is no thread locale: 0, which reads as English.
#include "vars/language.h"

namespace vars {

std::uint32_t detail::ReadThreadLocale() {
  return 0;
}

} // namespace vars
