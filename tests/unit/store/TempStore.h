// A private registry store for one test: XDG_CONFIG_HOME points at a fresh
// temporary folder, removed afterwards.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "platform/store/Registry.h"

class TempStore : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/torvane-store-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    m_dir = tmpl;
    setenv("XDG_CONFIG_HOME", m_dir.c_str(), 1);
    store::Close();
  }
  void TearDown() override {
    store::Close();
    std::filesystem::remove_all(m_dir);
  }
  std::string DbPath() const { return m_dir + "/velmora/registry.db"; }

  std::string m_dir;
};
