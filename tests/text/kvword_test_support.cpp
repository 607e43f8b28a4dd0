#include "kvword_test_support.h"

#include <algorithm>
#include <cstdlib>

#include "core/sjis.h"

namespace nova::text::support {

namespace {

class TestPicture final : public InlinePicture {
 public:
  TestPicture(TestPictures& owner, TestPictures::Shape shape) : m_owner(owner), m_shape(std::move(shape)) {}
  ~TestPicture() override { ++m_owner.released; }

  std::int32_t width() const override { return m_shape.width; }
  std::int32_t height() const override { return m_shape.height; }
  std::int32_t frame_count() const override { return static_cast<std::int32_t>(m_shape.delays.size()); }
  std::int32_t frame_delay(std::int32_t k) const override { return m_shape.delays.at(static_cast<std::size_t>(k)); }
  void draw_frame(std::int32_t k, graphics::TCustomDIBX& colour, graphics::TCustomDIBX& mask, std::int32_t x,
                  std::int32_t y) const override {
    const graphics::Rect r = graphics::Rect::from_size(x, y, m_shape.width, m_shape.height);
    colour.FillRect(r.intersected(colour.EffectiveClip()),
                    static_cast<std::uint32_t>(colour.ColorToPixel(m_shape.colour + k)));
    mask.FillRect(r.intersected(mask.EffectiveClip()), 255);
  }

 private:
  TestPictures& m_owner;
  TestPictures::Shape m_shape;
};

}  // namespace

std::unique_ptr<InlinePicture> TestPictures::acquire(std::string_view name) {
  auto it = shapes.find(name);
  if (it == shapes.end()) return nullptr;
  ++acquired;
  return std::make_unique<TestPicture>(*this, it->second);
}

test::TestGlyphShape full_box(std::uint16_t code, const platform::FontRequest& request) {
  const int h = std::max(1, std::abs(request.height));
  test::TestGlyphShape s;
  s.advance = code < 0x100 ? std::max(1, h / 2) : h;
  if (code == ' ' || code == 0x8140) return s;
  s.width = s.advance;
  s.height = h;
  s.origin_x = 0;
  s.origin_y = h - h / 5;  // the ascent: the box's top at the cell's top
  return s;
}

EngineFixture::EngineFixture() { m_fonts.shape = full_box; }

void EngineFixture::setup(std::int32_t width, std::int32_t height, std::int32_t size) {
  KvWordSettings s;
  s.width = width;
  s.height = height;
  s.font_size = size;
  s.fade_time = 0;
  s.speed = 256;
  m_word.set_settings(s);
}

std::vector<TWdPage>& EngineFixture::lay(std::string_view utf8, std::int32_t initial_wait) {
  m_pages.clear();
  const std::vector<std::string> lines = split_lines(test::sjis(utf8));
  m_word.parse(lines, ParseOptions{initial_wait});
  m_word.layout(m_pages);
  return m_pages;
}

std::vector<std::string> EngineFixture::rows_of(const TWdPage& page) const {
  std::vector<std::string> out;
  for (const TWdRow& row : page.items()) {
    std::string text;
    for (const PlacedGlyph& p : row.items()) {
      if (p.is_space()) {
        text += "_";
        continue;
      }
      const TWdGlyph& g = page.engine().glyph(p.glyph);
      const TWdChar* c = std::get_if<TWdChar>(&g);
      if (!c) c = std::get_if<TWdVarChar>(&g);
      if (c) {
        std::string sjis;
        if (c->code > 0xFF) sjis.push_back(static_cast<char>(c->code >> 8));
        sjis.push_back(static_cast<char>(c->code & 0xFF));
        text += test::utf8(sjis);
      } else if (std::holds_alternative<TWdOpeReturn>(g) || std::holds_alternative<TWdVarReturn>(g)) {
        text += "|";
      } else if (std::holds_alternative<TWdImg>(g)) {
        text += "*";
      } else {
        text += "^";
      }
    }
    out.push_back(text);
  }
  return out;
}

const PlacedGlyph& EngineFixture::nth_char(const TWdPage& page, int n) const {
  int seen = 0;
  for (const TWdRow& row : page.items()) {
    for (const PlacedGlyph& p : row.items()) {
      if (!p.is_space() && m_word.decoration_of(m_word.glyph(p.glyph)) && seen++ == n) return p;
    }
  }
  ADD_FAILURE() << "no character " << n << " on the page";
  static const PlacedGlyph none;
  return none;
}

const TWdRow& EngineFixture::row_of_char(const TWdPage& page, int n) const {
  int seen = 0;
  for (const TWdRow& row : page.items()) {
    for (const PlacedGlyph& p : row.items()) {
      if (!p.is_space() && m_word.decoration_of(m_word.glyph(p.glyph)) && seen++ == n) return row;
    }
  }
  ADD_FAILURE() << "no character " << n << " on the page";
  return page.items().front();
}

}  // namespace nova::text::support
