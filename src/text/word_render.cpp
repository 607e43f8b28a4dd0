// Sections: where glyphs land on the surfaces; painting a character, its
// ruby and a picture; render and redraw; drawing onto a target; links.
#include "text/word_render.h"

#include <algorithm>
#include <limits>
#include <optional>

#include "core/error.h"
#include "core/log.h"
#include "core/sjis.h"
#include "text/font_pixel_manager.h"
#include "text/kvword.h"
#include "text/word_layout.h"

namespace nova::text {

namespace {

using graphics::Rect;

// --- Where glyphs land -----------------------------------------------------------------------

int clamp_coordinate(std::int64_t v) {
  // Far enough outside any surface, and room left to add a cell.
  return static_cast<int>(std::clamp<std::int64_t>(v, -(std::int64_t{1} << 30), std::int64_t{1} << 30));
}

// The row's top in surface coordinates.
std::int64_t row_top(const TWdPage& page, const TWdRow& row) { return std::int64_t{row.y} - page.view_y(); }

Rect cell_on_surface(const TWdPage& page, const TWdRow& row, const PlacedGlyph& p) {
  const std::int64_t x = std::int64_t{row.x} + p.x - page.engine().settings().view_x;
  return Rect::from_size(clamp_coordinate(x), clamp_coordinate(row_top(page, row) + p.y), p.width, p.height);
}

bool row_visible(const TWdPage& page, const TWdRow& row, std::int32_t surface_height) {
  const std::int64_t top = row_top(page, row);
  return top < surface_height && top + row.height > 0;
}

bool meets(const Rect& a, const Rect& b) { return !a.intersected(b).empty(); }

const TWdChar* char_of(const TWdGlyph& g) {
  if (const auto* c = std::get_if<TWdChar>(&g)) return c;
  return std::get_if<TWdVarChar>(&g);
}

const std::string& link_of(const TWdGlyph& g) {
  static const std::string none;
  if (const TWdChar* c = char_of(g)) return c->link;
  if (const auto* img = std::get_if<TWdImg>(&g)) return img->link;
  return none;
}

const std::string* ruby_of(const TKvWord& e, const TWdGlyph& g) {
  if (const TDecorate* d = e.decoration_of(g)) return &d->ruby;
  if (const auto* img = std::get_if<TWdImg>(&g)) return &img->ruby;
  return nullptr;
}

// Zero-width operation glyphs (events, variables) do not part two
// neighbouring characters.
bool passes_over(const TKvWord& e, const PlacedGlyph& p) {
  return !p.is_space() && p.width == 0 && !char_of(e.glyph(p.glyph)) &&
         !std::holds_alternative<TWdImg>(e.glyph(p.glyph));
}

// --- Painting --------------------------------------------------------------------------------

struct Painter {
  TKvWord& engine;
  TFontPixelManager& glyphs;
  graphics::TDIBX& colour;
  graphics::TDIBX& mask;
  int failures = 0;
  std::string first_failure;

  std::uint32_t pixel(std::int32_t colour_word) const {
    return static_cast<std::uint32_t>(colour.ColorToPixel(colour_word));
  }

