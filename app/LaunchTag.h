// The launch tag: the part of the client's start-up file name between its
// last '_' and the first following '(' or '.', so a client downloaded as
// client_10086.exe (or client_10086(1).exe) carries the tag 10086. The main
// frame keeps it as m_strLaunchTag.
//
// Pure; any thread.
#pragma once

#include <string>
#include <string_view>

// The tag from the program name on the command line (argv[0]). The file name
// is what follows the last '/'; a name without a '/' (or whose only '/' is
// its first character) gives "", as does a file name without a '_' after its
// first character or without a following '(' or '.'.
std::string GetLaunchTag(std::string_view programName);

// The same for argv as main receives it; "" when there is no argument.
std::string GetLaunchTag(int argc, char** argv);
