// The decisions of continuing a broken download, apart from WinINet: what
// the note beside a partial file holds, whether that partial file may be
// continued, the request headers that ask for the rest, and what the
// server's answer means for the partial file.
//
// A download into a target file keeps, beside its temporary file, a note
// (ResumeNotePath) with the URL, the full length and the validator the
// first answer carried. The next attempt at the same target asks only for
// the bytes after the partial file, on condition that the resource is still
// the one the validator names (If-Range); the server then answers 206 with
// the rest or 200 with the whole (new) resource.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace http {

struct ResumeNote {
  std::string url;         // as the caller gave it
  std::uint32_t total = 0; // the full length of the resource
  std::string validator;   // the If-Range value: a strong ETag or a Last-Modified
};

// temporary + ".resume".
std::string ResumeNotePath(std::string_view temporary);
// Whether `fileName` is the note of one of the temporary files of the target
// file `targetName` (the name, ".", decimal digits, ".resume"; any case).
bool IsResumeNoteOf(std::string_view targetName, std::string_view fileName);

// The note's text: three lines, the URL, the total in decimal, the validator.
std::string FormatResumeNote(const ResumeNote& note);
// False for anything FormatResumeNote does not write.
bool ParseResumeNote(std::string_view text, ResumeNote& note);

// The validator that may go into If-Range: the ETag unless it is weak (the
// protocol allows only strong ones there), else the Last-Modified text; ""
// when neither can be used. Both arrive as the raw header values.
std::string ChooseValidator(std::string_view etag, std::string_view lastModified);

// Whether a note is worth writing for a fresh download: a validator and a
// known, non-zero length.
bool IsResumable(std::uint32_t total, std::string_view validator);

// Whether a partial file of `have` bytes with this note can be continued by
// a download of `url`: same URL, a usable note, and some but not all bytes.
bool CanContinue(const ResumeNote& note, std::string_view url, std::uint64_t have);

// "Range: bytes=<offset>-\r\nIf-Range: <validator>\r\n".
std::string ResumeHeaders(std::uint32_t offset, std::string_view validator);

// Reads a Content-Range value "bytes F-L/T" (the unit in any case, spaces
// around the numbers allowed); false for anything else, "*" included.
bool ParseContentRange(std::string_view text, std::uint32_t& first, std::uint32_t& last,
                       std::uint32_t& total);

// What the answer to a request for the rest means.
enum class ResumeAnswer {
  kContinue,  // 206 with exactly the rest: append to the partial file
  kStartOver, // 200: the whole resource, from nothing (the old partial goes)
  kError,     // an error status: fail as always, keep the partial for later
  kDiscard,   // fail, and drop the partial: asking again would get the same
};
ResumeAnswer InterpretResumeAnswer(std::uint32_t status, std::string_view contentRange,
                                   std::uint32_t offset, std::uint32_t total);

// The error text of kDiscard: "<name> --- Unable to continue the download".
std::string DiscardError(std::string_view displayName);

// The first progress position when `done` bytes are already there, on the
// scale of ProgressMaximum (one step per read of `chunk` bytes, from 1).
int ProgressStart(std::uint32_t done, std::uint32_t chunk);

// Takes the text up to the next "\n" from `rest`; false when there is none
// (the line form of the notes kept beside downloads).
bool TakeLine(std::string_view& rest, std::string_view& line);

} // namespace http
