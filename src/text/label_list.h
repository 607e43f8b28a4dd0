// Label lists: the simple renderer of single-line captions without tags
// (button captions, list and menu items). A TKvLabelList holds the shared
// settings and the target surface; each TKvLabelDIB one text with its
// measured size and its own colour surface and mask.
//
//   measure   every label: the line height is the font's text height + 2 ×
//             border width + shadow width; each character is A + B + C +
//             overhang + 2 × border + shadow wide, the last character of a
//             label less its C once more when C is negative (so that its
//             right overhang stays inside). Widths are kept per character
//             code for the pass, except that a label's last character is
//             always measured again and its width kept from then on.
//   render    one label into its surfaces (at the target's depth): each
//             character in the cell (x, 0, its width, size), the first and
//             last ending the bars' run.
//   draw      renders when dirty or when the target's depth changed, then
//             paints the text colour through the mask (no border, no
//             shadow) or copies the colour surface through it, at the
//             opacity.
//
// Ownership: the list owns its labels; it borrows the font service (for
// measuring), the glyph manager (for rendering) and the target surface, set
// by the owner before drawing; all must outlive their use. No side of a
// label's surfaces grows beyond 16384.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/binary_io.h"
#include "graphics/memory_dibx.h"
#include "platform/fonts.h"

namespace nova::text {

class TFontPixelManager;
class TKvLabelList;

// The shared settings, in the order of their record. Colours are platform
// colours.
struct LabelListSettings {
  std::int32_t quality = 3;
  std::int32_t border_width = 0;
  std::int32_t opacity = 255;
  std::int32_t size = 12;
  std::string font_name = default_font_name();
  std::int32_t text_color = 0xFFFFFF;
  std::int32_t border_color = 0;
  std::uint8_t style = 0;          // FS_* bits
  std::int32_t shadow_width = 0;   // records of version 122 and later
  std::int32_t shadow_color = 0;

  static const std::string& default_font_name();
  bool operator==(const LabelListSettings&) const = default;
};

class TKvLabelDIB {
 public:
  explicit TKvLabelDIB(TKvLabelList& owner) : m_owner(&owner) {}

  TKvLabelList& owner() const { return *m_owner; }
  const std::string& text() const { return m_text; }
  bool dirty() const { return m_dirty; }
  std::int32_t width() const { return m_width; }
  std::int32_t height() const { return m_height; }
  // The measured width of each character, in order.
  const std::vector<std::int32_t>& char_widths() const { return m_char_widths; }
  const graphics::TDIBX& colour() const { return m_colour; }
  const graphics::TDIBX& mask() const { return m_mask; }

 private:
  friend class TKvLabelList;
  TKvLabelList* m_owner;
  std::string m_text;
  bool m_dirty = true;
  std::int32_t m_width = 0;
  std::int32_t m_height = 0;
  std::vector<std::int32_t> m_char_widths;
  graphics::TDIBX m_colour;
  graphics::TDIBX m_mask;
};

class TKvLabelList {
 public:
  // The settings version this program writes.
  static constexpr int kSettingsVersion = 122;
  static constexpr std::int32_t kMaxSurfaceSide = 16384;

  TKvLabelList(platform::FontService& fonts, TFontPixelManager& glyph_manager);
  ~TKvLabelList();
  TKvLabelList(const TKvLabelList&) = delete;
  TKvLabelList& operator=(const TKvLabelList&) = delete;

  // --- Labels ------------------------------------------------------------------------------
  std::int32_t count() const { return static_cast<std::int32_t>(m_labels.size()); }
  // nullptr when out of range.
  TKvLabelDIB* label(std::int32_t index);
  TKvLabelDIB& add_label(std::string text = {});
  void clear() { m_labels.clear(); }
  // The widest label's width (as last measured).
  std::int32_t widest_label_width() const;
  // Marks the label dirty when the text changes.
  void set_label_text(TKvLabelDIB& label, std::string text);
  void mark_all_dirty();

  // --- Settings --------------------------------------------------------------------------
  const LabelListSettings& settings() const { return m_settings; }
  // Widths are limited to 0..64 and the size's absolute value to 1..1024
  // where they are used; every label becomes dirty.
  void set_settings(LabelListSettings settings);
  void set_size(std::int32_t size);
  // The record: quality, border width, opacity, size (int32 each), font name
  // (string), text colour, border colour (int32 each), style (byte), the
  // font metrics (212 bytes, written as zeros and skipped when read: the
  // next measuring makes them anew), and from version 122 the shadow width
  // and colour (int32 each).
  void save_settings(core::ByteWriter& w, int version = kSettingsVersion) const;
  // Below version 109 a stored quality above 1 reads as 3, else 0. Raises
  // core::Error for a truncated record, the settings unchanged.
  void load_settings(core::ByteReader& r, int version);

  // --- Measuring, rendering, drawing -------------------------------------------------------
  // The surface labels are drawn onto; the owner sets it before drawing.
  void set_target(graphics::TCustomDIBX* target) { m_target = target; }
  graphics::TCustomDIBX* target() const { return m_target; }
  void measure();
  void render(TKvLabelDIB& label);
  void draw(TKvLabelDIB& label, std::int32_t x, std::int32_t y);

 private:
  int target_bits() const;

  platform::FontService& m_fonts;
  TFontPixelManager& m_glyph_manager;
  LabelListSettings m_settings;
  std::vector<std::unique_ptr<TKvLabelDIB>> m_labels;
  graphics::TCustomDIBX* m_target = nullptr;
};

}  // namespace nova::text
