#include "pack/update_signing.h"

#include <CLI/CLI.hpp>

#include <ctime>
#include <filesystem>
#include <ostream>

#include "agent/descriptors.h"
#include "agent/services.h"
#include "pack/error.h"
#include "pack/file_system.h"
#include "package/file_info.h"
#include "pack/key_check.h"
#include "pack/update_rules.h"
#include "platform/file.h"
#include "trust/update_signature.h"
#include "util/scramble.h"
#include "util/system_info.h"
#include "util/text.h"

namespace fs = std::filesystem;

namespace pack {

namespace {

std::string ReadSmallFile(const std::string& path, const std::string& what) {
  std::string content;
  std::error_code ec;
  if (!fs::is_regular_file(path, ec) || !platform::ReadWholeFile(path, content))
    throw Error("cannot read " + what + " " + path);
  return content;
}

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// The bytes of a PEM body; false on a character that is not base64.
bool DecodeBase64(std::string_view text, std::string& out) {
  unsigned bits = 0;
  int count = 0;
  for (char c : text) {
    if (c == '\r' || c == '\n' || c == ' ' || c == '\t') continue;
    if (c == '=') break;
    const int v = Base64Value(c);
    if (v < 0) return false;
    bits = (bits << 6) | unsigned(v);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out.push_back(static_cast<char>((bits >> count) & 0xFF));
    }
  }
  return true;
}

// The descriptor's [NewSetup] keys the checks need, as the agent reads them.
// A news page descriptor offers no setup, whatever it names.
struct NamedSetup {
  std::string name, hash;
};
NamedSetup ReadNamedSetup(const std::string& descriptor) {
  agent::IniFileSettings store;
  agent::Descriptors d(store, "", fs::absolute(descriptor).string());
  if (d.IsAutoInform()) return {};
  return {d.NameOfUpdateFile(), d.SHA256OfUpdateFile()};
}

std::string SignaturePathOf(const std::string& descriptor) {
  return descriptor + ".sig";
}

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

void WriteKey(const std::string& file, const char* section, const char* key,
              const std::string& value) {
  if (!util::WriteIniString(file, section, key, value)) throw Error("cannot write " + file);
}

// The key, the file name and the descriptor name an agent package carries.
void AgentFacts(const std::string& agentFile, VerifyUpdateOptions& options) {
  const package::TGFileInfo agent(agentFile);
  if (agent.IsDamaged() || !agent.trailer().HasMagic() || agent.UpdateInfo().empty())
    throw Error(agentFile + " is no agent: it carries no update settings");
  options.keyHex = agent.UpdateKey();
  if (options.keyHex.empty())
    throw Error(agentFile + " carries no update key: it takes unsigned updates (build it with "
                            "--update-key)");
  options.agentName = agent.AgentFileName();
  options.agentInfoName = util::FileNameOf(agent.UpdateInfoName());
}

} // namespace

std::string PublicKeyHexFromPem(const std::string& pem, const std::string& where) {
  if (pem.find("PRIVATE KEY-----") != std::string::npos)
    throw Error(where + " is a private key; give the public key (the .pub file of vpack keygen)");
  static constexpr std::string_view kBegin = "-----BEGIN PUBLIC KEY-----";
  static constexpr std::string_view kEnd = "-----END PUBLIC KEY-----";
  const std::size_t begin = pem.find(kBegin);
  const std::size_t end = begin == std::string::npos ? begin : pem.find(kEnd, begin);
  std::string der, key;
  if (end == std::string::npos ||
      !DecodeBase64(std::string_view(pem).substr(begin + kBegin.size(), end - begin - kBegin.size()),
                    der) ||
      !trust::PublicKeyFromSpki(der, key))
    throw Error(where + " holds no ECDSA P-256 public key (PEM \"PUBLIC KEY\")");
  return util::ToHexPairs(key);
}

std::string PublicKeyHexFromFile(const std::string& path) {
  return PublicKeyHexFromPem(ReadSmallFile(path, "the key file"), path);
}

