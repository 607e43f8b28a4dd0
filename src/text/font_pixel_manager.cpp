#include "text/font_pixel_manager.h"

#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <limits>

#include "core/error.h"
#include "core/log.h"
#include "text/coverage_levels.h"
#include "text/decoration.h"

namespace nova::text {

namespace {

// The quotient n / d rounded to the nearest integer, halves to even.
std::int64_t round_half_even(std::int64_t n, std::int64_t d) {
  if (d < 0) {
    n = -n;
    d = -d;
  }
  std::int64_t q = n / d;
  const std::int64_t r = n % d;
  const std::int64_t twice = 2 * (r < 0 ? -r : r);
  if (twice > d || (twice == d && q % 2 != 0)) q += n < 0 ? -1 : 1;
  return q;
}

// The font of a glyph key: height the size, weight 700 when bold, and the
// other style flags as they are.
platform::FontRequest request_of(const std::string& name, std::int32_t size, std::uint8_t style) {
  platform::FontRequest request;
  request.face = name;
  request.height = size;
  request.weight = (style & FS_BOLD) ? 700 : 400;
  request.italic = (style & FS_ITALIC) != 0;
  request.underline = (style & FS_UNDERLINE) != 0;
  request.strike_out = (style & FS_STRIKEOUT) != 0;
  return request;
}

// The text of one character code, for its text width.
std::string code_text(std::uint16_t code) {
  if (code < 0x100) return std::string(1, static_cast<char>(code));
  return {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
}

}  // namespace

std::int64_t TFontPixel::coverage_bytes() const {
  return empty()
             ? 0
             : std::int64_t{coverage.GetPitch() < 0 ? -coverage.GetPitch() : coverage.GetPitch()} * coverage_height();
}

const TFontPixel& FontPixelRef::get() const {
  assert(m_owner->generation() == m_generation && "a glyph was used after a later GetFontPixel call");
  return *m_glyph;
}

TFontPixelManager::TFontPixelManager(platform::FontService& fonts, std::int64_t coverage_budget)
    : m_fonts(fonts), m_coverage_budget(coverage_budget) {}

TFontPixelManager::~TFontPixelManager() = default;

void TFontPixelManager::SetQuality(std::int32_t quality) {
  m_quality = std::clamp(quality, kLowestQuality, kHighestQuality);
}

std::int32_t TFontPixelManager::Ascent() const { return m_selected ? m_pool.front().font->metrics().ascent : 0; }

FontPixelRef TFontPixelManager::GetFontPixel(std::uint16_t code, std::string_view font_name, std::uint8_t style,
                                             std::int32_t size) {
  ++m_generation;
  const auto limited = static_cast<std::int32_t>(std::clamp<std::int64_t>(std::abs(std::int64_t{size}), 1, kMaxSize));
  for (const GlyphList::iterator& it : m_buckets[code & 0xFF]) {
    const TFontPixel& g = *it;
    if (g.code == code && g.size == limited && g.style == style && g.quality == m_quality && g.font_name == font_name) {
      m_mru.splice(m_mru.begin(), m_mru, it);
      return FontPixelRef(g, *this, m_generation);
    }
  }
  TFontPixel& glyph = make_glyph(code, font_name, style, limited);
  rasterize(glyph);
  keep_within_budget();
  return FontPixelRef(glyph, *this, m_generation);
}

TFontPixel& TFontPixelManager::make_glyph(std::uint16_t code, std::string_view font_name, std::uint8_t style,
                                          std::int32_t size) {
  if (m_mru.size() >= kMaxGlyphs) {
    // The least recently used glyph goes; its place is used again for the
    // new one (its coverage is replaced when the new glyph is rasterized).
    const auto last = std::prev(m_mru.end());
    unlink_from_bucket(*last);
    m_coverage_bytes -= last->coverage_bytes();
    m_mru.splice(m_mru.begin(), m_mru, last);
    m_stale_coverage = !last->empty();
  } else {
    m_mru.emplace_front();
    m_stale_coverage = false;
  }
  TFontPixel& g = m_mru.front();
  g.code = code;
  g.font_name.assign(font_name);
  g.size = size;
  g.style = style;
  g.quality = m_quality;
  g.left_bearing = g.top_offset = g.underline_thickness = g.strike_position = g.strike_thickness = g.extra_advance = 0;
  m_buckets[code & 0xFF].push_back(m_mru.begin());
  return g;
}

void TFontPixelManager::unlink_from_bucket(const TFontPixel& glyph) {
  std::vector<GlyphList::iterator>& bucket = m_buckets[glyph.code & 0xFF];
  const auto at =
      std::find_if(bucket.begin(), bucket.end(), [&](const GlyphList::iterator& it) { return &*it == &glyph; });
  assert(at != bucket.end());
  *at = bucket.back();
  bucket.pop_back();
}

void TFontPixelManager::evict_last() {
  const auto last = std::prev(m_mru.end());
  unlink_from_bucket(*last);
  m_coverage_bytes -= last->coverage_bytes();
  m_mru.erase(last);
}

void TFontPixelManager::keep_within_budget() {
  // The newest glyph (the front) stays whatever its size.
  while (m_coverage_bytes > m_coverage_budget && m_mru.size() > 1) evict_last();
}

platform::Font* TFontPixelManager::select_font(const FontKey& key) {
  const auto at = std::find_if(m_pool.begin(), m_pool.end(), [&](const PooledFont& f) { return f.key == key; });
  if (at != m_pool.end()) {
    std::rotate(m_pool.begin(), at, at + 1);
    m_selected = true;
    return m_pool.front().font.get();
  }
  std::unique_ptr<platform::Font> font = m_fonts.create_font(request_of(key.name, key.size, key.style));
  ++m_fonts_made;
  if (!font) {
    // The font replaced the selected one and its metrics cannot be read:
    // none is selected, and the next glyph tries again.
    m_selected = false;
    core::throw_error("Error:GetOutlineTextMetrics");
  }
  m_pool.insert(m_pool.begin(), PooledFont{key, std::move(font)});
  if (m_pool.size() > kFontPool) m_pool.pop_back();
  m_selected = true;
  return m_pool.front().font.get();
}

void TFontPixelManager::rasterize(TFontPixel& glyph) {
  // A glyph whose place was used before keeps that coverage until it is
  // replaced; every way out that leaves the glyph empty clears it.
  struct Stale {
    TFontPixel& glyph;
    bool& stale;
    ~Stale() {
      if (stale) glyph.coverage.Clear();
      stale = false;
    }
  } stale{glyph, m_stale_coverage};
  platform::Font* font = select_font(FontKey{glyph.font_name, glyph.size, glyph.style});
  platform::GlyphFormat format = format_of_quality(m_quality);
  platform::GlyphBitmap bitmap = font->glyph(glyph.code, format);
  if (bitmap.status == platform::GlyphStatus::Refused && format != platform::GlyphFormat::Mono) {
    core::logf(core::Channel::Text, core::Level::Warning, "glyph %04X refused at quality %d; the quality drops to 0",
               {glyph.code, m_quality});
    m_quality = kLowestQuality;
    format = platform::GlyphFormat::Mono;
    bitmap = font->glyph(glyph.code, format);
  }
  if (bitmap.status == platform::GlyphStatus::Refused) {
    core::logf(core::Channel::Text, core::Level::Warning, "glyph %04X refused in every format; it shows nothing",
               {glyph.code});
    return;
  }
  if (bitmap.status == platform::GlyphStatus::Unmapped) {
    core::logf(core::Channel::Text, core::Level::Debug, "code %04X is no character; it shows nothing", {glyph.code});
    return;
  }

  const platform::OutlineTextMetrics& om = font->metrics();
  const int w = bitmap.metrics.black_box_x;
  int h = bitmap.metrics.black_box_y;
  if (bitmap.data.empty() || w <= 0 || h <= 0) {
    // A blank: no coverage, and the character's text width to advance by.
    glyph.extra_advance = font->text_width(code_text(glyph.code));
    return;
  }
  const bool mono = format == platform::GlyphFormat::Mono;
  const std::int64_t rounded = (std::int64_t{w} + 3) & ~std::int64_t{3};
  // A bitmap larger than its box says has more rows than the box.
  if (static_cast<std::int64_t>(bitmap.data.size()) > rounded * h) {
    h = static_cast<int>(std::min<std::int64_t>(static_cast<std::int64_t>(bitmap.data.size()) / rounded,
                                                std::numeric_limits<int>::max()));
  }
  const std::int64_t pitch = mono ? (std::int64_t{w} + 31) / 32 * 4 : rounded;
  const std::int64_t rows = std::min<std::int64_t>(h, static_cast<std::int64_t>(bitmap.data.size()) / pitch);
  glyph.coverage.SetSize(w, h, 8);
  m_stale_coverage = false;

  const std::array<std::uint8_t, 256>& table = coverage_lookup(format);
  std::uint8_t* out = glyph.coverage.Lock(0, 0);
  const std::ptrdiff_t out_pitch = glyph.coverage.GetPitch();
  for (std::int64_t y = 0; y < rows; ++y) {
    const std::uint8_t* in = bitmap.data.data() + y * pitch;
    std::uint8_t* row = out + y * out_pitch;
    if (mono) {
      for (int x = 0; x < w; ++x) row[x] = (in[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
    } else {
      for (int x = 0; x < w; ++x) row[x] = table[in[x]];
    }
  }
  glyph.coverage.Unlock();
  m_coverage_bytes += glyph.coverage_bytes();

  const platform::GlyphMetrics& gm = bitmap.metrics;
  glyph.left_bearing = std::max(0, gm.origin_x);
  glyph.top_offset = std::max(0, om.ascent - gm.origin_y);
  glyph.underline_thickness = (glyph.style & FS_UNDERLINE) ? om.underscore_size : 0;
  glyph.strike_position = (glyph.style & FS_STRIKEOUT) ? om.ascent - om.strikeout_position : 0;
  glyph.strike_thickness = (glyph.style & FS_STRIKEOUT) ? om.strikeout_size : 0;
  glyph.extra_advance = std::max(0, gm.cell_inc_x - w - glyph.left_bearing);
}

platform::Font* TFontPixelManager::width_font(const FontKey& key) {
  if (m_width_font.font && m_width_font.key == key) return m_width_font.font.get();
  // A font of the pool serves as well; widths do not depend on selection.
  for (const PooledFont& f : m_pool) {
    if (f.key == key) return f.font.get();
  }
  m_width_font = PooledFont{key, m_fonts.create_font(request_of(key.name, key.size, key.style))};
  ++m_fonts_made;
  if (!m_width_font.font) {
    core::logf(core::Channel::Text, core::Level::Warning, "no font for the widths of %s at %d; glyphs are centred",
               {key.name, key.size});
  }
  return m_width_font.font.get();
}

std::int32_t TFontPixelManager::HorizontalOffset(const TFontPixel& glyph, std::int32_t cell_width) {
  const std::int64_t gw = glyph.coverage_width();
  const std::int64_t f = std::min<std::int64_t>(cell_width, glyph.size) - gw;
  if (std::int64_t{glyph.left_bearing} + glyph.extra_advance >= f) return 0;
  platform::AbcWidths abc;
  if (platform::Font* font = width_font(FontKey{glyph.font_name, glyph.size, glyph.style})) {
    abc = font->abc_widths(glyph.code);
  }
  const std::int64_t a = abc.a, b = abc.b, c = abc.c;
  std::int64_t o;
  if (a + c == 0 || a + b + c == 0) {
    // (With no width to share the space by, the glyph is centred.)
    o = f / 2;
  } else {
    o = round_half_even((a + b / 2) * f, a + b + c);
  }
  o = std::clamp<std::int64_t>(o - glyph.left_bearing, 0, std::numeric_limits<std::int32_t>::max());
  return static_cast<std::int32_t>(o);
}

std::vector<std::size_t> TFontPixelManager::font_cache_counts() const {
  std::vector<std::size_t> counts;
  for (const PooledFont& f : m_pool) counts.push_back(f.font->cached_glyphs());
  if (m_width_font.font) counts.push_back(m_width_font.font->cached_glyphs());
  return counts;
}

graphics::Rect TFontPixelManager::DrawFontPixel(const FontPixelRef& ref, const GlyphDrawing& drawing) {
  const TFontPixel& glyph = ref.get();
  if (glyph.empty()) return {};
  GlyphDrawing limited = drawing;
  limited.border_width = std::clamp(drawing.border_width, 0, kMaxDecorationWidth);
  limited.shadow_width = std::clamp(drawing.shadow_width, 0, kMaxDecorationWidth);
  const auto cell_width = static_cast<std::int32_t>(std::clamp<std::int64_t>(
      drawing.cell.width64(), std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
  return paint_glyph(glyph, HorizontalOffset(glyph, cell_width), limited);
}

}  // namespace nova::text
