// Test support: answers one question about the system services on stdout,
// so the end-to-end tests can check them under Wine. Single values are
// written as their exact bytes, without a line end; `version` writes
// NAME=value lines.
//
//   sysinfo_probe.exe reg KEYPATH NAME DEFAULT VIEW64(0|1)
//   sysinfo_probe.exe ini FILE SECTION KEY DEFAULT
//   sysinfo_probe.exe version
//   sysinfo_probe.exe langstring KEY DEFAULT
//   sysinfo_probe.exe langwith KEY DEFAULT VALUE
//   sysinfo_probe.exe langpath | langname
//   sysinfo_probe.exe diskfree PATH
//   sysinfo_probe.exe exeversion [FILE [PARTS]] | productversion FILE
//   sysinfo_probe.exe owner | organization
//   sysinfo_probe.exe dpi (ScreenDpiY, then PointsToPixels(8))
//   sysinfo_probe.exe datetime DAYNUMBER (-1 = now)
//   sysinfo_probe.exe clock MILLISECONDS (the clock's advance over a Sleep)
//   sysinfo_probe.exe proc LIBRARY PROCEDURE
#include <windows.h>

#include <cstdlib>
#include <string>

#include "util/debug_channel.h"
#include "util/system_info.h"
#include "util/text.h"
#include "vars/language.h"

namespace {

void Out(const std::string& text) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written,
            nullptr);
}

std::string Flag(bool b) {
  return b ? "TRUE" : "FALSE";
}

} // namespace

int main(int argc, char** argv) {
  util::StartDebugChannel();
  if (argc < 2) return 2;
  const std::string cmd = argv[1];
  auto arg = [&](int i) { return i < argc ? std::string(argv[i]) : std::string(); };

  if (cmd == "reg" && argc >= 6) {
    Out(util::ReadRegistryValue(arg(2), arg(3), arg(4), arg(5) == "1"));
  } else if (cmd == "ini" && argc >= 6) {
    Out(util::ReadIniString(arg(2), arg(3), arg(4), arg(5)));
  } else if (cmd == "version") {
    const util::WindowsVersion v = util::GetWindowsVersion();
    Out("VersionText=" + v.versionText + "\r\nShortName=" + v.shortName +
        "\r\nServicePack=" + v.servicePack + "\r\nBuild=" + util::IntToStr(v.build) +
        "\r\nCode=" + util::IntToStr(v.code) + "\r\nIsNT=" + Flag(util::IsNT()) +
        "\r\nIsXP=" + Flag(util::IsXP()) + "\r\nIsWin8OrLater=" + Flag(util::IsWin8OrLater()) +
        "\r\nIs64BitWindows=" + Flag(util::Is64BitWindows()) +
        "\r\nIsServer=" + Flag(util::IsServer()) + "\r\n");
  } else if (cmd == "langstring" && argc >= 4) {
    Out(vars::LanguageString(arg(2), arg(3)));
  } else if (cmd == "langwith" && argc >= 5) {
    Out(vars::LanguageStringWith(arg(2), arg(3), arg(4)));
  } else if (cmd == "langpath") {
    Out(vars::LanguageFilePath());
  } else if (cmd == "langname") {
    Out(vars::UserLanguageName());
  } else if (cmd == "diskfree" && argc >= 3) {
    Out(util::IntToStr(static_cast<std::int64_t>(util::GetDiskFree(arg(2)))));
  } else if (cmd == "exeversion") {
    Out(util::GetExeVersion(arg(2),
                            argc >= 4 ? static_cast<int>(util::StrToInt64Def(arg(3), 4)) : 4));
  } else if (cmd == "productversion" && argc >= 3) {
    Out(util::GetProductVersion(arg(2)));
  } else if (cmd == "owner") {
    Out(util::GetRegisteredOwner());
  } else if (cmd == "organization") {
    Out(util::GetRegisteredOrganization());
  } else if (cmd == "datetime" && argc >= 3) {
    Out(util::DateTimeText(" ", std::strtod(arg(2).c_str(), nullptr)));
  } else if (cmd == "dpi") {
    Out(util::IntToStr(util::ScreenDpiY()) + " " + util::IntToStr(util::PointsToPixels(8)));
  } else if (cmd == "clock" && argc >= 3) {
    const std::int64_t start = util::MillisecondClock();
    Sleep(static_cast<DWORD>(util::StrToInt64Def(arg(2), 0)));
    Out(util::IntToStr(util::MillisecondClock() - start));
  } else if (cmd == "proc" && argc >= 4) {
    Out(util::GetProcAddressFrom(arg(2).c_str(), arg(3).c_str()) ? "found" : "none");
  } else {
    return 2;
  }
  return 0;
}