std::string KeyFingerprint(const std::string& keyHex) {
  std::string key;
  if (!trust::DecodePublicKey(keyHex, key)) return {};
  return trust::Sha256Of(trust::SpkiFromPublicKey(key));
}

std::string DatePlusDays(const std::string& date, int days) {
  util::CivilDateTime t;
  t.year = static_cast<int>(util::StrToInt64Def(std::string_view(date).substr(0, 4), 0));
  t.month = static_cast<int>(util::StrToInt64Def(std::string_view(date).substr(5, 2), 0));
  t.day = static_cast<int>(util::StrToInt64Def(std::string_view(date).substr(8, 2), 0));
  const util::CivilDateTime r = util::DecodeDateTime(util::EncodeDateTime(t) + days);
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", r.year, r.month, r.day);
  return text;
}

SignUpdateResult SignUpdate(const std::string& descriptor, const std::string& privateKeyFile,
                            const SignUpdateOptions& options) {
  const std::string& setupFile = options.setupFile;
  std::string original = ReadSmallFile(descriptor, "the descriptor");
  // An editor's byte-order mark would hide the first section from the INI
  // writer (a second [NewSetup] would be added): the signed file has none.
  const bool hadMark = original.compare(0, kByteOrderMark.size(), kByteOrderMark) == 0;
  if (hadMark) original.erase(0, kByteOrderMark.size());
  const std::string privatePem = ReadSmallFile(privateKeyFile, "the key file");
  SignUpdateResult r;
  r.signaturePath = SignaturePathOf(descriptor);

  // The descriptor is changed under a temporary name and signed there; both
  // files are renamed into place only once the signature is made.
  OutputFile edited(descriptor);
  edited.Write(original);
  edited.Close();
  const std::string temp = fs::absolute(edited.TempPath()).string();
  const NamedSetup named = ReadNamedSetup(temp);
  r.warnings = DescriptorKeyWarnings(original, true);
  if (hadMark) r.warnings.insert(r.warnings.begin(), "dropped the UTF-8 byte-order mark at the start");
  if (!setupFile.empty()) {
    r.setupHash = trust::FileSha256(setupFile);
    if (r.setupHash.empty()) throw Error("cannot read the setup " + setupFile);
    WriteKey(temp, "NewSetup", kSetupHashKey, r.setupHash);
  }
  if (!options.informFile.empty()) {
    r.informHash = trust::FileSha256(options.informFile);
    if (r.informHash.empty()) throw Error("cannot read the news page " + options.informFile);
    WriteKey(temp, "AutoInform", kInformHashKey, r.informHash);
  }
  if (options.expiresDays > 0) {
    r.expires = DatePlusDays(options.todayUtc.empty() ? TodayUtc() : options.todayUtc,
                             options.expiresDays);
    WriteKey(temp, "NewSetup", kExpiresKey, r.expires);
  }

  // What an agent would refuse is not signed.
  const std::string content = ReadSmallFile(temp, "the descriptor");
  std::string problems;
  UpdateFacts facts{setupFile, options.informFile, "", util::FileNameOf(descriptor),
                    options.todayUtc};
  for (const UpdateCheck& c : AgentRuleChecks(temp, content, facts))
    if (!c.ok) problems += "; " + c.what + " " + c.detail;
  if (!named.name.empty() && named.hash.empty() && setupFile.empty())
    problems += "; " + std::string(kSetupHashKey) +
                " missing: signed agents refuse the setup (give it with --setup)";
  if (!problems.empty())
    throw Error("agents would refuse " + descriptor + ", nothing was signed" + problems);

  const std::string signature = SignWithKey(privatePem, content);
  OutputFile sig(r.signaturePath);
  sig.Write(signature);
  sig.Close();
  edited.Commit();
  sig.Commit();
  return r;
}

