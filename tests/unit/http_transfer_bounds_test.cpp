#include "http/transfer_bounds.h"

#include <gtest/gtest.h>

namespace http {
namespace {

TEST(TransferBounds, RedirectStatuses) {
  for (std::uint32_t s : {301u, 302u, 303u, 307u, 308u})
    EXPECT_TRUE(IsRedirectStatus(s)) << s;
  for (std::uint32_t s : {200u, 204u, 300u, 304u, 305u, 306u, 404u})
    EXPECT_FALSE(IsRedirectStatus(s)) << s;
}

TEST(TransferBounds, RedirectTargetReadsLocationAgainstTheAnsweringUrl) {
  const struct {
    const char* from;
    const char* location;
    const char* to;
  } cases[] = {
      {"http://a.example/x/y.exe", "https://b.example/z.exe", "https://b.example/z.exe"},
      {"http://a.example/x/y.exe", "//c.example/z", "http://c.example/z"},
      {"http://a.example:8080/x/y.exe?q=1", "/top.exe", "http://a.example:8080/top.exe"},
      {"http://a.example/x/y.exe?q=/1", "z.exe", "http://a.example/x/z.exe"},
      {"http://a.example", "z.exe", "http://a.example/z.exe"},
      {"http://a.example/x/", " ../z.exe ", "http://a.example/x/../z.exe"},
      // The client puts "http://" before a URL without a scheme.
      {"a.example/x/y", "/loop", "http://a.example/loop"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(RedirectTarget(c.from, c.location), c.to) << c.from << " + " << c.location;
}

TEST(TransferBounds, BodyLimitFromCapOrExpectedSize) {
  EXPECT_EQ(BodyLimit({}), UINT64_MAX);
  EXPECT_EQ(BodyLimit({578000, 0}), 578000 + kBodyMargin);
  // A cap wins: a body in memory never passes it.
  EXPECT_EQ(BodyLimit({578000, kSignatureBodyCap}), kSignatureBodyCap);
  EXPECT_EQ(BodyLimit({UINT64_MAX - 1, 0}), UINT64_MAX);
  EXPECT_EQ(BodyTooLargeError("Setup.exe", 4096), "Setup.exe --- Download too large (more than 4096 bytes)");
}

TEST(TransferBounds, StallLimitFromTheSetting) {
  const struct {
    const char* setting;
    std::uint32_t ms;
  } cases[] = {{"", 60000},   {"5", 5000},     {" 3 ", 3000}, {"3600", 3600000}, {"0", 60000},
               {"3601", 60000}, {"-5", 60000}, {"5s", 60000}, {"99999", 60000}};
  for (const auto& c : cases)
    EXPECT_EQ(StallLimitMs(c.setting), c.ms) << '"' << c.setting << '"';
  EXPECT_EQ(StallError("a.info", 60000), "a.info --- Download stalled (less than 1024 bytes in 60 seconds)");
}

TEST(TransferBounds, StallClockCountsFromTheLastProgress) {
  StallClock clock(5000, 1000);
  EXPECT_FALSE(clock.Stalled(5999));
  clock.Progress(5999);
  EXPECT_FALSE(clock.Stalled(10998));
  EXPECT_TRUE(clock.Stalled(10999));
  // A byte now and then is no progress; a KiB in all is.
  clock.Progress(20000);
  for (std::int64_t t = 20000; t < 25000; t += 500) clock.Received(t, 100);
  EXPECT_TRUE(clock.Stalled(25000));
  clock.Received(25000, 24);
  EXPECT_FALSE(clock.Stalled(29999));
  EXPECT_TRUE(clock.Stalled(30000));
  EXPECT_EQ(TooManyRedirectsError("http://h/a"), "http://h/a --- Too many redirects (more than 10)");
}

} // namespace
} // namespace http

#include "http/conditional.h"

namespace http {
namespace {

TEST(Conditional, HeadersForTheValidatorsThereAre) {
  EXPECT_EQ(ConditionalHeaders({}), "");
  EXPECT_EQ(ConditionalHeaders({"\"a-1\"", ""}), "If-None-Match: \"a-1\"\r\n");
  EXPECT_EQ(ConditionalHeaders({"\"a-1\"", "Fri, 11 Dec 2026 07:00:00 GMT"}),
            "If-None-Match: \"a-1\"\r\nIf-Modified-Since: Fri, 11 Dec 2026 07:00:00 GMT\r\n");
  // A value that would smuggle another header in is left out.
  EXPECT_EQ(ConditionalHeaders({"\"a\"\r\nRange: bytes=0-", "x"}), "If-Modified-Since: x\r\n");
}

TEST(Conditional, NoteHoldsTheValidatorsOfItsUrlOnly) {
  const Validators v{"W/\"7\"", "Fri, 11 Dec 2026 07:00:00 GMT"};
  const std::string note = FormatValidatorNote("http://h/a.info", v);
  const Validators back = ValidatorsFromNote(note, "http://h/a.info");
  EXPECT_EQ(back.etag, v.etag);
  EXPECT_EQ(back.lastModified, v.lastModified);
  EXPECT_TRUE(ValidatorsFromNote(note, "http://other/a.info").empty());
  EXPECT_TRUE(ValidatorsFromNote(note + "x", "http://h/a.info").empty());
  EXPECT_TRUE(ValidatorsFromNote("", "").empty());
  EXPECT_EQ(FormatValidatorNote("http://h/a\n", v), "");
}

} // namespace
} // namespace http

namespace http {
namespace {

TEST(TransferBounds, SplitHttpUrlForARequestOfItsOwn) {
  const struct {
    const char* url;
    bool ok;
    const char* host;
    unsigned port;
    const char* path;
    bool secure;
  } cases[] = {
      {"http://h.example/a/b.exe", true, "h.example", 80, "/a/b.exe", false},
      {"HTTPS://h.example:8443/a?x=1#frag", true, "h.example", 8443, "/a?x=1", true},
      {"http://127.0.0.1:41234", true, "127.0.0.1", 41234, "/", false},
      {"http://h?q", true, "h", 80, "/?q", false},
      {"h.example/a", false, "", 0, "", false},
      {"ftp://h/a", false, "", 0, "", false},
      {"http://user@h/a", false, "", 0, "", false},
      {"http://h:0/a", false, "", 0, "", false},
      {"http://h:99999/a", false, "", 0, "", false},
      {"http:///a", false, "", 0, "", false},
  };
  for (const auto& c : cases) {
    UrlParts parts;
    ASSERT_EQ(SplitHttpUrl(c.url, parts), c.ok) << c.url;
    if (!c.ok) continue;
    EXPECT_EQ(parts.host, c.host) << c.url;
    EXPECT_EQ(parts.port, c.port) << c.url;
    EXPECT_EQ(parts.path, c.path) << c.url;
    EXPECT_EQ(parts.secure, c.secure) << c.url;
  }
  EXPECT_TRUE(RefusesHead(405));
  EXPECT_TRUE(RefusesHead(501));
  EXPECT_FALSE(RefusesHead(404));
}

} // namespace
} // namespace http
