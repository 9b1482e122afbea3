// Size: the stub is built without C++ exceptions (operations report failures
// by their results). The runtime's own error paths (std::__throw_*) would
// still pull in the exception classes, a second string implementation, the
// unwinder and the demangler: some 90 KB of a stub that ships with every
// package. Here they end the process, as an allocation failure would.
#include <cstddef>
#include <cstdlib>

namespace std {
void __throw_bad_cast() { std::abort(); }
void __throw_bad_alloc() { std::abort(); }
void __throw_bad_typeid() { std::abort(); }
void __throw_logic_error(const char*) { std::abort(); }
void __throw_range_error(const char*) { std::abort(); }
void __throw_domain_error(const char*) { std::abort(); }
void __throw_length_error(const char*) { std::abort(); }
void __throw_out_of_range(const char*) { std::abort(); }
void __throw_bad_exception() { std::abort(); }
void __throw_runtime_error(const char*) { std::abort(); }
void __throw_overflow_error(const char*) { std::abort(); }
void __throw_underflow_error(const char*) { std::abort(); }
void __throw_invalid_argument(const char*) { std::abort(); }
void __throw_out_of_range_fmt(const char*, ...) { std::abort(); }
void __throw_bad_array_new_length() { std::abort(); }
void __throw_bad_function_call() { std::abort(); }
}  // namespace std

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

// The runtime's operator new throws std::bad_alloc, which alone links the
// whole exception machinery (unwinder, personality, ~35 KB). Running out of
// memory ends the stub here instead, as the __throw_* above do.
void* operator new(std::size_t size) {
  if (void* p = std::malloc(size ? size : 1)) return p;
  std::abort();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

