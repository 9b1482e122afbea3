// Conditional requests, apart from WinINet: a client that keeps a resource
// keeps its validators (ETag, Last-Modified) beside it and asks for the
// resource only "if changed"; a 304 answer then costs no body.
#pragma once

#include <string>
#include <string_view>

#include "http/transfer_bounds.h"

namespace http {

struct Validators {
  std::string etag;         // the raw ETag value, quotes included
  std::string lastModified; // the raw Last-Modified value
  bool empty() const { return etag.empty() && lastModified.empty(); }
};

// "If-None-Match: <etag>\r\n" and "If-Modified-Since: <date>\r\n" for the
// validators there are; a value with a line break is left out.
std::string ConditionalHeaders(const Validators& v);

// The note kept beside a resource: the URL it came from, then the two
// validators, one a line.
std::string FormatValidatorNote(std::string_view url, const Validators& v);
// The validators of a note written for `url`; none for another URL or for
// anything FormatValidatorNote does not write.
Validators ValidatorsFromNote(std::string_view note, std::string_view url);

// What a download asks beyond its URL.
struct DownloadRequest {
  BodyBounds bounds;
  Validators ifChanged; // sent as conditions when not empty
};

// Why a download failed, for callers that report it by kind.
enum class TransferFailure {
  kNone,
  kNoConnection, // WinINet unusable, or the server could not be reached
  kHttpStatus,   // the server answered, but not with the resource: an error
                 // status, an empty body, too many redirects
  kTransfer,     // the body did not come whole: broken off, stalled, larger
                 // than allowed, a read or write error
  kAborted,      // the abort flag or the progress object's cancel
};

// What a download learned beyond its body.
struct DownloadAnswer {
  bool notModified = false; // 304 to a conditional request: no body, no error
  Validators validators;    // of a complete answer, for the next request
  TransferFailure failure = TransferFailure::kNone;
};

} // namespace http
