// Skinned windows on the headless display: a fixture with a manual clock and
// a private configuration folder, skins made from XML text (images from the
// executable's resources, every decode counted), recording windows of both
// kinds, and pixel helpers.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cairo.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/ClientConfig.h"
#include "platform/base/Resources.h"
#include "platform/gfx/Surface.h"
#include "platform/ui/EventLoop.h"
#include "platform/ui/headless/Headless.h"
#include "skin/SkinDocument.h"
#include "windows/SkinWnd.h"
#include "windows/SkinWnd2.h"

namespace wtest {

// A skin document from XML text; images are the "PNG" resources.
struct TestSkin {
  int decodes = 0;
  std::vector<std::string> failures;
  std::unique_ptr<SkinDocument> doc;
};

inline std::unique_ptr<TestSkin> MakeSkin(const std::string& xml) {
  auto skin = std::make_unique<TestSkin>();
  TestSkin* raw = skin.get();
  SkinDocument::Environment env;
  env.loadImage = [raw](int id) -> std::shared_ptr<CImageEx> {
    ++raw->decodes;
    auto image = std::make_shared<CImageEx>();
    return image->LoadFromResource(id) ? image : nullptr;
  };
  env.reportImageFailure = [raw](const std::string& text) { raw->failures.push_back(text); };
  skin->doc = std::make_unique<SkinDocument>(env);
  skin->doc->Load(xml);
  return skin;
}

// The embedded default skin (XML 401).
inline std::unique_ptr<TestSkin> DefaultSkin() {
  auto bytes = res::Find("XML", 401);
  return MakeSkin(bytes ? std::string(reinterpret_cast<const char*>(bytes->data()), bytes->size()) : "");
}

constexpr DWORD kExStyle = WS_EX_APPWINDOW;
constexpr DWORD kStyle = WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX;

// What both recording windows record.
struct Record {
  std::vector<std::string> commands;  // OnSkinCommand, the button names
  std::vector<WPARAM> clickCommands;  // WM_COMMAND wParams
  int closeRequests = 0;
};

class TestLayered : public CSkinWnd {
 public:
  TestLayered(TestSkin* skin, const std::string& element) : CSkinWnd(element), m_skin(skin) {}
  Record rec;
  BOOL Create() { return CreateWnd(GetDesktopWindow(), kExStyle, kStyle); }
  void OnSkinCommand(const SkinButtonInfo& info) override { rec.commands.push_back(info.name); }
  void OnCloseRequest() override { ++rec.closeRequests; }
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_COMMAND) rec.clickCommands.push_back(wParam);
    return CSkinWnd::WindowProc(message, wParam, lParam);
  }
  const skinwnd::ButtonList& Buttons() const { return m_buttons; }
  SIZE ClientSize() const { return SIZE{m_nWidth, m_nHeight}; }
  BOOL Minimized() const { return m_bMinimized; }
  const SkinWindowInfo& Info() const { return m_info; }
  const std::string& IconBytes() const { return m_hIcon; }

 protected:
  SkinDocument* Skin() const override { return m_skin ? m_skin->doc.get() : nullptr; }

 private:
  TestSkin* m_skin;
};

class TestFramed : public CSkinWnd2 {
 public:
  explicit TestFramed(const std::string& element) : CSkinWnd2(element) {}
  Record rec;
  bool handleClose = false;  // count OnCloseRequest without the default click
  BOOL Create() { return CreateWnd(GetDesktopWindow(), kExStyle, kStyle); }
  void OnSkinCommand(const SkinButtonInfo& info) override { rec.commands.push_back(info.name); }
  void OnCloseRequest() override {
    ++rec.closeRequests;
    if (!handleClose) CSkinWnd2::OnCloseRequest();
  }
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_COMMAND) rec.clickCommands.push_back(wParam);
    return CSkinWnd2::WindowProc(message, wParam, lParam);
  }
  const skinwnd::ButtonList& Buttons() const { return m_buttons; }
  SIZE ClientSize() const { return SIZE{m_nWidth, m_nHeight}; }
  BOOL Minimized() const { return m_bMinimized; }
  const SkinWindowInfo& Info() const { return m_info; }
  void SetDraggable(BOOL on) { m_bDraggable = on; }
};

class WindowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/torvane-windows-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    m_dir = tmpl;
    setenv("XDG_CONFIG_HOME", (m_dir + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (m_dir + "/data").c_str(), 1);
    ASSERT_TRUE(ui::InitializeWith(ui::BackendKind::Headless));
    ui::headless::SetWorkArea(RECT{0, 0, 1920, 1050});
    ui::headless::SetManualClock(true);
  }
  void TearDown() override {
    g_pSkin = nullptr;
    ui::headless::SetManualClock(false);
    ui::Shutdown();
    ui::ResetQuit();
    ClientConfig::ResetForTesting();
    std::filesystem::remove_all(m_dir);
  }

  // Makes the skin the framed windows read.
  TestSkin* UseFramedSkin(std::unique_ptr<TestSkin> skin) {
    m_framedSkin = std::move(skin);
    g_pSkin = m_framedSkin->doc.get();
    return m_framedSkin.get();
  }

  std::string m_dir;
  std::unique_ptr<TestSkin> m_framedSkin;
};

