// A headless display, scripted engines and a recording host for the browser
// view's tests: the host stands in for the main frame, the launcher and the
// game windows, and records what the views ask of them.
#pragma once

#include <gtest/gtest.h>

#include "platform/ui/EventLoop.h"
#include "platform/ui/Window.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/ScriptedEngine.h"

class BrowserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ui::InitializeWith(ui::BackendKind::Headless));
    ASSERT_TRUE(frame.CreateTop());
    host.mainFrame = frame.m_hWnd;
    g_pIEViewHost = &host;
  }
  void TearDown() override {
    g_pIEViewHost = nullptr;
    frame.DestroyWindow();
    ui::Shutdown();
    ui::ResetQuit();
  }
  static void Pump() { scripted::ScriptedEngine::PumpEverything(); }

  scripted::ScriptedEngine::Install engines;
  RecordingHost host;
  MessageLogWnd frame;  // the main frame's window
};
