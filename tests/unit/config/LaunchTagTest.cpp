// The launch tag cut from the program name the client was started under.
#include <gtest/gtest.h>

#include "app/LaunchTag.h"

namespace {

TEST(LaunchTag, FromTheProgramName) {
  struct Case {
    const char* argv0;
    const char* tag;
  };
  const Case cases[] = {
      {"/home/u/games/client_10086.exe", "10086"},
      {"/home/u/games/client_10086(1).exe", "10086"},  // a second download of the same file
      {"/home/u/games/my_game_77.exe", "77"},           // the last underscore counts
      {"/home/u/games/client.exe", ""},                 // no underscore
      {"/home/u/games/client_.exe", ""},                // nothing after it
      {"client_10086.exe", ""},                         // bare name, no folder
      {"/home/u/games/client_10086", ""},               // no extension, no parenthesis
      {"/home/u/games/client_10086.AppImage", "10086"},
      {"./client_42", ""},
      {"./client_42.run", "42"},
      {"/_10086.exe", ""},                        // the only '/' is the first character
      {"/home/u/_10086.exe", ""},                 // the underscore is the name's first character
      {"/home/u/a_b.c_d/client_5.exe", "5"},      // only the file name counts
      {"/home/u/a_1.b/client", ""},
      {"/home/u/client_1.2.3", "1"},
      {"/home/u/client_(2).exe", ""},
      {"/home/u/games/", ""},
      {"", ""},
      {"/opt/\xE7\x90\xA5\xE7\x8F\x80_\xE4\xB8\x80.exe", "\xE4\xB8\x80"},
  };
  for (const auto& c : cases) EXPECT_EQ(GetLaunchTag(c.argv0), c.tag) << c.argv0;
}

TEST(LaunchTag, FromArgv) {
  char name[] = "/games/client_10086.exe";
  char* argv[] = {name, nullptr};
  EXPECT_EQ(GetLaunchTag(1, argv), "10086");
  EXPECT_EQ(GetLaunchTag(0, argv), "");
  EXPECT_EQ(GetLaunchTag(0, nullptr), "");
}

}  // namespace
