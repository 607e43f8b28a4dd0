#include "text/kvword.h"

#include <algorithm>
#include <cstdlib>

#include "core/error.h"
#include "core/log.h"
#include "core/sjis.h"
#include "text/glyph_stream.h"
#include "text/word_layout.h"

namespace nova::text {

namespace {

std::int32_t limit_width(std::int32_t w) { return std::clamp(w, 0, TKvWord::kMaxWidth); }

std::int32_t limit_size(std::int32_t size) {
  // |INT_MIN| does not fit an int32; 64 bits hold it before the limit.
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(std::llabs(std::int64_t{size}), 1, TKvWord::kMaxSize));
}

}  // namespace

const std::string& KvWordSettings::default_font_name() { return core::sjis("ＭＳ ゴシック"); }

TKvWord::TKvWord(TFontPixelManager& glyph_manager, InlinePictureSource* pictures)
    : m_glyph_manager(glyph_manager), m_pictures(pictures) {}

TKvWord::~TKvWord() = default;

void TKvWord::set_settings(KvWordSettings settings) {
  settings.border_width = limit_width(settings.border_width);
  settings.shadow_width = limit_width(settings.shadow_width);
  m_settings = std::move(settings);
}

void TKvWord::save_settings(core::ByteWriter& w, int version) const {
  const KvWordSettings& s = m_settings;
  w.i32(s.view_x);
  w.i32(s.view_y);
  w.i32(s.font_size);
  w.str(s.font_name);
  w.i32(s.text_color);
  w.i32(s.height);
  w.i32(s.width);
  w.i32(s.quality);
  w.i32(s.line_spacing);
  w.boolean(s.paging);
  w.i32(s.link_color);
  w.i32(s.link_hover_color);
  w.i32(s.fade_time);
  w.i32(s.border_color);
  w.i32(s.opacity);
  w.boolean(s.hold);
  w.i32(s.caret.x);
  w.i32(s.caret.y);
  w.i32(s.speed);
  w.boolean(s.events_on);
  if (version >= 110) w.i32(s.shadow_color);
  if (version > 110) {
    w.i32(s.border_width);
    w.i32(s.shadow_width);
  }
}

void TKvWord::load_settings(core::ByteReader& r, int version) {
  // Read into a copy, so that a record cut short changes nothing.
  KvWordSettings s = m_settings;
  s.view_x = r.i32();
  s.view_y = r.i32();
  s.font_size = r.i32();
  s.font_name = r.str();
  s.text_color = r.i32();
  s.height = r.i32();
  s.width = r.i32();
  s.quality = r.i32();
  s.line_spacing = r.i32();
  s.paging = r.boolean();
  s.link_color = r.i32();
  s.link_hover_color = r.i32();
  s.fade_time = r.i32();
  s.border_color = r.i32();
  s.opacity = r.i32();
  s.hold = r.boolean();
  s.caret.x = r.i32();
  s.caret.y = r.i32();
  s.speed = r.i32();
  s.events_on = r.boolean();
  if (version >= 110) s.shadow_color = r.i32();
  if (version > 110) {
    s.border_width = r.i32();
    s.shadow_width = r.i32();
  }
  set_settings(std::move(s));
}

// --- The text ------------------------------------------------------------------------------

void TKvWord::glyphs_changed() { ++m_generation; }

void TKvWord::replace_text(ParsedText text) {
  m_text = std::move(text);
  // The pictures go with the glyphs that named them.
  m_held_pictures.clear();
  glyphs_changed();
}

void TKvWord::parse(std::span<const std::string> lines, const ParseOptions& options) {
  replace_text(ParsedText{});
  replace_text(parse_tagged_lines(lines, options));
}

void TKvWord::load_glyph_stream(core::ByteReader& r) {
  replace_text(ParsedText{});
  replace_text(read_glyph_stream(r));
}

void TKvWord::clear() { replace_text(ParsedText{}); }

void TKvWord::copy_glyphs(const TKvWord& from, std::int32_t first, std::int32_t last) {
  const std::int32_t count = from.glyph_count();
  if (last < 0 || last >= count) last = count - 1;
  first = std::max(first, 0);
  for (std::int32_t i = first; i <= last; ++i) {
    TWdGlyph g = from.glyph(i);
    if (is_produced(g)) continue;
    auto reintern = [&](std::int32_t& index) { index = m_text.intern(from.text().decorations()[index]); };
    if (auto* c = std::get_if<TWdChar>(&g)) reintern(c->decoration);
    if (auto* v = std::get_if<TWdOpeVar>(&g)) reintern(v->decoration);
    if (auto* h = std::get_if<TWdOpeHistChar>(&g)) reintern(h->decoration);
    m_text.append(std::move(g));
  }
  glyphs_changed();
}

std::int32_t TKvWord::prepare_variables(std::int32_t first, std::int32_t last, bool history,
                                        TextVariableSource* source) {
  const std::int32_t result = text::prepare_variables(m_text, first, last, history, VariableContext{&m_names, source});
  glyphs_changed();
  return result;
}

std::int32_t TKvWord::prepare_appended_variables(std::int32_t first, bool history, TextVariableSource* source) {
  const std::int32_t result =
      text::prepare_appended_variables(m_text, first, history, VariableContext{&m_names, source});
  glyphs_changed();
  return result;
}

void TKvWord::adopt_page(TWdPage& page) const { page.m_generation = m_generation; }

std::int32_t TKvWord::remove_variables(std::int32_t first, std::int32_t last) {
  const std::int32_t result = remove_variable_expansions(m_text, first, last);
  glyphs_changed();
  return result;
}

// --- Glyphs and character positions ------------------------------------------------------

