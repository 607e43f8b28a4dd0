// TFontPixelManager: the one glyph cache and rasterizer. Every character
// the player draws as text is asked for here (GetFontPixel), made once from
// the platform's font service, kept among the most recently used glyphs, and
// drawn into a colour surface and its 8-bit mask with border, shadow and
// bars (DrawFontPixel).
//
// Bounds: at most kMaxGlyphs glyphs, whose coverage together stays under a
// byte budget (the newest glyph is always kept); sizes are limited to
// 1..kMaxSize, border and shadow widths to 0..kMaxDecorationWidth. Fonts are
// made only when the name, size or style flags change; a few recent ones are
// kept so that text alternating between two sizes (ruby over its base) does
// not make a font per character.
//
// Lifetime: one object of the title services, made before the component
// system and freed at the end; it borrows the font service, which must
// outlive it. Tests build their own. Not thread-safe: the main thread only.
//
// Borrowed glyphs: GetFontPixel answers a FontPixelRef, valid until the next
// GetFontPixel call, since any call may evict the glyph it refers to. Draw
// it at once. In builds with assertions, using a reference after a later
// call asserts.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "graphics/dibx.h"
#include "platform/fonts.h"
#include "text/font_pixel.h"
#include "text/glyph_painter.h"

namespace nova::text {

class TFontPixelManager;

// A glyph borrowed from the manager until its next GetFontPixel call.
class FontPixelRef {
 public:
  const TFontPixel& operator*() const { return get(); }
  const TFontPixel* operator->() const { return &get(); }
  const TFontPixel& get() const;

 private:
  friend class TFontPixelManager;
  FontPixelRef(const TFontPixel& glyph, const TFontPixelManager& owner, std::uint64_t generation)
      : m_glyph(&glyph), m_owner(&owner), m_generation(generation) {}

  const TFontPixel* m_glyph;
  const TFontPixelManager* m_owner;
  std::uint64_t m_generation;
};

class TFontPixelManager {
 public:
  static constexpr std::size_t kMaxGlyphs = 256;
  static constexpr std::int64_t kDefaultCoverageBudget = std::int64_t{64} << 20;
  static constexpr std::int32_t kMaxSize = 1024;
  static constexpr std::int32_t kMaxDecorationWidth = 64;
  // Fonts kept besides the selected one.
  static constexpr std::size_t kFontPool = 4;

  explicit TFontPixelManager(platform::FontService& fonts, std::int64_t coverage_budget = kDefaultCoverageBudget);
  ~TFontPixelManager();
  TFontPixelManager(const TFontPixelManager&) = delete;
  TFontPixelManager& operator=(const TFontPixelManager&) = delete;

  // The glyph of (code, font name, style flags, |size| limited to
  // 1..kMaxSize, current quality), from the cache or made now. A code
  // without a character gives an empty glyph. Raises core::Error
  // "Error:GetOutlineTextMetrics" when the service cannot make the font; the
  // (empty) glyph is in the cache then.
  FontPixelRef GetFontPixel(std::uint16_t code, std::string_view font_name, std::uint8_t style, std::int32_t size);

  // The antialiasing level of the next glyphs (0..3; other values are
  // limited to that range). Drops to 0 by itself when the service refuses a
  // gray format, and stays there until set again.
  std::int32_t Quality() const { return m_quality; }
  void SetQuality(std::int32_t quality);

  // The ascent of the font selected last (0 before any).
  std::int32_t Ascent() const;

  // Draws a glyph into its cell: placement, border, shadow, underline and
  // strike-out. Answers the rectangle painted (empty for an empty glyph).
  graphics::Rect DrawFontPixel(const FontPixelRef& glyph, const GlyphDrawing& drawing);

  // The offset of a glyph inside a cell of this width: how far right of its
  // left bearing it is placed, keeping a narrow glyph of a proportional font
  // in its own proportion of left and right space.
  std::int32_t HorizontalOffset(const TFontPixel& glyph, std::int32_t cell_width);

  // For tests and the title services' statistics.
  std::size_t cached_glyphs() const { return m_mru.size(); }
  std::int64_t coverage_bytes() const { return m_coverage_bytes; }
  std::int64_t coverage_budget() const { return m_coverage_budget; }
  std::uint64_t generation() const { return m_generation; }
  // Fonts made from the service so far (glyph fonts and width fonts).
  std::size_t fonts_made() const { return m_fonts_made; }
  // The characters each font the manager holds keeps rendered (the fonts'
  // own caches, which the font service bounds).
  std::vector<std::size_t> font_cache_counts() const;

 private:
  struct FontKey {
    std::string name;
    std::int32_t size = 0;
    std::uint8_t style = 0;
    bool operator==(const FontKey&) const = default;
  };
  struct PooledFont {
    FontKey key;
    std::unique_ptr<platform::Font> font;
  };
  using GlyphList = std::list<TFontPixel>;

  TFontPixel& make_glyph(std::uint16_t code, std::string_view font_name, std::uint8_t style, std::int32_t size);
  void rasterize(TFontPixel& glyph);
  platform::Font* select_font(const FontKey& key);
  platform::Font* width_font(const FontKey& key);
  void evict_last();
  void keep_within_budget();
  void unlink_from_bucket(const TFontPixel& glyph);

  platform::FontService& m_fonts;
  const std::int64_t m_coverage_budget;
  std::int32_t m_quality = 3;

  // Most recently used first; owns the glyphs.
  GlyphList m_mru;
  // By the code's low byte: the glyphs of that bucket, as positions in m_mru.
  std::array<std::vector<GlyphList::iterator>, 256> m_buckets;
  std::int64_t m_coverage_bytes = 0;
  // The glyph being made holds the coverage of the glyph its place held.
  bool m_stale_coverage = false;
  std::uint64_t m_generation = 0;

  // The selected font first, then the ones kept in case they come back.
  std::vector<PooledFont> m_pool;
  bool m_selected = false;  // m_pool.front() is the selected font
  // The font the character widths of placement are read from.
  PooledFont m_width_font;
  std::size_t m_fonts_made = 0;
};

}  // namespace nova::text