  Rect draw_char(std::uint16_t code, std::string_view font, std::uint8_t style, std::int32_t size,
                 GlyphDrawing drawing) {
    try {
      return glyphs.DrawFontPixel(glyphs.GetFontPixel(code, font, style, size), drawing);
    } catch (const core::Error& e) {
      // One glyph the rasterizer cannot make draws nothing; the render goes
      // on, and says so once.
      if (failures++ == 0) first_failure = e.message();
      return {};
    }
  }
};

// Border and shadow of a character, for joining it with its neighbours.
struct Edge {
  std::int32_t border_width = -1;
  std::int32_t shadow_width = -1;
  std::int32_t border_color = 0;
  std::int32_t shadow_color = 0;
  bool operator==(const Edge&) const = default;
};

std::optional<Edge> edge_of(const TKvWord& e, const PlacedGlyph& p) {
  if (p.is_space()) return std::nullopt;
  const TDecorate* d = e.decoration_of(e.glyph(p.glyph));
  if (!d) return std::nullopt;
  const ResolvedLook look = e.look_of(*d);
  return Edge{look.border_width, look.shadow_width, look.border_color, look.shadow_color};
}

// The neighbour of item i in direction `step` (±1), past zero-width
// operation glyphs; nullptr at the row's end.
const PlacedGlyph* neighbour(const TKvWord& e, const TWdRow& row, std::size_t i, int step) {
  const auto& items = row.items();
  for (std::ptrdiff_t k = static_cast<std::ptrdiff_t>(i) + step;
       k >= 0 && k < static_cast<std::ptrdiff_t>(items.size()); k += step) {
    if (!passes_over(e, items[static_cast<std::size_t>(k)])) return &items[static_cast<std::size_t>(k)];
  }
  return nullptr;
}

void paint_ruby(Painter& painter, const TWdPage& page, const TWdRow& row, std::size_t i, const ResolvedLook& look,
                std::uint32_t text_pixel, PlacedGlyph& p) {
  TKvWord& e = painter.engine;
  const std::string& ruby = *ruby_of(e, e.glyph(p.glyph));
  const auto& items = row.items();
  std::int64_t run_width = 0;
  for (std::size_t k = i; k < items.size(); ++k) {
    const std::string* r = items[k].is_space() ? nullptr : ruby_of(e, e.glyph(items[k].glyph));
    if (!r || *r != ruby) break;
    run_width += items[k].width;
  }
  std::vector<std::pair<std::size_t, std::size_t>> chars;  // offset, length
  core::for_each_char(ruby, [&](std::size_t at, std::size_t n) { chars.emplace_back(at, n); });
  const std::int64_t n = static_cast<std::int64_t>(chars.size());
  const std::int32_t size = std::max(1, look.size / 2);
  const std::int32_t bw = std::min(look.border_width, 1), sw = std::min(look.shadow_width, 1);
  const Rect cell = cell_on_surface(page, row, p);
  const std::int64_t top = row_top(page, row);
  for (std::int64_t k = 0; k < n; ++k) {
    const auto [at, length] = chars[static_cast<std::size_t>(k)];
    // The centre of ruby character k of n over the run, halves to even.
    const std::int64_t num = (2 * k + 1) * run_width, den = 2 * n;
    std::int64_t centre = num / den;
    const std::int64_t rest = num % den;
    if (2 * rest > den || (2 * rest == den && (centre & 1))) ++centre;
    const bool wide = length == 2;
    const std::int64_t x = cell.left + centre - (wide ? size / 2 : size / 4);
    GlyphDrawing d;
    d.color = &painter.colour;
    d.mask = &painter.mask;
    d.text_color = text_pixel;
    d.border_color = painter.pixel(look.border_color);
    d.shadow_color = painter.pixel(look.shadow_color);
    d.first_of_run = k == 0;
    d.last_of_run = k == n - 1;
    d.border_width = bw;
    d.shadow_width = sw;
    d.cell = Rect::from_size(clamp_coordinate(x), clamp_coordinate(top),
                             (wide ? size : std::max(1, size / 2)) + 2 * bw + sw, size + 2 * bw + sw);
    const auto style = static_cast<std::uint8_t>(look.style & (FS_BOLD | FS_ITALIC));
    p.ruby_rect = p.ruby_rect.united(painter.draw_char(core::char_code_at(ruby, at), look.font_name, style, size, d));
  }
}

void paint_glyph(Painter& painter, const TWdPage& page, TWdRow& row, std::size_t i) {
  TKvWord& e = painter.engine;
  const KvWordSettings& s = e.settings();
  PlacedGlyph& p = row.items()[i];
  p.rect = {};
  p.ruby_rect = {};
  p.plain = true;
  if (p.is_space()) return;
  const TWdGlyph& g = e.glyph(p.glyph);
  const Rect cell = cell_on_surface(page, row, p);
  if (const auto* img = std::get_if<TWdImg>(&g)) {
    p.plain = false;
    if (const InlinePicture* pic = e.picture(img->source)) {
      pic->draw_frame(std::clamp(p.frame, 0, pic->frame_count() - 1), painter.colour, painter.mask, cell.left,
                      cell.top);
      p.rect = cell;
    }
    return;
  }
  const TWdChar* c = char_of(g);
  const TDecorate* d = e.decoration_of(g);
  if (!c || !d) return;
  const ResolvedLook look = e.look_of(*d);
  p.colour = p.hovered          ? s.link_hover_color
             : d->color != -1   ? d->color
             : !c->link.empty() ? s.link_color
                                : s.text_color;
  p.plain = look.border_width == 0 && look.shadow_width == 0;
  const std::uint32_t text_pixel = painter.pixel(p.colour);

  std::int32_t ruby_band = 0;
  if (!d->ruby.empty()) {
    ruby_band = std::max(1, look.size / 2);
    const PlacedGlyph* before = neighbour(e, row, i, -1);
    const std::string* before_ruby = before && !before->is_space() ? ruby_of(e, e.glyph(before->glyph)) : nullptr;
    if (!before_ruby || *before_ruby != d->ruby) paint_ruby(painter, page, row, i, look, text_pixel, p);
  }

  const Edge edge{look.border_width, look.shadow_width, look.border_color, look.shadow_color};
  const PlacedGlyph* before = neighbour(e, row, i, -1);
  const PlacedGlyph* after = neighbour(e, row, i, +1);
  GlyphDrawing drawing;
  drawing.color = &painter.colour;
  drawing.mask = &painter.mask;
  drawing.text_color = text_pixel;
  drawing.border_color = painter.pixel(look.border_color);
  drawing.shadow_color = painter.pixel(look.shadow_color);
  drawing.first_of_run = !before || edge_of(e, *before) != edge;
  drawing.last_of_run = !after || edge_of(e, *after) != edge;
  drawing.border_width = look.border_width;
  drawing.shadow_width = look.shadow_width;
  drawing.cell = Rect{cell.left, cell.top + ruby_band, cell.right, cell.bottom};
  const auto style = static_cast<std::uint8_t>(look.style | (c->link.empty() ? 0 : FS_UNDERLINE));
  p.rect = painter.draw_char(c->code, look.font_name, style, look.size, drawing);
}

Rect surface_bounds(const TKvWord& e) {
  return Rect{0, 0, e.colour_surface().GetWidth(), e.colour_surface().GetHeight()};
}

// Paints every glyph of the visible rows whose cell or earlier pixels meet
// `area`.
void paint_area(TWdPage& page, const Rect& area) {
  TKvWord& e = page.engine();
  e.glyph_manager().SetQuality(e.settings().quality);
  Painter painter{e, e.glyph_manager(), e.colour_surface(), e.mask_surface()};
  const std::int32_t height = e.colour_surface().GetHeight();
  const std::int32_t width = e.colour_surface().GetWidth();
  for (TWdRow& row : page.items()) {
    if (!row_visible(page, row, height)) continue;
    const std::int64_t row_x = std::int64_t{row.x} - e.settings().view_x;
    for (std::size_t i = 0; i < row.items().size(); ++i) {
      PlacedGlyph& p = row.items()[i];
      // Rows run on past the surface's right edge (width 0 and a long row):
      // nothing further is drawn.
      if (row_x + p.x >= width) break;
      if (p.is_space()) continue;
      // What it painted before (its ruby included) or may paint now.
      if (!meets(cell_on_surface(page, row, p).united(p.rect).united(p.ruby_rect), area)) continue;
      paint_glyph(painter, page, row, i);
    }
  }
  if (painter.failures > 0) {
    core::logf(core::Channel::Text, core::Level::Warning, "%d glyphs of a page could not be drawn: %s",
               {painter.failures, painter.first_failure});
  }
}

void size_surface(graphics::TDIBX& s, int width, int height, int bits) {
  if (s.GetWidth() == width && s.GetHeight() == height && s.GetBitCount() == bits) {
    s.ResetClip();
    s.Fill(0);
  } else {
    s.SetSize(width, height, bits);
  }
}

}  // namespace

void render_page(TWdPage& page) {
  if (page.stale()) return;
  TKvWord& e = page.engine();
  const std::int32_t width = std::clamp(page.width, 0, TKvWord::kMaxSurfaceSide);
  const std::int32_t height = std::clamp(e.settings().height, 0, TKvWord::kMaxSurfaceSide);
  size_surface(e.colour_surface(), width, height, e.bit_count());
  size_surface(e.mask_surface(), width, height, 8);
  for (TWdRow& row : page.items()) {
    for (PlacedGlyph& p : row.items()) {
      p.rect = {};
      p.ruby_rect = {};
    }
  }
  if (width == 0 || height == 0) return;
  paint_area(page, surface_bounds(e));
}

void redraw_area(TWdPage& page, Rect area) {
  if (page.stale()) return;
  TKvWord& e = page.engine();
  area = area.intersected(surface_bounds(e));
  if (area.empty()) return;
  graphics::TDIBX& colour = e.colour_surface();
  graphics::TDIBX& mask = e.mask_surface();
  colour.ResetClip();
  mask.ResetClip();
  colour.FillRect(area, 0);
  mask.FillRect(area, 0);
  colour.SetClipRect(area);
  mask.SetClipRect(area);
  paint_area(page, area);
  colour.ResetClip();
  mask.ResetClip();
}

// --- Drawing onto a target ------------------------------------------------------------------

void draw_page(const TWdPage& page, graphics::TCustomDIBX& target, std::int32_t x, std::int32_t y, std::int32_t alpha) {
  if (page.stale()) return;
  alpha = std::clamp(alpha, 0, 255);
  const TKvWord& e = page.engine();
  const graphics::TDIBX& colour = e.colour_surface();
  const graphics::TDIBX& mask = e.mask_surface();
  const Rect bounds{0, 0, colour.GetWidth(), colour.GetHeight()};
  if (bounds.empty()) return;
  const Rect clip = target.EffectiveClip();
  auto draw = [&](const PlacedGlyph& p, std::int32_t level, Rect r) {
    r = r.intersected(bounds);
    if (r.empty() || !meets(r.translated(x, y), clip)) return;
    if (p.plain) {
      target.DrawColorMasked(x + r.left, y + r.top, level, static_cast<std::uint32_t>(target.ColorToPixel(p.colour)),
                             false, false, r, mask);
    } else if (level >= 255) {
      target.DrawMasked(x + r.left, y + r.top, mask, false, false, r, colour);
    } else {
      target.DrawMaskedBlend(x + r.left, y + r.top, level, mask, false, false, r, colour);
    }
  };
  for (const TWdRow& row : page.items()) {
    if (!row_visible(page, row, bounds.height())) continue;
    for (const PlacedGlyph& p : row.items()) {
      if (p.is_space() || !p.revealed || p.level <= 0) continue;
      const std::int32_t level = alpha == 255 ? p.level : p.level * alpha / 255;
      if (level <= 0) continue;
      draw(p, level, p.ruby_rect);
      draw(p, level, p.rect);
    }
  }
}

// --- Links ------------------------------------------------------------------------------------

namespace {

struct Flat {
  const PlacedGlyph* glyph;
  RevealState::Ref ref;
};

// The page's glyphs of the text in order.
std::vector<Flat> flatten(const TWdPage& page) {
  std::vector<Flat> out;
  for (std::int32_t r = 0; r < page.count(); ++r) {
    const auto& items = page.row(r).items();
    for (std::int32_t i = 0; i < static_cast<std::int32_t>(items.size()); ++i) {
      if (!items[static_cast<std::size_t>(i)].is_space()) out.push_back({&items[static_cast<std::size_t>(i)], {r, i}});
    }
  }
  return out;
}

// The consecutive glyphs around position k of `flat` with its link text.
std::pair<std::size_t, std::size_t> group_of(const TKvWord& e, const std::vector<Flat>& flat, std::size_t k) {
  const std::string& link = link_of(e.glyph(flat[k].glyph->glyph));
  std::size_t first = k, last = k;
  while (first > 0 && link_of(e.glyph(flat[first - 1].glyph->glyph)) == link) --first;
  while (last + 1 < flat.size() && link_of(e.glyph(flat[last + 1].glyph->glyph)) == link) ++last;
  return {first, last};
}

std::size_t position_of(const std::vector<Flat>& flat, std::int32_t glyph) {
  for (std::size_t k = 0; k < flat.size(); ++k) {
    if (flat[k].glyph->glyph == glyph) return k;
  }
  return flat.size();
}

// Marks a group hovered or not, renders it again and changes its area.
void set_hovered(TWdPage& page, std::int32_t first_glyph, bool hovered) {
  TKvWord& e = page.engine();
  const std::vector<Flat> flat = flatten(page);
  const std::size_t k = position_of(flat, first_glyph);
  if (k == flat.size()) return;
  const auto [first, last] = group_of(e, flat, k);
  Rect area;
  for (std::size_t n = first; n <= last; ++n) {
    PlacedGlyph& p = page.at(flat[n].ref);
    p.hovered = hovered;
    const TWdRow& row = page.row(flat[n].ref.row);
    area = area.united(p.rect).united(p.ruby_rect).united(cell_on_surface(page, row, p));
  }
  redraw_area(page, area);
  area = area.intersected(surface_bounds(e));
  if (!area.empty()) e.dirty().push_back(area);
}

}  // namespace

std::int32_t hit_test(const TWdPage& page, std::int32_t x, std::int32_t y) {
  if (page.stale()) return -1;
  for (const TWdRow& row : page.items()) {
    const std::int64_t top = row_top(page, row);
    if (y < top || y >= top + row.height) continue;
    for (const PlacedGlyph& p : row.items()) {
      if (p.is_space() || !p.revealed) continue;
      if (cell_on_surface(page, row, p).contains({x, y})) return p.glyph;
    }
  }
  return -1;
}

bool hover(TWdPage& page, std::int32_t x, std::int32_t y) {
  if (page.stale()) return false;
  TKvWord& e = page.engine();
  std::int32_t now = -1;
  if (const std::int32_t g = hit_test(page, x, y); g >= 0 && !link_of(e.glyph(g)).empty()) {
    const std::vector<Flat> flat = flatten(page);
    now = flat[group_of(e, flat, position_of(flat, g)).first].glyph->glyph;
  }
  if (now == page.hovered_link) return false;
  e.dirty().clear();
  if (page.hovered_link >= 0) set_hovered(page, page.hovered_link, false);
  page.hovered_link = now;
  if (now >= 0) set_hovered(page, now, true);
  return true;
}

std::string link_text(const TWdPage& page) {
  std::string out;
  if (page.stale() || page.hovered_link < 0) return out;
  const TKvWord& e = page.engine();
  const std::vector<Flat> flat = flatten(page);
  const std::size_t k = position_of(flat, page.hovered_link);
  if (k == flat.size()) return out;
  const std::string& link = link_of(e.glyph(page.hovered_link));
  for (std::size_t n = k; n < flat.size() && link_of(e.glyph(flat[n].glyph->glyph)) == link; ++n) {
    if (const TWdChar* c = char_of(e.glyph(flat[n].glyph->glyph))) {
      if (c->code > 0xFF) out.push_back(static_cast<char>(c->code >> 8));
      out.push_back(static_cast<char>(c->code & 0xFF));
    }
  }
  return out;
}

std::string link_value(const TWdPage& page) {
  if (page.stale() || page.hovered_link < 0) return {};
  return link_of(page.engine().glyph(page.hovered_link));
}

std::string link_at(const TWdPage& page, std::int32_t x, std::int32_t y) {
  const std::int32_t g = hit_test(page, x, y);
  return g < 0 ? std::string() : link_of(page.engine().glyph(g));
}

std::string page_text(const TWdPage& page) {
  std::string out;
  if (page.stale()) return out;
  const TKvWord& e = page.engine();
  for (const TWdRow& row : page.items()) {
    for (const PlacedGlyph& p : row.items()) {
      if (p.is_space()) continue;
      const TWdGlyph& g = e.glyph(p.glyph);
      if (const TWdChar* c = char_of(g)) {
        if (c->code > 0xFF) out.push_back(static_cast<char>(c->code >> 8));
        out.push_back(static_cast<char>(c->code & 0xFF));
      } else if (std::holds_alternative<TWdOpeReturn>(g) || std::holds_alternative<TWdVarReturn>(g)) {
        out += "\r\n";
      }
    }
  }
  return out;
}

}  // namespace nova::text
