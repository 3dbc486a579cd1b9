// The host site's fixed answers and the engine settings they become.
#include <gtest/gtest.h>

#include "browser/DocHostSite.h"
#include "browser/IEView.h"

namespace {

struct UrlActionCase {
  std::uint32_t action;
  std::uint32_t size;
  HRESULT result;
  bool written;
};

TEST(DocHostSite, ProcessUrlActionAllowsControlsAndScriptsOnly) {
  const UrlActionCase cases[] = {
      {0x1200, 4, S_OK, true},    {0x13FF, 4, S_OK, true},   {0x1400, 4, S_OK, true},
      {0x1406, 4, S_OK, true},    {0x15FF, 8, S_OK, true},   {0x11FF, 4, INET_E_DEFAULT_ACTION, false},
      {0x1600, 4, INET_E_DEFAULT_ACTION, false},              {0x1A00, 4, INET_E_DEFAULT_ACTION, false},
      {0x1200, 3, S_FALSE, false}, {0x1400, 0, S_FALSE, false}, {0x2000, 0, INET_E_DEFAULT_ACTION, false},
  };
  for (const UrlActionCase& c : cases) {
    std::uint8_t buffer[8];
    std::memset(buffer, 0xAB, sizeof buffer);
    EXPECT_EQ(CDocHostSite::ProcessUrlAction(c.action, buffer, c.size), c.result) << std::hex << c.action;
    std::uint32_t first;
    std::memcpy(&first, buffer, 4);
    EXPECT_EQ(first, c.written ? URLPOLICY_ALLOW : 0xABABABABu) << std::hex << c.action;
    EXPECT_EQ(buffer[4], 0xAB) << "nothing beyond the 32-bit policy is written";
  }
  EXPECT_EQ(CDocHostSite::ProcessUrlAction(0x1400, nullptr, 4), S_FALSE);
}

TEST(DocHostSite, QueryServiceHandsOutOnlyTheSecurityManager) {
  CDocHostSite site(nullptr);
  void* out = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(site.QueryService(SID_SInternetSecurityManager, IID_IInternetSecurityManager, &out), S_OK);
  EXPECT_EQ(out, &site);
  out = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(site.QueryService(SID_SInternetSecurityManager, IID_IDocHostUIHandler, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  out = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(site.QueryService(IID_IDocHostUIHandler, IID_IInternetSecurityManager, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(site.QueryService(SID_SInternetSecurityManager, IID_IInternetSecurityManager, nullptr), E_NOINTERFACE);
}

TEST(DocHostSite, AnswersBecomeEngineSettings) {
  CIEView view;
  CDocHostSite site(&view);
  EXPECT_EQ(site.ShowMessage(), S_FALSE);
  EXPECT_EQ(site.ShowHelp(), E_NOTIMPL);
  EXPECT_EQ(site.ShowContextMenu(), S_FALSE);
  EXPECT_EQ(site.TranslateAccelerator(), E_NOTIMPL);
  DOCHOSTUIINFO info;
  info.pchHostCss = "kept";
  EXPECT_EQ(site.GetHostInfo(&info), S_OK);
  EXPECT_EQ(info.cbSize, 20u);
  EXPECT_EQ(info.dwFlags, 0x0004000Cu);
  EXPECT_EQ(info.dwDoubleClick, 0u);
  EXPECT_STREQ(info.pchHostCss, "kept");

  web::EngineOptions o = site.EngineOptions();
  EXPECT_TRUE(o.javascript);
  EXPECT_FALSE(o.scrollBars);
  EXPECT_FALSE(o.border);
  EXPECT_TRUE(o.engineContextMenu);
  EXPECT_TRUE(o.engineScriptDialogs);
}

}  // namespace
