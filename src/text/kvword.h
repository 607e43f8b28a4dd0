// TKvWord: the text engine behind message boxes, the message history and,
// later, captions, buttons and menus. It holds a tagged text as glyphs, lays
// them out into pages of rows (word_layout.h), reveals a page over time
// (word_reveal.h) and renders it through the glyph manager into its own
// colour surface and mask (word_render.h). Label lists (label_list.h) are
// the simpler renderer of single-line captions.
//
// What later work uses:
// - the message box: parse (lines); layout into a page list; start a page
//   with resume, step, restart, page text; the link under a point and the
//   hovered link's two texts; the changed rectangles of the last step; the
//   caret and its height; the settings record and each page's reveal-state
//   record; the event callback;
// - the message history: load a glyph stream; copy glyphs from another
//   engine; prepare variables with the history flag; layout of [first, last]
//   by character positions; a page's first and last positions and height;
//   moving a page's rows onto another page with a y offset;
// - buttons and menus: label lists.
//
// Ownership and lifetime: the engine owns its glyphs, decorations, name/value
// list, surfaces and the inline pictures it acquired (released when the text
// is replaced or cleared, or with the engine). It borrows the glyph manager
// and the picture source, which must outlive it. Pages (word_layout.h) refer
// to the engine and to its glyphs by index: they must not outlive the
// engine, and a page laid out before the engine's glyphs changed (a parse,
// a stream, a copy, preparing or removing variables) is stale: its
// operations do nothing. Not thread-safe: the main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/binary_io.h"
#include "graphics/memory_dibx.h"
#include "text/glyphs.h"
#include "text/inline_pictures.h"
#include "text/tag_parser.h"
#include "text/text_variables.h"

namespace nova::text {

class TFontPixelManager;
class TWdPage;

// The engine's settings, in the order the settings record stores them.
// Colours are platform colours (0x00BBGGRR).
struct KvWordSettings {
  std::int32_t view_x = 0;  // the visible window's offset inside the laid-out text
  std::int32_t view_y = 0;
  std::int32_t font_size = 12;
  std::string font_name = default_font_name();
  std::int32_t text_color = 0;
  std::int32_t height = 0;  // the text rectangle; the page height
  std::int32_t width = 0;   // 0: no wrapping, each page as wide as its widest row
  std::int32_t quality = 3;
  std::int32_t line_spacing = 0;
  bool paging = true;
  std::int32_t link_color = 0xFF0000;
  std::int32_t link_hover_color = 0x008000;
  std::int32_t fade_time = 1;  // ms; 0 or less reveals each glyph opaque at once
  std::int32_t border_color = 0x808080;
  std::int32_t opacity = 255;  // kept for the owner
  bool hold = false;           // while set, no further glyph is revealed
  graphics::Point caret;       // where the next glyph appears, relative to the view
  std::int32_t speed = 256;    // waits × speed / 256
  bool events_on = true;
  std::int32_t shadow_color = 0;  // records of version 110 and later
  std::int32_t border_width = 0;  // records above 110
  std::int32_t shadow_width = 0;

  static const std::string& default_font_name();
  bool operator==(const KvWordSettings&) const = default;
};

// How a decoration resolves against the engine's settings: sizes are the
// absolute value limited to 1..kMaxSize, widths limited to 0..kMaxWidth.
struct ResolvedLook {
  std::string_view font_name;
  std::int32_t size = 12;
  std::uint8_t style = 0;
  std::int32_t border_width = 0;
  std::int32_t shadow_width = 0;
  std::int32_t color = -1;  // the decoration's own, or -1
  std::int32_t border_color = 0;
  std::int32_t shadow_color = 0;
};

class TKvWord {
 public:
  // The settings version this program writes: the enclosing save's, which
  // has every field.
  static constexpr int kSettingsVersion = 111;
  static constexpr std::int32_t kMaxSize = 1024;
  static constexpr std::int32_t kMaxWidth = 64;
  // No side of the surfaces grows beyond this; rows past it are laid out
  // but not drawn.
  static constexpr std::int32_t kMaxSurfaceSide = 16384;

  using EventCallback = std::function<void(std::string_view text)>;

