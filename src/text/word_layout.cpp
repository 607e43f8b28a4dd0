// Sections: glyph properties the rules look at; break units; rows and their
// heights; the layout; arrangement; pages.
#include "text/word_layout.h"

#include <algorithm>
#include <cassert>
#include <limits>

#include "text/kvword.h"
#include "text/line_rules.h"

namespace nova::text {

namespace {

// --- Glyph properties --------------------------------------------------------------------

bool is_line_break(const TWdGlyph& g) {
  return std::holds_alternative<TWdOpeReturn>(g) || std::holds_alternative<TWdVarReturn>(g);
}

bool is_clear(const TWdGlyph& g) {
  const auto* r = std::get_if<TWdOpeReturn>(&g);
  return r && r->clear;
}

// Glyphs the layout acts on instead of placing them.
bool is_layout_operation(const TWdGlyph& g) {
  return std::holds_alternative<TWdOpeAlign>(g) || std::holds_alternative<TWdOpeIndent>(g) ||
         std::holds_alternative<TWdOpeUndent>(g);
}

const TWdChar* char_of(const TWdGlyph& g) {
  if (const auto* c = std::get_if<TWdChar>(&g)) return c;
  return std::get_if<TWdVarChar>(&g);
}

bool no_break(const TKvWord& e, const TWdGlyph& g) {
  if (const TDecorate* d = e.decoration_of(g)) return d->no_break;
  if (const auto* img = std::get_if<TWdImg>(&g)) return img->no_break;
  return false;
}

const std::string* ruby_of(const TKvWord& e, const TWdGlyph& g) {
  if (const TDecorate* d = e.decoration_of(g)) return &d->ruby;
  if (const auto* img = std::get_if<TWdImg>(&g)) return &img->ruby;
  return nullptr;
}

// --- Break units -------------------------------------------------------------------------

// Whether the layout may not break between p and the glyph n after it.
bool joined(const TKvWord& e, const TWdGlyph& p, const TWdGlyph& n) {
  if (no_break(e, p) && no_break(e, n)) return true;
  const std::string* pr = ruby_of(e, p);
  const std::string* nr = ruby_of(e, n);
  if (nr && !nr->empty() && pr && *pr == *nr) return true;
  const TWdChar* pc = char_of(p);
  const TWdChar* nc = char_of(n);
  // Runs of ASCII and half-width characters are words.
  if (pc && pc->code >= 33 && pc->code <= 255 && nc && nc->code > 32 && nc->code < 256) return true;
  // A space stays at the end of the line before it.
  if (nc && nc->code == ' ' && !(pc && pc->code == ' ')) return true;
  return nc && may_not_begin_line(nc->code);
}

// The last glyph of the unit that starts at `first`, at most `last`.
std::int32_t unit_end_by_rules(const TKvWord& e, std::int32_t first, std::int32_t last) {
  std::int32_t end = first;
  while (end < last && !is_line_break(e.glyph(end)) && joined(e, e.glyph(end), e.glyph(end + 1))) ++end;
  return end;
}

std::int32_t unit_end(const TKvWord& e, std::int32_t first, std::int32_t last) {
  std::int32_t end = unit_end_by_rules(e, first, last);
  // A lone opening bracket takes the unit after it along.
  const TWdChar* c = char_of(e.glyph(first));
  if (end == first && c && may_not_end_line(c->code) && end < last && !is_line_break(e.glyph(end + 1)) &&
      !is_layout_operation(e.glyph(end + 1))) {
    end = unit_end_by_rules(e, end + 1, last);
  }
  return end;
}

// --- Rows ----------------------------------------------------------------------------------

std::int32_t saturate(std::int64_t v) {
  return static_cast<std::int32_t>(
      std::clamp<std::int64_t>(v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

std::int32_t half_up(std::int32_t v) { return static_cast<std::int32_t>((std::int64_t{v} + 1) / 2); }

const TWdImg* image_of(const TKvWord& e, const PlacedGlyph& p) {
  return p.is_space() ? nullptr : std::get_if<TWdImg>(&e.glyph(p.glyph));
}

// The row's height from its text band and the aligned images it holds.
void update_height(TWdRow& row) {
  const std::int32_t t = row.text_height;
  const std::int32_t centre = row.centred_images > t ? half_up(row.centred_images - t) : 0;
  row.above = std::max(centre, row.bottom_images > t ? row.bottom_images - t : 0);
  row.below = std::max(centre, row.top_images > t ? row.top_images - t : 0);
  row.height = saturate(std::int64_t{t} + row.above + row.below);
}

void take_height(const TKvWord& e, TWdRow& row, const PlacedGlyph& p) {
  if (p.is_space()) return;
  const TWdGlyph& g = e.glyph(p.glyph);
  if (const auto* img = std::get_if<TWdImg>(&g)) {
    switch (img->align) {
      case Align::Center: row.centred_images = std::max(row.centred_images, p.height); break;
      case Align::Top: row.top_images = std::max(row.top_images, p.height); break;
      case Align::Bottom: row.bottom_images = std::max(row.bottom_images, p.height); break;
      default: row.text_height = std::max(row.text_height, p.height); break;
    }
  } else if (char_of(g)) {
    row.text_height = std::max(row.text_height, p.height);
  }
  update_height(row);
}

// What layout state a row was opened in, to open it again on a new page.
struct RowStart {
  Align align = Align::Left;
  std::int32_t indent = 0;
};

}  // namespace

bool TWdRow::has_content() const {
  return std::any_of(m_items.begin(), m_items.end(), [](const PlacedGlyph& p) { return !p.is_space(); });
}

std::int32_t TWdRow::first_glyph() const {
  for (const PlacedGlyph& p : m_items) {
    if (!p.is_space()) return p.glyph;
  }
  return -1;
}

std::int32_t TWdRow::last_glyph() const {
  for (auto it = m_items.rbegin(); it != m_items.rend(); ++it) {
    if (!it->is_space()) return it->glyph;
  }
  return -1;
}

// --- The layout ------------------------------------------------------------------------------

void arrange_row(TKvWord& engine, TWdRow& row) {
  const std::int64_t free = std::int64_t{row.right} - row.left - row.width;
  switch (row.align) {
    case Align::Right: row.x = saturate(std::int64_t{row.right} - row.width); break;
    // Rounded down, also when the row is wider than its limits.
    case Align::Center: row.x = saturate(row.left + (free >= 0 ? free / 2 : -((-free + 1) / 2))); break;
    default: row.x = row.left; break;
  }
  std::int64_t x = 0;
  const std::int32_t band_top = row.above, band_bottom = row.above + row.text_height;
  for (PlacedGlyph& p : row.items()) {
    p.x = saturate(x);
    x += p.width;
    const TWdImg* img = image_of(engine, p);
    if (p.height == 0 && !img) {
      p.y = band_top;
    } else if (img && img->align == Align::Center) {
      const std::int64_t d = std::int64_t{row.text_height} - p.height;
      p.y = saturate(band_top + (d >= 0 ? d / 2 : -((-d + 1) / 2)));
    } else if (img && img->align == Align::Top) {
      p.y = band_top;
    } else {
      p.y = saturate(std::int64_t{band_bottom} - p.height);
    }
  }
}

std::int32_t page_height(const TWdPage& page) {
  std::int64_t bottom = 0;
  for (const TWdRow& row : page.items()) {
    bottom = std::max<std::int64_t>(bottom, std::int64_t{row.y} + row.height);
    for (const PlacedGlyph& p : row.items()) {
      if (p.height > 0) bottom = std::max<std::int64_t>(bottom, std::int64_t{row.y} + p.y + p.height);
    }
  }
  return saturate(bottom);
}

void TKvWord::layout(std::vector<TWdPage>& pages, std::int32_t from_glyph, std::int32_t to_position) {
  const std::int32_t count = glyph_count();
  layout_glyphs(pages, from_glyph, to_position < 0 ? count - 1 : glyph_index_of_char_count(to_position));
}

void TKvWord::layout_glyphs(std::vector<TWdPage>& pages, std::int32_t first_glyph, std::int32_t last_glyph) {
  const std::int32_t count = glyph_count();
  const std::int32_t last = last_glyph < 0 || last_glyph >= count ? count - 1 : last_glyph;
  const std::int32_t first = std::max(first_glyph, 0);
  if (first > last) return;

  std::vector<platform::Size> cells(static_cast<std::size_t>(last - first + 1));
  for (std::int32_t i = first; i <= last; ++i) cells[static_cast<std::size_t>(i - first)] = cell_of(i);

  const KvWordSettings& s = m_settings;
  const std::size_t first_page = pages.size();
  std::int64_t y = 0;
  Align align = Align::Left;
  std::int32_t indent = 0;
  TWdPage* page = nullptr;
  TWdRow* row = nullptr;
  RowStart row_start;

  auto close_row = [&] {
    assert(row->has_content() && "a row is closed only after it took a glyph");
    y += std::int64_t{row->height} + s.line_spacing;
    row = nullptr;
  };

  std::int32_t i = first;
  while (i <= last) {
    const TWdGlyph& g = glyph(i);
    if (const auto* a = std::get_if<TWdOpeAlign>(&g)) {
      align = a->align;
      if (row && !row->has_content()) row->align = align;
      ++i;
      continue;
    }
    if (std::holds_alternative<TWdOpeIndent>(g)) {
      indent = row ? row->width : 0;
      ++i;
      continue;
    }
    if (std::holds_alternative<TWdOpeUndent>(g)) {
      indent = 0;
      ++i;
      continue;
    }
    if (!row) {
      if (!page) {
        pages.emplace_back(*this);
        page = &pages.back();
        y = 0;
      }
      TWdRow& r = page->items().emplace_back();
      row = &r;
      row->align = align;
      row->y = saturate(y);
      row->left = 0;
      row->right = s.width;
      row_start = RowStart{align, indent};
      if (indent > 0) {
        row->items().push_back(PlacedGlyph::space(TWdSpace{indent}));
        row->width = indent;
      }
    }
    const std::int32_t end = unit_end(*this, i, last);
    std::int64_t unit_width = 0;
    for (std::int32_t k = i; k <= end; ++k) unit_width += cells[static_cast<std::size_t>(k - first)].width;

    // A row that holds only its indent blank takes any unit: closing it would
    // open another just like it, without end.
    if (row->has_content() && s.width != 0 &&
        std::int64_t{row->width} + unit_width > std::int64_t{row->right} - row->left) {
      close_row();
      continue;
    }
    bool paged = false;
    for (std::int32_t k = i; k <= end; ++k) {
      const platform::Size cell = cells[static_cast<std::size_t>(k - first)];
      PlacedGlyph p;
      p.glyph = k;
      p.width = cell.width;
      p.height = cell.height;
      row->items().push_back(p);
      take_height(*this, *row, p);
      if (s.paging && page->count() > 1 && y + row->height > s.height) {
        // The row goes to a new page, laid out again from its first glyph
        // in the state it was opened in.
        i = row->first_glyph();
        page->items().pop_back();
        page = nullptr;
        row = nullptr;
        align = row_start.align;
        indent = row_start.indent;
        paged = true;
        break;
      }
    }
    if (paged) continue;
    row->width = saturate(std::int64_t{row->width} + unit_width);
    i = end + 1;
    if (is_line_break(glyph(end))) {
      close_row();
      if (is_clear(glyph(end))) page = nullptr;
    }
  }

  for (std::size_t n = first_page; n < pages.size(); ++n) {
    TWdPage& p = pages[n];
    std::int32_t widest = 0;
    for (const TWdRow& r : p.items()) widest = std::max(widest, r.width);
    p.width = s.width != 0 ? s.width : widest;
    for (TWdRow& r : p.items()) {
      if (s.width == 0) r.right = p.width;
      arrange_row(*this, r);
    }
    p.height = page_height(p);
  }
}

void TKvWord::layout_positions(std::vector<TWdPage>& pages, std::int32_t first_position,
                               std::int32_t last_position) {
  const GlyphSpan span = glyphs_of_positions(first_position, last_position);
  if (span.last >= span.first) layout_glyphs(pages, span.first, span.last);
}

// --- Pages -------------------------------------------------------------------------------

TWdPage::TWdPage(TKvWord& engine) : m_engine(&engine), m_generation(engine.generation()) {}

bool TWdPage::stale() const { return m_generation != m_engine->generation(); }

std::int32_t TWdPage::first_glyph() const {
  for (const TWdRow& r : m_items) {
    if (std::int32_t g = r.first_glyph(); g >= 0) return g;
  }
  return -1;
}

std::int32_t TWdPage::last_glyph() const {
  for (auto it = m_items.rbegin(); it != m_items.rend(); ++it) {
    if (std::int32_t g = it->last_glyph(); g >= 0) return g;
  }
  return -1;
}

std::int32_t TWdPage::first_position() const {
  const std::int32_t g = first_glyph();
  return g < 0 || stale() ? 0 : m_engine->char_count_before(g);
}

std::int32_t TWdPage::last_position() const {
  std::int32_t g = last_glyph();
  if (g < 0 || stale()) return 0;
  // The page's last character: a line break or what a variable produced
  // after it counts none, and the replay finds them from it.
  const std::int32_t first = first_glyph();
  while (g >= first && m_engine->char_count(g) == 0) --g;
  if (g < first) return first_position() - 1;
  return m_engine->char_count_before(g);
}

std::int32_t TWdPage::view_y() const { return saturate(std::int64_t{m_engine->settings().view_y} + scroll); }

void TWdPage::move_rows_to(TWdPage& other, std::int32_t y_offset) {
  assert(other.m_engine == m_engine && "rows move between pages of one engine");
  // Only the moved rows can reach lower: a history display moves a
  // thousand pages' rows onto one page, one page at a time.
  const bool had_rows = !other.m_items.empty();
  TWdPage moved(*m_engine);
  for (TWdRow& r : m_items) {
    r.y = saturate(std::int64_t{r.y} + y_offset);
    moved.m_items.push_back(std::move(r));
  }
  const std::int32_t moved_height = page_height(moved);
  for (TWdRow& r : moved.m_items) other.m_items.push_back(std::move(r));
  m_items.clear();
  height = 0;
  other.m_generation = m_generation;
  other.height = had_rows ? std::max(other.height, moved_height) : moved_height;
  other.reveal = RevealState{};
  other.hovered_link = -1;
  reveal = RevealState{};
  hovered_link = -1;
}

}  // namespace nova::text