std::vector<UpdateCheck> VerifyUpdate(const std::string& descriptor,
                                      const VerifyUpdateOptions& options) {
  const std::string content = ReadSmallFile(descriptor, "the descriptor");
  std::vector<UpdateCheck> checks;

  const std::string sigPath = SignaturePathOf(descriptor);
  std::string signature;
  UpdateCheck sig{"signature", false, sigPath};
  if (!platform::ReadWholeFile(sigPath, signature))
    sig.detail += ": missing";
  else if (!trust::SignatureMatches(options.keyHex, content, signature))
    sig.detail += ": does not match the descriptor and the key";
  else
    sig.ok = true;
  checks.push_back(sig);

  const std::string fileName = fs::path(descriptor).filename().string();
  if (!options.agentInfoName.empty())
    checks.push_back({"descriptor name", util::EqualsNoCase(fileName, options.agentInfoName),
                      fileName + (util::EqualsNoCase(fileName, options.agentInfoName)
                                      ? ""
                                      : ": the agent fetches " + options.agentInfoName)});

  const NamedSetup named = ReadNamedSetup(descriptor);
  const std::string setup =
      !options.setupFile.empty() ? options.setupFile
      : named.name.empty()
          ? ""
          : (fs::path(descriptor).parent_path() / util::FileNameOf(named.name)).string();
  const UpdateFacts facts{setup, "", options.agentName,
                          options.agentInfoName.empty() ? fileName : options.agentInfoName,
                          options.todayUtc};
  for (const UpdateCheck& c : AgentRuleChecks(descriptor, content, facts))
    checks.push_back(c);
  if (setup.empty()) return checks;

  UpdateCheck hash{"setup SHA-256", false, setup};
  const std::string actual = trust::FileSha256(setup);
  if (named.hash.empty())
    hash.detail += ": the descriptor has no " + std::string(kSetupHashKey);
  else if (actual.empty())
    hash.detail += ": cannot be read (give it with --setup)";
  else if (!trust::SameSha256Text(named.hash, actual))
    hash.detail += ": " + actual + ", the descriptor says " + named.hash;
  else
    hash.ok = true, hash.detail += ": " + actual;
  checks.push_back(hash);
  return checks;
}

SigningCommands::SigningCommands(CLI::App& app) {
  keygen_ = app.add_subcommand(
      "keygen",
      "Make the key pair for signed updates (ECDSA P-256): NAME.key, the private key that\n"
      "signs descriptors (keep it secret), and NAME.pub, the public key that\n"
      "build/agent --update-key put into the agent. Example:\n"
      "  vpack keygen keys/app && vpack agent ... --update-key keys/app.pub");
  keygen_->add_option("NAME", keyOut_, "Path and name of the two files, without extension")
      ->required();
  keygen_->add_flag("--force", force_, "Replace existing key files");

  sign_ = app.add_subcommand(
      "sign-update",
      "Sign an update descriptor: write the setup's SHA-256 into it (" +
          std::string(kSetupHashKey) +
          ")\n"
          "and its signature beside it (DESCRIPTOR.sig). Upload both with the setup. A\n"
          "descriptor agents would refuse (VersionNew below 1, a past Expires, a setup name\n"
          "or size that does not match the setup) is not signed: exit 1. Example:\n"
          "  vpack sign-update upload/App.info --key keys/app.key --setup upload/AppSetup2.exe");
  sign_->add_option("DESCRIPTOR", descriptor_, "The .info descriptor")->required();
  sign_->add_option("--key", keyFile_, "The private key (NAME.key of vpack keygen)")->required();
  sign_->add_option("--setup", setupFile_,
                    "The new setup the descriptor offers (leave out for a descriptor\n"
                    "that announces only a news page)")
      ->check(CLI::ExistingFile);
  sign_->add_option("--inform", informFile_,
                    "The news page the descriptor announces: its SHA-256 goes in as\n" +
                        std::string(kInformHashKey) + "; signed agents show no other page")
      ->check(CLI::ExistingFile);
  sign_->add_option("--expires", expiresDays_,
                    "Days (UTC) the signature stays valid: Expires=today+DAYS; signed agents\n"
                    "refuse the descriptor after it, so re-sign before. 0: no Expires.\n"
                    "Default " + std::to_string(kDefaultExpiresDays) + ".")
      ->check(CLI::NonNegativeNumber);

  verify_ = app.add_subcommand(
      "verify-update",
      "Check a signed update as the agent will: the descriptor's signature by the public\n"
      "key, its version, Expires, the setup's name and size, and the setup's SHA-256.\n"
      "Exit 0 only when all are good. Examples:\n"
      "  vpack verify-update upload/App.info --key keys/app.pub\n"
      "  vpack verify-update upload/App.info --agent ship/App.AutoUpdate.exe");
  verify_->add_option("DESCRIPTOR", descriptor_, "The .info descriptor")->required();
  auto* key = verify_->add_option("--key", keyFile_, "The public key (NAME.pub of vpack keygen)");
  verify_
      ->add_option("--agent", agentFile_,
                   "Instead of --key: an agent (or a setup that carries one); the descriptor\n"
                   "is checked against the key, the names and the descriptor name it carries")
      ->check(CLI::ExistingFile)
      ->excludes(key);
  verify_->add_option("--setup", setupFile_,
                      "The setup file (default: the one the descriptor names, beside it)");
}

