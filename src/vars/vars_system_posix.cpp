// The native build has no shell, registry or drives: every query answers
// empty, so only the fallbacks' Windows texts remain. Tests install fakes.
#include "vars/vars_system.h"

namespace vars {

namespace {

class NoSystem final : public VarsSystem {
public:
  std::string FolderPath(int) override { return {}; }
  std::string SpecialFolderPath(int) override { return {}; }
  bool FolderExists(const std::string&) override { return false; }
  bool FileExists(const std::string&) override { return false; }
  std::string WindowsFolder() override { return {}; }
  std::string SystemFolder() override { return {}; }
  std::string TempFolder() override { return {}; }
  std::string RegisteredOwner() override { return {}; }
  std::string RegisteredOrganization() override { return {}; }
  std::string LoggedUserName() override { return {}; }
  std::string ComputerName() override { return {}; }
  std::string DomainName() override { return {}; }
  bool Is64BitWindows() override { return false; }
  std::string ReadRegistry(const std::string&, const std::string&, util::RegistryView) override {
    return {};
  }
  std::string DriveLetters() override { return {}; }
  int DriveType(char) override { return 0; }
  bool ListFolder(const std::string&, std::vector<FolderEntry>&) override { return false; }
  std::string FullPath(const std::string& path) override { return path; }
  double Now() override { return util::Now(); }
  std::string DateSeparator() override { return "/"; }
  std::string TimeSeparator() override { return util::TimeSeparator(); }
  std::string LongMonthName(int month) override {
    static const char* const kNames[] = {"January",   "February", "March",    "April",
                                         "May",       "June",     "July",     "August",
                                         "September", "October",  "November", "December"};
    return month >= 1 && month <= 12 ? kNames[month - 1] : "";
  }
  void ShowMessage(const std::string&) override {}
};

} // namespace

VarsSystem& detail::DefaultVarsSystem() {
  static NoSystem system;
  return system;
}

} // namespace vars
