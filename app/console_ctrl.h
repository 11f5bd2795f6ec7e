#pragma once
// Ends the message loop when the console the program is attached to asks it to stop.
#include <windows.h>

// The thread whose message loop a console Ctrl+C or close ends.
void setConsoleQuitThread(DWORD threadId) noexcept;

// Called by the system on a thread of its own: TRUE when it handled the event.
BOOL WINAPI ConsoleCtrlHandler(DWORD controlType);
