// DownloadFileAU: the agent's one download routine, for the .info
// descriptor, the new setup and the inform file.
#include "agent/update_agent.h"

#include <algorithm>

#include "agent/signed_descriptor.h"

#include "http/error_page.h"
#include "package/token.h"
#include "trust/update_signature.h"
#include "util/text.h"

namespace agent {

namespace {

// The user texts of the progress caption, by kind.
const char* CaptionKey(int kind) {
  return kind == kInfoFile ? "s31" : kind == kUpdateFile ? "s32" : "s33";
}

bool IsFolderPath(const std::string& path) {
  return (path.size() > 1 && path[1] == ':') || path.rfind("\\\\", 0) == 0;
}

// A DER signature is about 72 bytes; more is not one.
constexpr std::size_t kSignatureLimit = 1024;

} // namespace

bool UpdateAgent::IdentityMatches(const std::string& file, int kind) {
  if (place_.productToken.empty()) return false;
  if (kind == kUpdateFile) return host_.SetupToken(file) == place_.productToken;
  std::string content;
  if (!host_.ReadFile(file, content)) return false;
  return package::SplitScrambledList(content).first == place_.productToken;
}

// The detached signature "<name>.sig" beside the descriptor, from the same
// place the descriptor came from.
bool UpdateAgent::SignedByVendor(const std::string& base, const std::string& name,
                                 const std::string& content, std::string& signature) {
  const std::string path = base + "\\" + name + ".sig";
  std::string error;
  signature.clear();
  if (host_.IsFile(path)) {
    host_.ReadFile(path, signature, kSignatureLimit);
  } else if (!e_.TestMode()) {
    host_.Download(false, base + "/" + name + ".sig", std::string(), error, signature);
  }
  const bool ok = error.empty() && signature.size() <= kSignatureLimit &&
                  host_.SignatureMatches(place_.updateKey, content, signature);
  log_.Log("Signature of " + name + (ok ? ": good" : ": missing or wrong"));
  return ok;
}

void UpdateAgent::RefuseUntrusted(const std::string& textKey, const std::string& what,
                                  const std::string& release, std::string& errorText) {
  trustRefused_ = true;
  errorText = WithProgName(Text(textKey), d_.ProgramName());
  log_.Log("ERROR: refused " + what + " (signed update)");
  // A background check refuses the same thing at every tick: one box is
  // enough, the log keeps every refusal.
  if (!UserRequested()) {
    if (d_.RefusalShown() == release) return;
    d_.SetRefusalShown(release);
  }
  host_.ShowError(errorText);
}

bool UpdateAgent::TakeSignedDescriptor(const std::string& base, const std::string& name,
                                       const std::string& target, bool usable,
                                       const std::string& content, std::string& errorText) {
  // No descriptor (an HTML page, plain text, nothing): the check failed, and
  // the .info on disk decides nothing either.
  if (!usable) {
    log_.Log("Check failed: the download of " + name + " is no descriptor (signed update)");
    return false;
  }
  const std::string release = "info " + trust::Sha256Of(content);
  std::string signature;
  if (!SignedByVendor(base, name, content, signature)) {
    // Not even written: the last good descriptor stays.
    RefuseUntrusted("SignatureRefused", "the descriptor " + name, release, errorText);
    return false;
  }
  std::int64_t stamp = 0;
  const StaleDescriptor stale =
      CheckSignedDescriptorAge(content, host_.UtcDate(), d_.HighestSignedStamp(), stamp);
  if (stale != StaleDescriptor::kNo) {
    RefuseUntrusted("DescriptorStale",
                    "the descriptor " + name + ": " + StaleDescriptorText(stale), release,
                    errorText);
    return false;
  }
  // The signature is kept beside it: the record that this .info was
  // verified, so a later "not modified" can verify it again.
  if (!host_.WriteFile(target, content) || !host_.WriteFile(target + ".sig", signature) ||
      !d_.SetHighestSignedStamp(std::max(stamp, d_.HighestSignedStamp()))) {
    log_.Log("ERROR: cannot write the verified descriptor " + target);
    return false;
  }
  return true;
}

bool UpdateAgent::StoredDescriptorTrusted() {
  if (place_.updateKey.empty()) return false;
  const std::string target = d_.InfoFilePath();
  std::string content, signature;
  std::int64_t stamp = 0;
  const bool ok = host_.ReadFile(target, content) &&
                  host_.ReadFile(target + ".sig", signature, kSignatureLimit) &&
                  host_.SignatureMatches(place_.updateKey, content, signature) &&
                  CheckSignedDescriptorAge(content, host_.UtcDate(), d_.HighestSignedStamp(),
                                           stamp) == StaleDescriptor::kNo;
  log_.Log(std::string("Stored descriptor: ") + (ok ? "verified" : "not verified"));
  return ok;
}

bool UpdateAgent::UsableDownloadName(const std::string& name) {
  if (IsUsableDownloadName(name, place_.agentFileName, d_.InfoFilePath())) return true;
  log_.Log("ERROR: refused the file name \"" + name + "\" of the descriptor");
  return false;
}

void UpdateAgent::DropSetup(const std::string& path) {
  host_.ReleaseFile();
  host_.RemoveFile(path);
}

bool UpdateAgent::DownloadFileAU(const std::string& baseLocation, const std::string& fileName,
                                 int kind, std::string& errorText) {
  errorText.clear();
  trustRefused_ = false;
  std::string content;
  const std::string name = util::FileNameOf(fileName);
  const std::string base = e_.TestMode() ? e_.TestModeURL() : baseLocation;
  const std::string path = base + "\\" + name;
  const std::string target = util::JoinPath(place_.folder, name);
  const bool userRequested = UserRequested();

  Trace(Pid() + " DownloadFileAU: " + path);
  log_.Log(std::string("TestMode=") + util::BoolText(e_.TestMode()));
  log_.Log("Download START: " + path);

  const bool visible =
      kind == kUpdateFile && d_.RequestConfirmationBeforeDownload() && !userRequested;
  if (visible) host_.ShowStubWindow(true);
  host_.SetProgressCaption(Text(CaptionKey(kind)));

  std::string url;
  bool fetched = false;
  if (host_.IsFile(path)) {
    fetched = true;
    if (kind == kInfoFile) {
      host_.ReadFile(path, content);
    } else if (!util::EqualsNoCase(path, target) && !host_.CopyOver(path, target)) {
      // A setup is copied, not read into memory: it may be large.
      errorText = Text("s5");
    }
    if (visible) host_.ShowCopyProgress();
  } else if (!e_.TestMode()) {
    std::string why;
    if (host_.IsOnline(why)) {
      fetched = true;
      host_.Pump(500);
      url = base + "/" + name;
      host_.ClearDownloadAbort();
      host_.Download(userRequested, url, kind == kInfoFile ? std::string() : target, errorText,
                     content);
      host_.Pump(500);
    }
  }
  // Nothing to fetch from (no such file, offline or in test mode): say so,
  // instead of judging whatever an earlier run left under the target name.
  if (!fetched && kind != kInfoFile) errorText = Text("s4");

  if (visible) host_.ShowStubWindow(false);
  log_.Log("Download END:   " + path);

  bool result = false;
  if (kind == kInfoFile) {
    infoBytes_ = content.size();
    if (errorText.empty() && !content.empty())
      http::MakeNotFoundMessage("", content, url, errorText, false, "");
    result = errorText.empty() && !content.empty();
    // Only a descriptor replaces the last good one: an error page or a cut
    // body would turn into the defaults.
    const bool usable = IsUsableInfoDownload(errorText, content);
    if (!place_.updateKey.empty())
      return TakeSignedDescriptor(base, name, target, usable, content, errorText);
    if (usable) host_.WriteFile(target, content);
    if (!errorText.empty() && errorText[0] == '3') errorText.clear();
    return result;
  }

  if (errorText.empty()) {
    result = true;
    // From here to the end of its run no one can change the file: the
    // checks below are of the bytes that run.
    if (kind == kUpdateFile && !host_.HoldFile(target)) {
      result = false;
      errorText = Text("s5");
      log_.Log("ERROR: cannot hold " + target + " unchanged");
      host_.RemoveFile(target);
    } else if (!IdentityMatches(target, kind)) {
      result = false;
      // An error page in place of the file gets the "not found" text.
      std::string head;
      host_.ReadFile(target, head, http::kErrorPageHead);
      http::MakeNotFoundMessage("", head, url.empty() ? path : url, errorText, false,
                                "Bad Secret Token!");
      DropSetup(target);
      log_.Log("ERROR: " + errorText);
      host_.ShowError(errorText);
    } else if (kind == kUpdateFile && !place_.updateKey.empty() &&
               !trust::SameSha256Text(d_.SHA256OfUpdateFile(), host_.FileSha256(target))) {
      result = false;
      DropSetup(target);
      RefuseUntrusted("SetupHashRefused", "the setup " + name + ": not the signed SHA-256",
                      "setup " + d_.SHA256OfUpdateFile(), errorText);
    }
  } else {
    log_.Log("Download failed: " + errorText);
    if (path.size() > 2 && d_.RequestConfirmationBeforeDownload()) {
      std::string message;
      if (host_.DownloadAborted())
        message = Text("s3");
      else
        message = path + "<P><P>" + Text(IsFolderPath(path) ? "s4" : "s5");
      log_.Log("ATTENTION: " + message);
      host_.Notice(message);
    }
  }
  return result;
}

} // namespace agent
