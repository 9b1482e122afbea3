// The run modes of the stub: setup, spanned relaunch, installed agent and the
// agent's working copy.
#pragma once

namespace startup {

bool X_ExeIsRunning();
bool ThisIs_Plain_AutoUpdate_Exe();
bool ThisIs_X_AutoUpdate_Exe();
bool IsSpanFirstLevel();
bool IsSpanSecondLevel();

// The plain agent: makes and starts its "X_" copy (unless one runs).
void CreateAndRun_X_Exe();
// The plain agent: posts its control switches to the copy's window; true
// when it posted anything.
bool HandleParamOK(bool xExeWasRunning);

// Decides the run mode, applies the single-instance rule and runs the mode.
void DoRunStubWin();

// The stub window with its message loop; returns when the loop ends.
void WinMain();

}  // namespace startup
