// Size: the C++ runtime's own error paths (std::__throw_*) pull in the
// exception classes of <stdexcept>, which carry a second string
// implementation and the demangler: some 60 KB of a stub that ships with
// every package. The stub replaces them with one small exception type, so
// catch sites still see a std::exception with a message.
#include <cstdlib>
#include <exception>
#include <new>

namespace {

class RuntimeError : public std::exception {
 public:
  explicit RuntimeError(const char* what) : what_(what) {}
  const char* what() const noexcept override { return what_; }

 private:
  const char* what_;
};

[[noreturn]] void Raise(const char* what) { throw RuntimeError(what); }

}  // namespace

namespace std {
void __throw_bad_cast() { Raise("bad cast"); }
void __throw_bad_alloc() { throw std::bad_alloc(); }
void __throw_bad_typeid() { Raise("bad typeid"); }
void __throw_logic_error(const char* s) { Raise(s); }
void __throw_range_error(const char* s) { Raise(s); }
void __throw_domain_error(const char* s) { Raise(s); }
void __throw_length_error(const char* s) { Raise(s); }
void __throw_out_of_range(const char* s) { Raise(s); }
void __throw_bad_exception() { Raise("bad exception"); }
void __throw_runtime_error(const char* s) { Raise(s); }
void __throw_overflow_error(const char* s) { Raise(s); }
void __throw_underflow_error(const char* s) { Raise(s); }
void __throw_invalid_argument(const char* s) { Raise(s); }
void __throw_out_of_range_fmt(const char* s, ...) { Raise(s); }
void __throw_bad_array_new_length() { throw std::bad_alloc(); }
}  // namespace std

// The default terminate handler pulls in the demangler; a stub that meets an
// uncaught exception just ends.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
