#include "text/label_list.h"

#include <algorithm>
#include <cstdlib>
#include <unordered_map>

#include "core/error.h"
#include "core/log.h"
#include "core/sjis.h"
#include "text/decoration.h"
#include "text/font_pixel_manager.h"

namespace nova::text {

namespace {

constexpr std::size_t kMetricsBytes = 212;
constexpr std::int32_t kMaxSize = 1024;
constexpr std::int32_t kMaxWidth = 64;

std::int32_t limit_size(std::int32_t size) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(std::llabs(std::int64_t{size}), 1, kMaxSize));
}

std::int32_t limit_width(std::int32_t w) { return std::clamp(w, 0, kMaxWidth); }

std::int32_t saturate(std::int64_t v) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, 0, INT32_MAX));
}

}  // namespace

const std::string& LabelListSettings::default_font_name() { return core::sjis("ＭＳ Ｐゴシック"); }

TKvLabelList::TKvLabelList(platform::FontService& fonts, TFontPixelManager& glyph_manager)
    : m_fonts(fonts), m_glyph_manager(glyph_manager) {}

TKvLabelList::~TKvLabelList() = default;

TKvLabelDIB* TKvLabelList::label(std::int32_t index) {
  return index >= 0 && index < count() ? m_labels[static_cast<std::size_t>(index)].get() : nullptr;
}

TKvLabelDIB& TKvLabelList::add_label(std::string text) {
  auto label = std::make_unique<TKvLabelDIB>(*this);
  label->m_text = std::move(text);
  m_labels.push_back(std::move(label));
  return *m_labels.back();
}

std::int32_t TKvLabelList::widest_label_width() const {
  std::int32_t widest = 0;
  for (const auto& l : m_labels) widest = std::max(widest, l->m_width);
  return widest;
}

void TKvLabelList::set_label_text(TKvLabelDIB& label, std::string text) {
  if (label.m_text == text) return;
  label.m_text = std::move(text);
  label.m_dirty = true;
}

void TKvLabelList::mark_all_dirty() {
  for (auto& l : m_labels) l->m_dirty = true;
}

void TKvLabelList::set_settings(LabelListSettings settings) {
  m_settings = std::move(settings);
  mark_all_dirty();
}

void TKvLabelList::set_size(std::int32_t size) {
  m_settings.size = size;
  mark_all_dirty();
}

void TKvLabelList::save_settings(core::ByteWriter& w, int version) const {
  const LabelListSettings& s = m_settings;
  w.i32(s.quality);
  w.i32(s.border_width);
  w.i32(s.opacity);
  w.i32(s.size);
  w.str(s.font_name);
  w.i32(s.text_color);
  w.i32(s.border_color);
  w.u8(s.style);
  w.bytes(std::string(kMetricsBytes, '\0'));
  if (version >= 122) {
    w.i32(s.shadow_width);
    w.i32(s.shadow_color);
  }
}

void TKvLabelList::load_settings(core::ByteReader& r, int version) {
  LabelListSettings s = m_settings;
  s.quality = r.i32();
  // Older records knew only antialiasing on or off.
  if (version < 109) s.quality = s.quality > 1 ? 3 : 0;
  s.border_width = r.i32();
  s.opacity = r.i32();
  s.size = r.i32();
  s.font_name = r.str();
  s.text_color = r.i32();
  s.border_color = r.i32();
  s.style = r.u8();
  r.skip(kMetricsBytes);
  if (version >= 122) {
    s.shadow_width = r.i32();
    s.shadow_color = r.i32();
  }
  set_settings(std::move(s));
}

int TKvLabelList::target_bits() const { return m_target ? m_target->GetBitCount() : 32; }

