// vpack.exe has no OpenSSL: it reads public keys and verifies (through
// CNG), but keys and signatures are made by the Linux vpack or by OpenSSL's
// own command line (docs/vpack.md shows how).
#include "pack/error.h"
#include "pack/update_signing.h"

namespace pack {

namespace {

[[noreturn]] void NotHere(const char* what) {
  throw Error(std::string("this vpack.exe cannot ") + what +
              ": use the Linux vpack, or OpenSSL as docs/vpack.md shows");
}

} // namespace

KeyPair GenerateUpdateKey() {
  NotHere("make keys");
}

std::string SignWithKey(const std::string&, std::string_view) {
  NotHere("sign");
}

std::string PublicPemOfPrivateKeyFile(const std::string&) {
  NotHere("read private keys");
}

void WritePrivateKeyFile(const std::string&, std::string_view) {
  NotHere("make keys");
}

} // namespace pack
