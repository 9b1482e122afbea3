// Signed updates: a vendor's ECDSA P-256 key signs the update descriptor,
// the descriptor names the new setup's SHA-256, and the agent (or the web
// stub) trusts neither file until both check. The package carries the
// public key as X then Y of the curve point, 128 hexadecimal digits.
//
// The formats are the usual ones, so a vendor can also sign with stock
// tools: the signature is the DER ECDSA-Sig-Value that OpenSSL writes for
// SHA-256 of the whole file; hashes are 64 hexadecimal digits.
//
// update_signature.cpp holds the formats; the checks come from the system:
// CNG on Windows (update_signature_win.cpp), OpenSSL natively.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace trust {

inline constexpr std::size_t kPublicKeyBytes = 64; // X, Y
inline constexpr std::size_t kSha256Bytes = 32;

// The key's 64 bytes from its 128 hex digits (either case, nothing else);
// false otherwise.
bool DecodePublicKey(std::string_view hex, std::string& key);

// The DER SubjectPublicKeyInfo of a P-256 key (what a PEM "PUBLIC KEY"
// holds) and back; PublicKeyFromSpki is false for anything else.
std::string SpkiFromPublicKey(std::string_view key);
bool PublicKeyFromSpki(std::string_view spki, std::string& key);

// r‖s, each big-endian in 32 bytes, from a DER ECDSA-Sig-Value; false
// unless `der` is exactly one well-formed value whose numbers fit.
bool RawSignatureFromDer(std::string_view der, std::string& raw);

// The two hash texts name the same hash (64 hex digits, either case).
bool SameSha256Text(std::string_view a, std::string_view b);

// --- The system's part ---

// `derSignature` is the key's signature of SHA-256(`data`). False for any
// fault: a malformed key or signature, or a system without the algorithms.
bool SignatureMatches(std::string_view keyHex, std::string_view data,
                      std::string_view derSignature);

// SHA-256 of `data` as 64 lower-case hex digits; "" when the system cannot
// hash.
std::string Sha256Of(std::string_view data);

// SHA-256 of a whole file as 64 lower-case hex digits; "" when it cannot be
// read or hashed. Streams, so large setups cost no memory.
std::string FileSha256(const std::string& path);

} // namespace trust
