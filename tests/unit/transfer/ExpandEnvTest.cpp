#include <gtest/gtest.h>
#include <stdlib.h>

#include "transfer/ExpandEnv.h"

TEST(ExpandEnvironmentStrings, ExpandsTheAcceptedFormsAndLeavesTheRest) {
  setenv("TV_A", "/alpha", 1);
  setenv("TV_EMPTY", "", 1);
  unsetenv("TV_UNSET");
  unsetenv("TEMP");
  unsetenv("TMP");
  setenv("TMPDIR", "/var/tmpdir", 1);
  struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"%TV_A%/x.exe", "/alpha/x.exe"},
      {"$TV_A/x", "/alpha/x"},
      {"${TV_A}x", "/alphax"},
      {"%TEMP%/update.sh", "/var/tmpdir/update.sh"},  // TEMP falls back to TMPDIR
      {"$TMP/u", "/var/tmpdir/u"},
      {"%TV_UNSET%/x", "%TV_UNSET%/x"},  // unset: stays as written
      {"$TV_UNSET/x", "$TV_UNSET/x"},
      {"%TV_EMPTY%x", "x"},
      {"100%", "100%"},
      {"a%%b", "a%%b"},
      {"%TV_UNSET%%TV_A%", "%TV_UNSET%/alpha"},
      {"$", "$"},
      {"$1/x", "$1/x"},
      {"${bad name}", "${bad name}"},
      {"/plain/path", "/plain/path"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(transfer::ExpandEnvironmentStrings(c.in), c.out) << c.in;

  unsetenv("TMPDIR");
  EXPECT_EQ(transfer::ExpandEnvironmentStrings("%TEMP%/a"), "/tmp/a");
  setenv("TEMP", "/given", 1);
  EXPECT_EQ(transfer::ExpandEnvironmentStrings("%TEMP%/a"), "/given/a");
  unsetenv("TEMP");
}

TEST(ExpandEnvironmentStrings, AResultLongerThanAPathIsEmpty) {
  setenv("TV_LONG", std::string(3000, 'x').c_str(), 1);
  EXPECT_EQ(transfer::ExpandEnvironmentStrings("/%TV_LONG%"), "/" + std::string(3000, 'x'));
  EXPECT_EQ(transfer::ExpandEnvironmentStrings("/%TV_LONG%/%TV_LONG%"), "");
}
