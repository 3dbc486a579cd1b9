// One stand-in operator server for the whole suite, on a free loopback port,
// and a fresh XDG cache folder for every test.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "tests/support/TestFiles.h"
#include "tools/operator/OperatorProcess.h"

class NetTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = std::make_unique<OperatorProcess>();
    ASSERT_TRUE(server_->Start());
  }
  static void TearDownTestSuite() { server_.reset(); }

  void SetUp() override {
    ASSERT_TRUE(server_ && server_->Running());
    std::string templ = (std::filesystem::temp_directory_path() / "torvane-net-XXXXXX").string();
    ASSERT_NE(mkdtemp(templ.data()), nullptr);
    dir_ = templ;
    setenv("XDG_CACHE_HOME", (dir_ + "/cache").c_str(), 1);
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  static std::string Url(const std::string& path) { return server_->Url(path); }
  // Files in a folder, by name.
  static std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(folder, ec)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  static inline std::unique_ptr<OperatorProcess> server_;
  std::string dir_;
};
