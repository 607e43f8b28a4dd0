// Rendering a page through the glyph manager into the engine's colour
// surface and mask, drawing its revealed glyphs onto a target at their fade
// levels, and its links: hit testing, hover and the two link texts.
//
// Rendering sizes both surfaces to the text rectangle (the engine's width,
// or the page's when it is 0, by its height; each side at most
// TKvWord::kMaxSurfaceSide) at the engine's depth, clears them and renders
// each glyph of the rows inside the visible window:
// - a character in its font (the decoration's, else the engine's, else
//   "ＭＳ ゴシック"), style (underlined when it carries a link), size and
//   colour: the link hover colour while hovered, else its own, else the link
//   colour for a link, else the text colour; border and shadow join the
//   neighbour in the row that has the same widths and colours;
// - ruby, by the first glyph of a run with the same ruby text: half the
//   character's size (at least 1), ruby character k of n centred at
//   (2k + 1) × run width / 2n (halves to even) from the run's start, less
//   half the ruby size for a double-byte character or a quarter for a
//   single-byte one, at the row's top, border and shadow at most 1; the
//   character goes below the ruby band;
// - a picture, its current frame.
// A glyph the rasterizer fails on (a font that cannot be made) draws
// nothing; one log line tells per render.
//
// Drawing a revealed glyph goes through the mask: one with border or shadow
// (and a picture) copies its prepared pixels at its fade level
// (DrawMaskedBlend, DrawMasked at 255); a plain one paints its colour
// (DrawColorMasked), so its bars show too.
#pragma once

#include <cstdint>
#include <string>

#include "graphics/dibx.h"

namespace nova::text {

class TWdPage;

void render_page(TWdPage& page);
// Renders again what lies in `area` of the surfaces (hover, a picture's next
// frame): the area is cleared and every glyph whose pixels meet it painted
// again in order, clipped to it, so that the surfaces end as a whole render
// would leave them.
void redraw_area(TWdPage& page, graphics::Rect area);
// Draws the revealed glyphs whose pixels meet the target's clip, the
// surfaces' (0, 0) at (x, y), each at its fade level scaled by `alpha`
// (level × alpha / 255; alpha limited to 0..255).
void draw_page(const TWdPage& page, graphics::TCustomDIBX& target, std::int32_t x, std::int32_t y,
               std::int32_t alpha = 255);

// The revealed glyph under a point of the surface (its cell), or -1.
std::int32_t hit_test(const TWdPage& page, std::int32_t x, std::int32_t y);
// Hovers the link under a point ((-1, -1) for none): every consecutive
// glyph with the same link text is marked, re-rendered in the hover colour
// and changed, and the previous group unmarked likewise. Answers whether
// the hovered group changed. The changed rectangles are the hover's.
bool hover(TWdPage& page, std::int32_t x, std::int32_t y);
// The hovered link's visible text (the characters of its group) and its
// value (the link text itself); empty without a hovered link.
std::string link_text(const TWdPage& page);
std::string link_value(const TWdPage& page);
// The link value of the revealed glyph under a point, or empty.
std::string link_at(const TWdPage& page, std::int32_t x, std::int32_t y);
// The page's characters, each line break as CR LF.
std::string page_text(const TWdPage& page);

}  // namespace nova::text
