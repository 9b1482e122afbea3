#include "pack/agent_writer.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <memory>
#include <ostream>
#include <sstream>

#include "agent/descriptors.h"
#include "agent/services.h"
#include "pack/builder.h"
#include "pack/error.h"
#include "pack/file_system.h"
#include "pack/update_signing.h"
#include "pack/url_check.h"
#include "util/text.h"

namespace pack {

namespace fs = std::filesystem;
using json = nlohmann::ordered_json;
using util::IntToStr;

namespace {

// English starting texts of the agent's questions and notices; the vendor
// edits them in the written .original. "PROG_NAME" becomes the product name.
constexpr std::pair<const char*, const char*> kStartingTexts[] = {
    {"s2", "<B>PROG_NAME</B> cannot look for a new version: there is no connection."},
    {"s11", "A new version of <B>PROG_NAME</B> is available.<P><P>"},
    {"s12", "Download and install it now?"},
    {"s13", "Download it now?"},
    {"s18", "It is downloaded and installed now."},
    {"s19", "It is downloaded now."},
    {"s14", "The new version of <B>PROG_NAME</B> is ready.<P><P>Install it now?"},
    {"s20", "The new version of <B>PROG_NAME</B> is installed now."},
    {"s15", "Please close <B>PROG_NAME</B> so that it can be updated, then press OK."},
    {"s16", "<B>PROG_NAME</B> has been updated."},
    {"s17", "<P><P>Start it again now?"},
    {"s21", "There is no new version of <B>PROG_NAME</B> for you."},
    {"s22", "<B>PROG_NAME</B> would like to look for a new version"},
    {"s23", " on the Internet"},
    {"s24", ".<P><P>Look now?"},
};

bool BreaksLine(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// Windows trims a profile value and then takes off one pair of enclosing
// quotes: a value that starts or ends with a blank (" on the Internet",
// which joins two other texts) keeps it only when quoted.
void Key(std::string& text, std::string_view key, std::string_view value) {
  const bool quote = !value.empty() && (value.front() == ' ' || value.back() == ' ');
  text.append(key).append("=");
  if (quote)
    text.append("\"").append(value).append("\"");
  else
    text.append(value);
  text.append("\r\n");
}

std::int64_t NewSetupSize(const AgentOptions& o) {
  if (o.newSetup.empty()) return 0;
  std::error_code ec;
  const auto size = fs::file_size(o.newSetup, ec);
  if (ec) throw Error("cannot read the new setup " + o.newSetup + ": " + ec.message());
  return static_cast<std::int64_t>(size);
}

void Check(const AgentOptions& o) {
  if (o.stubPath.empty()) throw Error("no stub given (--stub)");
  if (o.outputDir.empty()) throw Error("no output folder given (-o)");
  if (o.agentName.empty() || util::FileNameOf(o.agentName) != o.agentName)
    throw Error("the agent name must be a file name such as Product.AutoUpdate.exe, not \"" +
                o.agentName + "\"");
  if (util::FileNameOf(o.descriptorName).empty())
    throw Error("the descriptor name must name a file such as Product.info");
  if (o.version <= 0)
    throw Error("the version must be a whole number above 0 (the agent reads 0 or less as an "
                "unreadable .original)");
  if (o.checkInterval < -1)
    throw Error("the check interval is seconds, 0 (once per run) or -1 (never)");
  if (o.reAskInterval < 0) throw Error("the re-ask interval is seconds, 0 for never");
  if (const std::string problem = LocationProblem(o.updateUrl); !problem.empty())
    throw Error("the update URL (--update-url) '" + o.updateUrl + "' " + problem);
  bool knownMethod = false;
  for (const char* m : kShutDownMethods)
    knownMethod = knownMethod || o.shutDownMethod == m;
  if (!knownMethod) throw Error("unknown shut-down method \"" + o.shutDownMethod + "\"");
  for (const std::string* text :
       {&o.updateUrl, &o.descriptorName, &o.programName, &o.program, &o.targetDir})
    if (BreaksLine(*text)) throw Error("descriptor values must be single lines");
  if (o.warn && o.agentName.find(".AutoUpdate.") == std::string::npos)
    o.warn("the agent name " + o.agentName +
           " does not hold \".AutoUpdate.\"; agents are named like Product.AutoUpdate.exe");
  if (o.warn && o.program.empty())
    o.warn("no --program: the agent cannot shut down or restart the product for an update");
}

json Section(std::initializer_list<std::pair<const char*, json>> keys) {
  json j = json::object();
  for (const auto& [k, v] : keys)
    j[k] = v;
  return j;
}

std::string Str(const json& j) {
  return j.is_string() ? j.get<std::string>() : j.dump();
}

void AppendSections(std::ostringstream& out, const json& descriptor, int indent) {
  for (const auto& [section, keys] : descriptor.items()) {
    if (!keys.is_object()) continue;
    out << std::string(indent, ' ') << "[" << section << "]\n";
    for (const auto& [key, value] : keys.items()) {
      std::string line = std::string(indent + 2, ' ') + key;
      line.resize(std::max<std::size_t>(line.size() + 1, indent + 42), ' ');
      out << line << Str(value) << "\n";
    }
  }
}

} // namespace

std::string OriginalDescriptorText(const AgentOptions& o) {
  std::string t = "[OriginalSetup]\r\n";
  Key(t, "ProbeSecondsInterval", IntToStr(o.checkInterval));
  Key(t, "ProbeSecondsLast", "0");
  Key(t, "ReAskSecondsInterval", IntToStr(o.reAskInterval));
  Key(t, "ReAskSecondsLast", "0");
  Key(t, "VersionOriginal", IntToStr(o.version));
  Key(t, "Stamp", "0");
  Key(t, "ProgramName", o.programName);
  t += "\r\n[Directories]\r\n";
  Key(t, "TargetDir", o.targetDir);
  Key(t, "SharedDir", "");
  Key(t, "AuxiliaryDir", "");
  t += "\r\n[MsgBox]\r\n";
  Key(t, "FontName", "Tahoma");
  Key(t, "FontSize", "8");
  t += "\r\n[AutoUpdate]\r\n";
  for (const auto& [key, text] : kStartingTexts)
    Key(t, key, text);
  return t;
}

std::string InfoDescriptorText(const AgentOptions& o) {
  std::string t = "[NewSetup]\r\n";
  Key(t, "DownloadURL_UPDATE", o.updateUrl);
  Key(t, "NameOfUpdateFile", o.newSetup.empty() ? "" : util::FileNameOf(o.newSetup));
  Key(t, "SizeOfUpdateFile", IntToStr(NewSetupSize(o)));
  Key(t, "RequestConfirmationBeforeDownload", "1");
  Key(t, "RequestConfirmationBeforeDownloadForce", "0");
  Key(t, "RequestConfirmationBeforeInstall", "1");
  Key(t, "RequestConfirmationBeforeInstallForce", "0");
  Key(t, "BackgroundUpdate", "0");
  Key(t, "ShutDownMethod", o.shutDownMethod);
  Key(t, "RestartProcess", o.restartProcess ? "1" : "0");
  Key(t, "InformFinish", "1");
  Key(t, "RunningProcess", o.program);
  Key(t, "ProgramName", o.programName);
  // The version installed: nothing to update until the vendor raises it.
  Key(t, "VersionNew", IntToStr(o.version));
  Key(t, "Stamp", IntToStr(o.version));
  Key(t, "ValidVersions", "");
  t += "\r\n[General]\r\n";
  Key(t, "AutoInform", "0");
  return t;
}

namespace {

// Files already there are kept: an edited .original or .info would be lost.
void RefuseToReplace(const std::vector<std::string>& paths) {
  std::error_code ec;
  for (const std::string& path : paths)
    if (fs::exists(path, ec))
      throw Error(path + " exists and may hold your edits; give --force to replace it");
}

} // namespace

AgentResult WriteAgent(const AgentOptions& o) {
  Check(o);
  std::error_code ec;
  fs::create_directories(o.outputDir, ec);
  if (ec) throw Error("cannot make the folder " + o.outputDir + ": " + ec.message());

  AgentResult r;
  r.agentPath = (fs::path(o.outputDir) / o.agentName).string();
  r.originalPath = agent::OriginalFilePathFor(o.outputDir, o.descriptorName);
  r.infoPath = agent::InfoFilePathFor(o.outputDir, o.descriptorName);
  if (!o.force) RefuseToReplace({r.agentPath, r.originalPath, r.infoPath});

  // The descriptors go down under temporary names first and are renamed
  // only after the agent is in place.
  OutputFile original(r.originalPath);
  original.Write(OriginalDescriptorText(o));
  OutputFile info(r.infoPath);
  info.Write(InfoDescriptorText(o));
  original.Close();
  info.Close();

  BuildOptions b;
  b.stubPath = o.stubPath;
  b.outputPath = r.agentPath;
  b.languageFile = o.languageFile;
  b.updateUrl = o.updateUrl;
  b.updateInfoName = util::FileNameOf(o.descriptorName);
  b.agentName = o.agentName;
  b.updateToken = o.updateToken;
  b.updateTokenPlain = o.updateTokenPlain;
  b.tokenSeed = o.tokenSeed;
  if (!o.updateKeyFile.empty()) b.updateKey = PublicKeyHexFromFile(o.updateKeyFile);
  b.flagAgentLog = o.agentLog;
  b.isUpdateAgent = true;
  b.force = true; // refused above unless o.force
  b.warn = o.warn;
  const BuildResult built = Build(b);
  r.agentBytes = built.outputBytes;

  original.Commit();
  info.Commit();
  return r;
}

bool IsDescriptorFile(const std::string& path) {
  return util::EndsWithNoCase(path, ".original") || util::EndsWithNoCase(path, ".info");
}

json DescriptorJson(const std::string& path) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) throw Error("cannot open the descriptor " + path);
  // Windows reads INI files by full path only (a bare name means its own
  // folder).
  const std::string full = fs::absolute(path, ec).string();
  const bool isOriginal = util::EndsWithNoCase(path, ".original");
  agent::IniFileSettings store;
  agent::Descriptors d(store, isOriginal ? full : std::string(), isOriginal ? "" : full);
  json j;
  j["file"] = path;
  j["kind"] = isOriginal ? "original" : "info";
  if (isOriginal) {
    j["OriginalSetup"] =
        Section({{"ProbeSecondsInterval", d.ProbeSecondsInterval()},
                 {"ProbeSecondsLast", d.ProbeSecondsLast()},
                 {"__ProbeSecondsLast", agent::AgentTimeText(d.ProbeSecondsLast())},
                 {"ReAskSecondsInterval", d.ReAskSecondsInterval()},
                 {"ReAskSecondsLast", d.ReAskSecondsLast()},
                 {"VersionOriginal", d.VersionOriginal()},
                 {"Stamp", d.Stamp()},
                 {"ProgramName", d.ProgramName()}});
    j["Directories"] = Section({{"TargetDir", d.TargetDir()},
                                {"SharedDir", d.SharedDir()},
                                {"AuxiliaryDir", d.AuxiliaryDir()}});
    j["UnInstall"] = Section(
        {{"StartUpLink", d.StartUpLink()}, {"CheckforNewUpdateLink", d.CheckforNewUpdateLink()}});
    j["MsgBox"] = Section({{"BtnText", d.BtnText()},
                           {"Error", d.Error()},
                           {"Confirm", d.Confirm()},
                           {"Attention", d.Attention()},
                           {"CharSet", d.CharSet()},
                           {"FontName", d.FontName()},
                           {"FontSize", d.FontSize()}});
    json texts = json::object();
    for (const char* key :
         {"s2",  "s3",  "s4",  "s5",  "s11", "s12", "s13", "s18", "s19", "s14", "s20", "s15",
          "s16", "s17", "s21", "s22", "s23", "s24", "s31", "s32", "s33", "s34", "s35"})
      texts[key] = d.AutoUpdateText(key);
    j["AutoUpdate"] = texts;
  } else {
    j["NewSetup"] = Section(
        {{"DownloadURL_UPDATE", d.DownloadURL_UPDATE()},
         {"NameOfUpdateFile", d.NameOfUpdateFile()},
         {"SizeOfUpdateFile", d.SizeOfUpdateFile()},
         {"SHA256OfUpdateFile", d.SHA256OfUpdateFile()},
         {"RequestConfirmationBeforeDownload", d.RequestConfirmationBeforeDownload()},
         {"RequestConfirmationBeforeDownloadForce", d.RequestConfirmationBeforeDownloadForce()},
         {"RequestConfirmationBeforeInstall", d.RequestConfirmationBeforeInstall()},
         {"RequestConfirmationBeforeInstallForce", d.RequestConfirmationBeforeInstallForce()},
         {"BackgroundUpdate", d.BackgroundUpdate()},
         {"ShutDownMethod", d.ShutDownMethod()},
         {"RestartProcess", d.RestartProcess()},
         {"InformFinish", d.InformFinish()},
         {"RunningProcess", d.RunningProcess()},
         {"ProgramName", d.NewSetupProgramName()},
         {"VersionNew", d.VersionNew()},
         {"Stamp", d.NewSetupStamp()},
         {"ValidVersions", d.ValidVersions()},
         {"RemoveStartUpShortcut", d.RemoveStartUpShortcut()},
         {"RemoveCheckForNewUpdateShortcut", d.RemoveCheckForNewUpdateShortcut()}});
    j["General"] = Section({{"AutoInform", d.AutoInform()}});
    j["AutoInform"] = Section({{"DownloadURL_INFORM", d.DownloadURL_INFORM()},
                               {"NameOfInformFile", d.NameOfInformFile()},
                               {"SizeOfInformFile", d.SizeOfInformFile()},
                               {"AutoInformW", d.AutoInformW()},
                               {"AutoInformH", d.AutoInformH()}});
  }
  return j;
}