// The button's rectangle in its window's client coordinates.
inline RECT RectOf(const CSkinButton& b) { return b.GetRectInParent(); }

inline std::unique_ptr<CImageEx> Png(int id) {
  auto image = std::make_unique<CImageEx>();
  image->LoadFromResource(id);
  return image;
}

// A copy of what the window shows now.
inline gfx::Surface Snapshot(HWND top) {
  RECT r;
  GetClientRect(top, &r);
  gfx::Surface copy = gfx::Surface::Create(std::max(1, r.right), std::max(1, r.bottom), gfx::PixelFormat::Argb32);
  if (copy.empty()) return copy;
  for (int y = 0; y < copy.height(); ++y)
    for (int x = 0; x < copy.width(); ++x)
      reinterpret_cast<std::uint32_t*>(copy.data() + y * copy.stride())[x] = ui::headless::Pixel(top, x, y);
  copy.MarkDirty();
  return copy;
}

// What the window shows under a button: a snapshot taken with the button hidden.
inline gfx::Surface Under(HWND top, CWnd& button) {
  button.ShowWindow(SW_HIDE);
  ui::PumpUntilIdle();
  gfx::Surface under = Snapshot(top);
  button.ShowWindow(SW_SHOW);
  ui::PumpUntilIdle();
  return under;
}

// An image drawn at a place.
struct Placed {
  int id;
  int x, y;
};

// How many pixels of the last image's rectangle the window shows as `under`
// with the images drawn over it in order (and how many there are).
struct Match {
  int pixels = 0;
  int equal = 0;
};
inline Match MatchImagesAt(HWND top, const gfx::Surface& under, std::initializer_list<Placed> images) {
  Match m;
  gfx::Surface ref = gfx::Surface::Create(under.width(), under.height(), gfx::PixelFormat::Argb32);
  std::memcpy(ref.data(), under.data(), static_cast<std::size_t>(under.stride()) * under.height());
  ref.MarkDirty();
  RECT last{};
  {
    gfx::Canvas canvas(ref);
    for (const Placed& p : images) {
      std::unique_ptr<CImageEx> image = Png(p.id);
      last = RECT{p.x, p.y, p.x + image->GetWidth(), p.y + image->GetHeight()};
      image->DrawImage(canvas.dc(), last);
    }
  }
  cairo_surface_flush(ref.cairoSurface());
  for (int y = std::max(0L, static_cast<long>(last.top)); y < std::min<long>(last.bottom, ref.height()); ++y)
    for (int x = std::max(0L, static_cast<long>(last.left)); x < std::min<long>(last.right, ref.width()); ++x) {
      ++m.pixels;
      m.equal += ui::headless::Pixel(top, x, y) == ref.Pixel(x, y);
    }
  return m;
}
inline Match MatchImageAt(HWND top, const gfx::Surface& under, int id, int x, int y) {
  return MatchImagesAt(top, under, {Placed{id, x, y}});
}

// The window shows `under` with the images drawn over it, over the last
// image's rectangle.
inline ::testing::AssertionResult ShowsImagesAt(HWND top, const gfx::Surface& under,
                                                std::initializer_list<Placed> images) {
  Match m = MatchImagesAt(top, under, images);
  const Placed& last = *(images.end() - 1);
  if (m.pixels == 0) return ::testing::AssertionFailure() << "image " << last.id << " has no pixels in the window";
  if (m.equal != m.pixels)
    return ::testing::AssertionFailure() << "image " << last.id << " at " << last.x << "," << last.y << ": "
                                         << m.equal << " of " << m.pixels << " pixels as expected";
  return ::testing::AssertionSuccess();
}
inline ::testing::AssertionResult ShowsImageAt(HWND top, const gfx::Surface& under, int id, int x, int y) {
  return ShowsImagesAt(top, under, {Placed{id, x, y}});
}

// Pixels of the rectangle (clipped to the frame) for which pred holds.
template <class Pred>
int CountPixels(HWND top, const RECT& r, Pred pred) {
  int n = 0;
  for (int y = r.top; y < r.bottom; ++y)
    for (int x = r.left; x < r.right; ++x) n += pred(ui::headless::Pixel(top, x, y)) ? 1 : 0;
  return n;
}

inline bool IsReddish(std::uint32_t p) {
  int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
  return r > 200 && g < 60 && b < 60;
}
inline bool IsBluish(std::uint32_t p) {
  int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
  return b > 200 && g < 60 && r < 60;
}

// Two windows show the same pixels over their whole frames.
inline ::testing::AssertionResult SameFrames(HWND a, HWND b) {
  auto* fa = ui::headless::Frame(a);
  auto* fb = ui::headless::Frame(b);
  if (!fa || !fb) return ::testing::AssertionFailure() << "no frame";
  RECT ra, rb;
  GetClientRect(a, &ra);
  GetClientRect(b, &rb);
  if (!(ra == rb)) return ::testing::AssertionFailure() << "sizes differ";
  for (int y = 0; y < ra.bottom; ++y)
    for (int x = 0; x < ra.right; ++x)
      if (ui::headless::Pixel(a, x, y) != ui::headless::Pixel(b, x, y))
        return ::testing::AssertionFailure() << "pixel " << x << "," << y << " differs";
  return ::testing::AssertionSuccess();
}

}  // namespace wtest
