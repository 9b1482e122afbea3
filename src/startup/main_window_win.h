// The stub window: status text, file progress bar and pulse bar; hidden in
// agent mode, where it is the timer source and the target of control
// messages.
#pragma once

#include <windows.h>

#include <string>

namespace startup {

inline constexpr UINT kMsgStopRequest = WM_USER + 99;     // 1123
inline constexpr UINT kMsgRegisterListener = WM_USER + 100;  // 1124
inline constexpr UINT kMsgAgentCommand = WM_USER + 101;   // 1125

HWND MainWindow();
HWND StatusLabel();
HWND ProgressBar();
HWND SecondBar();

void SetStatusText(HWND label, const std::string& text, const std::string& fontName, int charset,
                   int points);
// The progress callback of unpacking and transfers: mode 0 sets up, mode 1
// advances.
void StubProgress(int mode, int maximum, int step, int start);
void DestroyMainWindow();
bool CloseMainWindow();

}  // namespace startup
