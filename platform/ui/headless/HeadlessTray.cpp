// The headless display's notification area and popup menus: icons keep
// their record and show under the one kind of tray the test lets the display
// offer; menus are recorded and answered from a queue. See Headless.h.
#include <algorithm>
#include <deque>
#include <vector>

#include "platform/ui/Backend.h"
#include "platform/ui/EventLoop.h"
#include "platform/ui/headless/Headless.h"

namespace ui {
namespace {

class HeadlessTrayIcon;

class HeadlessTray final : public TrayBackend {
 public:
  std::unique_ptr<NativeTrayIcon> AddIcon(const NOTIFYICONDATA& record) override;

  UINT TrackPopup(const MenuPopup& popup, UINT flags, int x, int y, HWND owner) override {
    menus.push_back(headless::MenuRecord{popup, flags, POINT{x, y}, owner});
    if (answers.empty()) return 0;
    UINT id = answers.front();
    answers.pop_front();
    return id;
  }

  // Headless menus are answered at once: never open.
  void EndMenu() override {}

  // The display offers another kind of tray: every icon hears of it.
  void Offer(TrayKind kind);

  TrayKind offered = TrayKind::StatusNotifier;
  TrayKind beforeGone = TrayKind::StatusNotifier;
  std::vector<HeadlessTrayIcon*> icons;  // the live icons, not owned
  std::deque<UINT> answers;
  std::vector<headless::MenuRecord> menus;
};

class HeadlessTrayIcon final : public NativeTrayIcon {
 public:
  HeadlessTrayIcon(HeadlessTray& tray, const NOTIFYICONDATA& record) : m_tray(tray), m_record(record) {
    m_tray.icons.push_back(this);
  }
  ~HeadlessTrayIcon() override { std::erase(m_tray.icons, this); }

  void Update(const NOTIFYICONDATA& record) override { m_record = record; }
  TrayKind Kind() const override { return m_tray.offered; }

  // The shell's notification with a mouse message or NIN_TRAYCHANGED.
  void Notify(LPARAM what) const {
    if (m_record.uCallbackMessage)
      ::PostMessage(m_record.hWnd, m_record.uCallbackMessage, m_record.uID, what);
  }
  void Command(UINT id) const { ::PostMessage(m_record.hWnd, WM_COMMAND, id, 0); }
  const NOTIFYICONDATA& Record() const { return m_record; }

 private:
  HeadlessTray& m_tray;
  NOTIFYICONDATA m_record;
};

std::unique_ptr<NativeTrayIcon> HeadlessTray::AddIcon(const NOTIFYICONDATA& record) {
  return std::make_unique<HeadlessTrayIcon>(*this, record);
}

void HeadlessTray::Offer(TrayKind kind) {
  if (kind == offered) return;
  offered = kind;
  for (HeadlessTrayIcon* icon : icons) icon->Notify(NIN_TRAYCHANGED);
}

HeadlessTray* Tray() {
  TrayState* state = CurrentBackend() == BackendKind::Headless ? CurrentTray() : nullptr;
  return state ? static_cast<HeadlessTray*>(state->backend.get()) : nullptr;
}

// The icon the test API speaks of: the first one up.
HeadlessTrayIcon* FirstIcon() {
  HeadlessTray* tray = Tray();
  TrayState* state = tray ? CurrentTray() : nullptr;
  if (!state || state->icons.empty()) return nullptr;
  return static_cast<HeadlessTrayIcon*>(state->icons.front().native.get());
}

// The first icon while a tray shows it.
HeadlessTrayIcon* ShownIcon() {
  HeadlessTrayIcon* icon = FirstIcon();
  return icon && icon->Kind() != TrayKind::None ? icon : nullptr;
}

}  // namespace

std::unique_ptr<TrayBackend> CreateHeadlessTray() { return std::make_unique<HeadlessTray>(); }

namespace headless {

void QueueMenuAnswer(UINT id) {
  if (HeadlessTray* t = Tray()) t->answers.push_back(id);
}
const std::vector<MenuRecord>& MenusShown() {
  static const std::vector<MenuRecord> none;
  HeadlessTray* t = Tray();
  return t ? t->menus : none;
}
void ClearMenus() {
  if (HeadlessTray* t = Tray()) t->menus.clear();
}

void SetTrayKind(TrayKind kind) {
  if (HeadlessTray* t = Tray()) t->Offer(kind);
}
void TrayHostGone() {
  HeadlessTray* t = Tray();
  if (!t || t->offered == TrayKind::None) return;
  t->beforeGone = t->offered;
  t->Offer(TrayKind::None);
}
void TrayHostBack() {
  HeadlessTray* t = Tray();
  if (t && t->offered == TrayKind::None) t->Offer(t->beforeGone);
}

bool TrayIconShown() { return ShownIcon() != nullptr; }
std::string TrayTip() {
  HeadlessTrayIcon* icon = FirstIcon();
  return icon ? icon->Record().szTip : std::string();
}
std::string TrayIconBytes() {
  HeadlessTrayIcon* icon = FirstIcon();
  return icon ? icon->Record().hIcon : std::string();
}
MenuPopup TrayMenu() {
  HeadlessTrayIcon* icon = FirstIcon();
  return icon ? icon->Record().menu : MenuPopup{};
}

bool TrayLeftClick() {
  HeadlessTrayIcon* icon = ShownIcon();
  if (!icon) return false;
  icon->Notify(WM_LBUTTONDOWN);
  return true;
}
bool TrayRightClick() {
  HeadlessTrayIcon* icon = ShownIcon();
  if (!icon) return false;
  icon->Notify(WM_RBUTTONDOWN);
  return true;
}
bool TrayChooseMenuItem(UINT id) {
  HeadlessTrayIcon* icon = ShownIcon();
  if (!icon || icon->Kind() != TrayKind::StatusNotifier || !icon->Record().menu.HasCommand(id)) return false;
  icon->Command(id);
  return true;
}

}  // namespace headless
}  // namespace ui
