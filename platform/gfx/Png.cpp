#include "platform/gfx/Png.h"

#include <png.h>

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <memory>

namespace gfx {
namespace {

struct MemoryReader {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t offset;
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t length) {
  auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
  if (length > reader->size - reader->offset) png_error(png, "truncated PNG data");
  std::memcpy(out, reader->data + reader->offset, length);
  reader->offset += length;
}

void SilentWarning(png_structp, png_const_charp) {}

void ErrorExit(png_structp png, png_const_charp) { png_longjmp(png, 1); }

// State that must survive a longjmp out of libpng lives on the heap, owned by
// the caller's unique_ptr, so nothing is left half-constructed on the stack.
struct DecodeState {
  png_structp png = nullptr;
  png_infop info = nullptr;
  Surface surface;
  std::vector<png_bytep> rows;
  ~DecodeState() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

bool Decode(DecodeState& st, MemoryReader& reader) {
  if (setjmp(png_jmpbuf(st.png))) return false;
  png_set_read_fn(st.png, &reader, ReadFromMemory);
  png_set_user_limits(st.png, kMaxDimension, kMaxDimension);
  png_set_chunk_malloc_max(st.png, 64u << 20);
  png_read_info(st.png, st.info);

  png_uint_32 width = 0, height = 0;
  int depth = 0, colorType = 0, interlace = 0;
  png_get_IHDR(st.png, st.info, &width, &height, &depth, &colorType, &interlace, nullptr, nullptr);
  bool alpha = (colorType & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(st.png, st.info, PNG_INFO_tRNS);

  if (depth == 16) png_set_strip_16(st.png);
  if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(st.png);
  if (colorType == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(st.png);
  if (png_get_valid(st.png, st.info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(st.png);
  if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(st.png);
  png_set_bgr(st.png);
  if (!alpha) png_set_filler(st.png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(st.png);
  png_read_update_info(st.png, st.info);
  if (png_get_rowbytes(st.png, st.info) != static_cast<png_size_t>(width) * 4) return false;

  st.surface = Surface::Create(static_cast<int>(width), static_cast<int>(height),
                               alpha ? PixelFormat::Argb32 : PixelFormat::Rgb24);
  if (st.surface.empty()) return false;
  std::uint8_t* base = st.surface.data();
  int stride = st.surface.stride();
  st.rows.resize(height);
  for (png_uint_32 y = 0; y < height; ++y) st.rows[y] = base + static_cast<std::size_t>(y) * stride;
  png_read_image(st.png, st.rows.data());
  png_read_end(st.png, nullptr);
  st.surface.MarkDirty();
  return true;
}

struct Writer {
  std::vector<std::uint8_t> out;
};

void WriteToMemory(png_structp png, png_bytep data, png_size_t length) {
  auto* w = static_cast<Writer*>(png_get_io_ptr(png));
  w->out.insert(w->out.end(), data, data + length);
}

void FlushNothing(png_structp) {}

struct EncodeState {
  png_structp png = nullptr;
  png_infop info = nullptr;
  std::vector<std::uint8_t> pixels;
  std::vector<png_bytep> rows;
  ~EncodeState() { png_destroy_write_struct(&png, info ? &info : nullptr); }
};

bool Encode(EncodeState& st, const Surface& s, Writer& writer) {
  if (setjmp(png_jmpbuf(st.png))) return false;
  bool alpha = s.hasAlpha();
  int channels = alpha ? 4 : 3;
  int w = s.width(), h = s.height();
  st.pixels.resize(static_cast<std::size_t>(w) * h * channels);
  const std::uint8_t* src = s.data();
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* row = src + static_cast<std::size_t>(y) * s.stride();
    std::uint8_t* out = st.pixels.data() + static_cast<std::size_t>(y) * w * channels;
    for (int x = 0; x < w; ++x, row += 4, out += channels) {
      unsigned b = row[0], g = row[1], r = row[2];
      if (alpha) {
        unsigned a = row[3];
        if (a == 0) {
          r = g = b = 0;
        } else if (a < 255) {
          r = std::min(255u, (r * 255 + a / 2) / a);
          g = std::min(255u, (g * 255 + a / 2) / a);
          b = std::min(255u, (b * 255 + a / 2) / a);
        }
        out[3] = static_cast<std::uint8_t>(a);
      }
      out[0] = static_cast<std::uint8_t>(r);
      out[1] = static_cast<std::uint8_t>(g);
      out[2] = static_cast<std::uint8_t>(b);
    }
  }
  st.rows.resize(h);
  for (int y = 0; y < h; ++y) st.rows[y] = st.pixels.data() + static_cast<std::size_t>(y) * w * channels;
  png_set_write_fn(st.png, &writer, WriteToMemory, FlushNothing);
  png_set_IHDR(st.png, st.info, w, h, 8, alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(st.png, st.info);
  png_write_image(st.png, st.rows.data());
  png_write_end(st.png, st.info);
  return true;
}

}  // namespace

Surface DecodePng(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < 8 || png_sig_cmp(bytes.data(), 0, 8) != 0) return {};
  auto st = std::make_unique<DecodeState>();
  st->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, ErrorExit, SilentWarning);
  if (!st->png) return {};
  st->info = png_create_info_struct(st->png);
  if (!st->info) return {};
  MemoryReader reader{bytes.data(), bytes.size(), 0};
  if (!Decode(*st, reader)) return {};
  return std::move(st->surface);
}

std::vector<std::uint8_t> EncodePng(const Surface& surface) {
  if (surface.empty()) return {};
  auto st = std::make_unique<EncodeState>();
  st->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, ErrorExit, SilentWarning);
  if (!st->png) return {};
  st->info = png_create_info_struct(st->png);
  if (!st->info) return {};
  Writer writer;
  if (!Encode(*st, surface, writer)) return {};
  return std::move(writer.out);
}

bool WritePngFile(const Surface& surface, const std::string& path) {
  std::vector<std::uint8_t> bytes = EncodePng(surface);
  if (bytes.empty()) return false;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = std::fclose(f) == 0 && ok;
  return ok;
}

}  // namespace gfx