  explicit TKvWord(TFontPixelManager& glyph_manager, InlinePictureSource* pictures = nullptr);
  ~TKvWord();
  TKvWord(const TKvWord&) = delete;
  TKvWord& operator=(const TKvWord&) = delete;

  // --- Settings ------------------------------------------------------------------------
  const KvWordSettings& settings() const { return m_settings; }
  // Border and shadow widths are limited to 0..kMaxWidth.
  void set_settings(KvWordSettings settings);
  void set_fade_time(std::int32_t ms) { m_settings.fade_time = ms; }
  void set_hold(bool hold) { m_settings.hold = hold; }

  // The record: view x, view y, font size (int32 each), font name (string),
  // text colour, height, width, quality, line spacing (int32 each), paging
  // (byte), link colour, link hover colour, fade time, border colour,
  // opacity (int32 each), hold (byte), caret x and y, speed (int32 each),
  // events on (byte); from version 110 the shadow colour, above 110 the
  // border and shadow widths (int32 each). The version is the enclosing
  // save's.
  void save_settings(core::ByteWriter& w, int version = kSettingsVersion) const;
  // Raises core::Error for a truncated record (every string length is
  // checked against the bytes left before anything is allocated); the
  // settings are unchanged then.
  void load_settings(core::ByteReader& r, int version);

  // --- The text ------------------------------------------------------------------------
  // Replaces the glyphs by those of a tagged text split into lines. A text
  // the tag language rejects leaves the engine empty, and the error goes on
  // to the caller.
  void parse(std::span<const std::string> lines, const ParseOptions& options = {});
  // Replaces the glyphs by a stored glyph stream (the engine is cleared
  // first). Raises core::Error for a damaged stream, leaving it empty.
  void load_glyph_stream(core::ByteReader& r);
  // Appends glyphs first to last of another engine (last −1 or past the
  // count: its last glyph), their decorations interned into this engine's
  // list. Produced glyphs are not copied: preparing the copy makes them.
  void copy_glyphs(const TKvWord& from, std::int32_t first, std::int32_t last);
  void clear();

  const ParsedText& text() const { return m_text; }
  // The owner's name/value list for variables in text.
  NameValueList& names() { return m_names; }
  const NameValueList& names() const { return m_names; }
  // Expands the variables among glyphs [first, last] (history variables only
  // with `history`) through the name/value list and `source` (may be null:
  // names only). Answers the index of the range's last glyph afterwards.
  std::int32_t prepare_variables(std::int32_t first, std::int32_t last, bool history,
                                 TextVariableSource* source = nullptr);
  // The same for glyphs [first, end] only, keeping the expansions before
  // them (glyphs appended after rows already laid out).
  std::int32_t prepare_appended_variables(std::int32_t first, bool history, TextVariableSource* source = nullptr);
  std::int32_t remove_variables(std::int32_t first, std::int32_t last);
  // A page laid out before the glyphs last changed takes the engine's
  // present glyphs as its own again: for a page whose rows were placed
  // while glyphs were only appended after them.
  void adopt_page(TWdPage& page) const;

  // --- Glyphs and character positions --------------------------------------------------
  std::int32_t glyph_count() const { return static_cast<std::int32_t>(m_text.size()); }
  const TWdGlyph& glyph(std::int32_t i) const { return m_text[static_cast<std::size_t>(i)]; }
  // The index of a glyph of this engine, or -1.
  std::int32_t index_of(const TWdGlyph& g) const;
  // Characters a glyph counts: characters, images, events and variable
  // glyphs 1; the other operation glyphs and what variables produce 0. A
  // variable's value may differ between the showing of a page and its
  // replay (history variables are expanded only there), so positions count
  // the text as stored.
  static std::int32_t char_count_of(const TWdGlyph& g);
  std::int32_t char_count(std::int32_t i) const { return char_count_of(glyph(i)); }
  // The characters before glyph i (i may be the glyph count).
  std::int32_t char_count_before(std::int32_t i) const;
  // The first glyph before which at least n characters lie; the glyph count
  // when there is none.
  std::int32_t glyph_index_of_char_count(std::int32_t n) const;

