// Label lists: widths from A, B and C with the overhang, border and shadow;
// the last character's negative C; the settings record in its versions;
// rendering and drawing through the mask.
#include "text/label_list.h"

#include <gtest/gtest.h>

#include "core/error.h"
#include "kvword_test_support.h"
#include "text/decoration.h"

namespace nova::text {
namespace {

class Labels : public ::testing::Test {
 protected:
  Labels() {
    // 'A' has a negative C: its ink reaches 3 past its advance.
    m_fonts.shape = [](std::uint16_t code, const platform::FontRequest& r) {
      test::TestGlyphShape s = support::full_box(code, r);
      if (code == 'A') s.abc = platform::AbcWidths{1, 9, -3};
      if (code == 'B') s.abc = platform::AbcWidths{2, 5, 1};
      return s;
    };
    m_fonts.synthetic_overhang = 2;
  }
  test::TestFontService m_fonts;
  TFontPixelManager m_manager{m_fonts};
  TKvLabelList m_list{m_fonts, m_manager};
};

TEST_F(Labels, CharactersAreAPlusBPlusCPlusOverhangBorderAndShadow) {
  LabelListSettings s;
  s.size = 20;
  s.border_width = 2;
  s.shadow_width = 3;
  s.style = FS_BOLD;  // a synthesized bold has an overhang
  m_list.set_settings(s);
  TKvLabelDIB& label = m_list.add_label("BAB");
  TKvLabelDIB& last_a = m_list.add_label("BBA");
  m_list.add_label("AB");
  m_list.measure();
  // B: 2 + 5 + 1 + 2 + 4 + 3 = 17. A: 1 + 9 - 3 + 2 + 7 = 16, and as the
  // last character 3 more.
  EXPECT_EQ(label.char_widths(), (std::vector<std::int32_t>{17, 16, 17}));
  EXPECT_EQ(label.width(), 50);
  EXPECT_EQ(last_a.char_widths(), (std::vector<std::int32_t>{17, 17, 19}));
  // The last character's width is what the pass keeps for its code.
  EXPECT_EQ(m_list.label(2)->char_widths(), (std::vector<std::int32_t>{19, 17}));
  EXPECT_EQ(label.height(), 20 + 4 + 3);
  EXPECT_EQ(m_list.widest_label_width(), 53);
  EXPECT_EQ(m_list.label(3), nullptr);
  EXPECT_EQ(m_list.label(-1), nullptr);
  // Without a synthesized style there is no overhang.
  s.style = 0;
  m_list.set_settings(s);
  m_list.measure();
  EXPECT_EQ(label.char_widths(), (std::vector<std::int32_t>{15, 14, 15}));
}

std::vector<std::uint8_t> label_record(int version, std::int32_t quality) {
  core::ByteWriter w;
  for (std::int32_t v : {quality, 2, 200, 16}) w.i32(v);
  w.str("face");
  w.i32(0x010203);
  w.i32(0x040506);
  w.u8(FS_ITALIC);
  w.bytes(std::string(212, '\x5A'));  // whatever the metrics held
  if (version >= 122) {
    w.i32(3);
    w.i32(0x070809);
  }
  return w.take();
}

TEST_F(Labels, TheSettingsRecordInEachVersion) {
  struct Case {
    int version, stored, quality;
  };
  for (const Case& c : {Case{108, 2, 3}, Case{108, 1, 0}, Case{108, 0, 0}, Case{109, 2, 2}, Case{121, 1, 1}, Case{122, 3, 3}}) {
    SCOPED_TRACE(c.version);
    SCOPED_TRACE(c.stored);
    const std::vector<std::uint8_t> bytes = label_record(c.version, c.stored);
    core::ByteReader r(bytes);
    m_list.set_settings({});
    m_list.load_settings(r, c.version);
    EXPECT_TRUE(r.at_end());
    const LabelListSettings& s = m_list.settings();
    EXPECT_EQ(s.quality, c.quality);
    EXPECT_EQ(s.border_width, 2);
    EXPECT_EQ(s.opacity, 200);
    EXPECT_EQ(s.size, 16);
    EXPECT_EQ(s.font_name, "face");
    EXPECT_EQ(s.text_color, 0x010203);
    EXPECT_EQ(s.border_color, 0x040506);
    EXPECT_EQ(s.style, FS_ITALIC);
    EXPECT_EQ(s.shadow_width, c.version >= 122 ? 3 : 0);
    EXPECT_EQ(s.shadow_color, c.version >= 122 ? 0x070809 : 0);
  }
  // Written: the metrics as zeros, the shadow fields from 122.
  core::ByteWriter w;
  m_list.save_settings(w, 122);
  std::vector<std::uint8_t> expected = label_record(122, 3);
  std::fill(expected.begin() + 4 * 4 + 4 + 4 + 4 * 2 + 1, expected.end() - 8, 0);
  EXPECT_EQ(w.data(), expected);
  core::ByteWriter old;
  m_list.save_settings(old, 121);
  EXPECT_EQ(old.size(), expected.size() - 8);
  // A name longer than the record, or a record cut short, changes nothing.
  const LabelListSettings before = m_list.settings();
  std::vector<std::uint8_t> bad = label_record(122, 3);
  bad[16] = 0xFF;
  bad[19] = 0x7F;
  core::ByteReader r(bad);
  EXPECT_THROW(m_list.load_settings(r, 122), core::Error);
  core::ByteReader cut(std::span<const std::uint8_t>(expected).first(expected.size() - 1));
  EXPECT_THROW(m_list.load_settings(cut, 122), core::Error);
  EXPECT_EQ(m_list.settings(), before);
}

TEST_F(Labels, LabelsRenderAtTheTargetsDepthAndDrawThroughTheirMask) {
  graphics::TDIBX target;
  target.SetSize(80, 30, 16);
  target.Fill(0);
  m_list.set_target(&target);
  LabelListSettings s;
  s.size = 10;
  s.text_color = 0xFFFFFF;
  m_list.set_settings(s);
  TKvLabelDIB& label = m_list.add_label("ab");
  m_list.measure();
  EXPECT_TRUE(label.dirty());
  m_list.draw(label, 5, 4);
  EXPECT_FALSE(label.dirty());
  EXPECT_EQ(label.colour().GetBitCount(), 16);
  EXPECT_EQ(label.mask().GetBitCount(), 8);
  EXPECT_EQ(label.mask().GetWidth(), label.width());
  // Where the mask is set the text colour is painted, elsewhere nothing.
  int painted = 0;
  for (int y = 0; y < label.height(); ++y) {
    for (int x = 0; x < label.width(); ++x) {
      const bool ink = label.mask().GetPixel(x, y) == 255;
      const std::uint32_t t = target.GetPixel(x + 5, y + 4);
      if (ink) {
        EXPECT_GT(t, 0xE000u) << x << "," << y;
        ++painted;
      } else if (label.mask().GetPixel(x, y) == 0) {
        EXPECT_EQ(t, 0u) << x << "," << y;
      }
    }
  }
  EXPECT_GT(painted, 20);
  // A changed text makes the label dirty; the same text does not.
  m_list.set_label_text(label, "ab");
  EXPECT_FALSE(label.dirty());
  m_list.set_label_text(label, "abc");
  EXPECT_TRUE(label.dirty());
  // With a border the colour surface is drawn through the mask.
  s.border_width = 1;
  s.border_color = 0x0000FF;
  m_list.set_settings(s);
  m_list.measure();
  target.Fill(0);
  m_list.draw(label, 0, 0);
  // (0x0000FF is red; DrawMasked weighs by 255/256.)
  bool border_seen = false;
  for (int x = 0; x < label.width(); ++x) {
    const std::uint32_t rgb = platform::to_rgb32(target.GetPixel(x, 1), platform::PixelFormat::Rgb565);
    if ((rgb >> 16) >= 0xE0 && (rgb & 0xFFFF) == 0) border_seen = true;
  }
  EXPECT_TRUE(border_seen);
  // An empty label draws nothing and a target of another depth renders again.
  TKvLabelDIB& empty = m_list.add_label();
  m_list.measure();
  m_list.draw(empty, 0, 0);
  EXPECT_EQ(empty.width(), 0);
  graphics::TDIBX deep;
  deep.SetSize(80, 30, 32);
  m_list.set_target(&deep);
  m_list.draw(label, 0, 0);
  EXPECT_EQ(label.colour().GetBitCount(), 32);
}

}  // namespace
}  // namespace nova::text