bool SigningCommands::Chosen() const {
  return keygen_->parsed() || sign_->parsed() || verify_->parsed();
}

int SigningCommands::Run(std::ostream& out, std::ostream& err) {
  if (keygen_->parsed()) {
    const std::string privatePath = keyOut_ + ".key", publicPath = keyOut_ + ".pub";
    std::error_code ec;
    for (const std::string& path : {privatePath, publicPath})
      if (!force_ && fs::exists(path, ec))
        throw Error(path + " exists; a new key would lock out every agent that carries the old "
                           "one (--force replaces it)");
    const fs::path folder = fs::path(privatePath).parent_path();
    if (!folder.empty() && !fs::is_directory(folder, ec) && !fs::create_directories(folder, ec))
      throw Error("cannot make the folder " + folder.string() + ": " + ec.message());
    const KeyPair keys = GenerateUpdateKey();
    OutputFile pub(publicPath);
    pub.Write(keys.publicPem);
    pub.Close();
    WritePrivateKeyFile(privatePath, keys.privatePem);
    pub.Commit();
    out << "wrote " << privatePath << " (the private key: keep it secret, it signs updates)\n"
        << "wrote " << publicPath << " (the public key, for --update-key)\n"
        << "key fingerprint " << KeyFingerprint(PublicKeyHexFromPem(keys.publicPem, publicPath))
        << "\n";
    return 0;
  }
  // Key typos first: they often explain a refusal below.
  std::string content;
  if (platform::ReadWholeFile(descriptor_, content))
    for (const std::string& w : DescriptorKeyWarnings(content, true))
      err << "vpack: warning: " << descriptor_ << ": " << w << "\n";
  if (sign_->parsed()) {
    const SignUpdateResult r =
        SignUpdate(descriptor_, keyFile_, {setupFile_, informFile_, expiresDays_, ""});
    for (const std::string& w : r.warnings)
      err << "vpack: warning: " << w << "\n";
    if (!r.setupHash.empty()) out << kSetupHashKey << "=" << r.setupHash << "\n";
    if (!r.informHash.empty()) out << kInformHashKey << "=" << r.informHash << "\n";
    if (!r.expires.empty()) out << kExpiresKey << "=" << r.expires << "\n";
    out << "signed " << descriptor_ << ": wrote " << r.signaturePath << "\n";
    return 0;
  }
  VerifyUpdateOptions options;
  options.setupFile = setupFile_;
  if (!agentFile_.empty())
    AgentFacts(agentFile_, options);
  else if (!keyFile_.empty())
    options.keyHex = PublicKeyHexFromFile(keyFile_);
  else
    throw Error("give the public key (--key NAME.pub) or the agent that carries it (--agent)");
  bool ok = true;
  for (const UpdateCheck& c : VerifyUpdate(descriptor_, options)) {
    out << (c.ok ? "OK      " : "PROBLEM ") << c.what << " " << c.detail << "\n";
    ok = ok && c.ok;
  }
  return ok ? 0 : 1;
}

} // namespace pack
