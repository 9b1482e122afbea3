#include "pack/extractor.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>

#include "pack/error.h"
#include "pack/file_system.h"
#include "pack/reader.h"
#include "package/format.h"
#include "package/payload.h"
#include "util/field_list.h"
#include "util/text.h"

namespace pack {

namespace fs = std::filesystem;
using util::IntToStr;

namespace {

// True when no existing part of `rel` below `root` is a symbolic link, so a
// write to root / rel stays inside root.
bool FreeOfLinks(const fs::path& root, const fs::path& rel) {
  fs::path p = root;
  for (const fs::path& part : rel) {
    p /= part;
    std::error_code ec;
    const fs::file_status st = fs::symlink_status(p, ec);
    if (ec || st.type() == fs::file_type::not_found) return true;
    if (fs::is_symlink(st)) return false;
  }
  return true;
}

std::string Hex32(std::uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", v);
  return buf;
}

class Unpacker {
public:
  Unpacker(const ExtractOptions& o, ExtractResult& r)
      : o_(o), r_(r), reader_(UnpackedPackageFile(o.package)) {
    root_ = o.targetDir;
    std::error_code ec;
    fs::create_directories(root_, ec);
    if (!fs::is_directory(root_, ec))
      throw Error("cannot create the folder " + o.targetDir + (ec ? ": " + ec.message() : ""));
  }

  void Run() {
    reader_.Walk([this](const VolumeInfo& v) { return EnterVolume(v); },
                 [this](const PayloadBlock& b) { return Block(b); });
    if (!agentDone_) WriteAgentCopy();
  }

private:
  bool EnterVolume(const VolumeInfo& v) {
    // As the stub: a volume that fails its checksum stops the unpacking.
    if (!v.ChecksumOk())
      throw Error(v.path + ": checksum mismatch (stored " + Hex32(v.trailer.checksum) +
                  ", computed " + Hex32(v.checksumComputed) + "): the package is damaged");
    if (v.number == 2) WriteAgentCopy(); // the stub writes it once volume 1 is done
    return true;
  }

  void Refuse(const PayloadBlock& b, std::string_view name, const std::string& why) {
    // Appended piece by piece: g++ 12 at -O2 warns (-Wrestrict) about the
    // equivalent chain of operator+.
    std::string text = "'";
    text.append(name).append("' (").append(Where(b.volume->path, b.frame.offset));
    text.append("): ").append(why);
    r_.refused.push_back(std::move(text));
  }

  bool Block(const PayloadBlock& b) {
    ++r_.blocks;
    std::FILE* out = nullptr;
    fs::path target;
    std::uint32_t date = 0;
    FileBlockHandler h;
    h.onHeader = [&](const package::FileHeader& fh, std::string_view raw, bool) {
      if (raw.empty()) return false; // the stub skips blocks without a file header
      if (const char* why = package::PackageNameReason(fh.name)) {
        Refuse(b, fh.name, why);
        return false;
      }
      const fs::path rel = Spelled(fh.name);
      if (!FreeOfLinks(root_, rel)) {
        Refuse(b, fh.name, "a symbolic link in the target folder lies on its way");
        return false;
      }
      if (!fh.engineEntry.empty()) r_.engineEntry = fh.engineEntry;
      const bool isNew = files_.insert(package::FileNameKey(fh.name)).second;
      target = root_ / rel;
      std::error_code ec;
      fs::create_directories(target.parent_path(), ec);
      // A file met for the first time is created anew (the stub always starts
      // from an empty folder); later blocks of the same name append.
      out = std::fopen(target.string().c_str(), isNew ? "wb" : "ab");
      if (!out) throw Error("cannot write " + target.string() + ": " + std::strerror(errno));
      if (isNew) {
        r_.files.push_back(fh.name);
        if (o_.onFile) o_.onFile(fh.name);
      }
      date = fh.dosDateTime;
      return true;
    };
    h.onData = [&](std::string_view data) {
      if (std::fwrite(data.data(), 1, data.size(), out) != data.size())
        throw Error("cannot write " + target.string() + ": " + std::strerror(errno));
      r_.bytes += data.size();
      return true;
    };
    std::string damage;
    try {
      damage = DecodeFileBlock(b, h);
    } catch (...) {
      if (out) std::fclose(out);
      throw;
    }
    if (out) {
      if (std::fclose(out) != 0)
        throw Error("cannot write " + target.string() + ": " + std::strerror(errno));
      if (date != 0) SetFileDosDateTime(target, date);
    }
    if (!damage.empty())
      throw Error(Where(b.volume->path, b.frame.offset) + ": file block " + IntToStr(b.index + 1) +
                  ": " + damage);
    return true;
  }

