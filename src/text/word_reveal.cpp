// Sections: walking a page's glyphs; the caret; one step; reset, start and
// reveal-all; the reveal-state record.
#include "text/word_reveal.h"

#include <algorithm>
#include <unordered_map>

#include "core/error.h"
#include "core/log.h"
#include "text/kvword.h"
#include "text/word_layout.h"
#include "text/word_render.h"

namespace nova::text {

namespace {

using Ref = RevealState::Ref;

// --- Walking the glyphs ------------------------------------------------------------------

bool at_end(const TWdPage& page, Ref r) { return r.row >= page.count(); }

// The ref moved past empty rows onto a glyph, or to the end (row = count,
// index 0).
Ref settle(const TWdPage& page, Ref r) {
  while (r.row < page.count() && r.index >= page.row(r.row).count()) {
    ++r.row;
    r.index = 0;
  }
  if (r.row >= page.count()) r = Ref{page.count(), 0};
  return r;
}

Ref next_of(const TWdPage& page, Ref r) { return settle(page, Ref{r.row, r.index + 1}); }

const PlacedGlyph& placed(const TWdPage& page, Ref r) {
  return page.row(r.row).items()[static_cast<std::size_t>(r.index)];
}

// The next glyph of the text after r, past indent blanks.
Ref next_glyph_of(const TWdPage& page, Ref r) {
  Ref n = next_of(page, r);
  while (!at_end(page, n) && placed(page, n).is_space()) n = next_of(page, n);
  return n;
}

bool shows(const TWdGlyph& g) {
  return std::holds_alternative<TWdChar>(g) || std::holds_alternative<TWdVarChar>(g) ||
         std::holds_alternative<TWdImg>(g);
}

std::int32_t wait_of(const TWdGlyph& g) {
  if (const auto* c = std::get_if<TWdChar>(&g)) return c->wait;
  if (const auto* v = std::get_if<TWdVarChar>(&g)) return v->wait;
  if (const auto* i = std::get_if<TWdImg>(&g)) return i->wait;
  return 0;
}

bool animates(TKvWord& e, const TWdGlyph& g) {
  const auto* img = std::get_if<TWdImg>(&g);
  if (!img) return false;
  const InlinePicture* p = e.picture(img->source);
  return p && p->frame_count() > 1;
}

void append_char(std::string& out, std::uint16_t code) {
  if (code > 0xFF) out.push_back(static_cast<char>(code >> 8));
  out.push_back(static_cast<char>(code & 0xFF));
}

// --- The caret -------------------------------------------------------------------------------

graphics::Rect surface_cell(const TWdPage& page, Ref r) {
  const TWdRow& row = page.row(r.row);
  const PlacedGlyph& p = placed(page, r);
  const std::int64_t x = std::int64_t{row.x} + p.x - page.engine().settings().view_x;
  const std::int64_t y = std::int64_t{row.y} - page.view_y();
  return graphics::Rect::from_size(static_cast<int>(std::clamp<std::int64_t>(x, INT32_MIN / 2, INT32_MAX / 2)),
                                   static_cast<int>(std::clamp<std::int64_t>(y, INT32_MIN / 2, INT32_MAX / 2)),
                                   p.width, row.height);
}

// The caret at glyph r, or just after the page's last glyph at the end.
void place_caret(TWdPage& page, Ref r) {
  TKvWord& e = page.engine();
  if (!at_end(page, r)) {
    const graphics::Rect c = surface_cell(page, r);
    e.set_caret({c.left, c.top}, c.height());
    return;
  }
  for (std::int32_t row = page.count() - 1; row >= 0; --row) {
    if (page.row(row).count() == 0) continue;
    const graphics::Rect c = surface_cell(page, Ref{row, page.row(row).count() - 1});
    e.set_caret({c.right, c.top}, c.height());
    return;
  }
  e.set_caret({0, 0}, 0);
}

graphics::Rect whole_surface(const TKvWord& e) {
  return graphics::Rect{0, 0, e.colour_surface().GetWidth(), e.colour_surface().GetHeight()};
}

void add_dirty(TKvWord& e, const PlacedGlyph& p) {
  if (!p.rect.empty()) e.dirty().push_back(p.rect);
  if (!p.ruby_rect.empty()) e.dirty().push_back(p.ruby_rect);
}

// --- One step ----------------------------------------------------------------------------

// Advances a revealed picture by `elapsed` ms of its frame delays; answers
// whether the frame changed.
bool animate(TKvWord& e, PlacedGlyph& p, std::int64_t elapsed) {
  const auto* img = std::get_if<TWdImg>(&e.glyph(p.glyph));
  const InlinePicture* pic = img ? e.picture(img->source) : nullptr;
  if (!pic || pic->frame_count() < 2) return false;
  const std::int32_t n = pic->frame_count();
  std::int64_t cycle = 0;
  bool holds = false;
  for (std::int32_t k = 0; k < n; ++k) {
    const std::int32_t d = pic->frame_delay(k);
    holds = holds || d <= 0;
    cycle += std::max(d, 0);
  }
  std::int64_t t = p.frame_time + elapsed;
  // A whole cycle ends on the same frame at the same time into it.
  if (!holds) t %= cycle;
  const std::int32_t before = p.frame;
  std::int32_t frame = std::clamp(p.frame, 0, n - 1);
  for (std::int32_t k = 0; k <= n; ++k) {
    const std::int32_t d = pic->frame_delay(frame);
    if (d <= 0 || t < d) break;
    t -= d;
    frame = (frame + 1) % n;
  }
  p.frame = frame;
  p.frame_time = t;
  return frame != before;
}

}  // namespace

StepResult step(TWdPage& page, std::int32_t elapsed_ms) {
  StepResult result;
  if (page.stale()) {
    result.complete = true;
    return result;
  }
  TKvWord& e = page.engine();
  const KvWordSettings& s = e.settings();
  RevealState& st = page.reveal;
  e.dirty().clear();
  std::int64_t elapsed = std::max(elapsed_ms, 0);
  Ref at = settle(page, Ref{st.row, st.index});

  if (!at_end(page, at) && !s.hold && st.pending_events.empty()) {
    if (!st.started) {
      st.budget = 0;
      st.fade_accumulator = 0;
      elapsed = 0;
    } else if (st.after_event) {
      elapsed = 0;
    }
    st.after_event = false;
    st.budget -= elapsed;
    while (!at_end(page, at) && st.budget <= 0) {
      TWdRow& row = page.row(at.row);
      // A row below the visible window waits until the view scrolls to it.
      if (std::int64_t{row.y} - page.view_y() > s.height) break;
      PlacedGlyph& p = row.items()[static_cast<std::size_t>(at.index)];
      const Ref here = at;
      at = next_of(page, at);
      st.started = true;
      if (p.is_space()) continue;
      p.revealed = true;
      p.level = 0;
      const TWdGlyph& g = e.glyph(p.glyph);
      const std::int64_t wait = wait_of(g);
      if (wait >= 0) {
        st.budget += wait * std::max(s.speed, 0) / 256;
      } else if (s.speed >= 0) {
        st.budget += -wait;
      }
      if (shows(g)) {
        st.fading.push_back(here);
        if (animates(e, g)) st.animated.push_back(here);
      }
      place_caret(page, at);
      if (const TWdChar* c = std::get_if<TWdChar>(&g)) append_char(result.revealed, c->code);
      if (const TWdVarChar* c = std::get_if<TWdVarChar>(&g)) append_char(result.revealed, c->code);
      if (std::holds_alternative<TWdImg>(g)) result.revealed += '*';
      if (const auto* ev = std::get_if<TWdOpeEvent>(&g); ev && s.events_on) {
        if (!st.pending_events.empty()) st.pending_events += '\t';
        st.pending_events += ev->text;
        const Ref n = next_glyph_of(page, here);
        const bool next_is_event = !at_end(page, n) && std::holds_alternative<TWdOpeEvent>(e.glyph(placed(page, n).glyph));
        if (ev->end || !next_is_event) break;
      }
    }
    st.row = at.row;
    st.index = at.index;
  }

  // Fading: the remainder of the division carries over to the next step.
  std::int64_t increment = 255;
  if (s.fade_time > 0) {
    st.fade_accumulator += elapsed * 256;
    increment = std::min<std::int64_t>(st.fade_accumulator / s.fade_time, 255);
    st.fade_accumulator %= s.fade_time;
  } else {
    st.fade_accumulator = 0;
  }
  for (const Ref r : st.fading) {
    PlacedGlyph& p = page.at(r);
    const std::int32_t level = static_cast<std::int32_t>(std::min<std::int64_t>(p.level + increment, 255));
    if (level != p.level) {
      p.level = level;
      add_dirty(e, p);
    }
  }
  std::erase_if(st.fading, [&](Ref r) { return page.at(r).level > 254; });
  for (const Ref r : st.animated) {
    PlacedGlyph& p = page.at(r);
    if (animate(e, p, elapsed)) {
      redraw_area(page, p.rect);
      add_dirty(e, p);
    }
  }

  if (!st.pending_events.empty() && st.fading.empty()) {
    const std::string events = std::move(st.pending_events);
    st.pending_events.clear();
    st.after_event = true;
    for (std::size_t from = 0;;) {
      const std::size_t tab = events.find('\t', from);
      e.notify_event(std::string_view(events).substr(from, tab == std::string::npos ? std::string::npos : tab - from));
      if (tab == std::string::npos) break;
      from = tab + 1;
    }
  }
  st.complete = at_end(page, settle(page, Ref{st.row, st.index})) && st.fading.empty();
  result.complete = st.complete;
  return result;
}

bool is_revealing(const TWdPage& page) {
  if (page.stale()) return false;
  const RevealState& st = page.reveal;
  return !at_end(page, settle(page, Ref{st.row, st.index})) || !st.fading.empty() || !st.pending_events.empty();
}

// --- Reset, start, reveal all ----------------------------------------------------------------

void reset_reveal(TWdPage& page) {
  if (page.stale()) return;
  page.reveal = RevealState{};
  for (TWdRow& row : page.items()) {
    for (PlacedGlyph& p : row.items()) {
      if (p.is_space()) continue;
      p.revealed = false;
      p.level = 0;
      p.frame = 0;
      p.frame_time = 0;
    }
  }
  const Ref first = settle(page, Ref{});
  page.reveal.row = first.row;
  page.reveal.index = first.index;
  place_caret(page, first);
}

void start_page(TWdPage& page, bool resume) {
  if (page.stale()) return;
  if (!resume) reset_reveal(page);
  render_page(page);
  TKvWord& e = page.engine();
  e.dirty().clear();
  e.dirty().push_back(whole_surface(e));
  place_caret(page, settle(page, Ref{page.reveal.row, page.reveal.index}));
}

void restart_page(TWdPage& page) {
  if (page.stale()) return;
  reset_reveal(page);
  TKvWord& e = page.engine();
  e.dirty().clear();
  e.dirty().push_back(whole_surface(e));
}

void reveal_all(TWdPage& page) {
  if (page.stale()) return;
  TKvWord& e = page.engine();
  RevealState& st = page.reveal;
  st.fading.clear();
  st.animated.clear();
  for (std::int32_t r = 0; r < page.count(); ++r) {
    auto& items = page.row(r).items();
    for (std::int32_t i = 0; i < static_cast<std::int32_t>(items.size()); ++i) {
      PlacedGlyph& p = items[static_cast<std::size_t>(i)];
      if (p.is_space()) continue;
      // (Pictures already moving keep their frame.)
      if (animates(e, e.glyph(p.glyph))) st.animated.push_back({r, i});
      p.revealed = true;
      p.level = 255;
    }
  }
  st.row = page.count();
  st.index = 0;
  st.started = true;
  st.complete = true;
  e.dirty().clear();
  e.dirty().push_back(whole_surface(e));
  place_caret(page, Ref{page.count(), 0});
}

// --- The reveal-state record -----------------------------------------------------------------

namespace {

bool writes_level(const TWdGlyph& g) {
  return std::holds_alternative<TWdChar>(g) || std::holds_alternative<TWdImg>(g) ||
         std::holds_alternative<TWdOpeVar>(g) || std::holds_alternative<TWdOpeHistChar>(g);
}

bool is_variable(const TWdGlyph& g) {
  return std::holds_alternative<TWdOpeVar>(g) || std::holds_alternative<TWdOpeHistChar>(g);
}

// Where each glyph of the text sits on the page.
std::unordered_map<std::int32_t, Ref> places_of(const TWdPage& page) {
  std::unordered_map<std::int32_t, Ref> out;
  for (std::int32_t r = 0; r < page.count(); ++r) {
    const auto& items = page.row(r).items();
    for (std::int32_t i = 0; i < static_cast<std::int32_t>(items.size()); ++i) {
      if (!items[static_cast<std::size_t>(i)].is_space()) out.emplace(items[static_cast<std::size_t>(i)].glyph, Ref{r, i});
    }
  }
  return out;
}

// The level a glyph is saved with: a glyph still fading as opaque.
std::int32_t saved_level(const TWdPage& page, Ref r) {
  const PlacedGlyph& p = placed(page, r);
  if (!p.revealed) return 0;
  const auto& fading = page.reveal.fading;
  return std::find(fading.begin(), fading.end(), r) != fading.end() ? 255 : p.level;
}

// The produced characters of the variable at glyph v that are on the page.
template <typename Fn>
void for_each_produced(const TWdPage& page, const std::unordered_map<std::int32_t, Ref>& places, std::int32_t v,
                       Fn&& fn) {
  const TKvWord& e = page.engine();
  for (std::int32_t g = v + 1; g < e.glyph_count() && is_produced(e.glyph(g)); ++g) {
    if (!std::holds_alternative<TWdVarChar>(e.glyph(g))) continue;
    if (auto it = places.find(g); it != places.end()) {
      if (!fn(it->second)) return;
    }
  }
}

}  // namespace

void save_reveal_state(const TWdPage& page, core::ByteWriter& w) {
  const RevealState& st = page.reveal;
  w.i32(page.scroll);
  w.i32(st.row);
  w.i32(st.index);
  w.boolean(st.complete);
  w.str(st.pending_events);
  if (page.stale()) return;
  const TKvWord& e = page.engine();
  const auto places = places_of(page);
  for (std::int32_t r = 0; r < page.count(); ++r) {
    const auto& items = page.row(r).items();
    for (std::int32_t i = 0; i < static_cast<std::int32_t>(items.size()); ++i) {
      const PlacedGlyph& p = items[static_cast<std::size_t>(i)];
      if (p.is_space() || !writes_level(e.glyph(p.glyph))) continue;
      if (!is_variable(e.glyph(p.glyph))) {
        w.i32(saved_level(page, Ref{r, i}));
        continue;
      }
      std::int32_t level = 0;
      for_each_produced(page, places, p.glyph, [&](Ref c) {
        level = saved_level(page, c);
        return false;
      });
      w.i32(level);
    }
  }
}

void load_reveal_state(TWdPage& page, std::span<const std::uint8_t> bytes) {
  if (page.stale()) return;
  core::ByteReader r(bytes);
  std::int32_t scroll = 0, row = 0, index = 0;
  bool complete = false;
  std::string pending;
  try {
    scroll = r.i32();
    row = r.i32();
    index = r.i32();
    complete = r.boolean();
    pending = r.str();
  } catch (const core::Error& e) {
    reset_reveal(page);
    core::throw_error("reveal state: " + e.message());
  }
  reset_reveal(page);
  TKvWord& e = page.engine();
  RevealState& st = page.reveal;
  page.scroll = scroll;
  row = std::clamp(row, 0, page.count());
  index = row == page.count() ? 0 : std::clamp(index, 0, page.row(row).count());
  const Ref at = settle(page, Ref{row, index});
  st.row = at.row;
  st.index = at.index;
  st.complete = complete;
  st.pending_events = std::move(pending);
  st.started = at != Ref{};

  const auto places = places_of(page);
  for (std::int32_t rr = 0; rr < page.count(); ++rr) {
    auto& items = page.row(rr).items();
    for (std::int32_t i = 0; i < static_cast<std::int32_t>(items.size()); ++i) {
      PlacedGlyph& p = items[static_cast<std::size_t>(i)];
      if (p.is_space() || !writes_level(e.glyph(p.glyph))) continue;
      // What the record does not hold stays unrevealed.
      const std::int32_t level = r.remaining() >= 4 ? std::clamp(r.i32(), 0, 255) : 0;
      auto set = [&](PlacedGlyph& q, Ref where) {
        q.level = level;
        q.revealed = level > 0;
        if (q.revealed && animates(e, e.glyph(q.glyph))) st.animated.push_back(where);
      };
      if (is_variable(e.glyph(p.glyph))) {
        for_each_produced(page, places, p.glyph, [&](Ref c) {
          set(page.at(c), c);
          return true;
        });
      } else {
        set(p, Ref{rr, i});
      }
    }
  }
  place_caret(page, at);
}

}  // namespace nova::text
