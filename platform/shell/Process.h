// Starting other programs from a command line, without a shell and without
// waiting for them.
//
// The command line is read the way a user of this desktop would expect:
// - when the whole line names an existing file, that file is the program and
//   it gets no arguments (so "/opt/My Games/setup.exe" needs no quotes);
// - otherwise the line is split into words as a POSIX shell splits them
//   (blanks separate words; '...' and "..." quote; a backslash escapes the
//   next character outside single quotes) with no expansion of any kind; the
//   first word is the program, looked up on PATH when it holds no '/'.
// A program file without its owner's run bit gets it before it starts (a
// downloaded package arrives without one). The child starts with default
// signal dispositions and an empty signal mask, inherits the environment,
// the current folder and standard input, output and error, and no other
// open file.
//
// Thread safety: may be called from any thread.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

namespace shell {

// The program and its arguments for commandLine, by the rules above; empty
// when the line holds no word or has an unterminated quote.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

// Starts the program. True when the process started. With pid null the child
// is reaped in the background; with pid given the caller receives its id and
// must wait for it.
bool StartProcess(std::string_view commandLine, pid_t* pid = nullptr);

// Starts argv[0] (a path or a name looked up on PATH) with the given arguments.
bool StartProgram(const std::vector<std::string>& argv, pid_t* pid = nullptr);

// This process's environment as a started program should see it
// ("NAME=value"): GDK_BACKEND as the user had it (platform/base/DisplayEnvironment.h).
std::vector<std::string> ChildEnvironment();

}  // namespace shell
