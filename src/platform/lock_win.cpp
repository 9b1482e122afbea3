#include <windows.h>

#include "platform/lock.h"

namespace platform {

namespace {
CRITICAL_SECTION* Section(unsigned char* storage) {
  return reinterpret_cast<CRITICAL_SECTION*>(storage);
}
} // namespace

static_assert(sizeof(CRITICAL_SECTION) <= 64);

Lock::Lock() {
  InitializeCriticalSection(Section(storage_));
}
Lock::~Lock() {
  DeleteCriticalSection(Section(storage_));
}
void Lock::Enter() {
  EnterCriticalSection(Section(storage_));
}
void Lock::Leave() {
  LeaveCriticalSection(Section(storage_));
}

} // namespace platform
