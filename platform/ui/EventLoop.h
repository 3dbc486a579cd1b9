// The display backend and the message loop.
//
// ui::Initialize picks the backend from TORVANE_BACKEND: "gtk" (the default,
// the product) or "headless" (off-screen windows, injected input, a
// deterministic loop for tests). The loop dispatches posted messages in order,
// fires timers, and paints invalidated windows when nothing else is pending.
//
// Threads: Initialize, Run, Pump* and Shutdown on the user-interface thread
// (the thread that called Initialize); PostMessage from anywhere.
#pragma once

#include <functional>
#include <string>

#include "platform/ui/Types.h"

namespace ui {

enum class BackendKind { Gtk, Headless };

// Opens the display. False when it cannot be opened; the reason is on stderr.
bool Initialize(int* argc, char*** argv);
// Forces a backend (tests); call instead of Initialize.
bool InitializeWith(BackendKind kind);
bool IsInitialized();
BackendKind CurrentBackend();
// Destroys every remaining window and closes the display.
void Shutdown();

// Runs until WM_QUIT; returns its exit code.
int RunMessageLoop();
// Dispatches everything that is ready now (posted messages, due timers,
// paints) without waiting; returns whether anything was dispatched.
bool PumpPending();
// Pumps until nothing is ready (no posted message, no due timer, no paint).
void PumpUntilIdle();
// Pumps, waiting for events, until cond() holds or timeoutMs passed; returns cond().
bool PumpUntil(const std::function<bool()>& cond, int timeoutMs);
// Whether WM_QUIT was seen, and its code.
bool QuitRequested();
int QuitCode();
// Clears a seen WM_QUIT (tests that run several loops).
void ResetQuit();

// On SIGTERM or SIGINT the loop posts this message to this window (once per
// signal); with no target set the loop simply quits with code 0.
void SetTerminateMessage(HWND target, UINT message, WPARAM wParam, LPARAM lParam);

// The application's identity on the desktop: the window class (WM_CLASS) of
// every window and the name a .desktop file's StartupWMClass matches. Call
// before the first window is created.
void SetApplicationId(const std::string& id);
const std::string& ApplicationId();

// Whether a message box or a popup menu runs its own nested loop right now.
// Whoever handles a posted message meanwhile runs inside that loop, below the
// caller of the box or menu: it must not delete what that caller uses (the
// main frame defers its end until the loop is over).
bool InModalLoop();
// Answers every open message box with its cancel (or no) answer and closes
// an open popup menu as if dismissed, so their loops end.
void CancelModalLoops();

// Milliseconds of the loop's clock (monotonic; on the headless backend with a
// manual clock, the test's clock).
long long NowMs();

}  // namespace ui
