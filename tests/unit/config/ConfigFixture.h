// A fresh configuration for one test: a private registry store (XDG_CONFIG_HOME
// in a temporary folder), the compiled resources, and no configuration object
// left over from an earlier test.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "app/ClientConfig.h"
#include "platform/base/Resources.h"
#include "platform/store/Registry.h"

class ConfigFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/torvane-config-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    m_dir = tmpl;
    setenv("XDG_CONFIG_HOME", m_dir.c_str(), 1);
    store::Close();
    res::testing::Reset();
    ClientConfig::ResetForTesting();
  }
  void TearDown() override {
    ClientConfig::ResetForTesting();
    res::testing::Reset();
    store::Close();
    std::filesystem::remove_all(m_dir);
  }
  // Embeds doc as the configuration and loads it.
  ClientConfig* LoadDocument(const std::string& doc) {
    ClientConfig::ResetForTesting();
    res::testing::Override("XML", 400, doc);
    return ClientConfig::Get();
  }
  std::string DbPath() const { return m_dir + "/velmora/registry.db"; }

  std::string m_dir;
};
