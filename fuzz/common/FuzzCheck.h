// What the fuzz targets share: FUZZ_CHECK, an assertion that holds in every
// build and ends the process the way libFuzzer records as a finding, and a
// private folder for targets that need files.
//
// Threads: the fuzzing thread only.
#pragma once

#include <ftw.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

// Aborts with the failed condition when cond is false: libFuzzer saves the
// input as a crash.
#define FUZZ_CHECK(cond)                                                                     \
  do {                                                                                       \
    if (!(cond)) {                                                                           \
      std::fprintf(stderr, "FUZZ_CHECK failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__);    \
      std::abort();                                                                          \
    }                                                                                        \
  } while (0)

namespace fuzz {

// A new empty folder under $TMPDIR (else /tmp) that is removed with
// everything in it when the process exits normally.
inline std::string PrivateFolder() {
  static std::string folder;
  if (!folder.empty()) return folder;
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/torvane-fuzz-XXXXXX";
  if (!mkdtemp(pattern.data())) {
    std::perror("torvane fuzz: mkdtemp");
    std::abort();
  }
  folder = pattern;
  std::atexit([] {
    nftw(
        folder.c_str(), [](const char* path, const struct stat*, int, FTW*) { return std::remove(path); }, 16,
        FTW_DEPTH | FTW_PHYS);
  });
  return folder;
}

}  // namespace fuzz
