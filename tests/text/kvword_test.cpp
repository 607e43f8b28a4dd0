// The engine itself: its settings record in every version, the text it holds
// (parse, streams, copies, variables, the pictures it keeps), and the
// character positions that pages and the history count in.
#include "text/kvword.h"

#include <gtest/gtest.h>

#include "core/error.h"
#include "kvword_test_support.h"
#include "text/glyph_stream.h"
#include "text_test_support.h"
#include "text/word_reveal.h"

namespace nova::text {
namespace {

class Engine : public support::EngineFixture {};

TEST_F(Engine, SettingsStartAtTheirDefaults) {
  const TKvWord engine(m_manager);
  const KvWordSettings& s = engine.settings();
  EXPECT_EQ(s.view_x, 0);
  EXPECT_EQ(s.view_y, 0);
  EXPECT_EQ(s.font_size, 12);
  EXPECT_EQ(s.font_name, test::sjis("ＭＳ ゴシック"));
  EXPECT_EQ(s.text_color, 0);
  EXPECT_EQ(s.height, 0);
  EXPECT_EQ(s.width, 0);
  EXPECT_EQ(s.quality, 3);
  EXPECT_EQ(s.line_spacing, 0);
  EXPECT_TRUE(s.paging);
  EXPECT_EQ(s.link_color, 0xFF0000);
  EXPECT_EQ(s.link_hover_color, 0x008000);
  EXPECT_EQ(s.fade_time, 1);
  EXPECT_EQ(s.border_color, 0x808080);
  EXPECT_EQ(s.opacity, 255);
  EXPECT_FALSE(s.hold);
  EXPECT_EQ(s.caret, (graphics::Point{0, 0}));
  EXPECT_EQ(s.speed, 256);
  EXPECT_TRUE(s.events_on);
  EXPECT_EQ(s.shadow_color, 0);
  EXPECT_EQ(s.border_width, 0);
  EXPECT_EQ(s.shadow_width, 0);
}

// The record as hand-laid bytes, up to a version.
std::vector<std::uint8_t> settings_record(int version, std::int32_t shadow_width = 4) {
  core::ByteWriter w;
  for (std::int32_t v : {1, 2, 20}) w.i32(v);
  w.str("abc");
  for (std::int32_t v : {0x112233, 480, 640, 2, 4}) w.i32(v);
  w.u8(0);
  for (std::int32_t v : {0x0000FF, 0x00FF00, 300, 0x111111, 200}) w.i32(v);
  w.u8(1);
  for (std::int32_t v : {5, 6, 128}) w.i32(v);
  w.u8(0);
  if (version >= 110) w.i32(0x222222);
  if (version > 110) {
    w.i32(3);
    w.i32(shadow_width);
  }
  return w.take();
}

TEST_F(Engine, TheSettingsRecordHoldsEachFieldFromItsVersion) {
  for (int version : {109, 110, 111}) {
    SCOPED_TRACE(version);
    TKvWord word(m_manager);
    const std::vector<std::uint8_t> bytes = settings_record(version);
    core::ByteReader r(bytes);
    word.load_settings(r, version);
    EXPECT_TRUE(r.at_end());
    const KvWordSettings& s = word.settings();
    EXPECT_EQ(s.view_x, 1);
    EXPECT_EQ(s.view_y, 2);
    EXPECT_EQ(s.font_size, 20);
    EXPECT_EQ(s.font_name, "abc");
    EXPECT_EQ(s.text_color, 0x112233);
    EXPECT_EQ(s.height, 480);
    EXPECT_EQ(s.width, 640);
    EXPECT_EQ(s.quality, 2);
    EXPECT_EQ(s.line_spacing, 4);
    EXPECT_FALSE(s.paging);
    EXPECT_EQ(s.link_color, 0x0000FF);
    EXPECT_EQ(s.link_hover_color, 0x00FF00);
    EXPECT_EQ(s.fade_time, 300);
    EXPECT_EQ(s.border_color, 0x111111);
    EXPECT_EQ(s.opacity, 200);
    EXPECT_TRUE(s.hold);
    EXPECT_EQ(s.caret, (graphics::Point{5, 6}));
    EXPECT_EQ(s.speed, 128);
    EXPECT_FALSE(s.events_on);
    EXPECT_EQ(s.shadow_color, version >= 110 ? 0x222222 : 0);
    EXPECT_EQ(s.border_width, version > 110 ? 3 : 0);
    EXPECT_EQ(s.shadow_width, version > 110 ? 4 : 0);
    core::ByteWriter w;
    word.save_settings(w, version);
    EXPECT_EQ(w.data(), bytes);
  }
  // Widths beyond 64 are limited when read.
  TKvWord word(m_manager);
  const std::vector<std::uint8_t> wide = settings_record(111, 1000);
  core::ByteReader r(wide);
  word.load_settings(r, 111);
  EXPECT_EQ(word.settings().shadow_width, 64);
}

TEST_F(Engine, ARecordCutShortOrWithALengthPastItsEndChangesNothing) {
  const std::vector<std::uint8_t> bytes = settings_record(111);
  for (std::size_t n : {std::size_t{0}, std::size_t{14}, std::size_t{20}, bytes.size() - 1}) {
    SCOPED_TRACE(n);
    core::ByteReader r(std::span<const std::uint8_t>(bytes).first(n));
    EXPECT_THROW(m_word.load_settings(r, 111), core::Error);
    EXPECT_EQ(m_word.settings(), KvWordSettings{});
  }
  core::ByteWriter w;
  w.i32(0);
  w.i32(0);
  w.i32(12);
  w.i32(0x7FFFFFFF);  // a font name longer than anything that follows
  w.bytes(std::string(16, 'x'));
  core::ByteReader r(w.data());
  EXPECT_THROW(m_word.load_settings(r, 111), core::Error);
  EXPECT_EQ(m_word.settings(), KvWordSettings{});
}

TEST_F(Engine, CharacterPositionsCountCharactersPicturesAndEvents) {
  lay("a<BR>あ<EVENT VALUE=e><IMG SRC=p><DIV ALIGN=RIGHT>b");
  ASSERT_EQ(m_word.glyph_count(), 7);
  std::vector<std::int32_t> before, index;
  for (std::int32_t i = 0; i <= 7; ++i) before.push_back(m_word.char_count_before(i));
  for (std::int32_t n = 0; n <= 6; ++n) index.push_back(m_word.glyph_index_of_char_count(n));
  EXPECT_EQ(before, (std::vector<std::int32_t>{0, 1, 1, 2, 3, 4, 4, 5}));
  EXPECT_EQ(index, (std::vector<std::int32_t>{0, 1, 3, 4, 5, 7, 7}));
  EXPECT_EQ(m_word.index_of(m_word.glyph(4)), 4);
  const TWdGlyph elsewhere = m_word.glyph(4);
  EXPECT_EQ(m_word.index_of(elsewhere), -1);
  // A layout to a position ends at the glyph that position names.
  setup(0, 100);
  lay("abc<BR>def");
  std::vector<TWdPage> pages;
  m_word.layout(pages, 1, 3);
  EXPECT_EQ(rows_of(pages[0]), (std::vector<std::string>{"bc|"}));
}

TEST_F(Engine, CopiedGlyphsTakeTheirDecorationsIntoTheCopysList) {
  TKvWord from(m_manager);
  from.parse(std::vector<std::string>{test::sjis("<FONT SIZE=20>ab</FONT><VAR NAME=n><RUBY VALUE=\"る\">c</RUBY>")});
  from.names().set("n", "QQ");
  from.prepare_variables(0, -1, false);
  ASSERT_EQ(from.glyph_count(), 6);
  m_word.parse(std::vector<std::string>{"<B>x</B>"});
  m_word.copy_glyphs(from, 1, -1);
  // b, the variable and c; not the produced characters.
  ASSERT_EQ(m_word.glyph_count(), 4);
  support::expect_counts_match_references(m_word.text());
  EXPECT_EQ(m_word.decoration_of(m_word.glyph(1))->size, 20);
  EXPECT_EQ(m_word.decoration_of(m_word.glyph(3))->ruby, test::sjis("る"));
  EXPECT_EQ(m_word.decoration_of(m_word.glyph(0))->style, FS_BOLD);
  // Preparing the copy makes the produced characters again from its own
  // list.
  m_word.names().set("n", "R");
  m_word.prepare_variables(0, -1, false);
  EXPECT_EQ(support::shown_text(m_word.text()), "xbRc");
  // Copies past the end take the last glyph.
  m_word.copy_glyphs(from, 5, 99);
  EXPECT_EQ(m_word.glyph_count(), 6);
}

TEST_F(Engine, StreamsAndParsesReplaceTheTextAndTheirPicturesGoWithIt) {
  m_pictures.shapes = {{"p", {4, 4}}};
  setup(0, 100);
  lay("a<IMG SRC=p>b");
  EXPECT_EQ(m_pictures.acquired, 1);
  EXPECT_EQ(m_pictures.released, 0);
  std::vector<TWdPage> old = m_pages;
  const std::vector<std::uint8_t> stream = write_glyph_stream(parse_tagged_text("xy"));
  core::ByteReader r(stream);
  m_word.load_glyph_stream(r);
  EXPECT_EQ(m_pictures.released, 1);
  EXPECT_EQ(support::shown_text(m_word.text()), "xy");
  // Pages of the old text are stale and do nothing.
  EXPECT_TRUE(old[0].stale());
  EXPECT_TRUE(step(old[0], 15).complete);
  EXPECT_EQ(old[0].first_position(), 0);
  // A damaged stream and a rejected text leave the engine empty.
  std::vector<std::uint8_t> damaged = stream;
  damaged.resize(damaged.size() - 3);
  core::ByteReader d(damaged);
  EXPECT_THROW(m_word.load_glyph_stream(d), core::Error);
  EXPECT_EQ(m_word.glyph_count(), 0);
  m_word.parse(std::vector<std::string>{"x"});
  EXPECT_THROW(m_word.parse(std::vector<std::string>{"<A>x"}), core::Error);
  EXPECT_EQ(m_word.glyph_count(), 0);
  // An undecodable picture is empty, and the source's error stays within.
  class Throwing final : public InlinePictureSource {
   public:
    std::unique_ptr<InlinePicture> acquire(std::string_view) override { core::throw_error("damaged"); }
  } throwing;
  TKvWord word(m_manager, &throwing);
  word.parse(std::vector<std::string>{"<IMG SRC=x>"});
  EXPECT_EQ(word.cell_of(0).width, 0);
}

}  // namespace
}  // namespace nova::text
