#include <windows.h>
#include <wininet.h>

#include "http/bytes_rate.h"
#include "http/conditional.h"
#include "http/download_abort.h"
#include "http/download_plan.h"
#include "http/inet_http.h"
#include "http/resume_plan.h"
#include "http/transfer_bounds.h"
#include "platform/file.h"
#include "ui/message_box.h"
#include "util/system_info.h"
#include "util/text.h"
#include "util/trace.h"

namespace http {

namespace {

// --- WinINet, bound late so the stub does not import it ----------------------
// All entries are looked up by name on first use; a missing library or
// entry is looked for again on the next call.

enum Entry {
  kGetConnectedState,
  kCloseHandle,
  kOpen,
  kOpenUrl,
  kQueryInfo,
  kReadFile,
  kSetOption,
  kGetLastResponseInfo,
  kQueryDataAvailable,
  kSetStatusCallback,
  kConnect,
  kOpenRequest,
  kSendRequest,
  kEntryCount
};
constexpr const char* kEntryNames[kEntryCount] = {"InternetGetConnectedState",
                                                  "InternetCloseHandle",
                                                  "InternetOpenA",
                                                  "InternetOpenUrlA",
                                                  "HttpQueryInfoA",
                                                  "InternetReadFile",
                                                  "InternetSetOptionA",
                                                  "InternetGetLastResponseInfoA",
                                                  "InternetQueryDataAvailable",
                                                  "InternetSetStatusCallbackA",
                                                  "InternetConnectA",
                                                  "HttpOpenRequestA",
                                                  "HttpSendRequestA"};

HMODULE g_wininet = nullptr;
FARPROC g_entries[kEntryCount] = {};

[[gnu::noinline]] FARPROC Resolve(Entry e) {
  if (!g_entries[e]) {
    if (!g_wininet) g_wininet = LoadLibraryA("WinINet.dll");
    if (g_wininet) g_entries[e] = GetProcAddress(g_wininet, kEntryNames[e]);
  }
  return g_entries[e];
}

template <typename Fn> Fn Bind(Entry e) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(Resolve(e)));
}

