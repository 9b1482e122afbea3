#include "trust/update_signature.h"

#include "util/scramble.h"

namespace trust {

namespace {

// The SubjectPublicKeyInfo of a P-256 key up to the point's 0x04 byte (an
// uncompressed point): the same 27 bytes for every such key.
constexpr char kSpkiPrefix[] = "\x30\x59\x30\x13\x06\x07\x2A\x86\x48\xCE\x3D\x02\x01"
                               "\x06\x08\x2A\x86\x48\xCE\x3D\x03\x01\x07\x03\x42\x00\x04";
constexpr std::string_view kSpki(kSpkiPrefix, sizeof kSpkiPrefix - 1);

// One DER INTEGER at `pos`: a short length, positive, minimal; its value
// (without the sign byte) right-aligned into 32 bytes of `out`.
bool ReadInteger(std::string_view der, std::size_t& pos, std::string& out) {
  if (pos + 2 > der.size() || der[pos] != 0x02) return false;
  const std::size_t n = static_cast<unsigned char>(der[pos + 1]);
  pos += 2;
  if (n == 0 || n > 0x7F || pos + n > der.size()) return false;
  std::string_view value = der.substr(pos, n);
  pos += n;
  if (static_cast<unsigned char>(value[0]) & 0x80) return false; // negative
  if (value.size() > 1 && value[0] == 0 && !(static_cast<unsigned char>(value[1]) & 0x80))
    return false; // not minimal
  if (value.size() > 1 && value[0] == 0) value.remove_prefix(1);
  if (value.size() > 32) return false;
  out.append(32 - value.size(), '\0');
  out.append(value);
  return true;
}

} // namespace

bool DecodePublicKey(std::string_view hex, std::string& key) {
  return hex.size() == 2 * kPublicKeyBytes && util::FromHexPairs(hex, key);
}

std::string SpkiFromPublicKey(std::string_view key) {
  std::string spki(kSpki);
  spki += key;
  return spki;
}

bool PublicKeyFromSpki(std::string_view spki, std::string& key) {
  if (spki.size() != kSpki.size() + kPublicKeyBytes || spki.substr(0, kSpki.size()) != kSpki)
    return false;
  key = spki.substr(kSpki.size());
  return true;
}

bool RawSignatureFromDer(std::string_view der, std::string& raw) {
  // SEQUENCE with a short length (two 33-byte integers stay under 128).
  if (der.size() < 2 || der[0] != 0x30) return false;
  const std::size_t n = static_cast<unsigned char>(der[1]);
  if (n > 0x7F || n + 2 != der.size()) return false;
  std::string out;
  std::size_t pos = 2;
  if (!ReadInteger(der, pos, out) || !ReadInteger(der, pos, out) || pos != der.size())
    return false;
  raw.swap(out);
  return true;
}

bool SameSha256Text(std::string_view a, std::string_view b) {
  std::string x, y;
  return a.size() == 2 * kSha256Bytes && util::FromHexPairs(a, x) && util::FromHexPairs(b, y) &&
         x == y;
}


} // namespace trust