std::int32_t TKvWord::index_of(const TWdGlyph& g) const {
  const auto& glyphs = m_text.glyphs();
  if (glyphs.empty() || &g < glyphs.data() || &g >= glyphs.data() + glyphs.size()) return -1;
  return static_cast<std::int32_t>(&g - glyphs.data());
}

std::int32_t TKvWord::char_count_of(const TWdGlyph& g) {
  return std::holds_alternative<TWdChar>(g) || std::holds_alternative<TWdImg>(g) ||
                 std::holds_alternative<TWdOpeEvent>(g) || std::holds_alternative<TWdOpeVar>(g) ||
                 std::holds_alternative<TWdOpeHistChar>(g)
             ? 1
             : 0;
}

std::int32_t TKvWord::char_count_before(std::int32_t i) const {
  i = std::clamp(i, 0, glyph_count());
  std::int32_t n = 0;
  for (std::int32_t k = 0; k < i; ++k) n += char_count(k);
  return n;
}

std::int32_t TKvWord::glyph_index_of_char_count(std::int32_t n) const {
  std::int32_t before = 0;
  for (std::int32_t i = 0; i < glyph_count(); ++i) {
    if (before >= n) return i;
    before += char_count(i);
  }
  return glyph_count();
}

TKvWord::GlyphSpan TKvWord::glyphs_of_positions(std::int32_t first, std::int32_t last) const {
  const std::int32_t count = glyph_count();
  GlyphSpan span;
  // The start: the glyphs at position `first` that count nothing come
  // before its character. The line breaks among them closed rows of the
  // page before (a blank row is 0 high and fits any page that holds its
  // top), up to a page break; what a variable produced belongs to it.
  std::int32_t s = first <= 0 ? 0 : glyph_index_of_char_count(first);
  if (first > 0) {
    for (std::int32_t i = s; i < count && char_count(i) == 0; ++i) {
      if (const auto* r = std::get_if<TWdOpeReturn>(&glyph(i))) {
        s = i + 1;
        if (r->clear) break;
      }
    }
  }
  while (s < count && is_produced(glyph(s))) ++s;
  span.first = s;
  if (last < 0) {
    span.last = count - 1;
    return span;
  }
  // The end: the character at position `last`, what it produced, and the
  // line break that closes its row when only operations lie between.
  std::int32_t e = glyph_index_of_char_count(last);
  while (e < count && char_count(e) == 0) ++e;
  if (e >= count) {
    span.last = count - 1;
    return span;
  }
  while (e + 1 < count && is_produced(glyph(e + 1))) ++e;
  for (std::int32_t j = e + 1; j < count && char_count(j) == 0 && !is_produced(glyph(j)); ++j) {
    if (const auto* r = std::get_if<TWdOpeReturn>(&glyph(j))) {
      e = j;
      if (r->clear) break;
    }
  }
  span.last = e;
  return span;
}

// --- Measuring ---------------------------------------------------------------------------

const TDecorate* TKvWord::decoration_of(const TWdGlyph& g) const {
  const TWdChar* c = std::get_if<TWdChar>(&g);
  if (!c) c = std::get_if<TWdVarChar>(&g);
  if (!c || !m_text.decorations().contains(c->decoration)) return nullptr;
  return &m_text.decorations()[c->decoration];
}

ResolvedLook TKvWord::look_of(const TDecorate& d) const {
  ResolvedLook look;
  look.font_name = !d.font_name.empty() ? std::string_view(d.font_name) : std::string_view(m_settings.font_name);
  if (look.font_name.empty()) look.font_name = KvWordSettings::default_font_name();
  look.size = limit_size(d.size != 0 ? d.size : m_settings.font_size);
  look.style = d.style;
  look.border_width = limit_width(d.border_width != -1 ? d.border_width : m_settings.border_width);
  look.shadow_width = limit_width(d.shadow_width != -1 ? d.shadow_width : m_settings.shadow_width);
  look.color = d.color;
  look.border_color = d.border_color != -1 ? d.border_color : m_settings.border_color;
  look.shadow_color = d.shadow_color != -1 ? d.shadow_color : m_settings.shadow_color;
  return look;
}

platform::Size TKvWord::cell_of(std::int32_t i) {
  const TWdGlyph& g = glyph(i);
  if (const TDecorate* d = decoration_of(g)) {
    const ResolvedLook look = look_of(*d);
    std::int32_t w = look.size, h = look.size;
    if (look.style & FS_ITALIC) w += look.size / 5;
    if (!d->ruby.empty()) h += std::max(1, look.size / 2);
    w += 2 * look.border_width + look.shadow_width;
    h += 2 * look.border_width + look.shadow_width;
    return {w, h};
  }
  if (const auto* img = std::get_if<TWdImg>(&g)) {
    if (const InlinePicture* p = picture(img->source)) return {p->width(), p->height()};
  }
  return {0, 0};
}

InlinePicture* TKvWord::picture(std::string_view name) {
  if (!m_pictures) return nullptr;
  auto it = m_held_pictures.find(name);
  if (it == m_held_pictures.end()) {
    std::unique_ptr<InlinePicture> p;
    try {
      p = m_pictures->acquire(name);
    } catch (const core::Error& e) {
      core::logf(core::Channel::Text, core::Level::Warning, "picture %s: %s", {std::string(name), e.message()});
    }
    // A picture without pixels is empty; the glyph keeps 0 × 0.
    if (p && (p->width() <= 0 || p->height() <= 0 || p->frame_count() <= 0)) p.reset();
    it = m_held_pictures.emplace(std::string(name), std::move(p)).first;
  }
  return it->second.get();
}

}  // namespace nova::text