BOOL GetConnectedState(DWORD* flags) {
  auto fn = Bind<BOOL(WINAPI*)(LPDWORD, DWORD)>(kGetConnectedState);
  return fn ? fn(flags, 0) : FALSE;
}
void CloseInternetHandle(HINTERNET h) {
  auto fn = Bind<BOOL(WINAPI*)(HINTERNET)>(kCloseHandle);
  if (h && fn) fn(h);
}
HINTERNET OpenSession(const char* agent, DWORD flags = 0) {
  auto fn = Bind<HINTERNET(WINAPI*)(LPCSTR, DWORD, LPCSTR, LPCSTR, DWORD)>(kOpen);
  return fn ? fn(agent, INTERNET_OPEN_TYPE_PRECONFIG, "", nullptr, flags) : nullptr;
}
HINTERNET OpenUrl(HINTERNET session, const std::string& url, DWORD flags,
                  const std::string& headers = {}, DWORD_PTR context = 0) {
  auto fn = Bind<HINTERNET(WINAPI*)(HINTERNET, LPCSTR, LPCSTR, DWORD, DWORD, DWORD_PTR)>(kOpenUrl);
  return fn ? fn(session, url.c_str(), headers.empty() ? nullptr : headers.c_str(),
                 static_cast<DWORD>(headers.size()), flags, context)
            : nullptr;
}
BOOL QueryDataAvailable(HINTERNET h, DWORD* available) {
  auto fn = Bind<BOOL(WINAPI*)(HINTERNET, LPDWORD, DWORD, DWORD_PTR)>(kQueryDataAvailable);
  return fn ? fn(h, available, 0, 0) : FALSE;
}
// A HEAD request for `parts` on the session, sent; none when it fails.
// The connection handle goes to `connection` (closed by the caller).
HINTERNET SendHead(HINTERNET session, const UrlParts& parts, DWORD flags, HINTERNET& connection) {
  auto connect = Bind<HINTERNET(WINAPI*)(HINTERNET, LPCSTR, INTERNET_PORT, LPCSTR, LPCSTR, DWORD,
                                         DWORD, DWORD_PTR)>(kConnect);
  auto open = Bind<HINTERNET(WINAPI*)(HINTERNET, LPCSTR, LPCSTR, LPCSTR, LPCSTR, LPCSTR*, DWORD,
                                      DWORD_PTR)>(kOpenRequest);
  auto send = Bind<BOOL(WINAPI*)(HINTERNET, LPCSTR, DWORD, LPVOID, DWORD)>(kSendRequest);
  connection = nullptr;
  if (!connect || !open || !send) return nullptr;
  connection = connect(session, parts.host.c_str(), static_cast<INTERNET_PORT>(parts.port),
                       nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
  if (!connection) return nullptr;
  HINTERNET request = open(connection, "HEAD", parts.path.c_str(), nullptr, nullptr, nullptr,
                           flags | (parts.secure ? INTERNET_FLAG_SECURE : 0), 0);
  if (request && send(request, nullptr, 0, nullptr, 0)) return request;
  CloseInternetHandle(request);
  return nullptr;
}
bool SetStatusCallback(HINTERNET session, INTERNET_STATUS_CALLBACK callback) {
  auto fn = Bind<INTERNET_STATUS_CALLBACK(WINAPI*)(HINTERNET, INTERNET_STATUS_CALLBACK)>(
      kSetStatusCallback);
  return fn && fn(session, callback) != INTERNET_INVALID_STATUS_CALLBACK;
}
// `size` comes back as the bytes (for texts: characters) written.
bool QueryInfo(HINTERNET h, DWORD level, void* buffer, DWORD& size) {
  auto fn = Bind<BOOL(WINAPI*)(HINTERNET, DWORD, LPVOID, LPDWORD, LPDWORD)>(kQueryInfo);
  DWORD index = 0;
  return fn && fn(h, level, buffer, &size, &index);
}
// A response header as text; "" when missing.
std::string QueryText(HINTERNET h, DWORD level) {
  char text[1024];
  DWORD size = sizeof text;
  if (!QueryInfo(h, level, text, size) || size >= sizeof text) return {};
  return std::string(text, size);
}
BOOL ReadData(HINTERNET h, void* buffer, DWORD size, DWORD* got) {
  auto fn = Bind<BOOL(WINAPI*)(HINTERNET, LPVOID, DWORD, LPDWORD)>(kReadFile);
  return fn ? fn(h, buffer, size, got) : FALSE;
}
void SetTimeouts(HINTERNET session, DWORD ms) {
  auto fn = Bind<BOOL(WINAPI*)(HINTERNET, DWORD, LPVOID, DWORD)>(kSetOption);
  static constexpr unsigned char kOptions[] = {
      INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT,
      INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT,
      INTERNET_OPTION_DATA_SEND_TIMEOUT};
  if (fn)
    for (unsigned char option : kOptions)
      fn(session, option, &ms, sizeof ms);
}
std::string LastResponseText() {
  auto fn = Bind<BOOL(WINAPI*)(LPDWORD, LPSTR, LPDWORD)>(kGetLastResponseInfo);
  char text[1024];
  DWORD error = 0, size = sizeof text;
  if (!fn || !fn(&error, text, &size) || size >= sizeof text) return {};
  return util::Trim(std::string_view(text, size));
}

// The text of an error code from the system or, for WinINet's own codes,
// from WinINet; "" when neither has one.
std::string ErrorText(DWORD error) {
  if (!g_wininet) return util::SystemErrorText(error);
  char text[512];
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_FROM_HMODULE |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 g_wininet, error, 0, text, sizeof text, nullptr);
  return util::Trim(std::string_view(text, n));
}

constexpr char kDownloadAgent[] = "HTTP_Connect_3";
constexpr char kQueryAgent[] = "HTTP_Connect_2";
constexpr DWORD kTimeoutMs = 180000;
constexpr DWORD kLengthQuery = HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER;
constexpr DWORD kStampQuery = HTTP_QUERY_LAST_MODIFIED | HTTP_QUERY_FLAG_SYSTEMTIME;
// A fresh copy every time, and none left in the cache: setup files are large
// and used once.
constexpr DWORD kDownloadFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;
constexpr DWORD kHeadFlags = kDownloadFlags | INTERNET_FLAG_NO_AUTO_REDIRECT;
// While data flows the thread's queue is serviced at most this often.
constexpr int kServiceIntervalMs = 5;

