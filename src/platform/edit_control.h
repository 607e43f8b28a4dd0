// Native text-entry controls placed over the display (edit and memo
// components). Text is Shift-JIS.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace nova::platform {

enum class EditKind : std::uint8_t { SingleLine, MultiLine };
enum class EditAlign : std::uint8_t { Left, Right, Center };

struct EditFont {
  std::string face;  // Shift-JIS
  int height = 12;
  bool bold = false, italic = false, underline = false, strike_out = false;
};

class EditControl {
 public:
  virtual ~EditControl() = default;

  virtual void set_text(std::string_view sjis) = 0;
  virtual std::string text() const = 0;
  virtual void set_read_only(bool on) = 0;
  virtual void set_font(const EditFont& font) = 0;
  virtual void set_colors(std::uint32_t text_rgb, std::uint32_t back_rgb) = 0;
  virtual void set_alignment(EditAlign a) = 0;
  // Client coordinates of the owning window.
  virtual void set_bounds(Rect r) = 0;
  virtual void set_visible(bool on) = 0;
  virtual bool can_focus() const = 0;
  virtual void focus() = 0;
  virtual bool focused() const = 0;

  // A key going down in the control (virtual-key code). Enter, Escape and
  // Tab are reported and not inserted.
  std::function<void(int key)> on_key_down;
  std::function<void()> on_focus;
};

}  // namespace nova::platform