void TKvLabelList::measure() {
  const LabelListSettings& s = m_settings;
  platform::FontRequest request;
  request.face = s.font_name;
  request.height = limit_size(s.size);
  request.weight = (s.style & FS_BOLD) ? 700 : 400;
  request.italic = (s.style & FS_ITALIC) != 0;
  request.underline = (s.style & FS_UNDERLINE) != 0;
  request.strike_out = (s.style & FS_STRIKEOUT) != 0;
  const std::unique_ptr<platform::Font> font = m_fonts.create_font(request);
  if (!font) {
    core::logf(core::Channel::Text, core::Level::Warning, "no font for the labels of %s", {s.font_name});
  }
  const std::int64_t decoration = 2 * std::int64_t{limit_width(s.border_width)} + limit_width(s.shadow_width);
  const std::int64_t overhang = font ? font->metrics().overhang : 0;
  const std::int32_t line_height = saturate((font ? font->metrics().height : 0) + decoration);
  std::unordered_map<std::uint16_t, std::int32_t> widths;
  for (auto& label : m_labels) {
    const std::vector<std::int32_t> before = std::move(label->m_char_widths);
    const std::int32_t height_before = label->m_height;
    label->m_height = line_height;
    label->m_char_widths.clear();
    std::int64_t total = 0;
    const std::string& text = label->m_text;
    core::for_each_char(text, [&](std::size_t at, std::size_t n) {
      const std::uint16_t code = core::char_code_at(text, at);
      const bool last = at + n >= text.size();
      auto known = widths.find(code);
      std::int32_t w;
      if (known != widths.end() && !last) {
        w = known->second;
      } else {
        const platform::AbcWidths abc = font ? font->abc_widths(code) : platform::AbcWidths{};
        std::int64_t v = std::int64_t{abc.a} + abc.b + abc.c + overhang + decoration;
        // Its right overhang stays inside the label.
        if (last && abc.c < 0) v -= abc.c;
        w = saturate(v);
        widths[code] = w;
      }
      label->m_char_widths.push_back(w);
      total += w;
    });
    label->m_width = saturate(total);
    if (label->m_char_widths != before || label->m_height != height_before) label->m_dirty = true;
  }
}

void TKvLabelList::render(TKvLabelDIB& label) {
  const int bits = target_bits();
  const std::int32_t width = std::min(label.m_width, kMaxSurfaceSide);
  const std::int32_t height = std::min(label.m_height, kMaxSurfaceSide);
  if (label.m_colour.GetWidth() != width || label.m_colour.GetHeight() != height ||
      label.m_colour.GetBitCount() != bits) {
    label.m_colour.SetSize(width, height, bits);
    label.m_mask.SetSize(width, height, 8);
  }
  label.m_dirty = false;
  if (label.m_text.empty() || width == 0 || height == 0) return;
  label.m_mask.Fill(0);
  const LabelListSettings& s = m_settings;
  m_glyph_manager.SetQuality(s.quality);
  graphics::TCustomDIBX& convert = m_target ? *m_target : static_cast<graphics::TCustomDIBX&>(label.m_colour);
  GlyphDrawing d;
  d.color = &label.m_colour;
  d.mask = &label.m_mask;
  d.text_color = static_cast<std::uint32_t>(convert.ColorToPixel(s.text_color));
  d.border_color = static_cast<std::uint32_t>(convert.ColorToPixel(s.border_color));
  d.shadow_color = static_cast<std::uint32_t>(convert.ColorToPixel(s.shadow_color));
  d.border_width = limit_width(s.border_width);
  d.shadow_width = limit_width(s.shadow_width);
  const std::int32_t size = limit_size(s.size);
  std::int64_t x = 0;
  std::size_t i = 0;
  int failures = 0;
  std::string failure;
  const std::string& text = label.m_text;
  core::for_each_char(text, [&](std::size_t at, std::size_t n) {
    const std::int32_t w = i < label.m_char_widths.size() ? label.m_char_widths[i] : 0;
    if (x < width) {
      d.first_of_run = at == 0;
      d.last_of_run = at + n >= text.size();
      d.cell = graphics::Rect::from_size(static_cast<int>(x), 0, w, size);
      try {
        m_glyph_manager.DrawFontPixel(m_glyph_manager.GetFontPixel(core::char_code_at(text, at), s.font_name, s.style, size),
                                      d);
      } catch (const core::Error& e) {
        if (failures++ == 0) failure = e.message();
      }
    }
    x += w;
    ++i;
  });
  if (failures > 0) {
    core::logf(core::Channel::Text, core::Level::Warning, "%d characters of a label could not be drawn: %s",
               {failures, failure});
  }
}

void TKvLabelList::draw(TKvLabelDIB& label, std::int32_t x, std::int32_t y) {
  if (!m_target) return;
  if (label.m_dirty || label.m_colour.GetBitCount() != m_target->GetBitCount()) render(label);
  if (label.m_text.empty() || label.m_mask.IsEmpty()) return;
  const LabelListSettings& s = m_settings;
  const graphics::Rect all{0, 0, label.m_mask.GetWidth(), label.m_mask.GetHeight()};
  const int opacity = std::clamp(s.opacity, 0, 255);
  if (limit_width(s.border_width) == 0 && limit_width(s.shadow_width) == 0) {
    m_target->DrawColorMasked(x, y, opacity, static_cast<std::uint32_t>(m_target->ColorToPixel(s.text_color)), false,
                              false, all, label.m_mask);
  } else if (opacity < 255) {
    m_target->DrawMaskedBlend(x, y, opacity, label.m_mask, false, false, all, label.m_colour);
  } else {
    m_target->DrawMasked(x, y, label.m_mask, false, false, all, label.m_colour);
  }
}

}  // namespace nova::text
