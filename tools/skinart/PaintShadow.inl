// Template body of art::SoftShadow (included by Paint.h).
#pragma once

namespace art {

template <typename Shape>
void SoftShadow(cairo_surface_t* target, Shape shape, double blur, double dx, double dy, Rgba color) {
  int w = cairo_image_surface_get_width(target), h = cairo_image_surface_get_height(target);
  cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, w, h);
  cairo_t* m = cairo_create(mask);
  cairo_translate(m, dx, dy);
  shape(m);
  cairo_set_source_rgba(m, 0, 0, 0, 1);
  cairo_fill(m);
  cairo_destroy(m);
  BlurAlpha(mask, static_cast<int>(blur));
  cairo_t* cr = cairo_create(target);
  cairo_set_source_rgba(cr, color.r, color.g, color.b, color.a);
  cairo_set_operator(cr, CAIRO_OPERATOR_DEST_OVER);
  cairo_mask_surface(cr, mask, 0, 0);
  cairo_destroy(cr);
  cairo_surface_destroy(mask);
}

}  // namespace art
