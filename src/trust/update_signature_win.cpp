// The checks through CNG. bcrypt.dll is loaded on first use, as WinINet
// is: systems before Vista have none, and then nothing verifies (an agent
// that carries a key refuses every update there rather than trust one).
#include "trust/update_signature.h"

#include <windows.h>

#include <bcrypt.h>

#include "platform/file.h"
#include "util/scramble.h"

namespace trust {

namespace {

using OpenProvider = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE*, LPCWSTR, LPCWSTR, ULONG);
using CloseProvider = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE, ULONG);
using CreateHash = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE, BCRYPT_HASH_HANDLE*, PUCHAR, ULONG, PUCHAR,
                                     ULONG, ULONG);
using HashData = NTSTATUS(WINAPI*)(BCRYPT_HASH_HANDLE, PUCHAR, ULONG, ULONG);
using FinishHash = NTSTATUS(WINAPI*)(BCRYPT_HASH_HANDLE, PUCHAR, ULONG, ULONG);
using DestroyHash = NTSTATUS(WINAPI*)(BCRYPT_HASH_HANDLE);
using ImportKeyPair = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE, BCRYPT_KEY_HANDLE, LPCWSTR,
                                        BCRYPT_KEY_HANDLE*, PUCHAR, ULONG, ULONG);
using VerifySignature = NTSTATUS(WINAPI*)(BCRYPT_KEY_HANDLE, void*, PUCHAR, ULONG, PUCHAR, ULONG,
                                          ULONG);
using DestroyKey = NTSTATUS(WINAPI*)(BCRYPT_KEY_HANDLE);

FARPROC Resolve(const char* name) {
  static HMODULE dll = LoadLibraryA("bcrypt.dll");
  return dll ? GetProcAddress(dll, name) : nullptr;
}

template <typename Fn> Fn Entry(const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(Resolve(name)));
}

// One SHA-256 over pieces fed to Add.
class Sha256 {
public:
  Sha256() {
    auto open = Entry<OpenProvider>("BCryptOpenAlgorithmProvider");
    auto create = Entry<CreateHash>("BCryptCreateHash");
    add_ = Entry<HashData>("BCryptHashData");
    finish_ = Entry<FinishHash>("BCryptFinishHash");
    if (!open || !create || !add_ || !finish_) return;
    if (open(&alg_, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0) {
      alg_ = nullptr;
      return;
    }
    if (create(alg_, &hash_, nullptr, 0, nullptr, 0, 0) != 0) hash_ = nullptr;
  }
  ~Sha256() {
    if (auto destroy = Entry<DestroyHash>("BCryptDestroyHash"); hash_ && destroy) destroy(hash_);
    if (auto close = Entry<CloseProvider>("BCryptCloseAlgorithmProvider"); alg_ && close)
      close(alg_, 0);
  }
  bool Add(const void* data, std::size_t n) {
    return hash_ &&
           add_(hash_, static_cast<PUCHAR>(const_cast<void*>(data)), static_cast<ULONG>(n), 0) == 0;
  }
  // The digest; "" on any failure.
  std::string Finish() {
    unsigned char digest[kSha256Bytes];
    if (!hash_ || finish_(hash_, digest, sizeof digest, 0) != 0) return {};
    return std::string(reinterpret_cast<char*>(digest), sizeof digest);
  }

private:
  BCRYPT_ALG_HANDLE alg_ = nullptr;
  BCRYPT_HASH_HANDLE hash_ = nullptr;
  HashData add_ = nullptr;
  FinishHash finish_ = nullptr;
};

} // namespace

bool SignatureMatches(std::string_view keyHex, std::string_view data,
                      std::string_view derSignature) {
  std::string key, signature;
  if (!DecodePublicKey(keyHex, key) || !RawSignatureFromDer(derSignature, signature)) return false;
  Sha256 sha;
  if (!sha.Add(data.data(), data.size())) return false;
  std::string digest = sha.Finish();
  if (digest.empty()) return false;

  auto open = Entry<OpenProvider>("BCryptOpenAlgorithmProvider");
  auto close = Entry<CloseProvider>("BCryptCloseAlgorithmProvider");
  auto import = Entry<ImportKeyPair>("BCryptImportKeyPair");
  auto verify = Entry<VerifySignature>("BCryptVerifySignature");
  auto destroy = Entry<DestroyKey>("BCryptDestroyKey");
  if (!open || !close || !import || !verify || !destroy) return false;

  // BCRYPT_ECCKEY_BLOB: magic, key length, then X and Y.
  std::string blob(sizeof(BCRYPT_ECCKEY_BLOB), '\0');
  BCRYPT_ECCKEY_BLOB head{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32};
  blob.replace(0, sizeof head, reinterpret_cast<const char*>(&head), sizeof head);
  blob += key;

  BCRYPT_ALG_HANDLE alg = nullptr;
  if (open(&alg, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0) != 0) return false;
  BCRYPT_KEY_HANDLE handle = nullptr;
  bool ok = false;
  if (import(alg, nullptr, BCRYPT_ECCPUBLIC_BLOB, &handle,
             reinterpret_cast<PUCHAR>(blob.data()), static_cast<ULONG>(blob.size()), 0) == 0) {
    // Any status but success is "not verified".
    ok = verify(handle, nullptr, reinterpret_cast<PUCHAR>(digest.data()),
                static_cast<ULONG>(digest.size()), reinterpret_cast<PUCHAR>(signature.data()),
                static_cast<ULONG>(signature.size()), 0) == 0;
    destroy(handle);
  }
  close(alg, 0);
  return ok;
}

std::string Sha256Of(std::string_view data) {
  Sha256 sha;
  if (!sha.Add(data.data(), data.size())) return {};
  const std::string digest = sha.Finish();
  return digest.empty() ? std::string() : util::ToHexPairs(digest, true);
}

std::string FileSha256(const std::string& path) {
  platform::InputFile in;
  if (!in.Open(path)) return {};
  Sha256 sha;
  std::string buffer(64 * 1024, '\0');
  for (;;) {
    const std::size_t n = in.Read(buffer.data(), buffer.size());
    if (n == 0) break;
    if (!sha.Add(buffer.data(), n)) return {};
  }
  // A read error ends the loop like the end of the file: compare the size.
  if (in.Tell() != in.Size()) return {};
  const std::string digest = sha.Finish();
  return digest.empty() ? std::string() : util::ToHexPairs(digest, true);
}

} // namespace trust
