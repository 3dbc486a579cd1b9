// PNG decoding and encoding with libpng.
//
// Threads: any thread; no shared state.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/gfx/Surface.h"

namespace gfx {

// Decodes PNG bytes. A source with an alpha channel, or with a transparency
// chunk (such as a palette image with transparency), becomes an Argb32
// surface whose colours are NOT yet premultiplied: each pixel holds the
// file's blue, green, red and alpha; the caller premultiplies before drawing.
// Any other source becomes an opaque Rgb24 surface. 16-bit channels are cut
// to 8 bits, grey is widened to RGB, interlacing is undone.
// Truncated, corrupt or oversized data (a side above kMaxDimension) gives an
// empty surface; the decoder never reads outside `bytes`.
Surface DecodePng(std::span<const std::uint8_t> bytes);

// Encodes a surface as a PNG: Argb32 as 8-bit RGBA (colours un-premultiplied),
// Rgb24 as 8-bit RGB. Empty on failure.
std::vector<std::uint8_t> EncodePng(const Surface& surface);

// EncodePng written to a file; false when encoding or writing fails.
bool WritePngFile(const Surface& surface, const std::string& path);

}  // namespace gfx