// The handles of the running download, so a window procedure can close them.
HINTERNET g_session = nullptr;
HINTERNET g_resource = nullptr;


// The Content-Length as a 64-bit number; -1 when missing.
std::int64_t LengthOf(HINTERNET h) {
  const std::int64_t length = util::StrToInt64Def(QueryText(h, HTTP_QUERY_CONTENT_LENGTH), -1);
  return length < 0 ? -1 : length;
}

std::uint32_t ContentLength(HINTERNET h) {
  DWORD length = kUnknownLength, size = sizeof length;
  QueryInfo(h, kLengthQuery, &length, size);
  return length;
}

// The response's status; 0 when there is none (not HTTP).
std::uint32_t StatusCode(HINTERNET h) {
  DWORD status = 0, size = sizeof status;
  QueryInfo(h, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, size);
  return status;
}

std::uint32_t LastModifiedStamp(HINTERNET h) {
  SYSTEMTIME t{};
  DWORD size = sizeof t;
  QueryInfo(h, kStampQuery, &t, size);
  return DosDateTime(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
}

// Calls visit(path, found) for each file beside `target` that begins with
// its name and a dot, until visit returns false.
template <typename Visit> void ForEachFileOf(const std::string& target, Visit visit) {
  const std::string folder = target.substr(0, target.find_last_of("\\/") + 1);
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA((target + ".*").c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
        !visit(folder + found.cFileName, found))
      break;
  } while (FindNextFileA(h, &found));
  FindClose(h);
}

std::string NameOf(const std::string& path) {
  return path.substr(path.find_last_of("\\/") + 1);
}

} // namespace

void DeleteTemporaryFiles(const std::string& target, const std::string& keep) {
  const std::string name = NameOf(target);
  const std::string keepNote = keep.empty() ? keep : ResumeNotePath(keep);
  ForEachFileOf(target, [&](const std::string& path, const WIN32_FIND_DATAA& found) {
    if ((IsTemporaryFileOf(name, found.cFileName) || IsResumeNoteOf(name, found.cFileName)) &&
        !util::EqualsNoCase(path, keep) && !util::EqualsNoCase(path, keepNote))
      DeleteFileA(path.c_str());
    return true;
  });
}

namespace {

// The start of a small file, at most 4 KiB; "" when it cannot be read.
std::string ReadSmallFile(const std::string& path) {
  std::string text;
  platform::ReadWholeFile(path, text, 4096);
  return text;
}

// A partial file an earlier attempt at the target left, with its note.
struct Partial {
  std::string temporary; // "" for none
  ResumeNote note;
  std::uint32_t have = 0;
};

Partial FindPartial(const std::string& target, const std::string& url) {
  const std::string name = NameOf(target);
  Partial partial;
  ForEachFileOf(target, [&](const std::string& path, const WIN32_FIND_DATAA& found) {
    if (!IsTemporaryFileOf(name, found.cFileName) || found.nFileSizeHigh != 0) return true;
    ResumeNote note;
    if (!ParseResumeNote(ReadSmallFile(ResumeNotePath(path)), note) ||
        !CanContinue(note, url, found.nFileSizeLow))
      return true;
    partial = {path, std::move(note), found.nFileSizeLow};
    return false;
  });
  return partial;
}

void DeletePartial(const std::string& temporary) {
  DeleteFileA(temporary.c_str());
  DeleteFileA(ResumeNotePath(temporary).c_str());
}

// errorText = a + b + c.
void SetError(std::string& errorText, std::string_view a, std::string_view b,
              std::string_view c = {}) {
  errorText.assign(a).append(b).append(c);
}

bool Stopped(const TProgBar* progress) {
  return IsDownloadAborted() || (progress && progress->cancelled);
}

void PumpFor(std::uint32_t ms) {
  if (ms == 0)
    ui::YieldXThrottled(kServiceIntervalMs);
  else
    ui::WaitPumping(static_cast<int>(ms));
}

void KillDisplayTimer(std::uintptr_t window, std::uint32_t timerId) {
  KillTimer(reinterpret_cast<HWND>(window), timerId);
}

// --- Waiting for the network without blocking the thread --------------------
// The download's session is asynchronous: WinINet answers a call that would
// block with ERROR_IO_PENDING and reports its end through the status
// callback, on a thread of its own. The callback only records the result
// and sets an event; this thread waits for the event while it services its
// windows, the abort flag and the stall clock, so a close request is
// answered at once and a server that sends nothing cannot hold the thread.
// (A blocking read waits for all the bytes it asked for, and under Wine the
// receive time-outs do not bound it.)

HANDLE g_completed = nullptr;   // manual-reset event, set by the callback
volatile LONG g_waitedFor = 0;  // context of the call being waited for
DWORD_PTR g_asyncResult = 0;
DWORD g_asyncError = 0;
// Between two looks at the event the queue is serviced at least this often.
constexpr DWORD kWaitStepMs = 50;

void CALLBACK OnRequestStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD) {
  if (status != INTERNET_STATUS_REQUEST_COMPLETE ||
      context != static_cast<DWORD_PTR>(g_waitedFor) || !info)
    return;
  const auto* result = static_cast<const INTERNET_ASYNC_RESULT*>(info);
  g_asyncResult = result->dwResult;
  g_asyncError = result->dwError;
  SetEvent(g_completed);
}

