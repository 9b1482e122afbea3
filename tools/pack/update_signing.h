// Signed updates on the vendor's side: `vpack keygen` makes the key pair,
// `build --update-key` / `agent --update-key` put the public key into the
// agent package, `sign-update` writes the new setup's SHA-256 into the .info
// descriptor and signs the whole descriptor (<name>.info.sig beside it), and
// `verify-update` checks both as the agent will.
//
// Keys are PEM files (the private key PKCS#8, the public key
// SubjectPublicKeyInfo) and signatures DER, so OpenSSL's command line reads
// and writes the same files. Making keys and signatures needs OpenSSL
// (update_keys_posix.cpp); vpack.exe reads keys and verifies through CNG but
// makes neither (update_keys_win.cpp says so).
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pack/update_rules.h"

namespace CLI {
class App;
}

namespace pack {

// The descriptor key that names the new setup's hash.
inline constexpr char kSetupHashKey[] = "SHA256OfUpdateFile";
// The descriptor key that names the news page's hash ([AutoInform]).
inline constexpr char kInformHashKey[] = "SHA256OfInformFile";
// The descriptor key of its last valid day ([NewSetup], YYYY-MM-DD, UTC).
inline constexpr char kExpiresKey[] = "Expires";
// sign-update's default validity. An agent checks at most every few days
// (ProbeSecondsInterval), so a month leaves room to re-sign before agents
// see the descriptor expire, while a replayed old descriptor hides later
// releases for at most that long.
inline constexpr int kDefaultExpiresDays = 30;

// --- Keys (update_keys_*.cpp) ---
struct KeyPair {
  std::string privatePem;
  std::string publicPem;
};
KeyPair GenerateUpdateKey();
// The DER signature of SHA-256(`data`) by the PEM private key.
std::string SignWithKey(const std::string& privatePem, std::string_view data);
// The PEM public key of the PEM private key in `path`.
std::string PublicPemOfPrivateKeyFile(const std::string& path);
// Writes the PEM private key readable by its owner only, from the start.
void WritePrivateKeyFile(const std::string& path, std::string_view pem);

// The package's form of a PEM public key: 128 hex digits. Throws Error for
// anything but a P-256 "PUBLIC KEY" (a private key gets its own message).
std::string PublicKeyHexFromPem(const std::string& pem, const std::string& where);
std::string PublicKeyHexFromFile(const std::string& path);
// What a vendor compares keys by: SHA-256 of the public key's DER form
// (SubjectPublicKeyInfo), 64 lower-case hex digits, as
// `openssl pkey -pubin -in NAME.pub -outform DER | sha256sum` prints it.
// "" for a key that is not 128 hex digits.
std::string KeyFingerprint(const std::string& keyHex);

// --- Descriptors ---
struct SignUpdateResult {
  std::string signaturePath;
  std::string setupHash; // "" without a setup
  std::string informHash; // "" without a news page
  std::string expires;    // "" without Expires
  std::vector<std::string> warnings;
};
struct SignUpdateOptions {
  std::string setupFile;  // "" for none
  std::string informFile; // the news page, "" for none
  // Expires = today (UTC) + this many days; 0 leaves no Expires.
  int expiresDays = kDefaultExpiresDays;
  std::string todayUtc;   // "YYYY-MM-DD"; "" for the system's date
};
// Writes the setup's and the news page's hashes and Expires into the
// descriptor (a UTF-8 byte-order mark is dropped), then the signature of
// the resulting file. Both are replaced whole. A descriptor an agent would
// refuse (AgentRuleChecks, a named setup without its hash) is an Error and
// nothing is written.
SignUpdateResult SignUpdate(const std::string& descriptor, const std::string& privateKeyFile,
                            const SignUpdateOptions& options);
// "YYYY-MM-DD" `days` after `date` ("YYYY-MM-DD").
std::string DatePlusDays(const std::string& date, int days);

struct VerifyUpdateOptions {
  std::string keyHex;    // the public key as the package carries it
  std::string setupFile; // "" for the one the descriptor names, beside it
  // From an agent package: its file name and the descriptor it fetches.
  std::string agentName;
  std::string agentInfoName;
  std::string todayUtc; // "" for the system's date
};
// The checks the agent makes: the signature of the descriptor by the key,
// its rules (AgentRuleChecks), and, when the descriptor names a setup, the
// setup's hash (the given file, else the named file beside the descriptor).
std::vector<UpdateCheck> VerifyUpdate(const std::string& descriptor,
                                      const VerifyUpdateOptions& options);

// keygen, sign-update and verify-update on the command line.
class SigningCommands {
public:
  explicit SigningCommands(CLI::App& app);
  // One of the three was given.
  bool Chosen() const;
  int Run(std::ostream& out, std::ostream& err);

private:
  CLI::App* keygen_ = nullptr;
  CLI::App* sign_ = nullptr;
  CLI::App* verify_ = nullptr;
  std::string keyOut_;
  bool force_ = false;
  std::string descriptor_, keyFile_, setupFile_, informFile_, agentFile_;
  int expiresDays_ = kDefaultExpiresDays;
};

} // namespace pack
