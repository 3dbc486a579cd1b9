#include "platform/ui/TrayIcon.h"

#include <algorithm>

#include "platform/base/Text.h"
#include "platform/ui/Backend.h"
#include "platform/ui/EventLoop.h"
#include "platform/ui/Window.h"

namespace ui {

TrayState* CurrentTray() {
  Backend* backend = IsInitialized() ? CurrentBackendImpl() : nullptr;
  if (!backend) return nullptr;
  TrayState& tray = backend->tray;
  if (!tray.backend) tray.backend = CurrentBackend() == BackendKind::Gtk ? CreateGtkTray() : CreateHeadlessTray();
  return tray.backend ? &tray : nullptr;
}

}  // namespace ui

namespace {

// The tip as shown: up to the first NUL, valid UTF-8, at most
// kTrayTipMaxChars code points.
std::string CutTip(const std::string& tip) {
  std::string s = text::SanitizeUtf8(std::string_view(tip).substr(0, tip.find('\0')));
  int chars = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) continue;  // continuation byte
    if (++chars > kTrayTipMaxChars) return s.substr(0, i);
  }
  return s;
}

std::vector<ui::TrayState::Icon>::iterator FindIcon(ui::TrayState& tray, HWND hwnd, UINT id) {
  return std::find_if(tray.icons.begin(), tray.icons.end(),
                      [&](const ui::TrayState::Icon& i) { return i.record.hWnd == hwnd && i.record.uID == id; });
}

// The record as the backends see it: only what uFlags names counts.
NOTIFYICONDATA Normalised(const NOTIFYICONDATA& data) {
  NOTIFYICONDATA r;
  r.hWnd = data.hWnd;
  r.uID = data.uID;
  r.uFlags = data.uFlags & (NIF_MESSAGE | NIF_ICON | NIF_TIP);
  if (r.uFlags & NIF_MESSAGE) r.uCallbackMessage = data.uCallbackMessage;
  if (r.uFlags & NIF_ICON) r.hIcon = data.hIcon;
  if (r.uFlags & NIF_TIP) r.szTip = CutTip(data.szTip);
  r.menu = data.menu;
  for (MenuItem& item : r.menu.items) item.text = text::SanitizeUtf8(item.text);
  return r;
}

}  // namespace

BOOL Shell_NotifyIcon(DWORD message, NOTIFYICONDATA* data) {
  ui::TrayState* tray = ui::CurrentTray();
  if (!tray || !data) return FALSE;
  auto it = FindIcon(*tray, data->hWnd, data->uID);
  switch (message) {
    case NIM_ADD: {
      if (it != tray->icons.end() || !IsWindow(data->hWnd)) return FALSE;
      NOTIFYICONDATA record = Normalised(*data);
      std::unique_ptr<ui::NativeTrayIcon> native = tray->backend->AddIcon(record);
      if (!native) return FALSE;
      tray->icons.push_back(ui::TrayState::Icon{std::move(record), std::move(native)});
      return TRUE;
    }
    case NIM_MODIFY: {
      if (it == tray->icons.end()) return FALSE;
      NOTIFYICONDATA change = Normalised(*data);
      NOTIFYICONDATA& r = it->record;
      r.uFlags |= change.uFlags;
      if (change.uFlags & NIF_MESSAGE) r.uCallbackMessage = change.uCallbackMessage;
      if (change.uFlags & NIF_ICON) r.hIcon = change.hIcon;
      if (change.uFlags & NIF_TIP) r.szTip = change.szTip;
      if (!change.menu.name.empty() || !change.menu.items.empty()) r.menu = change.menu;
      it->native->Update(r);
      return TRUE;
    }
    case NIM_DELETE: {
      if (it == tray->icons.end()) return FALSE;
      // The icon is out of the list before it goes, so nothing it does while
      // going finds it.
      std::unique_ptr<ui::NativeTrayIcon> native = std::move(it->native);
      tray->icons.erase(it);
      native.reset();
      return TRUE;
    }
    default:
      return FALSE;
  }
}

TrayKind CurrentTrayKind() {
  ui::TrayState* tray = ui::CurrentTray();
  if (!tray || tray->icons.empty()) return TrayKind::None;
  return tray->icons.front().native->Kind();
}

const char* TrayKindName(TrayKind kind) {
  switch (kind) {
    case TrayKind::StatusNotifier: return "status-notifier";
    case TrayKind::XEmbed: return "xembed";
    case TrayKind::None: break;
  }
  return "none";
}