// A new context for the next download: completions of an earlier one that
// was given up are ignored.
DWORD_PTR NewContext() {
  if (!g_completed) g_completed = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  return static_cast<DWORD_PTR>(InterlockedIncrement(&g_waitedFor));
}

enum class Waited { kDone, kStopped, kStalled };

Waited AwaitCompletion(const TProgBar* progress, const StallClock& stall) {
  for (;;) {
    if (MsgWaitForMultipleObjects(1, &g_completed, FALSE, kWaitStepMs, QS_ALLINPUT) ==
        WAIT_OBJECT_0)
      return Waited::kDone;
    ui::YieldX();
    if (Stopped(progress)) return Waited::kStopped;
    if (stall.Stalled(util::MillisecondClock())) return Waited::kStalled;
  }
}

// Opens `url` on the download session without following redirects by
// itself; a redirect is followed here, at most kMaxRedirects times. The
// resource's handle goes to g_resource; on failure it stays none and
// `errorText` says why (for a stop, the caller's abort text follows).
void OpenFollowingRedirects(const std::string& url, const std::string& headers,
                            DWORD_PTR context, const TProgBar* progress, StallClock& stall,
                            std::string& errorText, TransferFailure& failure) {
  std::string at = NormalizeUrl(url);
  for (int redirects = 0;; ++redirects) {
    // Nothing to connect to: refused at once (an asynchronous open of such a
    // URL may never report its end).
    if (!HasUrlHost(at)) {
      SetError(errorText, "Unable to open Internet Connection: ", url);
      failure = TransferFailure::kNoConnection;
      return;
    }
    ResetEvent(g_completed);
    HINTERNET h = OpenUrl(g_session, at, kDownloadFlags | INTERNET_FLAG_NO_AUTO_REDIRECT, headers,
                          context);
    if (!h && GetLastError() == ERROR_IO_PENDING) {
      const Waited waited = AwaitCompletion(progress, stall);
      if (waited == Waited::kStopped) return;
      if (waited == Waited::kStalled) {
        errorText = StallError(DownloadDisplayName(url), stall.LimitMs());
        return;
      }
      h = reinterpret_cast<HINTERNET>(g_asyncResult);
    }
    if (!h) {
      SetError(errorText, "Unable to open Internet Connection: ", url);
      failure = TransferFailure::kNoConnection;
      return;
    }
    g_resource = h;
    stall.Progress(util::MillisecondClock());
    const std::string location = QueryText(h, HTTP_QUERY_LOCATION);
    if (!IsRedirectStatus(StatusCode(h)) || location.empty()) return;
    if (redirects == kMaxRedirects) {
      errorText = TooManyRedirectsError(url);
      failure = TransferFailure::kHttpStatus;
      return;
    }
    at = RedirectTarget(at, location);
    CloseInternetHandle(g_resource);
    g_resource = nullptr;
  }
}

