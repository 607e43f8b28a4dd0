// The text engine over settings, a tagged text and a name/value list from
// outside (common/layout_input.h): parse, prepare, layout, render on the
// tests' font service, reveal steps with the given elapsed times, hover and
// hit tests, drawing; then the reveal state saved and loaded back must save
// to the same bytes. Every glyph of the text must be placed on exactly one
// row of one page.
#include <cstdio>
#include <cstdlib>

#include "../common/layout_input.h"
#include "core/error.h"
#include "support/test_font_service.h"
#include "text/font_pixel_manager.h"
#include "text/tokenizer.h"
#include "text/word_layout.h"
#include "text/word_render.h"
#include "text/word_reveal.h"

using namespace nova;

namespace {

// Pictures whose size and frames follow from their names.
class Pictures final : public text::InlinePictureSource {
 public:
  class Picture final : public text::InlinePicture {
   public:
    explicit Picture(std::uint32_t h) : m_h(h) {}
    std::int32_t width() const override { return static_cast<std::int32_t>(m_h % 40); }
    std::int32_t height() const override { return static_cast<std::int32_t>(m_h / 40 % 40); }
    std::int32_t frame_count() const override { return static_cast<std::int32_t>(m_h / 1600 % 4); }
    std::int32_t frame_delay(std::int32_t k) const override { return static_cast<std::int32_t>((m_h >> k) % 90) - 10; }
    void draw_frame(std::int32_t k, graphics::TCustomDIBX& colour, graphics::TCustomDIBX& mask, std::int32_t x,
                    std::int32_t y) const override {
      const graphics::Rect r = graphics::Rect::from_size(x, y, width(), height());
      colour.FillRect(r.intersected(colour.EffectiveClip()), static_cast<std::uint32_t>(k * 0x111111));
      mask.FillRect(r.intersected(mask.EffectiveClip()), 200);
    }

   private:
    std::uint32_t m_h;
  };
  std::unique_ptr<text::InlinePicture> acquire(std::string_view name) override {
    std::uint32_t h = 2166136261u;
    for (char c : name) h = (h ^ static_cast<std::uint8_t>(c)) * 16777619u;
    if (h % 7 == 0) core::throw_error("undecodable");
    return std::make_unique<Picture>(h);
  }
};

[[noreturn]] void fault(const char* what) {
  std::fprintf(stderr, "text layout: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::optional<fuzz::LayoutInput> in = fuzz::read_layout_input(std::span(data, size));
  if (!in || in->text.size() > 4000) return 0;
  test::TestFontService fonts;
  text::TFontPixelManager manager(fonts);
  Pictures pictures;
  text::TKvWord word(manager, &pictures);
  word.set_settings(fuzz::within_caps(in->settings));
  word.set_bit_count(in->tail.empty() ? 32 : in->tail[0] % 3 == 0 ? 16 : in->tail[0] % 3 == 1 ? 15 : 32);
  int events = 0;
  word.set_event_callback([&](std::string_view) { ++events; });
  for (const auto& [name, value] : in->names) word.names().set(name, value);
  try {
    word.parse(text::split_lines(in->text));
  } catch (const core::Error&) {
    return 0;
  }
  word.prepare_variables(0, -1, !in->tail.empty() && in->tail[0] % 2);
  std::vector<text::TWdPage> pages;
  word.layout(pages);

  // Every glyph the layout places is on one row of one page.
  std::int64_t placed = 0, expected = 0;
  for (std::int32_t i = 0; i < word.glyph_count(); ++i) {
    const text::TWdGlyph& g = word.glyph(i);
    expected += !(std::holds_alternative<text::TWdOpeAlign>(g) || std::holds_alternative<text::TWdOpeIndent>(g) ||
                  std::holds_alternative<text::TWdOpeUndent>(g));
  }
  for (const text::TWdPage& p : pages) {
    for (const text::TWdRow& r : p.items()) {
      for (const text::PlacedGlyph& g : r.items()) placed += !g.is_space();
    }
  }
  if (placed != expected) fault("a glyph was placed twice or not at all");

  std::size_t t = 1;
  auto next = [&]() -> std::int32_t { return t < in->tail.size() ? in->tail[t++] : 15; };
  for (text::TWdPage& page : pages) {
    text::start_page(page, false);
    graphics::TDIBX target;
    target.SetSize(64, 64, word.bit_count());
    for (int n = 0; n < 40 && text::is_revealing(page); ++n) {
      const std::int32_t v = next();
      // Now and then an elapsed time of its own magnitude.
      text::step(page, v % 17 == 0 ? v * 32768 : v % 1000);
      text::draw_page(page, target, -(v % 50), -(v % 30));
    }
    const std::int32_t x = next() % 1100, y = next() % 1100;
    text::hover(page, x, y);
    text::hit_test(page, x, y);
    (void)text::link_text(page);
    (void)text::page_text(page);
    text::hover(page, -1, -1);

    core::ByteWriter first;
    text::save_reveal_state(page, first);
    std::vector<text::TWdPage> again;
    word.layout(again);
    text::TWdPage& copy = again.at(static_cast<std::size_t>(&page - pages.data()));
    text::load_reveal_state(copy, first.data());
    core::ByteWriter second;
    text::save_reveal_state(copy, second);
    if (first.data() != second.data()) fault("the reveal state did not save to the same bytes after loading");
  }
  return 0;
}
