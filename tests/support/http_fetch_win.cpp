// Test support: the WinINet client on its own command line.
//
//   http_fetch.exe URL TARGET|- [--abort-after-ms N] [--size] [--html]
//                  [--expected BYTES] [--cap BYTES] [--if-none-match ETAG]
//
// Downloads URL into TARGET ("-": into a text) with a progress object whose
// procedure counts the events, and prints
//   error=<text>            the error text ("" on success)
//   range=<pos> <max>       the last range event
//   texts=<n> ends=<n>      text and end events
//   last-text=<text>        the last progress text
//   content-bytes=<n>       the body's size in text mode
//   download-ms=<ms>        time spent in HTTP_DownloadFile
//   transfer-ms=<ms>        from the range event (the resource is open, the
//                           read loop about to start) to the return
// --abort-after-ms N: a second thread posts a message to a hidden window of
// this program after N ms; its window procedure sets the abort flag, so the
// download only ends if the loop pumps messages. Then also
//   abort-latency-ms=<ms>   from the post to the download's return.
// --size prints "size=<n>" of HTTP_GetFileSize instead of downloading.
// --html adds "html-page=0|1": IsHtmlErrorPage over TARGET (or the text).
// --expected and --cap are the download's BodyBounds; --if-none-match ETAG
// makes it conditional. Prints "not-modified=0|1" and "etag=" of the answer.
// Exit code 0 when the error text is empty, else 1.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "http/download_abort.h"
#include "http/error_page.h"
#include "http/inet_http.h"
#include "http/prog_bar.h"
#include "util/system_info.h"

namespace {

constexpr UINT kAbortMessage = WM_APP + 7;

int g_rangePosition = -1, g_rangeMaximum = -1, g_texts = 0, g_ends = 0;
std::string g_lastText;
volatile LONGLONG g_postedAt = 0; // MillisecondClock at PostMessage
LONGLONG g_rangeAt = 0;

void CountEvent(http::TProgBar*, int event, int position, int maximum, const std::string& text) {
  if (event == http::kEventRange) {
    g_rangeAt = util::MillisecondClock();
    g_rangePosition = position;
    g_rangeMaximum = maximum;
  } else if (event == http::kEventText) {
    ++g_texts;
    g_lastText = text;
  } else if (event == http::kEventEnd) {
    ++g_ends;
  }
}

LRESULT CALLBACK ProbeWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == kAbortMessage) {
    http::SetDownloadAbort(true);
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

struct AbortPlan {
  HWND window;
  DWORD delayMs;
};

DWORD WINAPI PostAbortLater(void* param) {
  const AbortPlan* plan = static_cast<const AbortPlan*>(param);
  Sleep(plan->delayMs);
  g_postedAt = util::MillisecondClock();
  PostMessageA(plan->window, kAbortMessage, 0, 0);
  return 0;
}

} // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: http_fetch URL TARGET|- [--abort-after-ms N] [--size]\n");
    return 2;
  }
  const std::string url = argv[1];
  const std::string target = std::strcmp(argv[2], "-") == 0 ? std::string() : argv[2];
  int abortAfterMs = -1;
  bool sizeOnly = false, html = false;
  http::DownloadRequest request;
  http::DownloadAnswer answer;
  for (int i = 3; i < argc; ++i) {
    if (std::strcmp(argv[i], "--abort-after-ms") == 0 && i + 1 < argc)
      abortAfterMs = std::atoi(argv[++i]);
    else if (std::strcmp(argv[i], "--size") == 0)
      sizeOnly = true;
    else if (std::strcmp(argv[i], "--html") == 0)
      html = true;
    else if (std::strcmp(argv[i], "--expected") == 0 && i + 1 < argc)
      request.bounds.expected = std::strtoull(argv[++i], nullptr, 10);
    else if (std::strcmp(argv[i], "--if-none-match") == 0 && i + 1 < argc)
      request.ifChanged.etag = argv[++i];
    else if (std::strcmp(argv[i], "--cap") == 0 && i + 1 < argc)
      request.bounds.cap = std::strtoull(argv[++i], nullptr, 10);
  }

  if (sizeOnly) {
    std::printf("size=%lld\n", static_cast<long long>(http::HTTP_GetFileSize(url)));
    return 0;
  }

  http::InstallMessagePump();
  WNDCLASSA wc{};
  wc.lpfnWndProc = ProbeWindowProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "VantorHttpFetchProbe";
  RegisterClassA(&wc);
  HWND window =
      CreateWindowA(wc.lpszClassName, "", 0, 0, 0, 0, 0, nullptr, nullptr, wc.hInstance, nullptr);
  AbortPlan plan{window, static_cast<DWORD>(abortAfterMs)};
  HANDLE thread = nullptr;
  if (abortAfterMs >= 0) thread = CreateThread(nullptr, 0, PostAbortLater, &plan, 0, nullptr);

  std::string error, content;
  LONGLONG started = 0, ended = 0;
  {
    http::TProgBar progress(CountEvent);
    http::SetDownloadAbort(false);
    started = util::MillisecondClock();
    http::HTTP_DownloadFile(nullptr, url, target, error, &progress, content, request, &answer);
    ended = util::MillisecondClock();
    if (thread && g_postedAt != 0)
      std::printf("abort-latency-ms=%d\n", static_cast<int>(ended - g_postedAt));
  }
  if (thread) {
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
  }
  DestroyWindow(window);
  http::UnloadWinINet();

  std::printf("error=%s\n", error.c_str());
  std::printf("range=%d %d\n", g_rangePosition, g_rangeMaximum);
  std::printf("texts=%d ends=%d\n", g_texts, g_ends);
  std::printf("last-text=%s\n", g_lastText.c_str());
  std::printf("content-bytes=%u\n", static_cast<unsigned>(content.size()));
  std::printf("download-ms=%d\n", static_cast<int>(ended - started));
  if (g_rangeAt != 0) std::printf("transfer-ms=%d\n", static_cast<int>(ended - g_rangeAt));
  std::printf("not-modified=%d\netag=%s\n", answer.notModified ? 1 : 0,
              answer.validators.etag.c_str());
  if (html) std::printf("html-page=%d\n", http::IsHtmlErrorPage(target, content) ? 1 : 0);
  return error.empty() ? 0 : 1;
}
