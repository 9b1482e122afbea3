#include <mutex>
#include <new>

#include "platform/lock.h"

namespace platform {

namespace {
std::mutex* Mutex(unsigned char* storage) {
  return std::launder(reinterpret_cast<std::mutex*>(storage));
}
} // namespace

static_assert(sizeof(std::mutex) <= 64 && alignof(std::mutex) <= 8);

Lock::Lock() {
  new (storage_) std::mutex;
}
Lock::~Lock() {
  Mutex(storage_)->~mutex();
}
void Lock::Enter() {
  Mutex(storage_)->lock();
}
void Lock::Leave() {
  Mutex(storage_)->unlock();
}

} // namespace platform
