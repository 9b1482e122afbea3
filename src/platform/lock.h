// A process-wide lock for state shared across threads: a critical section
// on Windows, std::mutex natively. Not recursive.
#pragma once

#include <cstddef>

namespace platform {

class Lock {
public:
  Lock();
  ~Lock();
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

  void Enter();
  void Leave();

private:
  // Room for either platform's object (a CRITICAL_SECTION is 24 or 40
  // bytes, a std::mutex 40).
  alignas(8) unsigned char storage_[64];
};

class LockGuard {
public:
  explicit LockGuard(Lock& lock) : lock_(lock) { lock_.Enter(); }
  ~LockGuard() { lock_.Leave(); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;

private:
  Lock& lock_;
};

} // namespace platform
