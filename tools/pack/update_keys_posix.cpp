// Keys and signatures through OpenSSL.
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

#include "pack/error.h"
#include "pack/update_signing.h"

namespace pack {

namespace {

struct KeyFree {
  void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct BioFree {
  void operator()(BIO* b) const { BIO_free(b); }
};
struct ContextFree {
  void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using Bio = std::unique_ptr<BIO, BioFree>;

std::string BioText(BIO* bio) {
  char* data = nullptr;
  const long n = BIO_get_mem_data(bio, &data);
  return std::string(data, static_cast<std::size_t>(n));
}

} // namespace

KeyPair GenerateUpdateKey() {
  Key key(EVP_EC_gen("P-256"));
  if (!key) throw Error("OpenSSL could not make a P-256 key");
  Bio priv(BIO_new(BIO_s_mem())), pub(BIO_new(BIO_s_mem()));
  if (!priv || !pub ||
      PEM_write_bio_PrivateKey(priv.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1 ||
      PEM_write_bio_PUBKEY(pub.get(), key.get()) != 1)
    throw Error("OpenSSL could not write the key");
  return {BioText(priv.get()), BioText(pub.get())};
}

std::string SignWithKey(const std::string& privatePem, std::string_view data) {
  Bio in(BIO_new_mem_buf(privatePem.data(), static_cast<int>(privatePem.size())));
  Key key(in ? PEM_read_bio_PrivateKey(in.get(), nullptr, nullptr, nullptr) : nullptr);
  if (!key) throw Error("the key file holds no private key (PEM, as vpack keygen writes it)");
  if (EVP_PKEY_get_base_id(key.get()) != EVP_PKEY_EC || EVP_PKEY_get_bits(key.get()) != 256)
    throw Error("the private key is not an ECDSA P-256 key");
  std::unique_ptr<EVP_MD_CTX, ContextFree> ctx(EVP_MD_CTX_new());
  std::size_t n = 0;
  if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1 ||
      EVP_DigestSign(ctx.get(), nullptr, &n, reinterpret_cast<const unsigned char*>(data.data()),
                     data.size()) != 1)
    throw Error("OpenSSL could not sign");
  std::string signature(n, '\0');
  if (EVP_DigestSign(ctx.get(), reinterpret_cast<unsigned char*>(signature.data()), &n,
                     reinterpret_cast<const unsigned char*>(data.data()), data.size()) != 1)
    throw Error("OpenSSL could not sign");
  signature.resize(n);
  return signature;
}

std::string PublicPemOfPrivateKeyFile(const std::string& path) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
  Key key(file ? PEM_read_PrivateKey(file.get(), nullptr, nullptr, nullptr) : nullptr);
  if (!key) throw Error(path + " holds no private key (PEM, as vpack keygen writes it)");
  Bio pub(BIO_new(BIO_s_mem()));
  if (!pub || PEM_write_bio_PUBKEY(pub.get(), key.get()) != 1)
    throw Error("OpenSSL could not write the public key");
  return BioText(pub.get());
}

void WritePrivateKeyFile(const std::string& path, std::string_view pem) {
  // Made with mode 0600 from its first byte: never readable by others, not
  // even between the write and a later chmod. A leftover temporary from a
  // crash is refused rather than reused (O_EXCL).
  const std::string temp = path + ".new";
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
  if (fd < 0) throw Error("cannot create " + temp + " (remove it if an earlier run left it)");
  std::size_t done = 0;
  while (done < pem.size()) {
    const ssize_t n = ::write(fd, pem.data() + done, pem.size() - done);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  const bool ok = done == pem.size() && ::fsync(fd) == 0;
  if (::close(fd) != 0 || !ok || std::rename(temp.c_str(), path.c_str()) != 0) {
    std::remove(temp.c_str());
    throw Error("cannot write " + path);
  }
}

} // namespace pack
