// The plain value records of the skin description: one per window element,
// IMG, RECT, BTN, TEXT and FONT. Windows and buttons copy them and keep their
// copies; copying a SkinImageInfo shares its image object.
//
// Texts are UTF-8; colours are 0x00BBGGRR. The initial values are the ones a
// record has before its element is read.
//
// Threads: plain values; any thread may copy them.
#pragma once

#include <memory>
#include <string>

#include "platform/ui/Types.h"

class CImageEx;

// What hotcolor holds while a BTN is read and its hotcolor has not been set;
// no parsed colour reaches it.
constexpr COLORREF kUnsetColor = 0x1000000;

struct SkinWindowInfo {
  int logo = 0;
  int strech = 0;
  int titleHeight = 0;
  int width = 0;
  int height = 0;
  int border = 1;
  COLORREF color = 0xFFFFFF;
  COLORREF bgcolor = 0xFFFFFF;
  std::string name;  // set by the caller: the element to read
  std::string title;
  std::string font;
};

struct SkinButtonInfo {
  COLORREF color = 0xFFFFFF;
  COLORREF hotcolor = 0xFFFFFF;  // equal to color once read
  int style = 0;
  int check = 0;
  int left = 0;
  int top = 0;
  std::string name;
  std::string title;
  int stand = 0;
  int flashStand = 0;  // base id of the image set shown while flashing; no attribute sets it
  int icon = 0;
  int icon1 = 0;
  std::string font;
  std::string align = "TopLeft";
  std::string tip;
};

struct SkinTextInfo {
  COLORREF color = 0xFFFFFF;
  RECT rect;  // left, top, left + width, top + height
  std::string name;
  std::string title;
  std::string font;
  std::string align = "TopLeft";
};

struct SkinRectInfo {
  int strech = 0;
  int border = 0;
  RECT rect;  // left, top, left + width, top + height
  std::string name;
  std::string font;
  std::string align = "TopLeft";
};

struct SkinImageInfo {
  int strech = 0;
  int left = 0;
  int top = 0;
  RECT size;  // 0, 0, width, height
  std::string name;
  int stand = 0;
  std::string align = "TopLeft";
  int arc = 0;
  int visible = 1;  // windows show and hide images by name
  std::shared_ptr<CImageEx> image;  // loaded while the record is read
};

struct SkinFontInfo {
  int size = 0;
  int style = 0;
  std::string name;  // set by the caller: the font to look up
  std::string family;
};
