// Modal message boxes: a GTK dialog run in a nested loop on the gtk backend;
// on the headless backend the box is recorded and answered from what the test
// set (see headless/Headless.h). UI thread only.
#pragma once

#include <string>

#include "platform/ui/Messages.h"
#include "platform/ui/Types.h"

// type: MB_OK, MB_OKCANCEL, MB_YESNO, MB_YESNOCANCEL, optionally with an
// MB_ICON* flag. Returns IDOK, IDCANCEL, IDYES or IDNO. An empty caption shows
// the application's name.
int MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type);
