#include "package/payload.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <limits>

#include "package/format.h"
#include "util/field_list.h"
#include "util/text.h"

namespace package {

BlockFrame DecodeBlockLength(std::int64_t offset, std::int32_t length) {
  BlockFrame f;
  f.offset = offset;
  f.length = length;
  f.compressed = length >= 1;
  // Negate in 64 bits: -INT32_MIN does not fit in 32.
  const std::int64_t wide = length;
  f.size = static_cast<std::uint32_t>(wide < 0 ? -wide : wide);
  return f;
}

bool ReadBlockFrame(platform::InputFile& file, std::int64_t offset, std::int64_t limit,
                    BlockFrame& frame, std::string& error) {
  const std::string at = "offset " + util::IntToStr(offset);
  if (offset < 0 || offset + kBlockLengthSize > limit) {
    error = "block length word at " + at + " lies past the end of the package data (" +
            util::IntToStr(limit) + ")";
    return false;
  }
  unsigned char b[4];
  if (!file.Seek(offset) || !file.ReadExact(b, 4)) {
    error = "cannot read the block length at " + at;
    return false;
  }
  frame = DecodeBlockLength(offset, static_cast<std::int32_t>(ReadLe32(b)));
  if (frame.End() > limit) {
    error = "block at " + at + " has length " + util::IntToStr(frame.length) + " but only " +
            util::IntToStr(limit - frame.BodyOffset()) + " bytes are left before the trailer";
    return false;
  }
  return true;
}

bool ReadBlockBody(platform::InputFile& file, const BlockFrame& frame, std::string& body,
                   std::string& error, const std::function<void()>& afterPortion) {
  body.clear();
  if (!file.Seek(frame.BodyOffset())) {
    error = "cannot seek to the block body at offset " + util::IntToStr(frame.BodyOffset());
    return false;
  }
  body.resize(frame.size);
  std::size_t done = 0;
  while (done < body.size()) {
    const std::size_t n = std::min(kReadPortion, body.size() - done);
    if (!file.ReadExact(body.data() + done, n)) {
      error = "cannot read the block body at offset " + util::IntToStr(frame.BodyOffset() + done);
      body.clear();
      return false;
    }
    done += n;
    if (afterPortion) afterPortion();
  }
  return true;
}

BlockContent SplitBlockContent(std::string_view content) {
  BlockContent c;
  const std::size_t zero = content.find('\0');
  if (zero == std::string_view::npos) {
    c.header = content;
    return c;
  }
  c.header = content.substr(0, zero);
  c.data = content.substr(zero + 1);
  c.hasSeparator = true;
  return c;
}

FileHeader ParseFileHeader(std::string_view header) {
  using util::SUB;
  FileHeader h;
  const std::string field = SUB::GetField(header, 0);
  const std::size_t star = field.find('*');
  if (star == std::string::npos) {
    h.name = field;
  } else {
    h.name = field.substr(0, star);
    h.engineEntry = field;
  }
  // The value is a 32-bit number; negative texts wrap as they do in the
  // stub's integer conversion.
  const auto v = util::StrToInt64(SUB::GetField(header, 1));
  if (v && *v >= std::numeric_limits<std::int32_t>::min() &&
      *v <= std::numeric_limits<std::uint32_t>::max())
    h.dosDateTime = static_cast<std::uint32_t>(*v);
  return h;
}

std::string MakeFileHeader(std::string_view nameField, std::uint32_t dosDateTime) {
  return util::SUB::BuildList({std::string(nameField), util::IntToStr(dosDateTime)});
}

std::string MakeEngineEntry(std::string_view name, std::string_view args) {
  std::string entry(name);
  entry += '*';
  entry += args;
  return entry;
}

namespace {

bool IsDeviceName(std::string_view component) {
  // Windows looks at the part before the first dot, blanks at its end dropped.
  std::string_view base = component.substr(0, component.find('.'));
  while (!base.empty() && base.back() == ' ')
    base.remove_suffix(1);
  const std::string upper = util::ToUpperAscii(base);
  for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"})
    if (upper == device) return true;
  if (upper.size() != 4 || (upper.compare(0, 3, "COM") != 0 && upper.compare(0, 3, "LPT") != 0))
    return false;
  // Digits 1 to 9, and the superscripts 1, 2, 3 of the Windows Latin code page.
  const unsigned char digit = static_cast<unsigned char>(upper[3]);
  return (digit >= '1' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
}

const char* ComponentReason(std::string_view c) {
  if (c.empty()) return "an empty folder name (two separators in a row)";
  if (c.find_first_not_of('.') == std::string_view::npos)
    return c == ".." ? "a \"..\" component" : "a component of dots only";
  if (c.back() == '.' || c.back() == ' ') return "a component ending in a dot or a blank";
  if (c.size() > kMaxNameComponent) return "a component longer than 255 characters";
  if (IsDeviceName(c)) return "a reserved device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9)";
  return nullptr;
}

} // namespace

const char* UnsafeNameReason(std::string_view name) {
  if (name.empty()) return "an empty name";
  if (util::IsPathSeparator(name.front())) return "an absolute name";
  if (util::IsPathSeparator(name.back())) return "a name ending in a separator";
  for (const char c : name) {
    // A colon is a drive ("C:x" is relative to that drive's current folder)
    // or an alternate data stream: never a plain relative name.
    if (c == ':') return "a drive or stream name (\":\")";
    if (static_cast<unsigned char>(c) < 32) return "a control character";
    if (std::string_view("<>\"|?*").find(c) != std::string_view::npos)
      return "a character Windows file names cannot hold (< > \" | ? *)";
  }
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = start;
    while (end < name.size() && !util::IsPathSeparator(name[end]))
      ++end;
    if (const char* why = ComponentReason(name.substr(start, end - start))) return why;
    start = end + 1;
  }
  return nullptr;
}

bool PathFitsWindows(std::string_view path) {
  std::size_t folder = path.size();
  while (folder > 0 && !util::IsPathSeparator(path[folder - 1]))
    --folder;
  // The folder without its closing separator.
  if (folder > 0) --folder;
  return path.size() <= kMaxFilePath && folder <= kMaxFolderPath;
}

bool NameFitsAnyWorkFolder(std::string_view name) {
  std::string path(kWorkFolderAllowance, 'w');
  path += '\\';
  path += name;
  return PathFitsWindows(path);
}

const char* PackageNameReason(std::string_view name) {
  if (const char* why = UnsafeNameReason(name)) return why;
  if (!NameFitsAnyWorkFolder(name))
    return "a name too long to be unpacked (it must leave 99 characters to the work folder "
           "within Windows' 259)";
  return nullptr;
}

std::string FileNameKey(std::string_view name) {
  return util::ToUpperAscii(util::ReplaceAll(name, "/", "\\"));
}

DosDateTime DecodeDosDateTime(std::uint32_t value) {
  const std::uint32_t date = value >> 16, time = value & 0xFFFF;
  DosDateTime t;
  t.year = 1980 + static_cast<int>(date >> 9);
  t.month = static_cast<int>((date >> 5) & 15);
  t.day = static_cast<int>(date & 31);
  t.hour = static_cast<int>(time >> 11);
  t.minute = static_cast<int>((time >> 5) & 63);
  t.second = static_cast<int>(time & 31) * 2;
  return t;
}

std::uint32_t EncodeDosDateTime(const DosDateTime& t) {
  const int year = std::clamp(t.year, 1980, 2107) - 1980;
  const std::uint32_t date =
      std::uint32_t(year) << 9 | std::uint32_t(t.month & 15) << 5 | std::uint32_t(t.day & 31);
  const std::uint32_t time = std::uint32_t(t.hour & 31) << 11 | std::uint32_t(t.minute & 63) << 5 |
                             std::uint32_t((t.second / 2) & 31);
  return date << 16 | time;
}

bool IsValidDosDateTime(std::uint32_t value) {
  const DosDateTime t = DecodeDosDateTime(value);
  return t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= 31 && t.hour < 24 &&
         t.minute < 60 && t.second < 60;
}

std::time_t DosDateTimeToLocalTime(std::uint32_t value) {
  if (!IsValidDosDateTime(value)) return static_cast<std::time_t>(-1);
  const DosDateTime d = DecodeDosDateTime(value);
  std::tm tm{};
  tm.tm_year = d.year - 1900;
  tm.tm_mon = d.month - 1;
  tm.tm_mday = d.day;
  tm.tm_hour = d.hour;
  tm.tm_min = d.minute;
  tm.tm_sec = d.second;
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

std::string VolumeBaseName(std::string_view packageFile) {
  if (util::EndsWithNoCase(packageFile, ".001")) packageFile.remove_suffix(4);
  return std::string(packageFile);
}

std::string VolumeFileName(std::string_view packageFile, int volume) {
  if (volume <= 1) return std::string(packageFile);
  std::string digits = util::IntToStr(volume);
  if (digits.size() < 3) digits.insert(0, 3 - digits.size(), '0');
  return VolumeBaseName(packageFile) + "." + digits;
}

namespace {

std::string ZlibMessage(const z_stream& s, int code) {
  if (s.msg) return s.msg;
  if (code == Z_NEED_DICT) return "need dictionary";
  return zError(code);
}

// One inflate session over a complete stream held in memory. `room` asks for
// the next output area; it returns false to stop.
template <typename Room, typename Produced>
bool RunInflate(std::string_view input, std::string& error, Room room, Produced produced) {
  error.clear();
  z_stream s{};
  if (inflateInit(&s) != Z_OK) {
    error = ZlibMessage(s, Z_MEM_ERROR);
    return false;
  }
  // Ended on every way out, also when a callback throws (vpack's sinks do).
  struct End {
    z_stream& s;
    ~End() { inflateEnd(&s); }
  } end{s};
  // zlib counts input in 32-bit units; blocks never come near that.
  s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
  s.avail_in = static_cast<uInt>(std::min<std::size_t>(input.size(), 0xFFFFFFFFu));
  bool ok = true;
  for (;;) {
    unsigned char* out = nullptr;
    std::size_t avail = 0;
    if (!room(out, avail)) {
      ok = false;
      break;
    }
    s.next_out = out;
    s.avail_out = static_cast<uInt>(avail);
    const int rc = inflate(&s, Z_NO_FLUSH);
    const std::size_t made = avail - s.avail_out;
    if (rc == Z_STREAM_END) {
      ok = produced(made, true);
      break;
    }
    // Z_BUF_ERROR with input left cannot happen (there is output room), so
    // here it means the stream ends early.
    if (rc != Z_OK) {
      error = ZlibMessage(s, rc);
      ok = false;
      break;
    }
    if (!produced(made, false)) {
      ok = false;
      break;
    }
  }
  return ok;
}

} // namespace

bool InflateString(std::string_view input, std::string& output, std::string& error,
                   const std::function<void(std::size_t)>& progress) {
  output.clear();
  // Start at the input size rounded up to 256 bytes and double as needed:
  // a constant step would copy the buffer over and over for blocks that
  // compress well.
  std::size_t used = 0;
  const std::size_t step = std::max<std::size_t>((input.size() + 255) / 256 * 256, 256);
  output.resize(step);
  const bool ok = RunInflate(
      input, error,
      [&](unsigned char*& out, std::size_t& avail) {
        if (used == output.size()) output.resize(output.size() * 2);
        out = reinterpret_cast<unsigned char*>(output.data()) + used;
        // Each call gets one step of fresh room, so the caller's progress
        // callback (the window's pump) runs at least that often.
        avail = std::min<std::size_t>({output.size() - used, step, 0x40000000u});
        return true;
      },
      [&](std::size_t made, bool end) {
        used += made;
        if (!end && progress) progress(used);
        return true;
      });
  if (!ok) {
    output.clear();
    output.shrink_to_fit();
    return false;
  }
  output.resize(used);
  return true;
}

bool InflateChunks(std::string_view input, const std::function<bool(std::string_view)>& sink,
                   std::string& error, std::size_t chunk) {
  std::string buffer(std::max<std::size_t>(chunk, 256), '\0');
  return RunInflate(
      input, error,
      [&](unsigned char*& out, std::size_t& avail) {
        out = reinterpret_cast<unsigned char*>(buffer.data());
        avail = buffer.size();
        return true;
      },
      [&](std::size_t made, bool) {
        return made == 0 || sink(std::string_view(buffer.data(), made));
      });
}

struct BlockDecoder::Zlib {
  z_stream s{};
  bool ready = false;
};

BlockDecoder::BlockDecoder() : zlib_(new Zlib) {}

BlockDecoder::~BlockDecoder() {
  if (zlib_->ready) inflateEnd(&zlib_->s);
  delete zlib_;
}

bool BlockDecoder::Begin(bool compressed, std::string& error) {
  error.clear();
  compressed_ = compressed;
  ended_ = !compressed;
  inHeader_ = true;
  stopped_ = false;
  header_.clear();
  contentSize_ = 0;
  if (!compressed) return true;
  if (out_.empty()) out_.resize(kDecodeChunk);
  z_stream& s = zlib_->s;
  const int rc = zlib_->ready ? inflateReset(&s) : inflateInit(&s);
  if (rc != Z_OK) {
    error = "zlib: " + ZlibMessage(s, rc);
    return false;
  }
  zlib_->ready = true;
  return true;
}

bool BlockDecoder::Content(std::string_view piece, const Sink& sink, std::string& error) {
  contentSize_ += piece.size();
  if (contentSize_ > kMaxBlockContent) {
    error = "the block's content exceeds " + util::IntToStr(std::int64_t(kMaxBlockContent)) +
            " bytes, the most a block may hold";
    return false;
  }
  if (inHeader_) {
    const std::size_t zero = piece.find('\0');
    const std::size_t take = zero == std::string_view::npos ? piece.size() : zero;
    if (header_.size() + take > kMaxFileHeader) {
      error = "file header longer than " + util::IntToStr(std::int64_t(kMaxFileHeader)) + " bytes";
      return false;
    }
    header_.append(piece.substr(0, take));
    if (zero == std::string_view::npos) return true;
    inHeader_ = false;
    if (sink.onHeader && !sink.onHeader(header_, true)) return stopped_ = true, false;
    piece.remove_prefix(zero + 1);
  }
  while (!piece.empty()) {
    const std::string_view part = piece.substr(0, kDecodeChunk);
    if (sink.onData && !sink.onData(part)) return stopped_ = true, false;
    piece.remove_prefix(part.size());
  }
  return true;
}

bool BlockDecoder::Feed(std::string_view body, const Sink& sink, std::string& error) {
  error.clear();
  if (stopped_) return false;
  if (!compressed_) return Content(body, sink, error);
  // Bytes after the end of the stream are ignored.
  if (ended_) return true;
  z_stream& s = zlib_->s;
  s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(body.data()));
  s.avail_in = static_cast<uInt>(body.size());
  for (;;) {
    s.next_out = reinterpret_cast<Bytef*>(out_.data());
    s.avail_out = static_cast<uInt>(out_.size());
    const int rc = inflate(&s, Z_NO_FLUSH);
    const std::size_t made = out_.size() - s.avail_out;
    if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) {
      error = "zlib: " + ZlibMessage(s, rc);
      return false;
    }
    if (made > 0 && !Content(std::string_view(out_.data(), made), sink, error)) return false;
    if (rc == Z_STREAM_END) {
      ended_ = true;
      return true;
    }
    // Output room left over means the input is used up.
    if (s.avail_out != 0 || rc == Z_BUF_ERROR) return true;
  }
}

bool BlockDecoder::Finish(const Sink& sink, std::string& error) {
  error.clear();
  if (stopped_) return false;
  if (!ended_) {
    // zlib's own word for a stream that stops before its end.
    error = std::string("zlib: ") + zError(Z_BUF_ERROR);
    return false;
  }
  if (inHeader_ && sink.onHeader && !sink.onHeader(header_, false)) return stopped_ = true, false;
  return true;
}

} // namespace package