// One read of what has arrived, at most `want` bytes, waiting (and
// servicing the queue) until something has. `got` 0 with `ok` is the end
// of the body; `ok` false is a failed read (GetLastError says why).
Waited ReadArrived(char* buffer, DWORD want, DWORD& got, bool& ok, const TProgBar* progress,
                   const StallClock& stall) {
  got = 0;
  ok = true;
  DWORD available = 0;
  ResetEvent(g_completed);
  if (!QueryDataAvailable(g_resource, &available)) {
    if (GetLastError() != ERROR_IO_PENDING) return ok = false, Waited::kDone;
    const Waited waited = AwaitCompletion(progress, stall);
    if (waited != Waited::kDone) return waited;
    if (!g_asyncResult) {
      SetLastError(g_asyncError);
      return ok = false, Waited::kDone;
    }
    // WinINet gives the count in dwError; a read of one byte finds out
    // when it does not.
    available = g_asyncError ? g_asyncError : 1;
  } else if (available == 0) {
    return Waited::kDone;
  }
  // A read given up while pending still writes its count later: into
  // storage that outlives the call (the buffer is the caller's static one).
  static DWORD count;
  count = 0;
  ResetEvent(g_completed);
  if (!ReadData(g_resource, buffer, available < want ? available : want, &count)) {
    if (GetLastError() != ERROR_IO_PENDING) return ok = false, Waited::kDone;
    const Waited waited = AwaitCompletion(progress, stall);
    if (waited != Waited::kDone) return waited;
    if (!g_asyncResult) {
      SetLastError(g_asyncError);
      ok = false;
    }
  }
  got = count;
  return Waited::kDone;
}

std::uint32_t StallLimitFromEnvironment() {
  char text[16];
  const DWORD n = GetEnvironmentVariableA(kStallSecondsVariable, text, sizeof text);
  return StallLimitMs(n < sizeof text ? std::string_view(text, n) : std::string_view());
}

} // namespace

bool IsInternetConnected() {
  DWORD flags = 0;
  return GetConnectedState(&flags) != FALSE;
}

bool IsInternetConnected(std::string& why) {
  why.clear();
  if (IsInternetConnected()) return true;
  const DWORD error = GetLastError();
  why = ErrorText(error);
  if (why.empty()) why = "Unknown error " + util::IntToStr(error);
  return false;
}

std::int64_t HTTP_GetFileSize(const std::string& url) {
  HINTERNET session = OpenSession(kQueryAgent);
  if (!session) return -1;
  std::int64_t size = -1;
  // A HEAD request: the length without the body (under Wine closing a GET
  // reads its whole body). Redirects are followed here, a bounded number.
  std::string at = url;
  UrlParts parts;
  bool refused = !SplitHttpUrl(at, parts);
  for (int redirects = 0; !refused && redirects <= kMaxRedirects; ++redirects) {
    HINTERNET connection = nullptr;
    HINTERNET resource = SendHead(session, parts, kHeadFlags, connection);
    const std::uint32_t status = resource ? StatusCode(resource) : 0;
    const std::string location = resource ? QueryText(resource, HTTP_QUERY_LOCATION) : "";
    if (resource && status < 400 && !IsRedirectStatus(status)) size = LengthOf(resource);
    refused = RefusesHead(status);
    CloseInternetHandle(resource);
    CloseInternetHandle(connection);
    if (!IsRedirectStatus(status) || location.empty()) break;
    at = RedirectTarget(at, location);
    if (!SplitHttpUrl(at, parts)) break;
  }
  // A server that refuses HEAD is asked the old way: open the URL, read
  // the length, close.
  if (refused) {
    if (HINTERNET resource = OpenUrl(session, url, 0)) {
      // An error page's length is not the resource's.
      if (StatusCode(resource) < 400) size = LengthOf(resource);
      CloseInternetHandle(resource);
    }
  }
  util::WriteTraceLine("HTTP_GetFileSize=" + util::IntToStr(size) + "  " + url);
  CloseInternetHandle(session);
  return size;
}

