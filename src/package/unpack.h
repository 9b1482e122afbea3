// Unpacking a package (one file or several volumes) into a target folder.
// The walk is portable; everything it asks of the system goes through
// UnpackHost, which the stub implements on Win32 (unpack_win.cpp) and tests
// implement in memory.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace package {

class UnpackHost {
 public:
  virtual ~UnpackHost() = default;
  // Keeps the windows alive between reads and inflate steps.
  virtual void Pump() = 0;
  // Waits while pumping.
  virtual void Wait(int milliseconds) = 0;
  // True when the user asked to stop (a close request on the window): the
  // unpacking ends at once, between two pieces of data.
  virtual bool AbortRequested() = 0;
  virtual bool FileExists(const std::string& path) = 0;
  virtual bool CreateFolder(const std::string& path) = 0;
  // The data of one block goes to one file in pieces: BeginFile opens `path`
  // for appending (created, with its folders, when missing), WriteFileData
  // appends a piece, EndFile closes it and sets the DOS date when that is
  // nonzero and `complete` (every piece was written). EndFile follows every
  // BeginFile that returned true.
  virtual bool BeginFile(const std::string& path) = 0;
  virtual bool WriteFileData(std::string_view data) = 0;
  virtual void EndFile(std::uint32_t dosDateTime, bool complete) = 0;
  // Creates anew, with the date of the file `dateFrom`.
  virtual bool WriteNewFile(const std::string& path, std::string_view data,
                            const std::string& dateFrom) = 0;
  virtual std::string LastErrorText() = 0;
  virtual double FreeBytes(const std::string& path) = 0;
  virtual std::int64_t FileSize(const std::string& path) = 0;
  virtual void ShowError(const std::string& markup) = 0;
  // An OK/Cancel question; true for OK.
  virtual bool AskOkCancel(const std::string& markup, const std::string& caption,
                           const std::string& buttons, int charset) = 0;
  virtual void EjectMedia(const std::string& path) = 0;
  virtual void SuppressAutoPlay() = 0;
  virtual void Trace(const std::string& line) = 0;
  virtual std::uint64_t Milliseconds() = 0;
  virtual std::uint32_t ProcessId() = 0;
};

// Progress callback: (kind, ignored, high, ignored, step, position); kind 0
// sets the bars up, kind 1 advances them.
using UnpackProgress = std::function<void(int, int, int, int, int, int)>;

struct UnpackRequest {
  std::string packageFile;
  std::string targetFolder;
  std::string agentName;  // agent copy to write; empty for none
  bool alwaysPrompt = false;
  int charset = 0;
  std::string buttons = "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|";
  std::string caption = "Attention";
  std::string diskPrompt = "Please insert <B>DISK #<DISK_NUM></B> and press OK to continue";
  UnpackProgress progress;
};

struct UnpackResult {
  // The engine's launch text ("name" or "name*args"); empty when none was
  // found, the user cancelled a disk prompt, or the data was damaged.
  std::string engineEntry;
  // False when the package file is missing or a volume failed its checksum.
  bool intact = false;
  bool cancelled = false;
  // A damaged block (bad length, zlib data, or content past the most a
  // block may hold) stopped the unpacking; the user has been told.
  bool damaged = false;
  // A file name Windows would not write as given (a device name, "..") was
  // refused; the user has been told and no engine is named.
  bool refusedName = false;
  // A close request stopped the unpacking (the host's AbortRequested, or
  // SetAbortExtraction); the files are incomplete and no engine is named.
  bool aborted = false;
};

// Number of failed file writes in this process (only the first is reported).
int SaveErrorCount();
// Set by a host that wants the unpacking to stop after the current block.
void SetAbortExtraction(bool abort);
bool AbortExtraction();

UnpackResult ExtractPackage(const UnpackRequest& request, UnpackHost& host);

// The size report appended to write-failure messages.
std::string ExtractionInfoText(UnpackHost& host, const std::string& filePath,
                               std::size_t dataSize);

}  // namespace package
