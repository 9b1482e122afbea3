// How big a file to download is: a file in a local or UNC folder, or a
// resource on a web server.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

class SizeProbe {
public:
  virtual ~SizeProbe() = default;
  // Size of the existing file at `path`; -1 when there is no such file.
  virtual std::int64_t FileSize(const std::string& path) = 0;
  // Whether the machine is online.
  virtual bool IsOnline() = 0;
  // Content length the server announces for `url`; -1 when unknown.
  virtual std::int64_t HttpSize(const std::string& url) = 0;
};

} // namespace platform
