// Helpers for the vpack tests: a scratch folder per test, a stand-in stub,
// files with chosen contents and times, and raw packages with any names.
#pragma once

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <map>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "pack/cli.h"
#include "package/format.h"
#include "package/payload.h"

namespace vpack_test {

namespace fs = std::filesystem;

inline std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteFile(const fs::path& p, const std::string& bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << bytes;
}

inline std::string RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (char& c : s)
    c = static_cast<char>(gen() & 0xFF);
  return s;
}

// A local time as a file time.
inline fs::file_time_type LocalFileTime(int y, int mo, int d, int h, int mi, int s) {
  std::tm tm{};
  tm.tm_year = y - 1900;
  tm.tm_mon = mo - 1;
  tm.tm_mday = d;
  tm.tm_hour = h;
  tm.tm_min = mi;
  tm.tm_sec = s;
  tm.tm_isdst = -1;
  return std::chrono::file_clock::from_sys(
      std::chrono::system_clock::from_time_t(std::mktime(&tm)));
}

// Stand-in for stub.exe (and a program): "MZ" at 0, "PE" at 256, and garbage in the end
// marker area that the builder must replace.
inline std::string FakeStub(std::size_t size = 2048) {
  std::string s(size, '\x90');
  s[0] = 'M';
  s[1] = 'Z';
  s.replace(0x3C, 4, std::string("\0\x01\0\0", 4)); // e_lfanew: 256
  s[256] = 'P';
  s[257] = 'E';
  s[258] = s[259] = '\0';
  for (int i = 248; i < 256; ++i)
    s[i] = '\x5A';
  return s;
}

// `bytes` made to look like a Windows program to vpack: "MZ", and the PE
// signature where the DOS header points (offset 64).
inline std::string FakeProgram(std::string bytes) {
  bytes.resize(std::max<std::size_t>(bytes.size(), 68));
  bytes.replace(0, 2, "MZ");
  bytes.replace(0x3C, 4, std::string("\x40\0\0\0", 4));
  bytes.replace(0x40, 4, std::string("PE\0\0", 4));
  return bytes;
}

inline std::string Le32(std::int32_t v) {
  std::string s;
  package::AppendLe32(s, static_cast<std::uint32_t>(v));
  return s;
}

inline std::string Zlib(const std::string& data) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &size,
            reinterpret_cast<const Bytef*>(data.data()), data.size(), 6);
  out.resize(size);
  return out;
}

// A package written by hand, for names and layouts the builder refuses to
// make. Checksum switched off (1234).
inline std::string RawPackage(const std::vector<std::pair<std::string, std::string>>& files,
                              const std::string& stub = FakeStub()) {
  std::string p = stub;
  for (int i = 248; i < 256; ++i)
    p[i] = '\0';
  p += Le32(1) + "*" + Le32(3) + "|||";
  for (const auto& [name, data] : files) {
    const std::string body = Zlib(package::MakeFileHeader(name, 1248086749u) + '\0' + data);
    p += Le32(static_cast<std::int32_t>(body.size())) + body;
  }
  package::Trailer t;
  t.reserved0 = 1;
  t.version = 2;
  t.headerStart = static_cast<std::uint32_t>(stub.size());
  t.filesCount = static_cast<std::uint32_t>(files.size());
  t.magic = package::kMagic;
  t.checksum = package::kChecksumOff;
  // Space per file as it lands: blocks whose names Windows takes for the
  // same file (letter case aside) continue one file.
  std::map<std::string, std::size_t> sizes;
  for (const auto& [name, data] : files) {
    std::string key = name;
    for (char& c : key)
      c = c == '/' ? '\\' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    sizes[key] += data.size();
  }
  for (const auto& [name, size] : sizes) {
    t.spaceRequired[0] += static_cast<std::uint32_t>(size);
    for (int i = 1; i < package::kSpaceEntries; ++i) {
      const std::size_t cluster = std::size_t(256) << i;
      t.spaceRequired[i] += static_cast<std::uint32_t>((size + cluster - 1) / cluster * cluster);
    }
  }
  t.trailerLength = package::kTrailerSize;
  const auto e = package::EncodeTrailer(t);
  p.append(reinterpret_cast<const char*>(e.data()), e.size());
  return p;
}

// Runs the vpack command line in-process; returns its exit code.
inline int RunVpack(const std::vector<std::string>& args, std::string& out, std::string& err) {
  std::vector<const char*> argv{"vpack"};
  for (const std::string& a : args)
    argv.push_back(a.c_str());
  std::ostringstream o, e;
  const int code = pack::RunCli(int(argv.size()), argv.data(), o, e);
  out = o.str();
  err = e.str();
  return code;
}

// A scratch folder removed after the test.
class ScratchTest : public ::testing::Test {
protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ =
        fs::temp_directory_path() / (std::string("vpack_") + info->test_suite_name() + "_" +
                                     info->name() + "_" + std::to_string(std::random_device{}()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    WriteFile(dir_ / "stub.exe", FakeStub());
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::string Path(const std::string& rel) const { return (dir_ / rel).string(); }

  fs::path dir_;
};

} // namespace vpack_test
