// The few controls the player draws itself: the tool-bar strip of the main
// window and the controls of the settings dialog (label, check box, track
// bar, push button). They draw with the font service into a Canvas, which
// the window shows with draw_pixels / present, so they look the same under
// both backends and can be driven by scripted input.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dialogs.h"
#include "platform/events.h"
#include "platform/fonts.h"
#include "platform/types.h"

namespace nova::platform {

// 32-bit 0x00RRGGBB pixels.
class Canvas {
 public:
  Canvas() = default;
  Canvas(int width, int height) { resize(width, height); }

  void resize(int width, int height);
  int width() const { return m_width; }
  int height() const { return m_height; }
  std::uint32_t pixel(int x, int y) const { return m_pixels[static_cast<std::size_t>(y * m_width + x)]; }
  PixelView view() const {
    return PixelView{reinterpret_cast<const std::uint8_t*>(m_pixels.data()), m_width, m_height, m_width * 4,
                     PixelFormat::Xrgb32};
  }

  void fill(Rect r, std::uint32_t rgb);
  void frame(Rect r, std::uint32_t rgb);
  // A dotted rectangle, as focus marks are drawn.
  void focus_frame(Rect r, std::uint32_t rgb);
  void blend_pixel(int x, int y, std::uint32_t rgb, int alpha);  // alpha 0..255

 private:
  int m_width = 0;
  int m_height = 0;
  std::vector<std::uint32_t> m_pixels;
};

// Text in the user-interface face, antialiased.
class UiText {
 public:
  // `face` is Shift-JIS; nullptr font service gives a text that draws and
  // measures nothing.
  UiText(FontService& fonts, std::string_view face, int height);

  // Captions may hold "&" before the accelerator letter ("&S"); "&&" is a
  // literal "&". The marker is not drawn; the letter is underlined.
  struct Caption {
    std::string text;      // without markers, Shift-JIS
    int accelerator = -1;  // byte offset of the underlined character, or −1
    char key = 0;          // the accelerator key, upper-case ASCII, or 0
  };
  static Caption parse_caption(std::string_view sjis_caption);

  int width(std::string_view sjis);
  int height() const { return m_height; }
  int ascent() const;
  // Draws with the top of the cell at y.
  void draw(Canvas& canvas, int x, int y, std::string_view sjis, std::uint32_t rgb, int underline_at = -1);

 private:
  std::unique_ptr<Font> m_font;
  int m_height;
};

// The tool bar: buttons side by side from the left, each `button_width` ×
// `button_height`, in a dock of button_height + 4 pixels.
class ToolBar {
 public:
  ToolBar(FontService& fonts, std::vector<std::string> sjis_captions, int button_width = 67, int button_height = 18);

  int dock_height() const { return m_button_height + 4; }
  Rect button_rect(int index) const;
  int button_count() const { return static_cast<int>(m_captions.size()); }

  // Feeds a mouse event in tool-bar coordinates. Answers the index of the
  // button clicked (pressed and released on it), else −1.
  int handle(const Event& e);
  // Redraws into a canvas of the given width; `dirty` tells whether the look
  // changed since the last draw.
  const Canvas& draw(int width);
  bool dirty() const { return m_dirty; }

 private:
  UiText m_text;
  std::vector<std::string> m_captions;
  int m_button_width;
  int m_button_height;
  int m_pressed = -1;
  int m_hover = -1;
  bool m_dirty = true;
  Canvas m_canvas;
};

enum class ControlKind : std::uint8_t { Label, CheckBox, TrackBar, Button, Icon };
enum class TextAlign : std::uint8_t { Left, Right, Center };

struct Control {
  ControlKind kind = ControlKind::Label;
  std::string name;
  std::string caption;  // Shift-JIS, may carry an "&" accelerator
  Rect bounds;
  bool enabled = true;
  TextAlign align = TextAlign::Left;
  // Check box.
  bool checked = false;
  // Track bar: position in [min, max], one tick per step below the channel.
  int min = 0, max = 10, position = 0, page_size = 1;
  // Button.
  bool is_default = false;
  bool is_cancel = false;
  // Label: the control its accelerator focuses (index), or −1. A label's
  // caption may hold several lines ("\n", with or without "\r").
  int focus_control = -1;
  // Icon: 32 × 32 at the top-left of the bounds.
  MessageIcon icon = MessageIcon::None;
};

// A dialog's client area: controls in tab order, keyboard and mouse
// handling as dialogs have it (Tab and Shift+Tab, Space, Enter for the
// default button, Escape for the cancel button, arrows and Page keys on a
// track bar, accelerators with or without Alt).
class Form {
 public:
  Form(FontService& fonts, Size client);

  int add(Control c);
  Control& control(int index) { return m_controls[static_cast<std::size_t>(index)]; }
  const Control& control(int index) const { return m_controls[static_cast<std::size_t>(index)]; }
  int find(std::string_view name) const;
  int focused() const { return m_focus; }
  void set_focus(int index);
  // Call after changing a control from outside so the form redraws.
  void invalidate() { m_dirty = true; }

  struct Action {
    enum class Kind : std::uint8_t { Clicked, Changed } kind;
    int control;
  };
  // Feeds an event in client coordinates; answers what it did to the
  // controls (a button click, a check box or track bar change).
  std::vector<Action> handle(const Event& e);

  const Canvas& draw();
  bool dirty() const { return m_dirty; }

 private:
  bool focusable(int i) const;
  void move_focus(int step);
  void press(int i, std::vector<Action>& out);
  void set_track(int i, int position, std::vector<Action>& out);
  int hit(Point p) const;
  int track_position_at(const Control& c, int x) const;
  Rect track_channel(const Control& c) const;
  Rect track_thumb(const Control& c) const;

  UiText m_text;
  Size m_client;
  std::vector<Control> m_controls;
  int m_focus = -1;
  int m_pressed = -1;   // button or check box held with the mouse
  int m_dragging = -1;  // track bar whose thumb is dragged
  bool m_dirty = true;
  Canvas m_canvas;
};

// The face the player's own controls use.
std::string ui_face_name();  // Shift-JIS

// Splits a caption into its lines ("\r\n" or "\n").
std::vector<std::string> caption_lines(std::string_view sjis);

class Platform;
struct MessageBoxSpec;
enum class MessageAnswer : std::uint8_t;

// A message box drawn with these controls in a window of its own: the icon,
// the text (wrapped to a readable width) and the buttons, Enter for the
// first button and Escape (or the close box) for the last. Runs its own
// event loop until answered; events of other windows wait meanwhile.
MessageAnswer run_message_box(Platform& platform, const MessageBoxSpec& spec);

}  // namespace nova::platform
