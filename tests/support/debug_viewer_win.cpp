// Test support: owns the ".VDebug." window and writes what the debug channel
// sends to a file, so tests can read a program's trace.
//
//   debug_viewer.exe OUT.txt   appends every piece to OUT.txt and one line
//                              per piece ("<length>") to OUT.txt.pieces;
//                              creates OUT.txt.ready once the window exists
//   debug_viewer.exe --stop    closes a running viewer
#include <windows.h>

#include <string>

namespace {

UINT g_message = 0;
std::string g_out;

void Append(const std::string& path, const std::string& text) {
  HANDLE h = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(h);
}

LRESULT CALLBACK Proc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == g_message && g_message != 0) {
    char text[256];
    UINT n = GlobalGetAtomNameA(static_cast<ATOM>(lp), text, sizeof text);
    Append(g_out, std::string(text, n));
    char line[32];
    wsprintfA(line, "%u\r\n", n);
    Append(g_out + ".pieces", line);
    return 0;
  }
  if (msg == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(wnd, msg, wp, lp);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  if (std::string(argv[1]) == "--stop") {
    HWND viewer = FindWindowA(".VDebug.", nullptr);
    if (viewer) SendMessageA(viewer, WM_CLOSE, 0, 0);
    return viewer ? 0 : 1;
  }
  g_out = argv[1];
  g_message = RegisterWindowMessageA(".V_DebugMsg.");
  WNDCLASSA wc{};
  wc.lpfnWndProc = Proc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = ".VDebug.";
  if (!RegisterClassA(&wc)) return 3;
  HWND wnd = CreateWindowExA(0, ".VDebug.", "debug viewer", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                             nullptr, wc.hInstance, nullptr);
  if (!wnd) return 4;
  Append(g_out, "");
  Append(g_out + ".ready", "");
  MSG m;
  // Bounded: a viewer nobody stops ends by itself after ten minutes.
  SetTimer(wnd, 1, 600000, nullptr);
  while (GetMessageA(&m, nullptr, 0, 0) > 0) {
    if (m.message == WM_TIMER) break;
    DispatchMessageA(&m);
  }
  return 0;
}
