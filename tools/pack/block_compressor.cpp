#include "pack/block_compressor.h"

#include <zlib.h>

#if defined(VPACK_HAVE_LIBDEFLATE)
#include <libdeflate.h>
#endif

#include "pack/error.h"

namespace pack {

namespace {

// A deflate stream kept for many blocks: deflateReset is far cheaper than a
// fresh init.
class ZlibBlockCompressor final : public BlockCompressor {
public:
  explicit ZlibBlockCompressor(int level) {
    // memLevel 9: a little smaller output than the default 8 for the same time.
    if (deflateInit2(&s_, level, Z_DEFLATED, 15, 9, Z_DEFAULT_STRATEGY) != Z_OK)
      throw Error("zlib: cannot initialise deflate");
  }
  ~ZlibBlockCompressor() override { deflateEnd(&s_); }
  ZlibBlockCompressor(const ZlibBlockCompressor&) = delete;
  ZlibBlockCompressor& operator=(const ZlibBlockCompressor&) = delete;

  bool Compress(std::string_view in, std::string& out) override {
    deflateReset(&s_);
    out.resize(deflateBound(&s_, static_cast<uLong>(in.size())));
    s_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    s_.avail_in = static_cast<uInt>(in.size());
    s_.next_out = reinterpret_cast<Bytef*>(out.data());
    s_.avail_out = static_cast<uInt>(out.size());
    const int rc = deflate(&s_, Z_FINISH);
    if (rc != Z_STREAM_END) {
      out.clear();
      throw Error(std::string("zlib: ") + (s_.msg ? s_.msg : zError(rc)));
    }
    out.resize(out.size() - s_.avail_out);
    if (out.size() < in.size()) return true;
    out.clear();
    return false;
  }

private:
  z_stream s_{};
};

#if defined(VPACK_HAVE_LIBDEFLATE)
// libdeflate compresses whole buffers only, which is what a block is; on the
// benchmark it takes half zlib's time for a smaller package.
class LibdeflateBlockCompressor final : public BlockCompressor {
public:
  explicit LibdeflateBlockCompressor(int level) : c_(libdeflate_alloc_compressor(level)) {
    if (!c_)
      throw Error("libdeflate: cannot allocate a compressor at level " + std::to_string(level));
  }
  ~LibdeflateBlockCompressor() override { libdeflate_free_compressor(c_); }
  LibdeflateBlockCompressor(const LibdeflateBlockCompressor&) = delete;
  LibdeflateBlockCompressor& operator=(const LibdeflateBlockCompressor&) = delete;

  bool Compress(std::string_view in, std::string& out) override {
    // A stream that does not fit in one byte less than the input is not
    // worth keeping, and libdeflate says so by returning 0.
    if (in.size() < 2) {
      out.clear();
      return false;
    }
    out.resize(in.size() - 1);
    const std::size_t n =
        libdeflate_zlib_compress(c_, in.data(), in.size(), out.data(), out.size());
    out.resize(n);
    return n != 0;
  }

private:
  libdeflate_compressor* c_;
};
#endif

template <class T> std::unique_ptr<BlockCompressor> Make(int level) {
  return std::make_unique<T>(level);
}

constexpr CompressorKind kCompressors[] = {
#if defined(VPACK_HAVE_LIBDEFLATE)
    {"libdeflate", 7, 12, 12, Make<LibdeflateBlockCompressor>},
#endif
    {"zlib", 6, 9, 9, Make<ZlibBlockCompressor>},
};

} // namespace

std::span<const CompressorKind> AvailableCompressors() {
  return kCompressors;
}

} // namespace pack
