// What both backends keep for a window: the client area the engine draws in
// (its logical pixels), and the drawable the window system shows (real
// pixels). For the player's main window the two differ: the panel's picture
// goes through the presentation transform and the tool-bar strip (the
// chrome) is drawn at the desktop's scale factor above it or, in full
// screen, over it. Other windows (dialogs, message boxes) show their client
// area 1:1.
//
// Owned by its window; single-threaded like the window.
#pragma once

#include <optional>
#include <span>
#include <vector>

#include "platform/framebuffer.h"
#include "platform/presentation.h"
#include "platform/window.h"

namespace nova::platform {

class WindowSurface {
 public:
  WindowSurface(Size logical, int desktop_scale);

  // The engine's client area; a resize keeps the drawable unless the window
  // is unscaled (then both are the same size).
  void set_logical_size(Size s);
  Size logical_size() const { return {m_logical.width(), m_logical.height()}; }
  // The real pixels; a change re-renders everything at the next present.
  void set_drawable_size(Size s);
  Size drawable_size() const { return {m_drawable.width(), m_drawable.height()}; }
  int desktop_scale() const { return m_scale; }
  void set_desktop_scale(int scale);

  void set_layout(const PictureLayout& layout);
  const PictureLayout& layout() const { return m_layout; }
  // The tool-bar strip (in points, `chrome_width()` wide), or nothing.
  void set_chrome(const PixelView* strip);
  bool chrome_shown() const { return m_chrome_shown; }
  int chrome_width() const;

  Framebuffer& logical() { return m_logical; }
  // The client area as last presented.
  const Framebuffer& shown_logical() const { return m_shown; }
  const Framebuffer& drawable() const { return m_drawable; }

  // Takes the client rectangles (all when empty) into the drawable; answers
  // the drawable rectangles that changed.
  std::vector<Rect> present(std::span<const Rect> rects);
  // Everything again (after a resize or an expose).
  std::vector<Rect> repaint();

  // Client (logical) position ↔ drawable pixel.
  PointerPosition to_logical(Point drawable) const;
  Point to_drawable(Point logical) const;
  PictureTransform transform() const;

 private:
  bool scaled() const { return m_layout.scaled; }
  int chrome_rows() const;  // drawable rows the strip covers, 0 when hidden
  Rect picture_area() const;
  void render_chrome(Rect clip);

  Framebuffer m_logical;
  Framebuffer m_shown;
  Framebuffer m_drawable;
  int m_scale = 1;
  PictureLayout m_layout;
  bool m_chrome_shown = false;
  Framebuffer m_chrome;
  PictureScaler m_scaler;
  bool m_stale = true;          // the drawable must be rendered whole
  bool m_chrome_dirty = false;  // the strip alone must be rendered
};

// The part of a Window both backends share: drawing, presenting into the
// surface, the layout and the pointer mapping. A backend adds the window
// system's side (size, place, full screen, showing the drawable).
class SurfaceWindow : public Window {
 public:
  SurfaceWindow(Size logical, int desktop_scale, bool scaled)
      : m_surface(logical, desktop_scale), m_scaled_window(scaled) {}

  void draw_pixels(const PixelView& src, Rect src_rect, Rect dst_rect) override {
    m_surface.logical().draw(src, src_rect, dst_rect);
  }
  void fill(Rect rect, std::uint32_t rgb) override { m_surface.logical().fill(rect, rgb); }
  PixelView back_buffer() const override { return m_surface.shown_logical().view(); }
  Size client_size() const override { return m_surface.logical_size(); }

  void set_picture_layout(const PictureLayout& layout) override {
    PictureLayout l = layout;
    l.scaled = l.scaled && m_scaled_window;
    m_surface.set_layout(l);
  }
  void set_chrome(const PixelView* strip) override { m_surface.set_chrome(strip); }
  int chrome_width() const override { return m_surface.chrome_width(); }
  Size drawable_size() const override { return m_surface.drawable_size(); }
  int desktop_scale() const override { return m_surface.desktop_scale(); }
  PixelView shown_pixels() const override { return m_surface.drawable().view(); }
  PictureTransform picture_transform() const override { return m_surface.transform(); }
  PointerPosition client_position_of(Point drawable) const override { return m_surface.to_logical(drawable); }
  Point drawable_position_of(Point client) const override { return m_surface.to_drawable(client); }

 protected:
  bool scaled_window() const { return m_scaled_window; }
  WindowSurface m_surface;

 private:
  bool m_scaled_window;
};

}  // namespace nova::platform
