// Revealing over time: waits scaled by the speed, fades, the caret, events,
// rows below the window, budgets that cannot wrap, and the reveal-state
// record at every point of a reveal and against a different layout.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "core/error.h"
#include "kvword_test_support.h"
#include "text/word_render.h"
#include "text/word_reveal.h"

namespace nova::text {
namespace {

using Strings = std::vector<std::string>;

class Reveal : public support::EngineFixture {
 protected:
  // The step (counted from 0) at which each character appeared, stepping
  // `elapsed` ms at a time.
  std::vector<int> reveal_steps(TWdPage& page, int elapsed, int limit = 1000) {
    std::vector<int> at;
    for (int n = 0; n < limit && is_revealing(page); ++n) {
      const StepResult r = step(page, elapsed);
      for (std::size_t k = 0; k < r.revealed.size(); ++k) {
        at.push_back(n);
        if (static_cast<unsigned char>(r.revealed[k]) >= 0x81) ++k;
      }
    }
    return at;
  }
  std::vector<std::uint8_t> saved(const TWdPage& page) {
    core::ByteWriter w;
    save_reveal_state(page, w);
    return w.take();
  }
  // The level of each character (-1 when not revealed); produced ones too
  // unless told not to.
  std::vector<std::int32_t> levels(const TWdPage& page, bool produced = true) {
    std::vector<std::int32_t> out;
    for (const TWdRow& row : page.items()) {
      for (const PlacedGlyph& p : row.items()) {
        if (p.is_space() || !m_word.decoration_of(m_word.glyph(p.glyph))) continue;
        if (produced || !is_produced(m_word.glyph(p.glyph))) out.push_back(p.revealed ? p.level : -1);
      }
    }
    return out;
  }
};

TEST_F(Reveal, OneGlyphPerWaitAndTwiceAsFastAtDoubleSpeed) {
  setup(0, 100);
  EXPECT_EQ(reveal_steps(lay("あいうえお", 50)[0], 10), (std::vector<int>{0, 5, 10, 15, 20}));
  // The speed scales the waits: 128 halves them, 512 doubles them.
  KvWordSettings s = m_word.settings();
  s.speed = 128;
  m_word.set_settings(s);
  EXPECT_EQ(reveal_steps(lay("あいうえお", 50)[0], 10), (std::vector<int>{0, 3, 5, 8, 10}));
  s.speed = 512;
  m_word.set_settings(s);
  EXPECT_EQ(reveal_steps(lay("あいうえお", 50)[0], 10), (std::vector<int>{0, 10, 20, 30, 40}));
  // 15 ms frames: each glyph in the first frame whose time reaches its turn.
  s.speed = 256;
  m_word.set_settings(s);
  EXPECT_EQ(reveal_steps(lay("あいうえ", 50)[0], 15), (std::vector<int>{0, 4, 7, 10}));
}

TEST_F(Reveal, WaitsAtSpeedZeroAndNegativeWaits) {
  setup(0, 100);
  KvWordSettings s = m_word.settings();
  s.speed = 0;
  m_word.set_settings(s);
  // A negative wait is absolute, a positive one scaled to nothing.
  EXPECT_EQ(reveal_steps(lay("<WAIT VALUE=-100>a</WAIT><WAIT VALUE=100>bc</WAIT>d", 40)[0], 25),
            (std::vector<int>{0, 4, 4, 4}));
  // A negative speed stops neither: absolute waits are not taken, positive
  // ones are scaled by 0.
  s.speed = -256;
  m_word.set_settings(s);
  EXPECT_EQ(reveal_steps(lay("<WAIT VALUE=-100>ab", 40)[0], 25), (std::vector<int>{0, 0}));
}

TEST_F(Reveal, FadeLevelsGrowByElapsedOverFadeTime) {
  setup(0, 100);
  m_word.set_fade_time(100);
  TWdPage& page = lay("あ", 0)[0];
  std::vector<std::int32_t> seen;
  while (is_revealing(page)) {
    step(page, 15);
    seen.push_back(page.row(0).items()[0].level);
  }
  // 15 × 256 / 100 = 38.4: the remainder carries over.
  EXPECT_EQ(seen, (std::vector<std::int32_t>{0, 38, 76, 115, 153, 192, 230, 255}));
  // Changed rectangles are those of the glyphs whose level changed.
  lay("あい", 1000);
  TWdPage& p = m_pages[0];
  render_page(p);
  step(p, 15);
  step(p, 15);
  ASSERT_EQ(m_word.dirty_rects().size(), 1u);
  EXPECT_EQ(m_word.dirty_rects()[0], p.row(0).items()[0].rect);
}

TEST_F(Reveal, TheCaretStandsWhereTheNextGlyphAppears) {
  setup(40, 100, 10);
  TWdPage& page = lay("あい<FONT SIZE=20>う</FONT>えお", 10)[0];
  // Rows: あいう (height 20), えお at y 20.
  ASSERT_EQ(rows_of(page), (Strings{"あいう", "えお"}));
  std::vector<std::tuple<int, int, int>> carets;
  reset_reveal(page);
  carets.emplace_back(m_word.caret().x, m_word.caret().y, m_word.caret_height());
  while (is_revealing(page)) {
    if (!step(page, 10).revealed.empty()) carets.emplace_back(m_word.caret().x, m_word.caret().y, m_word.caret_height());
  }
  EXPECT_EQ(carets, (std::vector<std::tuple<int, int, int>>{
                        {0, 0, 20}, {10, 0, 20}, {20, 0, 20}, {0, 20, 10}, {10, 20, 10}, {20, 20, 10}}));
}

TEST_F(Reveal, EventsGoOnceNothingFadesTabJoinedAndAnEndEventEndsTheStep) {
  setup(0, 100);
  std::vector<std::string> events;
  m_word.set_event_callback([&](std::string_view e) { events.emplace_back(e); });
  // Two events in one step.
  TWdPage& page = lay("<EVENT VALUE=a><EVENT VALUE=b>x", 0)[0];
  StepResult r = step(page, 15);
  EXPECT_EQ(events, (Strings{"a", "b"}));
  EXPECT_EQ(r.revealed, "");
  // The step after events counts no time, and x comes.
  EXPECT_EQ(step(page, 15).revealed, "x");

  // With a glyph fading the events wait for it, joined by a tab.
  events.clear();
  m_word.set_fade_time(30);
  TWdPage& fading = lay("y<EVENT VALUE=a><EVENT VALUE=b>x", 0)[0];
  step(fading, 15);
  EXPECT_TRUE(events.empty());
  const std::vector<std::uint8_t> state = saved(fading);
  const std::string pending = "\x03\x00\x00\x00" "a\tb";
  EXPECT_NE(std::search(state.begin(), state.end(), pending.begin(), pending.end()), state.end());
  EXPECT_EQ(step(fading, 15).revealed, "");  // y: 0 → 128
  EXPECT_TRUE(events.empty());
  step(fading, 15);  // y: 255, no longer fading
  EXPECT_EQ(events, (Strings{"a", "b"}));

  // An end event ends the step even before another event.
  events.clear();
  m_word.set_fade_time(0);
  TWdPage& ended = lay("<EVENT VALUE=a END><EVENT VALUE=b>x", 0)[0];
  step(ended, 15);
  EXPECT_EQ(events, (Strings{"a"}));
  step(ended, 15);
  EXPECT_EQ(events, (Strings{"a", "b"}));
  // With events off nothing is handed over and nothing stops.
  events.clear();
  KvWordSettings s = m_word.settings();
  s.events_on = false;
  m_word.set_settings(s);
  EXPECT_EQ(step(lay("<EVENT VALUE=a>x<EVENT VALUE=b>y", 0)[0], 15).revealed, "xy");
  EXPECT_TRUE(events.empty());
}

TEST_F(Reveal, ARowBelowTheWindowWaitsForTheViewToScroll) {
  setup(20, 10, 10);
  KvWordSettings s = m_word.settings();
  s.paging = false;
  m_word.set_settings(s);
  TWdPage& page = lay("あいうえおか", 0)[0];
  ASSERT_EQ(page.count(), 3);
  EXPECT_EQ(step(page, 15).revealed, test::sjis("あいうえ"));
  EXPECT_EQ(step(page, 15).revealed, "");
  EXPECT_TRUE(is_revealing(page));
  s.view_y = 10;
  m_word.set_settings(s);
  EXPECT_EQ(step(page, 15).revealed, test::sjis("おか"));
  // The page's own scroll counts as well.
  s.view_y = 0;
  m_word.set_settings(s);
  TWdPage& scrolled = lay("あいうえおか", 0)[0];
  scrolled.scroll = 10;
  EXPECT_EQ(step(scrolled, 15).revealed, test::sjis("あいうえおか"));
}

TEST_F(Reveal, TheLongestWaitAtTheHighestSpeedDoesNotWrap) {
  setup(0, 100);
  KvWordSettings s = m_word.settings();
  s.speed = 2147483647;
  m_word.set_settings(s);
  TWdPage& page = lay("<WAIT VALUE=2147483647>ab", 0)[0];
  EXPECT_EQ(step(page, 15).revealed, "a");
  for (int i = 0; i < 100; ++i) EXPECT_EQ(step(page, 2147483647).revealed, "") << i;
  EXPECT_TRUE(is_revealing(page));
  // The fade accumulator and a level's increment do not wrap either.
  m_word.set_fade_time(1);
  TWdPage& faded = lay("c", 0)[0];
  step(faded, 15);
  step(faded, 2147483647);
  EXPECT_EQ(faded.row(0).items()[0].level, 255);
  EXPECT_FALSE(is_revealing(faded));
  m_word.set_fade_time(2147483647);
  TWdPage& slow = lay("c", 0)[0];
  step(slow, 0);
  step(slow, 2147483647);
  EXPECT_EQ(slow.row(0).items()[0].level, 255);
}

TEST_F(Reveal, HoldStopsTheRevealButNotTheFade) {
  setup(0, 100);
  m_word.set_fade_time(30);
  TWdPage& page = lay("ab", 0)[0];
  EXPECT_EQ(step(page, 15).revealed, "ab");
  lay("ab", 20);
  TWdPage& held = m_pages[0];
  EXPECT_EQ(step(held, 15).revealed, "a");
  m_word.set_hold(true);
  EXPECT_EQ(step(held, 15).revealed, "");
  EXPECT_EQ(step(held, 15).revealed, "");
  EXPECT_EQ(held.row(0).items()[0].level, 255);
  m_word.set_hold(false);
  // The budget did not run down while held.
  EXPECT_EQ(step(held, 15).revealed, "");
  EXPECT_EQ(step(held, 5).revealed, "b");
  reveal_all(held);
  EXPECT_FALSE(is_revealing(held));
  EXPECT_EQ(levels(held), (std::vector<std::int32_t>{255, 255}));
}

TEST_F(Reveal, TheStateRecordRoundTripsAtEveryPointOfAReveal) {
  setup(40, 30, 10);
  m_pictures.shapes = {{"p", {10, 10, {50, 50}}}};
  m_word.names().set("n", "XY\x01Z");
  m_word.set_fade_time(40);
  const char* text = "あ<VAR NAME=n>い<IMG SRC=p>う<EVENT VALUE=e>え<BR>おかきく<INDENT>けこさしすせそ";
  lay(text, 20);
  m_word.prepare_variables(0, -1, false);
  m_pages.clear();
  m_word.layout(m_pages);
  ASSERT_GE(m_pages.size(), 2u);
  TWdPage& page = m_pages[0];
  int points = 0;
  for (int n = 0; n < 60 && is_revealing(page); ++n) {
    SCOPED_TRACE(n);
    step(page, 15);
    const std::vector<std::uint8_t> first = saved(page);
    // Into the same layout, laid out anew.
    std::vector<TWdPage> other;
    m_word.layout(other);
    load_reveal_state(other[0], first);
    EXPECT_EQ(saved(other[0]), first);
    // What is no longer fading keeps its level; what fades is opaque.
    // (Produced characters take their variable's level.)
    const auto a = levels(page, false), b = levels(other[0], false);
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t k = 0; k < a.size(); ++k) {
      if (a[k] < 0) {
        EXPECT_EQ(b[k], -1) << k;
      } else {
        EXPECT_TRUE(b[k] == a[k] || b[k] == 255) << k;
      }
    }
    // The reveal goes on from where it stood.
    EXPECT_EQ(other[0].reveal.row, page.reveal.row);
    EXPECT_EQ(other[0].reveal.index, page.reveal.index);
    ++points;
  }
  EXPECT_GT(points, 10);
  EXPECT_FALSE(is_revealing(page));
}

TEST_F(Reveal, AStateLoadsIntoAVariableExpandedLongerOrShorter) {
  setup(0, 100, 10);
  m_word.names().set("n", "ABC");
  lay("x<VAR NAME=n>yz", 20);
  m_word.prepare_variables(0, -1, false);
  m_pages.clear();
  m_word.layout(m_pages);
  step(m_pages[0], 15);   // x
  step(m_pages[0], 20);   // A
  step(m_pages[0], 20);   // B
  ASSERT_EQ(levels(m_pages[0]), (std::vector<std::int32_t>{255, 255, 255, -1, -1, -1}));
  const std::vector<std::uint8_t> state = saved(m_pages[0]);
  // x, the variable (as its first character), y, z.
  ASSERT_EQ(state.size(), 4u * 3 + 1 + 4 + 4 * 4);
  for (const char* value : {"ABCDEF", "A", ""}) {
    SCOPED_TRACE(value);
    m_word.names().set("n", value);
    m_word.prepare_variables(0, -1, false);
    std::vector<TWdPage> pages;
    m_word.layout(pages);
    load_reveal_state(pages[0], state);
    std::vector<std::int32_t> expected{255};
    for (std::size_t i = 0; i < std::string(value).size(); ++i) expected.push_back(255);
    expected.push_back(-1);
    expected.push_back(-1);
    EXPECT_EQ(levels(pages[0]), expected);
    // The reveal goes on from index 4 of the row, limited to the row, and
    // ends.
    int guard = 0;
    while (is_revealing(pages[0]) && guard++ < 100) step(pages[0], 100);
    EXPECT_FALSE(is_revealing(pages[0]));
  }
}

TEST_F(Reveal, LoadingTrustsNothingItIsGiven) {
  setup(20, 100, 10);
  TWdPage& page = lay("あいうえ", 0)[0];
  reveal_all(page);
  const std::vector<std::uint8_t> full = saved(page);
  // Only the bytes given are read: the levels past them stay unrevealed.
  lay("あいうえ", 0);
  load_reveal_state(m_pages[0], std::span<const std::uint8_t>(full).first(full.size() - 8));
  EXPECT_EQ(levels(m_pages[0]), (std::vector<std::int32_t>{255, 255, -1, -1}));
  // Indexes past the layout end at its end; levels are limited.
  core::ByteWriter w;
  w.i32(0);
  w.i32(7);
  w.i32(99);
  w.boolean(true);
  w.str("");
  w.i32(1000);
  w.i32(-5);
  w.i32(128);
  load_reveal_state(m_pages[0], w.data());
  EXPECT_EQ(levels(m_pages[0]), (std::vector<std::int32_t>{255, -1, 128, -1}));
  EXPECT_EQ(m_pages[0].reveal.row, 2);
  EXPECT_EQ(m_pages[0].reveal.index, 0);
  // The reveal stands at the end, and loaded levels do not fade.
  EXPECT_TRUE(step(m_pages[0], 15).complete);
  // A record cut short in its header resets the page and says so.
  reveal_all(m_pages[0]);
  EXPECT_THROW(load_reveal_state(m_pages[0], std::span<const std::uint8_t>(full).first(10)), core::Error);
  EXPECT_EQ(levels(m_pages[0]), (std::vector<std::int32_t>{-1, -1, -1, -1}));
  EXPECT_EQ(m_pages[0].reveal.row, 0);
  // A page laid out before the glyphs changed does nothing.
  TWdPage stale = m_pages[0];
  lay("あ", 0);
  EXPECT_TRUE(stale.stale());
  EXPECT_TRUE(step(stale, 15).complete);
  load_reveal_state(stale, full);
}

}  // namespace
}  // namespace nova::text
