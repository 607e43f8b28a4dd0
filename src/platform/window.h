// Windows and the display.
//
// A Window owns a client-area back buffer of 32-bit pixels. The engine draws
// into it with draw_pixels (converting 32-, 16- and 15-bit sources and
// scaling them) and shows the changed parts with present. The tool bar, the
// settings dialog's controls and the composed screen all reach the window
// that way, so both backends show exactly the same pixels.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/presentation.h"
#include "platform/types.h"

namespace nova::platform {

class EditControl;
enum class EditKind : std::uint8_t;

struct DisplayMode {
  int width = 0;
  int height = 0;
  int bit_count = 0;
  int refresh_rate = 0;
  friend bool operator==(const DisplayMode&, const DisplayMode&) = default;
};

// What a window remembers to come back from full screen: its outer position
// and client size in windowed mode.
struct WindowPlacement {
  Point position;
  Size client_size;  // the window's size in points (the client area's for unscaled windows)
  bool bordered = true;
  friend bool operator==(const WindowPlacement&, const WindowPlacement&) = default;
};

struct WindowSpec {
  std::string caption;  // Shift-JIS
  Size client_size{640, 480};
  bool resizable = false;
  bool visible = true;
  // The player's main window: real pixels on high-density desktops, a
  // client area that the presentation transform scales (set_picture_layout),
  // and full screen as a window covering the display at the desktop's size.
  bool scaled = false;
};

// How a scaled window shows its client area. The client area keeps the
// engine's size (the title's screen and the tool bar's dock); the window's
// real size is its own.
struct PictureLayout {
  bool scaled = false;           // off: the client area is shown 1:1
  Rect panel;                    // the picture, in client coordinates
  int chrome_height = 0;         // the tool-bar strip, in points (its client rows are above the panel)
  bool chrome_overlays = false;  // full screen: the strip lies over the picture while shown
  ScaleMode mode = ScaleMode::Fit;
  ScaleFilter filter = ScaleFilter::Auto;
};

// A pointer position in client coordinates, and whether it lies on the
// tool-bar strip rather than the picture (positions on the black bars lie
// outside the panel).
struct PointerPosition {
  Point client;
  bool on_chrome = false;
};

// A cursor picture made from 32-bit pixels with alpha (0xAARRGGBB).
struct CursorImage {
  int width = 0;
  int height = 0;
  Point hotspot;
  std::vector<std::uint32_t> argb;
};

class Cursor {
 public:
  virtual ~Cursor() = default;
};

class Window {
 public:
  virtual ~Window() = default;

  // Distinguishes events of this window from others' (Event::window).
  virtual std::uint32_t id() const = 0;

  virtual void set_caption(std::string_view sjis) = 0;
  virtual std::string caption() const = 0;

  // The client area (the engine's pixels). Setting it keeps the window's
  // top-left corner; a scaled window keeps its real size.
  virtual void set_client_size(Size size) = 0;
  virtual Size client_size() const = 0;

  // The outer top-left corner in desktop coordinates.
  virtual void set_position(Point p) = 0;
  virtual Point position() const = 0;
  // The decoration around the client area (left, top, right, bottom sizes),
  // zero when borderless. Centring uses the outer size.
  virtual Rect frame_extents() const = 0;

  virtual void set_bordered(bool on) = 0;
  virtual bool bordered() const = 0;

  virtual void show() = 0;
  virtual void hide() = 0;
  virtual bool visible() const = 0;

  // Full screen in the display mode of that index (Platform::display_modes),
  // or back to the window for −1. Returns the index in force afterwards,
  // which differs from the request when the mode could not be set. A scaled
  // window never changes the display's mode: it covers the display at the
  // desktop's size, whatever mode was asked for.
  virtual int set_fullscreen(int mode_index) = 0;
  virtual int fullscreen_mode() const = 0;

  virtual WindowPlacement placement() const = 0;
  virtual void set_placement(const WindowPlacement& p) = 0;

  // Copies `src_rect` of `src` into the back buffer at `dst_rect` (client
  // coordinates), stretched by nearest neighbour when the sizes differ.
  // Both rectangles are clipped; nothing is shown until present.
  virtual void draw_pixels(const PixelView& src, Rect src_rect, Rect dst_rect) = 0;
  // Fills a client rectangle of the back buffer with 0x00RRGGBB.
  virtual void fill(Rect rect, std::uint32_t rgb) = 0;
  // Shows the given client rectangles of the back buffer (all of it when
  // `rects` is empty).
  virtual void present(std::span<const Rect> rects) = 0;
  // The back buffer as it was last presented, 32-bit 0x00RRGGBB, for
  // screenshots and tests. Valid until the next call on the window.
  virtual PixelView back_buffer() const = 0;

  // The pointer in client coordinates; moving it warps the system pointer
  // (through the presentation transform in a scaled window) and the window
  // hears of it as a pointer move. Native Wayland refuses warps: there the
  // pointer stays where the user put it.
  virtual Point cursor_position() const = 0;
  virtual void set_cursor_position(Point p) = 0;
  // nullptr restores the default arrow. A cursor replaces a hidden
  // pointer.
  virtual void set_cursor(const Cursor* cursor) = 0;
  // No pointer over the client area until the next set_cursor.
  virtual void hide_cursor() = 0;
  // While on, the pointer's moves and its button release reach this window
  // even outside it (a press held from the panel to elsewhere).
  virtual void set_mouse_capture(bool on) = 0;
  virtual bool mouse_captured() const = 0;

  // A native text-entry control over the client area (edit and memo
  // components). Throws PlatformError until the backend supports it.
  virtual std::unique_ptr<EditControl> create_edit(EditKind kind) = 0;

  // --- The scaled main window -------------------------------------------------
  // The picture's placement and scaling; unscaled windows ignore it.
  virtual void set_picture_layout(const PictureLayout& layout) = 0;
  // The tool-bar strip, `chrome_width()` points wide and the layout's chrome
  // height tall, drawn at the desktop's scale; nullptr hides it. Shown at
  // the next present.
  virtual void set_chrome(const PixelView* strip) = 0;
  virtual int chrome_width() const = 0;
  // The window's client size in points (what the window system calls its
  // size), and in real pixels (the drawable: points × the desktop's scale).
  virtual Size view_size() const = 0;
  virtual void set_view_size(Size points) = 0;
  virtual Size drawable_size() const = 0;
  virtual int desktop_scale() const = 0;
  // What the window shows, in real pixels (0x00RRGGBB), as last presented.
  virtual PixelView shown_pixels() const = 0;
  virtual PictureTransform picture_transform() const = 0;
  // Drawable pixel → client position, and back (the centre of the pixels
  // that show a client pixel).
  virtual PointerPosition client_position_of(Point drawable) const = 0;
  virtual Point drawable_position_of(Point client) const = 0;

  // The X11 window id under the SDL backend (for tests that ask the X server
  // about the window), 0 elsewhere.
  virtual std::uint64_t native_handle() const = 0;
};

}  // namespace nova::platform
