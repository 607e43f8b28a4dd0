// The layout of a text engine's glyphs: pages of rows, each row a run of
// placed glyphs, broken where Japanese readers expect and aligned left,
// right or centred (TKvWord::layout makes them).
//
//   measuring     a character's cell comes from its decoration alone: the
//                 size (square), a fifth more width for italic, half the
//                 size more height for ruby, twice the border width and the
//                 shadow width on both sides; an image is its picture's size
//   break units   the layout never breaks inside a unit; a break before the
//                 next glyph n after p is not allowed when both are no-break,
//                 n has p's ruby, p is a byte character 33..255 and n one
//                 33..255 (words), p is no space and n is one, or n may not
//                 begin a line; a lone glyph that may not end a line joins
//                 the unit after it; a line break ends its unit
//   rows          a unit that does not fit a row holding glyphs starts the
//                 next row (a row with only its indent blank takes it and
//                 overflows, as a long word does); with paging, a row that
//                 crosses the height starts a new page, unless it is the
//                 page's first
//   arrangement   left, right or centre; images centred, top or bottom
//                 aligned on the row's text band add what they exceed above
//                 or below it
//
// TWdPage also keeps the reveal state of the page (word_reveal.h) and what
// rendering left of each glyph (word_render.h). A page refers to its engine
// and to the engine's glyphs by index (see kvword.h for its lifetime).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "graphics/dibx.h"
#include "text/glyphs.h"

namespace nova::text {

class TKvWord;

// The blank that opens a row under an indent: as wide as the indent, with
// no glyph of the text behind it. It counts in the row's width.
struct TWdSpace {
  std::int32_t width = 0;
};

// A glyph as the layout placed it, with what the reveal and the rendering
// keep of it.
struct PlacedGlyph {
  static constexpr std::int32_t kSpace = -1;

  std::int32_t glyph = kSpace;  // index into the engine's glyphs; kSpace for a TWdSpace
  std::int32_t x = 0;           // from the row's start x
  std::int32_t y = 0;           // from the row's top
  std::int32_t width = 0;
  std::int32_t height = 0;

  // Reveal: reached by the reveal, and its fade level (0..255).
  bool revealed = false;
  std::int32_t level = 0;
  // Animation of a revealed picture: the frame shown and the time into it.
  std::int32_t frame = 0;
  std::int64_t frame_time = 0;

  // Rendering: under the mouse as part of a link; drawn without border and
  // shadow (its colour then goes through the mask alone), in that colour
  // word; what it painted and what its ruby painted, in surface
  // coordinates.
  bool hovered = false;
  bool plain = true;
  std::int32_t colour = 0;
  graphics::Rect rect;
  graphics::Rect ruby_rect;

  bool is_space() const { return glyph == kSpace; }
  static PlacedGlyph space(TWdSpace s) {
    PlacedGlyph g;
    g.width = s.width;
    g.revealed = true;
    return g;
  }
};

// The base of rows and pages: items stacked from a y, with a height.
template <typename Item>
class TWdComposite {
 public:
  std::int32_t y = 0;
  std::int32_t height = 0;

  std::vector<Item>& items() { return m_items; }
  const std::vector<Item>& items() const { return m_items; }
  std::int32_t count() const { return static_cast<std::int32_t>(m_items.size()); }
  std::int32_t bottom() const { return y + height; }

 protected:
  std::vector<Item> m_items;
};

class TWdRow : public TWdComposite<PlacedGlyph> {
 public:
  Align align = Align::Left;
  std::int32_t left = 0;   // limits
  std::int32_t right = 0;
  std::int32_t width = 0;  // of the content, the indent blank included
  std::int32_t x = 0;      // where the content starts, once arranged
  // The text band: the tallest character or unaligned image, and what
  // aligned images add above and below it.
  std::int32_t text_height = 0;
  std::int32_t above = 0;
  std::int32_t below = 0;
  // The tallest centred, top and bottom images.
  std::int32_t centred_images = 0;
  std::int32_t top_images = 0;
  std::int32_t bottom_images = 0;

  // Holds a glyph of the text (its indent blank does not count).
  bool has_content() const;
  // Index of its first and last glyph of the text; -1 for none.
  std::int32_t first_glyph() const;
  std::int32_t last_glyph() const;
};

// Where a page's reveal stands (word_reveal.h).
struct RevealState {
  struct Ref {
    std::int32_t row = 0;
    std::int32_t index = 0;
    bool operator==(const Ref&) const = default;
  };
  // The next glyph to reveal: rows.size() when all are.
  std::int32_t row = 0;
  std::int32_t index = 0;
  bool started = false;      // the first glyph was revealed
  bool after_event = false;  // events were handed over in the last step
  bool complete = false;
  std::int64_t budget = 0;  // ms
  std::int64_t fade_accumulator = 0;
  std::vector<Ref> fading;
  std::vector<Ref> animated;
  std::string pending_events;  // tab-joined
};

class TWdPage : public TWdComposite<TWdRow> {
 public:
  explicit TWdPage(TKvWord& engine);

  TKvWord& engine() const { return *m_engine; }
  // Laid out from glyphs the engine no longer holds: every operation on the
  // page does nothing.
  bool stale() const;

  // The text width, or the widest row's when the engine's width is 0.
  std::int32_t width = 0;
  // The page's vertical scroll inside the text rectangle, added to the
  // engine's view y; saved with the reveal state.
  std::int32_t scroll = 0;
  RevealState reveal;
  // The first glyph of the hovered link, -1 for none.
  std::int32_t hovered_link = -1;

  TWdRow& row(std::int32_t i) { return m_items.at(static_cast<std::size_t>(i)); }
  const TWdRow& row(std::int32_t i) const { return m_items.at(static_cast<std::size_t>(i)); }
  PlacedGlyph& at(RevealState::Ref r) { return row(r.row).items().at(static_cast<std::size_t>(r.index)); }

  // The first and last glyph of the text on the page (-1 for none); the
  // characters before the first, and before the page's last character (one
  // less than the first position when it holds none): where the page starts
  // and ends in the text (TKvWord::glyphs_of_positions finds its glyphs
  // again).
  std::int32_t first_glyph() const;
  std::int32_t last_glyph() const;
  std::int32_t first_position() const;
  std::int32_t last_position() const;

  // Moves every row onto `other` (which must belong to the same engine),
  // y increased by `y_offset`, and grows its height to hold them. This page
  // is left empty; the other's reveal state is reset.
  void move_rows_to(TWdPage& other, std::int32_t y_offset);

  // The vertical position of the visible window: the engine's view y plus
  // the scroll.
  std::int32_t view_y() const;

 private:
  friend class TKvWord;
  TKvWord* m_engine;
  std::uint64_t m_generation;
};

// The height of a row from its text band and images, and each glyph's
// place in it; the page's height from its rows (and images reaching lower).
void arrange_row(TKvWord& engine, TWdRow& row);
std::int32_t page_height(const TWdPage& page);

}  // namespace nova::text
