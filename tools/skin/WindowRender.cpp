#include "tools/skin/WindowRender.h"

#include <cairo.h>

#include <algorithm>
#include <memory>

#include "platform/ui/EventLoop.h"
#include "platform/ui/headless/Headless.h"
#include "windows/SkinWnd.h"
#include "windows/SkinWnd2.h"

namespace {

constexpr DWORD kExStyle = WS_EX_APPWINDOW;
constexpr DWORD kStyle = WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX;

class LayeredView : public CSkinWnd {
 public:
  LayeredView(SkinDocument* doc, const std::string& element) : CSkinWnd(element), m_doc(doc) {}
  void OnSkinCommand(const SkinButtonInfo&) override {}
  void OnCloseRequest() override {}

 protected:
  SkinDocument* Skin() const override { return m_doc; }

 private:
  SkinDocument* m_doc;
};

// The framed window with a fixed title: the tool reads no client configuration.
class FramedView : public CSkinWnd2 {
 public:
  using CSkinWnd2::CSkinWnd2;

 protected:
  std::string WindowTitle() const override { return "torvane-skin"; }
};

// Puts the named button into its hover (and, with press, pressed) state.
bool Reach(CWnd& top, CSkinButton* button, const std::string& name, bool press, std::string* error) {
  if (!button) {
    *error = "no button " + name;
    return false;
  }
  RECT r = button->GetRectInParent();
  if (r.Width() <= 0 || r.Height() <= 0) {
    *error = "button " + name + " has no size";
    return false;
  }
  int x = r.left + r.Width() / 2, y = r.top + r.Height() / 2;
  ui::headless::MouseMove(top.m_hWnd, x, y);
  ui::headless::AdvanceClock(1);  // the mouse rests on it
  if (!button->IsHover()) {
    *error = "button " + name + " is covered by another window at its centre";
    return false;
  }
  if (press) ui::headless::MouseDown(top.m_hWnd, x, y);
  return true;
}

}  // namespace

gfx::Surface RenderSkinWindow(SkinDocument& doc, const std::string& element, const WindowRenderRequest& request,
                              std::string* error) {
  std::string ignored;
  if (!error) error = &ignored;
  const bool ownDisplay = !ui::IsInitialized();
  if (ownDisplay && !ui::InitializeWith(ui::BackendKind::Headless)) {
    *error = "cannot open the headless display";
    return {};
  }
  if (ui::CurrentBackend() != ui::BackendKind::Headless) {
    *error = "the headless display is needed";
    return {};
  }
  ui::headless::SetWorkArea(RECT{0, 0, std::max(1920, request.width), std::max(1050, request.height)});
  ui::headless::SetManualClock(true);

  gfx::Surface out;
  {
    SkinDocument* const savedSkin = g_pSkin;
    std::unique_ptr<CWnd> wnd;
    CSkinButton* hover = nullptr;
    CSkinButton* press = nullptr;
    bool created = false;
    if (request.kind == WindowKind::Layered) {
      auto layered = std::make_unique<LayeredView>(&doc, element);
      created = layered->CreateWnd(GetDesktopWindow(), kExStyle, kStyle);
      if (created) {
        layered->MoveWindow(0, 0, request.width, request.height, TRUE);
        layered->Show(TRUE);
        if (!request.hover.empty()) hover = layered->FindButton(request.hover);
        if (!request.press.empty()) press = layered->FindButton(request.press);
      }
      wnd = std::move(layered);
    } else {
      g_pSkin = &doc;
      auto framed = std::make_unique<FramedView>(element);
      created = framed->CreateWnd(GetDesktopWindow(), kExStyle, kStyle);
      if (created) {
        framed->MoveWindow(0, 0, request.width, request.height, TRUE);
        framed->Show(TRUE);
        if (!request.hover.empty()) hover = framed->FindButton(request.hover);
        if (!request.press.empty()) press = framed->FindButton(request.press);
      }
      wnd = std::move(framed);
    }
    ui::PumpUntilIdle();
    bool ok = created;
    if (!created) *error = "cannot create the window";
    if (ok && !request.hover.empty()) ok = Reach(*wnd, hover, request.hover, false, error);
    if (ok && !request.press.empty()) ok = Reach(*wnd, press, request.press, true, error);
    ui::PumpUntilIdle();
    cairo_surface_t* frame = ok ? ui::headless::Frame(wnd->m_hWnd) : nullptr;
    if (ok && !frame) *error = "the window shows nothing";
    if (frame) {
      out = gfx::Surface::Create(request.width, request.height, gfx::PixelFormat::Argb32);
      if (!out.empty()) {
        gfx::Canvas canvas(out);
        cairo_set_operator(canvas.dc(), CAIRO_OPERATOR_SOURCE);
        cairo_set_source_surface(canvas.dc(), frame, 0, 0);
        cairo_paint(canvas.dc());
      }
      if (out.empty()) *error = "cannot create the surface";
    }
    wnd.reset();
    g_pSkin = savedSkin;
  }
  ui::headless::SetManualClock(false);
  if (ownDisplay) ui::Shutdown();
  return out;
}
