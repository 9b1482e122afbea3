// The decisions of a download, apart from WinINet: names, the URL, the
// temporary file, the read size, the progress range and modes, and whether
// the result may replace the target.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace http {

// A missing Content-Length reads as this size.
inline constexpr std::uint32_t kUnknownLength = 0xFFFFFFFFu;
inline constexpr std::uint32_t kMaxChunk = 8192;

// The last path component of the URL ("/" and "\" both separate).
std::string DownloadDisplayName(std::string_view url);
// True when the URL begins with a scheme and "://" (letter, then letters,
// digits, "+", "-", "."; any case).
bool HasUrlScheme(std::string_view url);
// The URL as given when it names a scheme, else with "http://" in front.
std::string NormalizeUrl(std::string_view url);
// Whether a URL with a scheme names a host: something after "://" before
// the path, query or fragment. Without one there is nothing to connect to
// ("http:///a", the form an empty download location takes).
bool HasUrlHost(std::string_view url);
// target + "." + decimal of the unsigned 32-bit sum size + stamp.
std::string TemporaryPath(std::string_view target, std::uint32_t size, std::uint32_t stamp);
// Whether `fileName` is one of the temporary files the client makes for the
// target file `targetName` (TemporaryPath: the name, ".", decimal digits),
// names compared without regard to case. Only these are cleaned up before
// a download; "<target>.log" and the like belong to someone else.
bool IsTemporaryFileOf(std::string_view targetName, std::string_view fileName);
// The error text for an HTTP status of 400 or more ("<url> --- HTTP status
// <status>"); "" for any other status.
std::string HttpStatusError(std::string_view url, std::uint32_t status);
// size / 10, held between 1 and 8192.
std::uint32_t ChunkSize(std::uint32_t size);
// Progress range maximum: ceil(size / chunk) + 1.
int ProgressMaximum(std::uint32_t size, std::uint32_t chunk);
// The 32-bit DOS date-time of a Last-Modified stamp (date in the high word,
// seconds halved); 0 for a date it cannot hold (before 1980, after 2107) or
// an invalid one, such as the zeroed record of a missing header.
std::uint32_t DosDateTime(int year, int month, int day, int hour, int minute, int second);
// Rate-meter modes by the announced size.
bool KiloMode(std::uint32_t size);
bool MegaMode(std::uint32_t size);

// How the read loop ended.
enum class LoopEnd {
  kBodyEnded, // the last read succeeded with 0 bytes
  kFailed,    // a read or a write failed (its error text is already set)
  kAborted,   // abort flag or the progress object's cancel
};

// Whether the download is complete, so the temporary file may replace the
// target. Sets `errorText` for an ended body of the wrong size:
//   "<name> --- Download incomplete (received R of A bytes)" when fewer bytes
//   came than announced, "<name> --- Download size mismatch (received R of A
//   bytes)" when more; for an abort "Download Aborted" (replacing any text);
//   a failure keeps its text. Without an announced length a body that
//   ended normally is complete.
bool IsDownloadComplete(LoopEnd end, std::uint32_t announced, std::uint32_t received,
                        std::string_view displayName, std::string& errorText);

} // namespace http
