// The Win32 side of unpacking: files, folders, dates, questions, pumping.
#pragma once

#include "package/unpack.h"

namespace package {

// A host of a hidden run (`foreground` false) asks nothing and shows
// nothing: its errors go to the trace, and a disk prompt is answered
// "Cancel" at once, since nobody is there to insert a disk.
class Win32UnpackHost : public UnpackHost {
 public:
  explicit Win32UnpackHost(bool foreground = true) : foreground_(foreground) {}
  void Pump() override;
  void Wait(int milliseconds) override;
  bool AbortRequested() override;
  bool FileExists(const std::string& path) override;
  bool CreateFolder(const std::string& path) override;
  bool BeginFile(const std::string& path) override;
  bool WriteFileData(std::string_view data) override;
  void EndFile(std::uint32_t dosDateTime, bool complete) override;
  bool WriteNewFile(const std::string& path, std::string_view data,
                    const std::string& dateFrom) override;
  std::string LastErrorText() override;
  double FreeBytes(const std::string& path) override;
  std::int64_t FileSize(const std::string& path) override;
  void ShowError(const std::string& markup) override;
  bool AskOkCancel(const std::string& markup, const std::string& caption,
                   const std::string& buttons, int charset) override;
  void EjectMedia(const std::string& path) override;
  void SuppressAutoPlay() override;
  void Trace(const std::string& line) override;
  std::uint64_t Milliseconds() override;
  std::uint32_t ProcessId() override;

 private:
  bool foreground_;
  void* file_ = nullptr;  // the HANDLE BeginFile opened
};

}  // namespace package
