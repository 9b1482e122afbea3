#include <windows.h>

#include "http/bytes_rate.h"

namespace http {

std::uint32_t TickCount() {
  return GetTickCount();
}

} // namespace http