std::string DescriptorText(const json& descriptor) {
  std::ostringstream out;
  out << "Descriptor " << Str(descriptor["file"]) << " (." << Str(descriptor["kind"])
      << ", as the agent reads it)\n";
  AppendSections(out, descriptor, 2);
  return out.str();
}

void AddDescriptorsBeside(json& info, const std::string& packagePath) {
  if (!info.value("isUpdateAgent", false)) return;
  const json& update = info["header"]["updateInfo"];
  const std::string name = update.is_object() ? update.value("infoFile", "") : "";
  const std::string folder = fs::path(packagePath).parent_path().string();
  json beside = json::object();
  for (const auto& [kind, path] : {std::pair{"original", agent::OriginalFilePathFor(folder, name)},
                                   std::pair{"info", agent::InfoFilePathFor(folder, name)}}) {
    std::error_code ec;
    beside[kind] = !path.empty() && fs::is_regular_file(path, ec) ? DescriptorJson(path) : json();
    beside[std::string(kind) + "Path"] = path;
  }
  info["descriptors"] = beside;
}

std::string DescriptorsBesideText(const json& info) {
  if (!info.contains("descriptors")) return {};
  const json& beside = info["descriptors"];
  std::ostringstream out;
  out << "Descriptors beside the agent\n";
  for (const char* kind : {"original", "info"}) {
    const std::string path = Str(beside[std::string(kind) + "Path"]);
    if (beside[kind].is_null()) {
      out << "  ." << kind << " " << (path.empty() ? "(no descriptor name)" : path)
          << ": not there\n";
      continue;
    }
    out << "  ." << kind << " " << path << "\n";
    AppendSections(out, beside[kind], 4);
  }
  return out.str();
}

