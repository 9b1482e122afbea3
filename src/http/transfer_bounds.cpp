#include "http/transfer_bounds.h"

#include "http/download_plan.h"
#include "util/text.h"

namespace http {

namespace {

// Where the path of an absolute URL starts (after "scheme://host"); npos
// when `url` has no scheme.
std::size_t PathStart(std::string_view url) {
  if (!HasUrlScheme(url)) return std::string_view::npos;
  const std::size_t host = url.find("://") + 3;
  const std::size_t path = url.find_first_of("/?#", host);
  return path == std::string_view::npos ? url.size() : path;
}

} // namespace

bool IsRedirectStatus(std::uint32_t status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

std::string RedirectTarget(std::string_view from, std::string_view location) {
  location = util::TrimView(location);
  if (HasUrlScheme(location)) return std::string(location);
  const std::string base = NormalizeUrl(from);
  const std::size_t path = PathStart(base);
  if (location.substr(0, 2) == "//") return base.substr(0, base.find("://") + 1).append(location);
  if (!location.empty() && location[0] == '/') return base.substr(0, path).append(location);
  // Relative to the folder of the answering path.
  std::string_view rest = std::string_view(base).substr(path);
  rest = rest.substr(0, rest.find_first_of("?#"));
  const std::size_t slash = rest.rfind('/');
  std::string folder = base.substr(0, path);
  folder.append(slash == std::string_view::npos ? "/" : rest.substr(0, slash + 1));
  return folder.append(location);
}

bool SplitHttpUrl(std::string_view url, UrlParts& parts) {
  const std::size_t colon = url.find("://");
  if (colon == std::string_view::npos) return false;
  const std::string_view scheme = url.substr(0, colon);
  UrlParts p;
  if (util::EqualsNoCase(scheme, "https"))
    p.secure = true;
  else if (!util::EqualsNoCase(scheme, "http"))
    return false;
  std::string_view rest = url.substr(colon + 3);
  const std::size_t end = rest.find_first_of("/?#");
  std::string_view authority = rest.substr(0, end);
  rest = end == std::string_view::npos ? std::string_view() : rest.substr(end);
  rest = rest.substr(0, rest.find('#'));
  if (authority.find('@') != std::string_view::npos || authority.empty()) return false;
  p.port = p.secure ? 443 : 80;
  const std::size_t portColon = authority.rfind(':');
  if (portColon != std::string_view::npos && authority.find(']') == std::string_view::npos) {
    const std::string_view digits = authority.substr(portColon + 1);
    unsigned port = 0;
    if (digits.empty() || digits.size() > 5) return false;
    for (char c : digits) {
      if (c < '0' || c > '9') return false;
      port = port * 10 + static_cast<unsigned>(c - '0');
    }
    if (port == 0 || port > 65535) return false;
    p.port = port;
    authority = authority.substr(0, portColon);
  }
  p.host = std::string(authority);
  p.path = rest.empty() || rest[0] != '/' ? "/" + std::string(rest) : std::string(rest);
  parts = std::move(p);
  return !parts.host.empty();
}

bool RefusesHead(std::uint32_t status) {
  return status == 405 || status == 501;
}

std::string TooManyRedirectsError(std::string_view url) {
  std::string text(url);
  return text.append(" --- Too many redirects (more than ")
      .append(util::IntToStr(kMaxRedirects))
      .append(")");
}

std::uint64_t BodyLimit(const BodyBounds& bounds) {
  if (bounds.cap != 0) return bounds.cap;
  if (bounds.expected != 0 && bounds.expected < UINT64_MAX - kBodyMargin)
    return bounds.expected + kBodyMargin;
  return UINT64_MAX;
}

std::string BodyTooLargeError(std::string_view displayName, std::uint64_t limit) {
  std::string text(displayName);
  return text.append(" --- Download too large (more than ")
      .append(util::IntToStr(static_cast<std::int64_t>(limit)))
      .append(" bytes)");
}

std::uint32_t StallLimitMs(std::string_view setting) {
  setting = util::TrimView(setting);
  std::uint32_t seconds = 0;
  bool digits = !setting.empty() && setting.size() <= 4;
  for (char c : setting) {
    if (c < '0' || c > '9') digits = false;
    if (digits) seconds = seconds * 10 + static_cast<std::uint32_t>(c - '0');
  }
  if (!digits || seconds < 1 || seconds > 3600) seconds = kDefaultStallSeconds;
  return seconds * 1000;
}

std::string StallError(std::string_view displayName, std::uint32_t limitMs) {
  std::string text(displayName);
  return text.append(" --- Download stalled (less than ")
      .append(util::IntToStr(kStallBytes))
      .append(" bytes in ")
      .append(util::IntToStr(limitMs / 1000))
      .append(" seconds)");
}

} // namespace http
