// The few controls the player draws itself: the tool-bar strip of the main
// window and the controls of the settings dialog (label, check box, track
// bar, push button). They draw with the font service into a Canvas, which
// the window shows with draw_pixels / present, so they look the same under
// both backends and can be driven by scripted input.
#pragma once

#include <cstdint>
#include <filesystem>
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

enum class ControlKind : std::uint8_t { Label, CheckBox, TrackBar, Button, Icon, Edit };
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
  // Edit: a one-line text field whose caption is its text, taken as it
  // stands (no accelerator). Typing appends at the end and Backspace takes
  // the last character back; a text wider than the field shows its end.
};

// A dialog's client area: controls in tab order, keyboard and mouse
// handling as dialogs have it (Tab and Shift+Tab, Space, Enter for the
// default button, Escape for the cancel button, arrows and Page keys on a
// track bar, accelerators with or without Alt; only with Alt while a text
// field has the focus, since its letters are typed).
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
  // controls (a button click, a check box, track bar or text field change).
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

// The window of a dialog the player draws itself: `client` big, over the
// owner when there is one, else in the middle of the work area.
std::unique_ptr<Window> open_dialog_window(Platform& platform, const std::string& sjis_caption, Size client,
                                           const Window* owner);
// Shows a dialog's picture in the whole client area.
void present_canvas(Window& window, const Canvas& canvas);

// The in-window file dialog's client area (run_window_file_dialog shows it):
// a label, the path field, a line for notes, OK and Cancel. Kind 0 open,
// 1 save, 2 folder.
class FileDialogForm {
 public:
  FileDialogForm(FontService& fonts, int kind, const FileDialogSpec& spec, std::filesystem::path start);

  static Size client_size() { return {480, 124}; }
  enum class State : std::uint8_t { Open, Chosen, Cancelled };
  // Feeds an event in client coordinates. OK (or Enter) with a path that
  // does not serve shows a note instead and stays open.
  State handle(const Event& e);
  // The host path taken, once chosen.
  const std::filesystem::path& chosen() const { return m_chosen; }
  // The path field's text and the note shown under it (Shift-JIS).
  const std::string& field_text() const;
  const std::string& note() const;

  const Canvas& draw() { return m_form.draw(); }
  bool dirty() const { return m_form.dirty(); }

 private:
  // The path the field names, or a note saying why it does not serve.
  std::optional<std::filesystem::path> resolve();

  int m_kind;
  bool m_must_exist;
  std::filesystem::path m_start;
  Form m_form;
  int m_field = -1, m_note = -1, m_ok = -1, m_cancel = -1;
  std::filesystem::path m_chosen;
};

}  // namespace nova::platform
