#include "pack/source_files.h"

#include <algorithm>
#include <system_error>

#include "pack/error.h"
#include "pack/file_system.h"
#include "package/payload.h"
#include "util/text.h"

namespace pack {

namespace fs = std::filesystem;

namespace {

std::string PackageNameOf(const fs::path& relative) {
  std::string name;
  for (const fs::path& part : relative) {
    if (!name.empty()) name += '\\';
    name += part.string();
  }
  return name;
}

} // namespace

std::vector<SourceFile> CollectSourceFiles(const std::string& sourceDir,
                                           const std::function<void(const std::string&)>& warn) {
  std::vector<SourceFile> files;
  if (sourceDir.empty()) return files;
  std::error_code ec;
  const fs::path root = sourceDir;
  if (!fs::is_directory(root, ec)) throw Error("source folder " + sourceDir + " not found");
  fs::recursive_directory_iterator it(root, ec), end;
  if (ec) throw Error("cannot read " + sourceDir + ": " + ec.message());
  for (; it != end; it.increment(ec)) {
    if (ec) throw Error("cannot read " + sourceDir + ": " + ec.message());
    const fs::directory_entry& e = *it;
    const fs::path rel = e.path().lexically_relative(root);
    if (e.is_symlink(ec) && e.is_directory(ec)) {
      if (warn) warn("skipping " + rel.string() + ": a link to a folder is not followed");
      continue;
    }
    if (e.is_directory(ec)) {
      if (fs::is_empty(e.path(), ec) && warn)
        warn("empty folder " + rel.string() + " is not packed (packages hold files only)");
      continue;
    }
    if (!e.is_regular_file(ec))
      throw Error(e.path().string() + " is neither a file nor a folder; cannot pack it");
    SourceFile f;
    f.path = e.path();
    f.name = PackageNameOf(rel);
    // The stub would refuse the name (or Windows would write another file).
    if (const char* why = package::PackageNameReason(f.name))
      throw Error("cannot pack " + e.path().string() + ": " + why);
    f.size = e.file_size(ec);
    if (ec) throw Error("cannot get the size of " + e.path().string() + ": " + ec.message());
    f.dosDateTime = DosDateTimeOfFile(f.path);
    files.push_back(std::move(f));
  }
  // Sorted by name, any case, so the package does not depend on the order the
  // folder is listed in; Windows sees names that differ only in case as one.
  std::sort(files.begin(), files.end(), [](const SourceFile& a, const SourceFile& b) {
    const std::string ua = util::ToUpperAscii(a.name), ub = util::ToUpperAscii(b.name);
    return ua != ub ? ua < ub : a.name < b.name;
  });
  for (std::size_t i = 1; i < files.size(); ++i)
    if (util::EqualsNoCase(files[i - 1].name, files[i].name))
      throw Error("'" + files[i - 1].name + "' and '" + files[i].name +
                  "' differ only in letter case; Windows would unpack them into one file");
  return files;
}

} // namespace pack