AgentCommand::AgentCommand(CLI::App& app) {
  command_ = app.add_subcommand(
      "agent",
      "Write a product's update agent into a folder: the agent package (the stub with the\n"
      "update header, marked as agent, no payload), its starting .original descriptor and a\n"
      "first .info descriptor for the update location. Example:\n"
      "  vpack agent --stub stub.exe -o ship/ --update-url http://example.invalid/app \\\n"
      "        --update-info App.info --agent-name App.AutoUpdate.exe --version 3 \\\n"
      "        --check-interval 86400 --program \"<InstallDir>\\App.exe\" --program-name App");
  CLI::App& c = *command_;
  c.add_option("--stub", o_.stubPath, "The bare stub executable")
      ->required()
      ->check(CLI::ExistingFile);
  c.add_option("-o,--output", o_.outputDir, "Folder to write the three files into")->required();
  c.add_option("--update-url", o_.updateUrl,
               "Update location: URL or folder of the .info descriptor and the new setups");
  c.add_option("--update-info", o_.descriptorName,
               "Descriptor name, such as App.info; the installed one is App.original")
      ->required();
  c.add_option("--agent-name", o_.agentName, "File name of the agent, such as App.AutoUpdate.exe")
      ->required();
  auto* token = c.add_option("--update-token", o_.updateToken,
                             "The product's token as written (already scrambled)");
  c.add_option("--update-token-plain", tokenPlain_, "The product's token from a plain text")
      ->excludes(token);
  c.add_option("--seed", seed_, "Seed for the token made from a plain text");
  c.add_flag("--flag-agent-log", o_.agentLog, "The agent writes its log (X_<agent>.log)");
  c.add_option("--update-key", o_.updateKeyFile,
               "The vendor's public key (NAME.pub of vpack keygen): the agent then runs only\n"
               "updates whose descriptor is signed with it (vpack sign-update)")
      ->check(CLI::ExistingFile);
  c.add_option("--languages", o_.languageFile, "INI file of package texts (as for build)")
      ->check(CLI::ExistingFile);
  c.add_option("--version", o_.version, "Version number of the installed product (above 0)")
      ->default_val(1);
  c.add_option("--check-interval", o_.checkInterval,
               "Seconds between two checks; 0 checks once per run, -1 never")
      ->default_val(0);
  c.add_option("--reask-interval", o_.reAskInterval,
               "Seconds after which an update the user declined is offered again; 0 never")
      ->default_val(0);
  c.add_option("--program", o_.program,
               "The product's executable the agent stops and restarts, such as\n"
               "\"<InstallDir>\\App.exe\"");
  c.add_option("--program-name", o_.programName, "Product name shown in the agent's questions");
  c.add_option("--target-dir", o_.targetDir, "The product's installation folder, if known");
  c.add_option("--shutdown-method", o_.shutDownMethod, "How the product is stopped for an update")
      ->check(CLI::IsMember(
          std::vector<std::string>(std::begin(kShutDownMethods), std::end(kShutDownMethods))))
      ->default_val("Using WM_CLOSE");
  c.add_flag("--no-restart", noRestart_, "Do not start the product again after an update");
  c.add_option("--new-setup", o_.newSetup, "A new setup file: its name and size go into the .info")
      ->check(CLI::ExistingFile);
  c.add_flag("--force", o_.force,
             "Replace the agent and descriptors already in the folder (edits are lost)");
}

bool AgentCommand::Chosen() const {
  return command_->parsed();
}

int AgentCommand::Run(std::ostream& out, std::ostream& err) {
  if (command_->count("--update-token-plain")) o_.updateTokenPlain = tokenPlain_;
  if (command_->count("--seed")) o_.tokenSeed = seed_;
  o_.restartProcess = !noRestart_;
  o_.warn = [&](const std::string& w) { err << "vpack: warning: " << w << "\n"; };
  const AgentResult r = WriteAgent(o_);
  out << "wrote agent " << r.agentPath << " (" << r.agentBytes << " bytes)\n"
      << "wrote " << r.originalPath << " (install it beside the agent)\n"
      << "wrote " << r.infoPath << " (put it at " << o_.updateUrl << ")\n";
  if (!o_.updateKeyFile.empty())
    out << "the agent runs signed updates only: sign each .info with vpack sign-update\n";
  return 0;
}

} // namespace pack
