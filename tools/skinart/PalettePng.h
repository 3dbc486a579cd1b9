// Writes an ARGB32 cairo surface as an 8-bit palette PNG with transparency:
// fully transparent pixels share entry 0; the others are reduced to at most
// 255 colours (with their alpha) by median cut, with error diffusion on the
// opaque pixels so gradients do not band.
#pragma once

#include <cairo.h>

#include <string>

namespace art {

bool WritePalettePng(cairo_surface_t* argb, const std::string& path);

}  // namespace art
