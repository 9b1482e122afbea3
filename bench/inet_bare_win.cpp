// The yardstick of bench/download.sh: a plain WinINet download, 8 KiB
// InternetReadFile calls straight into a file, with no window, no message
// pumping and no progress object.
//
//   inet_bare.exe URL TARGET    prints "download-ms=<ms>" and "bytes=<n>"
#include <windows.h>
#include <wininet.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: inet_bare URL TARGET\n");
    return 2;
  }
  // Two clocks, as http_fetch has: the whole call from before the session
  // opens, and the transfer from the moment the resource is open.
  LARGE_INTEGER frequency, start, opened, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  HINTERNET session = InternetOpenA("inet_bare", INTERNET_OPEN_TYPE_PRECONFIG, "", nullptr, 0);
  HINTERNET resource =
      session ? InternetOpenUrlA(session, argv[1], nullptr, 0,
                                 INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0)
              : nullptr;
  HANDLE out = CreateFileA(argv[2], GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (!resource || out == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "inet_bare: cannot open %s or %s\n", argv[1], argv[2]);
    return 1;
  }
  QueryPerformanceCounter(&opened);
  static char buffer[8192];
  unsigned long long total = 0;
  DWORD got = 0, written = 0;
  while (InternetReadFile(resource, buffer, sizeof buffer, &got) && got > 0) {
    WriteFile(out, buffer, got, &written, nullptr);
    total += got;
  }
  CloseHandle(out);
  InternetCloseHandle(resource);
  InternetCloseHandle(session);
  QueryPerformanceCounter(&end);
  const auto ms = [&](const LARGE_INTEGER& from) {
    return static_cast<int>((end.QuadPart - from.QuadPart) * 1000 / frequency.QuadPart);
  };
  std::printf("download-ms=%d\ntransfer-ms=%d\nbytes=%llu\n", ms(start), ms(opened), total);
  return 0;
}
