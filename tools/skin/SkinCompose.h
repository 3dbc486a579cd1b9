// What a skinned window of one skin element draws, composed into a surface
// without a window system: the skin tool's "render" and the skin benchmark
// use it. Until the skinned windows draw themselves, it follows their paint
// order: framed windows fill their background colour, draw their images
// (stretch modes, nine-part margins), each button's normal image, the logo
// and title when the element asks for them, and the texts; layered windows
// start transparent, draw their images whole at their anchored places, the
// buttons' normal images and the texts.
//
// Threads: the user-interface thread (Pango, the skin document).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/gfx/Surface.h"
#include "skin/ImageEx.h"
#include "skin/SkinDocument.h"
#include "skin/SkinRecords.h"

enum class WindowKind { Layered, Framed };

// The records of one element, as a window keeps them after building itself,
// and each button's normal image (null when its stand is 0 or it does not
// load).
struct SkinScene {
  SkinWindowInfo info;
  std::vector<SkinImageInfo> images;
  std::vector<SkinRectInfo> rects;
  std::vector<SkinButtonInfo> buttons;
  std::vector<SkinTextInfo> texts;
  std::vector<std::shared_ptr<CImageEx>> buttonImages;
};

// Reads the element in the windows' order: window record, images, rects,
// buttons (and their images), texts.
SkinScene LoadScene(SkinDocument& doc, const std::string& element);

// A button's size as the skinned button takes it: its normal image's size;
// with an empty normal image the hover image's; else 50 x 20; 0 x 0 without
// images (stand 0).
SIZE ButtonSize(SkinDocument& doc, const SkinButtonInfo& button, const CImageEx* normal);

struct ComposeOptions {
  // Decode every image (window images and button images) again for this
  // render, as the layered window does, instead of using the scene's.
  bool decodeEachRender = false;
};

// The window's client area at width x height (each 1 to gfx::kMaxDimension),
// premultiplied ARGB32; empty for a size outside that range.
gfx::Surface ComposeScene(SkinDocument& doc, const SkinScene& scene, WindowKind kind, int width, int height,
                          const ComposeOptions& options = {});
