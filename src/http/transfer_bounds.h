// The bounds of a transfer, apart from WinINet: how many redirects are
// followed, how many body bytes are taken, and how long a transfer may go
// without receiving anything. A server that redirects in a circle, sends
// without end or sends a byte now and then must not hold a setup or the
// agent for ever, nor fill the disk or the memory.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace http {

// Redirects followed per request; the next one is an error.
inline constexpr int kMaxRedirects = 10;
// How far a body may pass the size the caller expects: room for a server's
// own idea of the file, never for an endless body.
inline constexpr std::uint64_t kBodyMargin = 64 * 1024;
// Bodies the agent keeps in memory: descriptors are a few KiB, a signature
// about 72 bytes.
inline constexpr std::uint64_t kInfoBodyCap = 1024 * 1024;
inline constexpr std::uint64_t kSignatureBodyCap = 4 * 1024;
// A transfer that receives less than kStallBytes in this long ends, unless
// the environment variable named below says otherwise (tests shorten it): a
// server that sends a byte every few seconds is as stalled as a silent one.
// Any real line moves a KiB in seconds.
inline constexpr std::uint32_t kDefaultStallSeconds = 60;
inline constexpr std::uint32_t kStallBytes = 1024;
inline constexpr char kStallSecondsVariable[] = "VANTOR_STALL_SECONDS";

// 301, 302, 303, 307 and 308.
bool IsRedirectStatus(std::uint32_t status);
// The URL a Location value names, read against the URL that answered: an
// absolute URL as it is, "//host/..." with the same scheme, "/path" on the
// same host, anything else beside the last "/" of the answering path (query
// and fragment of the answering URL dropped).
std::string RedirectTarget(std::string_view from, std::string_view location);
// The parts of an "http://" or "https://" URL (scheme in any case) that a
// request needs: host, port (80 or 443 unless given), path with query ("/"
// when empty). False for anything else, URLs without a scheme included.
struct UrlParts {
  std::string host;
  unsigned port = 0;
  std::string path;
  bool secure = false;
};
bool SplitHttpUrl(std::string_view url, UrlParts& parts);
// A server that refuses HEAD (405, 501): the size is asked with a GET.
bool RefusesHead(std::uint32_t status);
// "<url> --- Too many redirects (more than 10)".
std::string TooManyRedirectsError(std::string_view url);

// What the caller knows of a body before it comes: `expected` is the size
// the package or the descriptor names (0: none); `cap` the most a body kept
// in memory may hold (0: none).
struct BodyBounds {
  std::uint64_t expected = 0;
  std::uint64_t cap = 0;
};
// The most body bytes a transfer takes: the cap when there is one, else the
// expected size plus kBodyMargin; without either, no bound (UINT64_MAX). An
// announced Content-Length above it ends the transfer before the body.
std::uint64_t BodyLimit(const BodyBounds& bounds);
// "<name> --- Download too large (more than N bytes)".
std::string BodyTooLargeError(std::string_view displayName, std::uint64_t limit);

// The stall bound in ms from the variable's text: whole seconds, 1 to 3600;
// anything else (empty included) gives kDefaultStallSeconds.
std::uint32_t StallLimitMs(std::string_view setting);
// "<name> --- Download stalled (less than 1024 bytes in N seconds)".
std::string StallError(std::string_view displayName, std::uint32_t limitMs);

// Measures the time since the last progress on a millisecond clock:
// an answer, or kStallBytes of body received since the last progress.
class StallClock {
public:
  StallClock(std::uint32_t limitMs, std::int64_t now) : limitMs_(limitMs), last_(now) {}
  void Progress(std::int64_t now) {
    last_ = now;
    bytes_ = 0;
  }
  void Received(std::int64_t now, std::uint32_t bytes) {
    bytes_ += bytes;
    if (bytes_ >= kStallBytes) Progress(now);
  }
  bool Stalled(std::int64_t now) const { return now - last_ >= limitMs_; }
  std::uint32_t LimitMs() const { return limitMs_; }

private:
  std::int64_t limitMs_;
  std::int64_t last_;
  std::uint64_t bytes_ = 0; // since the last progress
};

} // namespace http