void HTTP_DownloadFile(HWND window, const std::string& url, const std::string& targetFile,
                       std::string& errorText, TProgBar* progress, std::string& content,
                       const DownloadRequest& request, DownloadAnswer* answer) {
  const std::string name = DownloadDisplayName(url);
  errorText.clear();
  content.clear();
  DownloadAnswer ignored;
  if (!answer) answer = &ignored;
  *answer = {};
  const DWORD_PTR context = NewContext();
  StallClock stall(StallLimitFromEnvironment(), util::MillisecondClock());
  // What a failure is, unless a site below says otherwise.
  TransferFailure failure = TransferFailure::kTransfer;

  g_session = OpenSession(kDownloadAgent, INTERNET_FLAG_ASYNC);
  if (!g_session || !g_completed || !SetStatusCallback(g_session, OnRequestStatus)) {
    errorText = "Unable to initialize \"WinINet.dll\"";
    failure = TransferFailure::kNoConnection;
  } else {
    SetTimeouts(g_session, kTimeoutMs);
    // A partial file of an earlier attempt is continued where the server
    // agrees that the resource is still the same one.
    Partial partial;
    if (!targetFile.empty()) partial = FindPartial(targetFile, url);
    const bool askedForRest = !partial.temporary.empty();
    OpenFollowingRedirects(url,
                           askedForRest ? ResumeHeaders(partial.have, partial.note.validator)
                                        : ConditionalHeaders(request.ifChanged),
                           context, progress, stall, errorText, failure);
    if (g_resource && !errorText.empty()) {
      // Too many redirects: no body is read.
    } else if (!g_resource) {
      if (Stopped(progress)) errorText = "Download Aborted";
    } else {
      std::uint32_t size = ContentLength(g_resource);
      const std::uint32_t stamp = LastModifiedStamp(g_resource);
      const std::uint32_t status = StatusCode(g_resource);
      std::uint32_t received = 0;
      if (askedForRest) {
        switch (InterpretResumeAnswer(status, QueryText(g_resource, HTTP_QUERY_CONTENT_RANGE),
                                      partial.have, partial.note.total)) {
        case ResumeAnswer::kContinue:
          size = partial.note.total;
          received = partial.have;
          break;
        case ResumeAnswer::kDiscard:
          DeletePartial(partial.temporary);
          errorText = DiscardError(name);
          break;
        case ResumeAnswer::kStartOver: // the old partial goes with the others
        case ResumeAnswer::kError:     // the status's error follows
          break;
        }
      }
      const bool continuing = received > 0;
      // "Nothing new": the caller keeps what it has.
      answer->notModified = status == 304 && !askedForRest && !request.ifChanged.empty();
      // An error status with a body is no resource: it must not replace
      // the target. (A 200 error page is the callers' test.)
      if (errorText.empty()) {
        errorText = HttpStatusError(url, status);
        if (errorText.empty() && size == 0) SetError(errorText, url, " --- File Not Found !");
        if (!errorText.empty()) failure = TransferFailure::kHttpStatus;
      }
      const std::uint64_t limit = BodyLimit(request.bounds);
      if (!answer->notModified && errorText.empty() && size != kUnknownLength && size > limit)
        errorText = BodyTooLargeError(name, limit);
      if (errorText.empty() && !answer->notModified) {
        if (reinterpret_cast<std::uintptr_t>(window) > 10) ShowWindow(window, SW_SHOW);
        std::string temporary;
        HANDLE out = INVALID_HANDLE_VALUE;
        if (!targetFile.empty()) {
          temporary = continuing ? partial.temporary : TemporaryPath(targetFile, size, stamp);
          DeleteTemporaryFiles(targetFile, continuing ? temporary : std::string());
          out = CreateFileA(temporary.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            continuing ? OPEN_EXISTING : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
          if (out == INVALID_HANDLE_VALUE) {
            SetError(errorText, name, " --- Unable to create file ", temporary);
          } else if (continuing) {
            LONG high = 0; // so the low part counts as unsigned
            SetFilePointer(out, static_cast<LONG>(received), &high, FILE_BEGIN);
            SetEndOfFile(out);
          } else {
            const std::string validator =
                ChooseValidator(QueryText(g_resource, HTTP_QUERY_ETAG),
                                QueryText(g_resource, HTTP_QUERY_LAST_MODIFIED));
            if (IsResumable(size, validator))
              platform::WriteWholeFile(ResumeNotePath(temporary), FormatResumeNote({url, size, validator}));
          }
        }
        const std::uint32_t chunk = ChunkSize(size);
        if (progress) {
          progress->SetRange(ProgressStart(received, chunk), ProgressMaximum(size, chunk));
          progress->SetCaption(name);
        }
        TBytesRate rate(KiloMode(size), MegaMode(size));
        std::string text;
        // Static: a read given up while pending may still write into it.
        static char buffer[kMaxChunk];
        LoopEnd end = LoopEnd::kFailed;
        while (errorText.empty()) {
          // Window procedures run here and may ask to stop.
          ui::YieldXThrottled(kServiceIntervalMs);
          DWORD got = 0;
          if (!Stopped(progress)) {
            // One byte past the limit is enough to know the body passes it.
            const std::uint64_t room = limit - received;
            const DWORD want = room < chunk ? static_cast<DWORD>(room + 1) : chunk;
            bool ok = true;
            const Waited waited = ReadArrived(buffer, want, got, ok, progress, stall);
            if (waited == Waited::kStalled) {
              errorText = StallError(name, stall.LimitMs());
              break;
            }
            if (waited == Waited::kStopped) {
              got = 0;
            } else if (!ok) {
              const DWORD error = GetLastError();
              std::string detail = ErrorText(error);
              if (detail.empty()) detail = LastResponseText();
              SetError(errorText, name, " --- Error downloading file");
              if (!detail.empty()) errorText.append(" (").append(detail).append(")");
              got = 0;
            } else if (received + static_cast<std::uint64_t>(got) > limit) {
              errorText = BodyTooLargeError(name, limit);
              break;
            } else if (got > 0) {
              stall.Received(util::MillisecondClock(), got);
              received += got;
              DWORD written = 0;
              if (out == INVALID_HANDLE_VALUE)
                content.append(buffer, got);
              else if (!WriteFile(out, buffer, got, &written, nullptr) || written != got)
                SetError(errorText, name, " --- Error writing file ", temporary);
              if (progress) {
                rate.MakeText(size, received, text, got);
                progress->SetText(text);
              }
            }
          }
          if (Stopped(progress)) {
            end = LoopEnd::kAborted;
            break;
          }
          if (errorText.empty() && got == 0) {
            end = LoopEnd::kBodyEnded;
            break;
          }
          // More to read, or a failure, which ends the loop as kFailed.
        }
        if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
        const bool complete = IsDownloadComplete(end, size, received, name, errorText);
        if (complete && !temporary.empty()) {
          DeleteFileA(ResumeNotePath(temporary).c_str());
          DeleteFileA(targetFile.c_str());
          if (!MoveFileA(temporary.c_str(), targetFile.c_str()))
            SetError(errorText, name, " --- Unable to replace ", targetFile);
        }
        if (complete && errorText.empty())
          answer->validators = {QueryText(g_resource, HTTP_QUERY_ETAG),
                                QueryText(g_resource, HTTP_QUERY_LAST_MODIFIED)};
      }
    }
    CloseInternetHandle(g_resource);
    CloseInternetHandle(g_session);
    g_resource = g_session = nullptr;
  }
  answer->failure = errorText.empty()   ? TransferFailure::kNone
                    : Stopped(progress) ? TransferFailure::kAborted
                                        : failure;
  if (!errorText.empty())
    util::WriteTraceLine(util::IntToStr(GetCurrentProcessId())
                             .append(" HTTP_DownloadFile_Incremental: ")
                             .append(errorText));
}

void HTTP_CloseOpenHandles() {
  CloseInternetHandle(g_resource);
  CloseInternetHandle(g_session);
  g_resource = g_session = nullptr;
}

void UnloadWinINet() {
  if (g_wininet) FreeLibrary(g_wininet);
  g_wininet = nullptr;
  // Forgotten too: they would point into the freed library.
  for (FARPROC& entry : g_entries)
    entry = nullptr;
}

void InstallMessagePump() {
  SetMessagePump(PumpFor);
  SetTimerKiller(KillDisplayTimer);
}

} // namespace http
