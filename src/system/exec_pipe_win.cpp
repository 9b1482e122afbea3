#include <windows.h>

#include "system/exec_pipe.h"
#include "ui/message_box.h"
#include "util/system_info.h"
#include "util/text.h"

namespace sys {

namespace {

HANDLE g_childInput = nullptr;

constexpr DWORD kMaxRead = 30000;

std::string ErrorTextOrNumber(DWORD error) {
  const std::string text = util::SystemErrorText(error);
  return text.empty() ? "System error " + util::IntToStr(error) : text;
}

// One end pair of a pipe; the parent keeps `parent`, the child inherits
// `child`.
struct Pipe {
  HANDLE parent = nullptr;
  HANDLE child = nullptr;
};

// `childReads`: the child reads from the pipe (its standard input).
bool MakePipe(Pipe& p, bool childReads) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE read = nullptr, write = nullptr;
  if (!CreatePipe(&read, &write, &sa, 0)) return false;
  p.parent = childReads ? write : read;
  p.child = childReads ? read : write;
  // The child gets only its own ends.
  SetHandleInformation(p.parent, HANDLE_FLAG_INHERIT, 0);
  return true;
}

void ClosePipe(Pipe& p) {
  if (p.parent) CloseHandle(p.parent);
  if (p.child) CloseHandle(p.child);
  p = Pipe{};
}

// Takes what waits in the pipe (no more than one read's worth, so the read
// never blocks), converted from the OEM to the ANSI code page. `left` gets
// the bytes still waiting after this read.
std::string ReadWaiting(HANDLE pipe, DWORD& left) {
  left = 0;
  DWORD available = 0;
  if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) || available == 0) return {};
  std::string text(available < kMaxRead ? available : kMaxRead, '\0');
  DWORD got = 0;
  if (!ReadFile(pipe, text.data(), static_cast<DWORD>(text.size()), &got, nullptr)) return {};
  text.resize(got);
  if (got) OemToCharBuffA(text.data(), text.data(), got);
  left = available - got;
  return text;
}

class PipedRun {
public:
  PipedRun(const PipedCallback& callback, std::intptr_t userValue, PipedResult& result)
      : callback_(callback), userValue_(userValue), result_(result) {}

  // Reads both pipes once; true when anything arrived. `left` gets the bytes
  // that stayed in the pipes.
  bool ReadBoth(DWORD& left) {
    DWORD outLeft = 0, errLeft = 0;
    const bool gotOut = Take(out.parent, result_.outputText, outLeft);
    const bool gotErr = Take(err.parent, result_.errorText, errLeft);
    left = outLeft + errLeft;
    return gotOut || gotErr;
  }

  bool aborted = false;
  Pipe in, out, err;

private:
  bool Take(HANDLE pipe, std::string& into, DWORD& left) {
    const std::string piece = ReadWaiting(pipe, left);
    if (piece.empty()) return false;
    into += piece;
    if (callback_ && !aborted) callback_(piece, userValue_, aborted);
    return true;
  }

  const PipedCallback& callback_;
  std::intptr_t userValue_;
  PipedResult& result_;
};

} // namespace

void* PipedChildInput() {
  return g_childInput;
}

PipedResult RunPiped(const std::string& program, const std::string& arguments, int showState,
                     const PipedCallback& callback, std::intptr_t userValue, int lingerMs) {
  PipedResult result;
  PipedRun run(callback, userValue, result);
  std::string command = PipedCommandLine(program, arguments);

  PROCESS_INFORMATION pi{};
  bool started = false;
  DWORD error = ERROR_FILENAME_EXCED_RANGE;
  // A line the system would refuse is not offered to it.
  if (command.size() <= kMaxCommandLine) {
    if (MakePipe(run.in, true) && MakePipe(run.out, false) && MakePipe(run.err, false)) {
      g_childInput = run.in.parent;
      STARTUPINFOA si{};
      si.cb = sizeof si;
      si.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
      si.wShowWindow = static_cast<WORD>(showState);
      si.hStdInput = run.in.child;
      si.hStdOutput = run.out.child;
      si.hStdError = run.err.child;
      started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, IDLE_PRIORITY_CLASS,
                               nullptr, nullptr, &si, &pi) != FALSE;
    }
    if (!started) error = GetLastError();
  }

  if (!started) {
    result.exitCode = kPipedStartFailed;
    result.errorText = PipedStartErrorText(command, ErrorTextOrNumber(error));
    if (callback) callback(result.errorText + "\r\n", userValue, run.aborted);
  } else {
    DWORD interval = callback ? 1 : 100;
    DWORD code = STILL_ACTIVE;
    bool terminated = false;
    for (;;) {
      // The wait result, not the exit code, says whether the child still
      // runs: a child may well end with code 259 itself.
      const bool running = WaitForSingleObject(pi.hProcess, interval) == WAIT_TIMEOUT;
      DWORD left = 0;
      if (run.ReadBoth(left) && interval > 10) interval = interval > 20 ? interval - 10 : 10;
      if (run.aborted && !terminated) {
        TerminateProcess(pi.hProcess, 255);
        terminated = true;
      }
      GetExitCodeProcess(pi.hProcess, &code);
      if (!running && left == 0) break;
    }
    if (lingerMs > 0) ui::WaitPumping(lingerMs);
    DWORD left = 0;
    run.ReadBoth(left);
    GetExitCodeProcess(pi.hProcess, &code);
    result.exitCode = code;
    result.success = code == 0;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }

  g_childInput = nullptr;
  ClosePipe(run.in);
  ClosePipe(run.out);
  ClosePipe(run.err);
  return result;
}

} // namespace sys
