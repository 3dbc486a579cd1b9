// A headless display for each test, torn down after it.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/ui/EventLoop.h"
#include "platform/ui/Window.h"
#include "platform/ui/headless/Headless.h"

class UiTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(ui::InitializeWith(ui::BackendKind::Headless)); }
  void TearDown() override {
    ui::headless::SetManualClock(false);
    ui::Shutdown();
    ui::ResetQuit();
  }
};

// A window that records the messages it gets and lets a test handle some.
class RecordingWnd : public CWnd {
 public:
  struct Entry {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
  };
  std::vector<Entry> log;
  std::function<bool(UINT, WPARAM, LPARAM, LRESULT*)> handler;

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    log.push_back({message, wParam, lParam});
    LRESULT result = 0;
    if (handler && handler(message, wParam, lParam, &result)) return result;
    return CWnd::WindowProc(message, wParam, lParam);
  }
  int Count(UINT message) const {
    int n = 0;
    for (const auto& e : log) n += e.message == message;
    return n;
  }
  const Entry* Last(UINT message) const {
    for (auto it = log.rbegin(); it != log.rend(); ++it)
      if (it->message == message) return &*it;
    return nullptr;
  }
  BOOL CreateTop(int x, int y, int w, int h, DWORD exStyle = 0) {
    return CreateEx(exStyle, "Test", "top", WS_POPUP, x, y, w, h, GetDesktopWindow());
  }
  BOOL CreateChild(CWnd* parent, int x, int y, int w, int h, UINT id) {
    return CreateEx(0, "Child", "", WS_CHILD | WS_VISIBLE, x, y, w, h, parent->m_hWnd, id);
  }
};
