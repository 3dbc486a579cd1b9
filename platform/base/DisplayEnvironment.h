// The client's display choice and its children's. The window layer forces
// GDK_BACKEND=x11 for the client (its windows place themselves, which only
// X11 allows; on Wayland it runs through XWayland) and keeps the user's own
// value in this variable, "" when it was unset. Programs the client starts
// get the user's value back (platform/shell), never the saved copy.
//
// Threads: a constant.
#pragma once

inline constexpr char kUserGdkBackendVar[] = "TORVANE_USER_GDK_BACKEND";
