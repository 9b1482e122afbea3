// Every block compressor of the build (libdeflate natively, zlib as in
// vpack.exe) at its edge levels: what it writes is inflated by the stub's
// own BlockDecoder, fed in uneven pieces as the stub reads a block, and a
// block that does not shrink is reported as one to store.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "pack/block_compressor.h"
#include "package/payload.h"
#include "vpack_test_util.h"

namespace pack {
namespace {

using vpack_test::RandomBytes;

std::string Text(std::size_t size) {
  std::string s;
  for (int i = 0; s.size() < size; ++i)
    s += "2024-06-0" + std::to_string(i % 9 + 1) + " INFO request " +
         std::to_string(i * 7919 % 100003) + " served in " + std::to_string(i % 97) + " ms\n";
  s.resize(size);
  return s;
}

// Decodes `body` as the stub does; returns the header and the data.
std::pair<std::string, std::string> StubDecode(const std::string& body) {
  package::BlockDecoder decoder;
  std::string header, data, error;
  package::BlockDecoder::Sink sink;
  sink.onHeader = [&](std::string_view h, bool) { return header = h, true; };
  sink.onData = [&](std::string_view d) { return data.append(d), true; };
  EXPECT_TRUE(decoder.Begin(true, error)) << error;
  for (std::size_t at = 0; at < body.size(); at += 4093)
    EXPECT_TRUE(decoder.Feed(std::string_view(body).substr(at, 4093), sink, error)) << error;
  EXPECT_TRUE(decoder.Finish(sink, error)) << error;
  return {header, data};
}

TEST(VpackBlockCompressor, NativeBuildsWriteWithLibdeflate) {
  // CMake falling back to zlib unnoticed would cost half the build speed.
  EXPECT_STREQ(BuildCompressor().name, "libdeflate");
  EXPECT_STREQ(AvailableCompressors().back().name, "zlib");
}

TEST(VpackBlockCompressor, EveryLevelWritesStreamsTheStubInflatesOrSaysStore) {
  const std::string header = package::MakeFileHeader("dir\\file.txt", 1248086749u);
  struct Data {
    const char* what;
    std::string data;
    bool shrinks; // at levels above 0
  };
  const std::vector<Data> cases = {
      {"text over several deflate blocks", Text(700000), true},
      {"zeros", std::string(1 << 20, '\0'), true},
      {"random", RandomBytes(200000, 11), false},
      {"random, then text", RandomBytes(100000, 12) + Text(100000), true},
      {"empty file", "", false},
  };
  for (const CompressorKind& kind : AvailableCompressors()) {
    for (int level : std::set{0, 1, kind.defaultLevel, kind.smallBlockLevel, kind.maxLevel}) {
      const auto compressor = kind.make(level);
      for (const Data& c : cases) {
        SCOPED_TRACE(std::string(kind.name) + " level " + std::to_string(level) + ", " + c.what);
        const std::string raw = header + '\0' + c.data;
        std::string body = "left over from an earlier block";
        const bool packed = compressor->Compress(raw, body);
        EXPECT_EQ(packed, level > 0 && c.shrinks);
        if (!packed) {
          EXPECT_TRUE(body.empty());
          continue;
        }
        EXPECT_LT(body.size(), raw.size());
        // A zlib stream: deflate, 32 KiB window, a header that checks.
        ASSERT_GE(body.size(), 6u);
        EXPECT_EQ(body[0], '\x78');
        EXPECT_EQ((std::uint8_t(body[0]) * 256 + std::uint8_t(body[1])) % 31, 0);
        const auto [gotHeader, gotData] = StubDecode(body);
        EXPECT_EQ(gotHeader, header);
        EXPECT_TRUE(gotData == c.data) << "data differs";
      }
    }
  }
}

TEST(VpackBlockCompressor, ReusedCompressorWritesWhatAFreshOneWrites) {
  // One compressor serves every block of a worker thread: nothing of one
  // block may leak into the next.
  const std::string a = Text(300000), b = RandomBytes(50000, 3) + std::string(90000, 'x');
  for (const CompressorKind& kind : AvailableCompressors()) {
    SCOPED_TRACE(kind.name);
    std::string fresh, first, second, again;
    kind.make(kind.defaultLevel)->Compress(a, fresh);
    const auto reused = kind.make(kind.defaultLevel);
    reused->Compress(a, first);
    reused->Compress(b, second);
    reused->Compress(a, again);
    EXPECT_EQ(first, fresh);
    EXPECT_EQ(again, fresh);
  }
}

} // namespace
} // namespace pack
