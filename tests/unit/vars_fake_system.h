// A scripted system for the folder and variable tests: shell folders,
// folders and files that exist, registry values per view, drives with
// folder trees, and a record of what was asked.
#pragma once

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "util/text.h"
#include "vars/install_vars.h"
#include "vars/run_time_dir.h"
#include "vars/vars_system.h"

namespace vars_test {

class FakeSystem : public vars::VarsSystem {
public:
  // Answered only with the create flag, as the folders must ask.
  std::map<int, std::string> folderPaths;
  // Answered only without it.
  std::map<int, std::string> specialPaths;
  std::string windows = "C:\\WINDOWS", system = "C:\\WINDOWS\\system32", temp = "C:\\TEMP\\";
  std::string owner = "Owner", organization = "Org", user = "user", computer = "PC", domain = "DOM";
  bool is64 = true;
  std::string drives;
  std::map<char, int> driveTypes;
  double now = 46366.5; // 10 December 2026, 12:00
  std::vector<std::string> messages;
  std::vector<std::string> registryReads; // "view key|name"
  std::vector<std::string> listed;

  FakeSystem() { vars::SetVarsSystem(this); }
  ~FakeSystem() override {
    vars::SetVarsSystem(nullptr);
    vars::ResetRunTimeDirs();
    vars::ResetInstallVariables();
  }

  // Marks `path` and every folder above it as existing and listed.
  void AddFolder(const std::string& path) { Add(path, true); }
  void AddFile(const std::string& path) { Add(path, false); }
  // Lists the folder at `path` as a junction.
  void MarkLink(const std::string& path) {
    const std::size_t slash = path.rfind('\\');
    for (auto& e : tree_[util::ToLowerAscii(path.substr(0, slash))])
      if (util::EqualsNoCase(e.name, path.substr(slash + 1))) e.link = true;
  }
  void SetRegistry(util::RegistryView view, const std::string& key, const std::string& name,
                   const std::string& value) {
    registry_[Key(view, key, name)] = value;
  }

  std::string FolderPath(int csidl) override {
    if (!(csidl & 0x8000)) return {};
    auto it = folderPaths.find(csidl & 0xFF);
    return it == folderPaths.end() ? std::string() : it->second;
  }
  std::string SpecialFolderPath(int csidl) override {
    if (csidl & 0x8000) return {};
    auto it = specialPaths.find(csidl);
    return it == specialPaths.end() ? std::string() : it->second;
  }
  bool FolderExists(const std::string& path) override {
    return folders_.count(util::ToLowerAscii(path)) > 0;
  }
  bool FileExists(const std::string& path) override {
    return files_.count(util::ToLowerAscii(path)) > 0;
  }
  std::string WindowsFolder() override { return windows; }
  std::string SystemFolder() override { return system; }
  std::string TempFolder() override { return temp; }
  std::string RegisteredOwner() override { return owner; }
  std::string RegisteredOrganization() override { return organization; }
  std::string LoggedUserName() override { return user; }
  std::string ComputerName() override { return computer; }
  std::string DomainName() override { return domain; }
  bool Is64BitWindows() override { return is64; }
  std::string ReadRegistry(const std::string& keyPath, const std::string& name,
                           util::RegistryView view) override {
    registryReads.push_back(ViewName(view) + " " + keyPath + "|" + name);
    auto it = registry_.find(Key(view, keyPath, name));
    return it == registry_.end() ? std::string() : it->second;
  }
  std::string DriveLetters() override { return drives; }
  int DriveType(char letter) override { return driveTypes[letter]; }
  bool ListFolder(const std::string& folder, std::vector<vars::FolderEntry>& entries) override {
    listed.push_back(folder);
    auto it = tree_.find(util::ToLowerAscii(folder));
    if (it == tree_.end()) return false;
    entries = it->second;
    return true;
  }
  std::string FullPath(const std::string& path) override { return "FULL(" + path + ")"; }
  double Now() override { return now; }
  std::string DateSeparator() override { return "."; }
  std::string TimeSeparator() override { return ":"; }
  std::string LongMonthName(int month) override { return "Month" + std::to_string(month); }
  void ShowMessage(const std::string& markup) override { messages.push_back(markup); }

  static std::string ViewName(util::RegistryView view) {
    return view == util::RegistryView::k64 ? "64" : view == util::RegistryView::k32 ? "32" : "own";
  }

private:
  static std::string Key(util::RegistryView view, const std::string& key, const std::string& name) {
    return ViewName(view) + " " + util::ToLowerAscii(key) + "|" + util::ToLowerAscii(name);
  }
  void Add(const std::string& path, bool folder) {
    (folder ? folders_ : files_).insert(util::ToLowerAscii(path));
    const std::size_t slash = path.rfind('\\');
    if (slash == std::string::npos) return;
    const std::string parent = path.substr(0, slash);
    auto& entries = tree_[util::ToLowerAscii(parent)];
    const std::string name = path.substr(slash + 1);
    if (std::none_of(entries.begin(), entries.end(), [&](auto& e) { return e.name == name; }))
      entries.push_back({name, folder, false});
    AddFolder(parent);
  }

  std::set<std::string> folders_, files_;
  std::map<std::string, std::string> registry_;
  std::map<std::string, std::vector<vars::FolderEntry>> tree_;
};

} // namespace vars_test
