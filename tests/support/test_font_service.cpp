#include "support/test_font_service.h"

#include <algorithm>
#include <cstdlib>

#include "platform/codepage.h"

namespace nova::test {

using platform::AbcWidths;
using platform::FontRequest;
using platform::GlyphBitmap;
using platform::GlyphFormat;
using platform::GlyphStatus;

namespace {

class TestFont final : public platform::Font {
 public:
  TestFont(TestFontService& service, const FontRequest& request) : m_service(service), m_request(request) {
    const int height = std::max(1, std::abs(request.height));
    m_metrics.height = height;
    m_metrics.descent = height / 5;
    m_metrics.ascent = height - m_metrics.descent;
    m_metrics.underscore_size = service.underscore_size;
    m_metrics.underscore_position = -1;
    m_metrics.strikeout_size = service.strikeout_size;
    m_metrics.strikeout_position = service.strikeout_position;
    m_metrics.face_used = "test";
    if (request.weight >= 600 || request.italic) m_metrics.overhang = service.synthetic_overhang;
  }

  const FontRequest& request() const override { return m_request; }
  const platform::OutlineTextMetrics& metrics() const override { return m_metrics; }
  std::size_t cached_glyphs() const override { return 0; }

  GlyphBitmap glyph(std::uint16_t code, GlyphFormat format) override {
    ++m_service.glyph_requests;
    GlyphBitmap out;
    if (!platform::codepage::code_to_unicode(code)) {
      out.status = GlyphStatus::Unmapped;
      return out;
    }
    if (m_service.refused.contains(format)) {
      out.status = GlyphStatus::Refused;
      return out;
    }
    const TestGlyphShape s = m_service.shape(code, m_request);
    out.metrics.cell_inc_x = s.advance;
    out.metrics.origin_x = s.origin_x;
    out.metrics.origin_y = s.origin_y;
    if (s.width <= 0 || s.height <= 0) return out;
    out.metrics.black_box_x = s.width;
    out.metrics.black_box_y = s.height;
    const bool mono = format == GlyphFormat::Mono;
    const int levels = mono ? 1 : platform::glyph_levels(format);
    out.pitch = mono ? (s.width + 31) / 32 * 4 : (s.width + 3) & ~3;
    out.data.assign(static_cast<std::size_t>(out.pitch) * static_cast<std::size_t>(s.height), 0);
    for (int y = 0; y < s.height; ++y) {
      for (int x = 0; x < s.width; ++x) {
        const int v = s.level ? std::clamp(s.level(x, y, levels), 0, levels) : levels;
        std::uint8_t* row = out.data.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(out.pitch);
        if (mono) {
          if (v > 0) row[x / 8] = static_cast<std::uint8_t>(row[x / 8] | 0x80 >> (x % 8));
        } else {
          row[x] = static_cast<std::uint8_t>(v);
        }
      }
    }
    return out;
  }

  AbcWidths abc_widths(std::uint16_t code) override {
    const TestGlyphShape s = m_service.shape(code, m_request);
    if (s.abc) return *s.abc;
    const int b = std::max(0, s.width);
    return AbcWidths{s.origin_x, static_cast<unsigned>(b), s.advance - s.origin_x - b};
  }

  int text_width(std::string_view sjis) override {
    int width = 0;
    for (std::size_t i = 0; i < sjis.size();) {
      const std::size_t n = platform::codepage::char_length(sjis, i);
      const auto code = static_cast<std::uint16_t>(n == 2 ? static_cast<std::uint8_t>(sjis[i]) << 8 |
                                                                static_cast<std::uint8_t>(sjis[i + 1])
                                                          : static_cast<std::uint8_t>(sjis[i]));
      width += m_service.shape(code, m_request).advance;
      i += n;
    }
    return width;
  }

 private:
  TestFontService& m_service;
  FontRequest m_request;
  platform::OutlineTextMetrics m_metrics;
};

}  // namespace

TestFontService::TestFontService() : shape(&TestFontService::default_shape) {}

TestGlyphShape TestFontService::default_shape(std::uint16_t code, const FontRequest& request) {
  const int h = std::max(1, std::abs(request.height));
  TestGlyphShape s;
  s.advance = code < 0x100 ? (h + 1) / 2 : h;
  if (code == ' ' || code == 0x8140) return s;
  s.width = std::max(1, s.advance * 3 / 4);
  s.height = std::max(1, h * 3 / 4);
  s.origin_x = s.advance / 8;
  s.origin_y = h - h / 5 - h / 8;
  return s;
}

std::vector<platform::FontFamily> TestFontService::families() { return {{"test", true}}; }

bool TestFontService::has_face(std::string_view sjis_face) { return sjis_face == "test"; }

std::unique_ptr<platform::Font> TestFontService::create_font(const FontRequest& request) {
  font_requests.push_back(request);
  if (no_font) return nullptr;
  return std::make_unique<TestFont>(*this, request);
}

}  // namespace nova::test
