// CSkinButton: the button of the skinned windows. A child window of the
// platform's "Button" class that shows one image of a three-image set
// (normal, hover, pressed), optionally a title, an icon and a badge, has a
// tooltip, and reports clicks to its window as ordinary button clicks
// (WM_COMMAND with BN_CLICKED and its control id).
//
// It never paints its own window: the owning window composes its whole
// client area and asks each visible button to draw itself into that
// composition (DrawButton). The button's window is there for mouse input,
// the cursor, the tooltip and the click.
//
// Images, icon, badge and fonts come from the skin the owner hands over
// (SetSkin; the process-wide skin when none was given).
//
// Threads: the user-interface thread only. Timer 1 (the blink) runs on its
// message loop.
#pragma once

#include <array>
#include <memory>
#include <string>

#include "platform/gfx/TextDraw.h"
#include "platform/ui/Button.h"
#include "platform/ui/ToolTip.h"
#include "skin/ImageEx.h"
#include "skin/SkinRecords.h"

class SkinDocument;

class CSkinButton : public CButton {
 public:
  // The blink timer and its period.
  static constexpr UINT_PTR kFlashTimer = 1;
  static constexpr UINT kFlashPeriodMs = 500;
  // The size of a button whose normal and hover images are both empty.
  static constexpr SIZE kFallbackSize{50, 20};
  // The badge's bottom-right corner, from the button's top-left.
  static constexpr int kBadgeCorner = 62;

  CSkinButton();
  ~CSkinButton() override;

  // The skin whose images and fonts the button uses; call before Setup.
  // Null (the default) means the process-wide skin.
  void SetSkin(SkinDocument* skin) { m_pSkin = skin; }

  // Creates the child window: class "Button", owner-drawn, visible, empty
  // rectangle, the given control id. True on success.
  virtual BOOL Create(CWnd* parent, UINT id);
  // Loads the images, sizes, places and shows the button, registers its tip
  // with the owner's tooltip control (may be null), sets the title layout.
  // Always true.
  virtual BOOL Setup(const SkinButtonInfo& info, CToolTipCtrl* tooltip);
  // Draws the state image, icon, title and badge at the button's rectangle,
  // into the owner's composition (owner client coordinates).
  virtual void DrawButton(HDC dc);
  // Chooses the state image; when it changed, resizes the button (keeping
  // its top-left corner) and asks the owner to repaint.
  virtual void UpdateState();

  // Replaces the image set; false (no images, size kept) when normal is 0.
  bool LoadImages(int normal, int hover, int pressed);
  // Replaces the image set by base, base + 1, base + 2 (none for base 0) and
  // asks the owner to repaint.
  void SetImage(int base);
  void FreeImages();
  // Re-anchors the button against the owner's client rectangle.
  void Relayout(const RECT& client);
  // Replaces the title and asks the owner to repaint.
  void SetText(const std::string& text);
  // Starts or stops blinking (timer 1, every 500 ms).
  void SetFlash(bool on);

  // The button's rectangle in its owner's client coordinates.
  RECT GetRectInParent() const;

  SkinButtonInfo info;
  bool handCursor = false;  // the hand cursor over the button

  // State, for the owner and for tests.
  bool IsHover() const { return m_bHover; }
  bool IsPressed() const { return m_bPressed; }
  bool IsChecked() const { return m_bChecked; }
  bool IsFlashing() const { return m_bFlashing; }
  int CurrentBaseId() const { return m_nCurrentBaseId; }
  // 0 normal, 1 hover, 2 pressed; -1 when the button shows no state image.
  int CurrentImageIndex() const;
  const CImageEx* CurrentImage() const { return m_pCurrentImage; }

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  SkinDocument* Skin() const;
  std::shared_ptr<CImageEx> Load(int id) const;
  // The size the button takes for the image it shows: that image's size, or,
  // for an empty one, the size LoadImages gave the set.
  SIZE SizeFor(const CImageEx* image) const;
  void InvalidateOwner();
  void OnRelease(POINT p);
  void OnBlink();

  SkinDocument* m_pSkin = nullptr;
  std::array<std::shared_ptr<CImageEx>, 3> m_images;  // normal, hover, pressed; null when not loaded
  const CImageEx* m_pCurrentImage = nullptr;
  std::shared_ptr<CImageEx> m_iconImage;
  std::shared_ptr<CImageEx> m_badgeImage;
  int m_nCurrentBaseId = 0;
  SIZE m_setSize;  // the size LoadImages chose for the current set
  gfx::TextFormat m_format;
  bool m_bHover = false;
  bool m_bPressed = false;
  bool m_bChecked = false;
  bool m_bTracking = false;
  bool m_bFlashing = false;
  bool m_bDrawnHot = false;  // hover or checked at the last UpdateState
};
