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

// What the window's timer ticks drive (the setup road, the agent's checks),
// chosen by the entry above this layer; none leaves the window idle,
// steerable by the control messages.
using TimerWork = void (*)(HWND mainWindow);
void SetTimerWork(TimerWork work);

HWND MainWindow();
HWND StatusLabel();
HWND SecondBar();

void SetStatusText(HWND label, const std::string& text, const std::string& fontName, int charset,
                   int points);
// The progress callback of unpacking and transfers: mode 0 sets up, mode 1
// advances (shown within a few hundredths of a second), mode 2 empties both
// bars.
void StubProgress(int mode, int maximum, int step, int start);
void DestroyMainWindow();
bool CloseMainWindow();

}  // namespace startup