  // Windows file names ignore letter case: the stub appends "A.TXT" to
  // "a.txt", and "DIR\\b" lands in the folder made as "Dir". Each folder and
  // file keeps the spelling it was first met with.
  fs::path Spelled(std::string_view name) {
    fs::path path;
    std::string key;
    std::size_t start = 0;
    while (start <= name.size()) {
      std::size_t end = start;
      while (end < name.size() && !util::IsPathSeparator(name[end]))
        ++end;
      const std::string_view part = name.substr(start, end - start);
      if (!key.empty()) key += '\\';
      key += util::ToUpperAscii(part);
      const auto [it, isNew] = spelling_.emplace(key, path / std::string(part));
      path = it->second;
      start = end + 1;
    }
    return path;
  }

  // The stub's copy of itself without payload that serves as the update agent.
  void WriteAgentCopy() {
    agentDone_ = true;
    const VolumeInfo& v = reader_.First();
    if (!o_.writeAgentCopy || !v.trailer.carryAgent) return;
    const std::string agent = util::SUB::GetField(reader_.HeaderText(1), 2);
    if (agent.empty()) return;
    const std::string& package = reader_.Path();
    if (!util::EndsWithNoCase(package, ".exe") && !util::EndsWithNoCase(package, ".exe.001"))
      return;
    const std::string name = util::FileNameOf(agent);
    const char* why = package::PackageNameReason(name);
    if (why || !FreeOfLinks(root_, fs::path(name))) {
      r_.refused.push_back("agent copy '" + agent + "': " +
                           (why ? why : "a symbolic link in the target folder lies on its way"));
      return;
    }
    platform::InputFile in(package);
    std::string image(static_cast<std::size_t>(reader_.PayloadStart()), '\0');
    if (!in.IsOpen() || !in.ReadExact(image.data(), image.size()))
      throw Error("cannot read " + package);
    if (image.size() >= package::kEndMarkerLow + 4)
      std::fill_n(image.begin() + package::kEndMarkerLow, 4, '\0');
    package::Trailer t = v.trailer;
    t.isUpdateAgent = 1;
    t.trailerLength = package::kTrailerSize;
    const auto encoded = package::EncodeTrailer(t);
    image.append(reinterpret_cast<const char*>(encoded.data()), encoded.size());
    const fs::path target = root_ / name;
    std::FILE* f = std::fopen(target.string().c_str(), "wb");
    if (!f) throw Error("cannot write " + target.string() + ": " + std::strerror(errno));
    const bool ok = std::fwrite(image.data(), 1, image.size(), f) == image.size();
    if (std::fclose(f) != 0 || !ok) throw Error("cannot write " + target.string());
    std::error_code ec;
    fs::last_write_time(target, fs::last_write_time(package, ec), ec);
    r_.agentCopy = target.string();
  }

  const ExtractOptions& o_;
  ExtractResult& r_;
  PackageReader reader_;
  fs::path root_;
  std::map<std::string, fs::path> spelling_; // FileNameKey of folders and files
  std::set<std::string> files_;              // FileNameKey of the files written
  bool agentDone_ = false;
};

} // namespace

ExtractResult Extract(const ExtractOptions& options) {
  ExtractResult result;
  Unpacker(options, result).Run();
  return result;
}

} // namespace pack