  // The glyphs [first, last] that a page's positions name (TWdPage's
  // first_position() and last_position()), whether this engine's variables
  // are prepared or not; every replay of a page (copy, prepare, lay out)
  // converts its positions through this one rule. Positions do not tell
  // apart the glyphs that count no character, so the rule settles them:
  // the line breaks between two characters belong to the page before (up
  // to and with a page break), alignment and indent glyphs to the page
  // after, and what a variable produced to its variable. A page that starts
  // with a blank row after a page ended without one (only line spacing
  // pushes a 0-high row off a page) replays without that row. A negative
  // last is the end of the text; an empty range has last < first.
  struct GlyphSpan {
    std::int32_t first = 0;
    std::int32_t last = -1;
    bool operator==(const GlyphSpan&) const = default;
  };
  GlyphSpan glyphs_of_positions(std::int32_t first, std::int32_t last) const;

  // --- Layout (word_layout.cpp) ----------------------------------------------------------
  // Measures glyphs [from, to] and appends their pages. `to_position` is a
  // character position turned into the first glyph before which at least
  // that many characters lie; -1, or a glyph past the last, is the last
  // glyph.
  void layout(std::vector<TWdPage>& pages, std::int32_t from_glyph = 0, std::int32_t to_position = -1);
  // Measures glyphs [first, last] by index (last past the end: the last
  // glyph) and appends their pages.
  void layout_glyphs(std::vector<TWdPage>& pages, std::int32_t first, std::int32_t last);
  // A page laid out again from its positions (glyphs_of_positions).
  void layout_positions(std::vector<TWdPage>& pages, std::int32_t first_position, std::int32_t last_position);

  // The cell of a glyph, from its decoration alone (or its picture's size);
  // operation glyphs have none.
  platform::Size cell_of(std::int32_t i);
  ResolvedLook look_of(const TDecorate& d) const;
  // The decoration of a character glyph (produced ones share their
  // variable's), or nullptr for other glyphs.
  const TDecorate* decoration_of(const TWdGlyph& g) const;
  // The picture an image glyph names, acquired on first use; nullptr when
  // there is no source or the picture is empty.
  InlinePicture* picture(std::string_view name);

  // --- Reveal outputs --------------------------------------------------------------------
  void set_event_callback(EventCallback callback) { m_event_callback = std::move(callback); }
  graphics::Point caret() const { return m_settings.caret; }
  std::int32_t caret_height() const { return m_caret_height; }
  // What changed on the surfaces in the last step (or hover), in surface
  // coordinates.
  const std::vector<graphics::Rect>& dirty_rects() const { return m_dirty; }

  // --- Surfaces ----------------------------------------------------------------------------
  // The depth the owner renders at: the screen's, 32 without a screen
  // manager. 15, 16 and 32 are drawn into.
  void set_bit_count(int bits) { m_bit_count = bits; }
  int bit_count() const { return m_bit_count; }
  graphics::TDIBX& colour_surface() { return m_colour; }
  graphics::TDIBX& mask_surface() { return m_mask; }
  const graphics::TDIBX& colour_surface() const { return m_colour; }
  const graphics::TDIBX& mask_surface() const { return m_mask; }

  TFontPixelManager& glyph_manager() { return m_glyph_manager; }

  // --- For the page operations ---------------------------------------------------------------
  // Counts every change of the glyph list; pages remember it.
  std::uint64_t generation() const { return m_generation; }
  void set_caret(graphics::Point at, std::int32_t height) {
    m_settings.caret = at;
    m_caret_height = height;
  }
  std::vector<graphics::Rect>& dirty() { return m_dirty; }
  void notify_event(std::string_view text) const {
    if (m_event_callback) m_event_callback(text);
  }

 private:
  void glyphs_changed();
  void replace_text(ParsedText text);

  TFontPixelManager& m_glyph_manager;
  InlinePictureSource* m_pictures;
  KvWordSettings m_settings;
  ParsedText m_text;
  NameValueList m_names;
  std::uint64_t m_generation = 1;
  // The pictures of the text's image glyphs, by name; null for those that
  // are empty.
  std::map<std::string, std::unique_ptr<InlinePicture>, std::less<>> m_held_pictures;
  EventCallback m_event_callback;
  std::int32_t m_caret_height = 0;
  std::vector<graphics::Rect> m_dirty;
  int m_bit_count = 32;
  graphics::TDIBX m_colour;
  graphics::TDIBX m_mask;
};

}  // namespace nova::text
