// The checks through OpenSSL, for vpack and the native tests.
#include "trust/update_signature.h"

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>

#include "platform/file.h"
#include "util/scramble.h"

namespace trust {

namespace {

struct KeyFree {
  void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct ContextFree {
  void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};

} // namespace

bool SignatureMatches(std::string_view keyHex, std::string_view data,
                      std::string_view derSignature) {
  std::string key, raw;
  // The DER form is checked as strictly as on Windows, where it is taken apart.
  if (!DecodePublicKey(keyHex, key) || !RawSignatureFromDer(derSignature, raw)) return false;
  const std::string spki = SpkiFromPublicKey(key);
  const auto* p = reinterpret_cast<const unsigned char*>(spki.data());
  std::unique_ptr<EVP_PKEY, KeyFree> pkey(d2i_PUBKEY(nullptr, &p, static_cast<long>(spki.size())));
  if (!pkey) return false;
  std::unique_ptr<EVP_MD_CTX, ContextFree> ctx(EVP_MD_CTX_new());
  return ctx && EVP_DigestVerifyInit(ctx.get(), nullptr, EVP_sha256(), nullptr, pkey.get()) == 1 &&
         EVP_DigestVerify(ctx.get(), reinterpret_cast<const unsigned char*>(derSignature.data()),
                          derSignature.size(),
                          reinterpret_cast<const unsigned char*>(data.data()), data.size()) == 1;
}

std::string Sha256Of(std::string_view data) {
  unsigned char digest[kSha256Bytes];
  unsigned int length = 0;
  if (EVP_Digest(data.data(), data.size(), digest, &length, EVP_sha256(), nullptr) != 1) return {};
  return util::ToHexPairs(std::string_view(reinterpret_cast<char*>(digest), length), true);
}

std::string FileSha256(const std::string& path) {
  platform::InputFile in;
  if (!in.Open(path)) return {};
  std::unique_ptr<EVP_MD_CTX, ContextFree> ctx(EVP_MD_CTX_new());
  if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1) return {};
  std::string buffer(64 * 1024, '\0');
  for (;;) {
    const std::size_t n = in.Read(buffer.data(), buffer.size());
    if (n == 0) break;
    if (EVP_DigestUpdate(ctx.get(), buffer.data(), n) != 1) return {};
  }
  if (in.Tell() != in.Size()) return {};
  unsigned char digest[kSha256Bytes];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(ctx.get(), digest, &length) != 1 || length != sizeof digest) return {};
  return util::ToHexPairs(std::string_view(reinterpret_cast<char*>(digest), length), true);
}

} // namespace trust
