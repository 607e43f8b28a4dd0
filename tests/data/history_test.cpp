// The message history in list mode, the formats around it, and every layout
// of its records: written here by hand in each older form, read by the
// history, and written back by its own writer.
#include <gtest/gtest.h>

#include <climits>

#include "core/error.h"
#include "core/log.h"
#include "data/data_functions.h"
#include "data/history_format.h"
#include "expr/params.h"
#include "support/test_font_service.h"
#include "text/font_pixel_manager.h"
#include "text/word_layout.h"
#include "text/word_render.h"
#include "text_sources.h"

namespace nova::test {
namespace {

using data::NotedPage;
using data::TNovaHistoryFormatManager;

NotedPage shown(std::string key, std::int32_t command, std::int32_t page, std::string box = "mes") {
  NotedPage p;
  p.box = std::move(box);
  p.box_width = 400;
  p.box_height = 100 + page;
  p.key = std::move(key);
  p.command = command;
  p.page = page;
  p.first = page * 10;
  p.last = page * 10 + 9;
  return p;
}

// Notes and commits a page, as a box does when it moves on from it.
void record(TNovaHistoryFormatManager& m, NotedPage p) {
  const std::string box = p.box;
  m.NotePage(p);
  m.Commit(box, {});
}

TEST(History, ListModeKeepsTheMaximumMovesKeysAndCountsOnlyWhatWasLeft) {
  TNovaHistoryFormatManager m;
  data::TNovaNewHistory& h = m.Default().History();
  m.NotePage(shown("ep1", 3, 0));
  EXPECT_EQ(h.Count(), 0) << "the page shown is not counted";
  m.Commit("other", {});
  EXPECT_EQ(h.Count(), 0) << "only the box that showed it commits it";
  m.NotePage(shown("EP1", 3, 1));  // the next page replaces the pending one only after a commit
  m.Commit("mes", {});
  ASSERT_EQ(h.Count(), 1);
  EXPECT_EQ(h.entries()[0], (data::THistoryOldData{"EP1", 3, 1, 400, 101}));
  m.Commit("mes", {});
  EXPECT_EQ(h.Count(), 1) << "a page is committed once";

  record(m, shown("Ep1", 3, 2));
  record(m, shown("ep2", 5, 0));
  ASSERT_EQ(h.Count(), 3);
  EXPECT_EQ(h.entries()[1].key, "") << "keys differing in case are stored once";
  EXPECT_EQ(data::effective_key(h.entries(), 1), "EP1");
  EXPECT_EQ(h.entries()[2].key, "ep2");

  // A maximum takes effect at the next commit; the oldest goes and the
  // entry after it takes over its key.
  h.SetMaxCount(3);
  EXPECT_EQ(h.Count(), 3);
  record(m, shown("ep2", 5, 1));
  ASSERT_EQ(h.Count(), 3);
  EXPECT_EQ(h.entries()[0], (data::THistoryOldData{"EP1", 3, 2, 400, 102}));
  EXPECT_EQ(h.entries()[1].key, "ep2");
  EXPECT_EQ(h.entries()[2].key, "");
  h.SetMaxCount(1);
  record(m, shown("ep3", 0, 0));
  ASSERT_EQ(h.Count(), 1);
  EXPECT_EQ(h.entries()[0].key, "ep3");

  // Every format records; ClrHist keeps the formats and their settings;
  // Reset leaves only a new default.
  data::TNovaHistoryFormat& named = m.FindOrCreate("log");
  EXPECT_EQ(&named, m.Find("log"));
  EXPECT_EQ(m.Find("LOG"), nullptr) << "format names are exact";
  named.SetSettings({0, 1, 2, 0, 5, 6});
  record(m, shown("ep4", 1, 0));
  EXPECT_EQ(named.History().Count(), 1);
  EXPECT_EQ(h.Count(), 1);
  m.NotePage(shown("ep5", 1, 0));
  m.Clear();
  EXPECT_EQ(m.FormatCount(), 2u);
  EXPECT_EQ(named.Settings(), (data::HistoryLayout{0, 1, 2, 0, 5, 6}));
  EXPECT_EQ(h.Count(), 0);
  m.Commit("mes", {});
  EXPECT_EQ(h.Count(), 0) << "the pending page went with the history";
  EXPECT_EQ(h.MaxCount(), 1) << "the maximum is a setting";
  m.Reset();
  EXPECT_EQ(m.FormatCount(), 1u);
  EXPECT_EQ(m.Find("log"), nullptr);
  EXPECT_EQ(m.Default().History().MaxCount(), 0);
}

// --- Laid-out recording and showing -----------------------------------------------------------

// Rows of font 20 with 10 between them: n rows make a page n × 30 − 10
// high, whose segment is 10 more.
std::string rows(int n, const std::string& letter = "a") {
  std::string t;
  for (int i = 0; i < n; ++i) t += (i ? "<BR>" : "") + letter;
  return t;
}

class LaidOut : public ::testing::Test {
 protected:
  LaidOut() {
    source.put("ep1", {rows(7), rows(7, "b"), rows(7, "c"), rows(20, "d"), rows(1, "e")});
    m.Default().SetSettings(kLayout);
  }
  static constexpr data::HistoryLayout kLayout{20, 0, 0, 600, 480, 10};
  NotedPage page(std::int32_t command, std::int32_t first = 0, std::int32_t last = -1, std::string box = "mes") {
    NotedPage p;
    p.box = std::move(box);
    p.box_width = 300;
    p.box_height = 90;
    p.key = "ep1";
    p.command = command;
    p.first = first;
    p.last = last;
    return p;
  }
  void commit(NotedPage p) {
    const std::string box = p.box;
    m.NotePage(p);
    m.Commit(box, context());
  }
  data::HistoryContext context() { return {&source, &glyphs, nullptr}; }
  // The segments of a filled display record as "command:first-last@height".
  static std::vector<std::string> shown(const data::TNovaNewMesData& d) {
    std::vector<std::string> out;
    const auto& list = d.segments().segments();
    for (std::size_t i = 0; i < list.size(); ++i) {
      out.push_back(d.segments().effective_key(i) + ":" + std::to_string(list[i].command) + ":" +
                    std::to_string(list[i].first) + "-" + std::to_string(list[i].last) + "@" +
                    std::to_string(list[i].height));
    }
    return out;
  }

  TestFontService fonts;
  text::TFontPixelManager glyphs{fonts};
  TestTextSource source;
  TNovaHistoryFormatManager m;
  data::TNovaNewHistory& h = m.Default().History();
};

TEST_F(LaidOut, PagesOf200PackTwoToAHistoryPageAndTheCountIsPixels) {
  m.NotePage(page(0));
  EXPECT_TRUE(h.laid_out());
  EXPECT_EQ(h.Count(), 0) << "the page being read is not counted";
  m.Commit("mes", context());
  EXPECT_EQ(h.Count(), 210);
  commit(page(1));
  ASSERT_EQ(h.pages().size(), 1u) << "420 fits the height of 480";
  commit(page(2));
  ASSERT_EQ(h.pages().size(), 2u) << "630 does not";
  EXPECT_EQ(h.Count(), 630);
  EXPECT_EQ(h.pages()[0].segments()[1].key, "") << "the same page file is stored once";
  EXPECT_EQ(h.pages()[1].segments()[0].key, "ep1") << "a history page's first segment carries its key";
  EXPECT_EQ(h.pages()[0].segments()[0].last, 6) << "seven characters, one a row";

  // A range that lays out into two pages makes two segments, each a
  // history page of its own here: 16 rows fill 470 pixels, 4 rows 110.
  commit(page(3));
  ASSERT_EQ(h.pages().size(), 4u);
  EXPECT_EQ(h.pages()[2].segments()[0].first, 0);
  EXPECT_EQ(h.pages()[2].segments()[0].last, 15);
  EXPECT_EQ(h.pages()[2].total_height(), 480);
  EXPECT_EQ(h.pages()[3].segments()[0].first, 16);
  EXPECT_EQ(h.pages()[3].segments()[0].last, 19);
  EXPECT_EQ(h.Count(), 630 + 480 + 120);
  // Part of a text: the range of positions only.
  commit(page(3, 4, 6));
  EXPECT_EQ(h.pages().back().segments().back().first, 4);
  EXPECT_EQ(h.pages().back().segments().back().last, 6);
  EXPECT_EQ(h.pages().back().segments().back().height, 3 * 30);

  // The maximum counts history pages and drops the oldest at the next
  // commit; the count follows.
  h.SetMaxCount(2);
  commit(page(4));
  EXPECT_EQ(h.pages().size(), 2u);
  EXPECT_EQ(h.Count(), 480 + 120 + 90 + 30);
}

TEST_F(LaidOut, ShowingFindsTheSegmentsCoveringARangeAcrossPageAndSegmentBoundaries) {
  for (int c : {0, 1, 2}) commit(page(c));  // [0, 210) [210, 420) | [420, 630)
  data::TNovaNewMesData d;
  using V = std::vector<std::string>;
  const std::string s0 = "ep1:0:0-6@210", s1 = "ep1:1:0-6@210", s2 = "ep1:2:0-6@210";
  EXPECT_EQ(h.Fill(0, 210, d), 0);
  EXPECT_EQ(shown(d), V{s0}) << "a segment ending exactly at the range's end covers it";
  EXPECT_EQ(h.Fill(210, 210, d), 0);
  EXPECT_EQ(shown(d), V{s1}) << "one starting at its start";
  EXPECT_EQ(h.Fill(209, 2, d), -209);
  EXPECT_EQ(shown(d), (V{s0, s1})) << "two pixels across a segment boundary";
  EXPECT_EQ(h.Fill(400, 100, d), -190);
  EXPECT_EQ(shown(d), (V{s1, s2})) << "across a history page boundary";
  EXPECT_EQ(h.Fill(419, 1, d), -209);
  EXPECT_EQ(shown(d), V{s1});
  EXPECT_EQ(h.Fill(0, 630, d), 0);
  EXPECT_EQ(shown(d), (V{s0, s1, s2}));
  EXPECT_EQ(d.segments().segments()[2].key, "") << "keys are compressed again in the record";
  EXPECT_EQ(h.Fill(100, 5000, d), -100);
  EXPECT_EQ(shown(d).size(), 3u) << "past the end: to the newest segment";
  h.Fill(630, 1, d);
  EXPECT_TRUE(d.Empty()) << "nothing lies at or after the end";

  // List mode fills entries with their effective keys.
  data::TNovaHistoryFormat& list = m.FindOrCreate("list");
  (void)list;
  TNovaHistoryFormatManager lm;
  for (int i = 0; i < 4; ++i) {
    NotedPage p = page(i);
    p.page = i;
    lm.NotePage(p);
    lm.Commit("mes", {});
  }
  EXPECT_EQ(lm.Default().Show(1, 2, d), 0);
  ASSERT_EQ(d.entries().size(), 2u);
  EXPECT_EQ(d.entries()[0].key, "ep1") << "the effective key, though the entry stores none";
  EXPECT_EQ(d.entries()[1].page, 2);
  EXPECT_TRUE(d.segments().empty());
}

TEST_F(LaidOut, TheCountSumsIn64BitsAndAnswersAtMost2To31Minus1) {
  // Two history pages of 2^31 − 1 pixels each, from a record.
  core::ByteWriter w;
  data::TNovaHistData big;
  big.add({"ep1", 0, 0, 6, INT32_MAX, ""});
  w.i32(0);
  w.str("");
  for (int i = 0; i < 4; ++i) w.i32(0);
  w.str("");
  w.i32(0);
  kLayout.save(w);
  w.i32(0);
  w.i32(-1);
  w.i32(2);
  big.save(w, 140);
  big.save(w, 140);
  w.str("");
  core::ByteReader r(w.data());
  data::TNovaNewHistory loaded = data::TNovaNewHistory::load(r, 140);
  EXPECT_EQ(loaded.Count(), INT32_MAX);
  h = std::move(loaded);
  h.SetMaxCount(1);
  commit(page(4));
  EXPECT_EQ(h.Count(), 30) << "a 32-bit sum would have wrapped long before";
}

TEST_F(LaidOut, WhatIsKeptAsItStands) {
  // A list history turned laid-out keeps its entries, uncounted and
  // unshown, until ClrHist.
  m.Default().SetSettings({});
  commit(page(0));
  commit(page(1));
  ASSERT_EQ(h.Count(), 2);
  m.Default().SetSettings(kLayout);
  m.NotePage(page(2));
  EXPECT_TRUE(h.laid_out());
  EXPECT_EQ(h.Count(), 0);
  EXPECT_EQ(h.entries().size(), 2u);
  m.Commit("mes", context());
  EXPECT_EQ(h.Count(), 210);
  data::TNovaNewMesData d;
  h.Fill(0, 210, d);
  EXPECT_TRUE(d.entries().empty());
  EXPECT_EQ(d.segments().segments().size(), 1u);
  m.Clear();
  EXPECT_TRUE(h.entries().empty());

  // FormatHist while pages exist changes nothing until they are cleared.
  commit(page(0));
  m.Default().SetSettings({20, 0, 0, 600, 200, 10});
  m.NotePage(page(1));
  EXPECT_EQ(h.layout(), kLayout);
  m.Commit("mes", context());
  EXPECT_EQ(h.pages().size(), 1u) << "still packed into 480";
  m.Clear();
  m.NotePage(page(1));
  EXPECT_EQ(h.layout().height, 200);

  // Another box's note replaces the pending page; the first box then
  // commits nothing.
  m.Clear();
  m.NotePage(page(0, 0, -1, "one"));
  m.NotePage(page(1, 0, -1, "two"));
  m.Commit("one", context());
  EXPECT_EQ(h.Count(), 0);
  m.Commit("two", context());
  ASSERT_EQ(h.pages().size(), 1u);
  EXPECT_EQ(h.pages()[0].segments()[0].command, 1);

  // Every format notes the page index and box size, whatever its settings.
  NotedPage p = page(2);
  p.page = 3;
  m.NotePage(p);
  EXPECT_EQ(h.pending().page, 3);
  EXPECT_EQ(h.pending().box_width, 300);
  EXPECT_EQ(h.pending().box_height, 90);

  // The previous commit's command is not loaded again (same key, any
  // case, and index); clearing forgets it.
  m.Clear();
  commit(page(4));
  source.put("ep1", {rows(7), rows(7, "b"), rows(7, "c"), rows(20, "d"), rows(3, "e")});
  commit(page(4));
  EXPECT_EQ(h.Count(), 30 + 30) << "the engine still held the old text";
  NotedPage upper = page(4);
  upper.key = "EP1";
  commit(upper);
  EXPECT_EQ(h.Count(), 30 + 30 + 30);
  m.Clear();
  commit(page(4));
  EXPECT_EQ(h.Count(), 90) << "loaded anew";
}

TEST_F(LaidOut, TextsThatCannotBeReadRecordNothingKeepThePageAndAreLoggedOnce) {
  int logged = 0;
  core::LogSink sink([&](core::Channel, core::Level, std::string_view msg) {
    if (msg.find("message history") != std::string_view::npos) ++logged;
  });
  source.put_broken("bad");
  NotedPage p = page(0);
  p.key = "bad";
  commit(p);
  commit(p);
  EXPECT_EQ(h.pending_key(), "bad") << "kept pending";
  EXPECT_EQ(h.Count(), 0);
  EXPECT_EQ(logged, 1);
  // No such command, or no text command: nothing recorded, still pending.
  commit(page(9));
  EXPECT_EQ(h.pending().command, 9);
  EXPECT_EQ(h.pending_key(), "ep1");
  // No glyph manager: the same.
  m.Commit("mes", {&source, nullptr, nullptr});
  EXPECT_EQ(h.Count(), 0);
  // A file that is gone drops the page.
  p.key = "gone";
  commit(p);
  EXPECT_EQ(h.pending_key(), "");
  EXPECT_EQ(h.Count(), 0);
}

TEST(History, ShowCountIsCutToTheEntriesWithoutOverflow) {
  EXPECT_EQ(data::history_show_count(0, 1, 0), 0) << "an empty history shows nothing";
  EXPECT_EQ(data::history_show_count(1, 2, 5), 2);
  EXPECT_EQ(data::history_show_count(3, 10, 5), 2);
  EXPECT_EQ(data::history_show_count(-4, 2, 5), 2) << "first is at least 0";
  EXPECT_EQ(data::history_show_count(2, INT32_MAX, 5), 3) << "first + count beyond 32 bits";
  EXPECT_EQ(data::history_show_count(INT32_MAX, INT32_MAX, 5), 0);
  EXPECT_EQ(data::history_show_count(INT32_MAX - 1, 10, INT32_MAX), 1);
}

TEST(History, TheHistoryFunctionsWorkOnTheNamedFormat) {
  TNovaHistoryFormatManager m;
  data::HistoryScope scope;
  data::DBScope tables;
  expr::TSysFuncMan funcs;
  data::register_data_functions(funcs, scope, tables);
  auto call = [&](int index, std::vector<expr::TCustomParam*> args) {
    expr::TParamInt target(0);
    funcs.call(target, index, args);
    return target.as_int();
  };
  expr::TParamStr none("none"), named(""), thirty_name("");
  expr::TParamInt thirty(30);
  EXPECT_THROW(call(142, {&named}), core::Error) << "without a manager";
  scope.manager = &m;
  record(m, shown("ep1", 0, 0));
  m.NotePage(shown("ep1", 0, 1));
  EXPECT_EQ(call(142, {&named}), 1) << "GetHistoryCount leaves the pending page out";
  EXPECT_EQ(call(142, {&none}), -1);
  EXPECT_EQ(call(143, {&none}), -1);
  EXPECT_EQ(call(144, {&none, &thirty}), 0);
  EXPECT_EQ(call(144, {&thirty_name, &thirty}), 1);
  EXPECT_EQ(m.Default().History().MaxCount(), 30);
  EXPECT_EQ(call(143, {&named}), 30);
}

// --- Records ---------------------------------------------------------------------------------

struct Sample {
  data::HistoryEntries entries;
  NotedPage pending;
  std::int32_t max_count = 0;
  data::HistoryLayout engine;
  std::vector<data::TNovaHistData> pages;
};

Sample sample() {
  Sample s;
  s.entries = {{"ep1", 3, 0, 400, 100}, {"", 3, 1, 400, 100}, {"ep2", 7, 0, 320, 90}};
  s.pending = shown("ep2", 7, 1);
  s.pending.snapshot =
      "name=Ann\r\nline=a\x01"
      "b";
  s.max_count = 50;
  s.engine = {16, 1, 2, 0, 480, 10};
  data::TNovaHistData page;
  page.add({"ep1", 3, 0, 20, 200, "name=Ann"});
  page.add({"EP1", 3, 21, 40, 180, ""});
  s.pages = {page, data::TNovaHistData{}};
  return s;
}

// The history record of `version`, by the table, field by field.
void write_history_by_hand(core::ByteWriter& w, const Sample& s, std::int32_t version) {
  if (version < 113) {
    w.str("dropped");
    w.i32(static_cast<std::int32_t>(s.entries.size()));
    for (const auto& e : s.entries) w.str(e.key);
    for (const auto& e : s.entries) w.i32(e.command);
    for (const auto& e : s.entries) w.i32(e.page);
    for (const auto& e : s.entries) {
      w.i32(e.width);
      w.i32(e.height);
    }
  } else {
    w.i32(static_cast<std::int32_t>(s.entries.size()));
    for (const auto& e : s.entries) {
      w.str(e.key);
      for (std::int32_t v : {e.command, e.page, e.width, e.height}) w.i32(v);
    }
  }
  w.str(s.pending.key);
  for (std::int32_t v : {s.pending.command, s.pending.page, s.pending.box_width, s.pending.box_height}) w.i32(v);
  w.str(s.pending.box);
  if (version >= 113) {
    w.i32(s.max_count);
    for (std::int32_t v : {s.engine.font_size, s.engine.border_width, s.engine.shadow_width, s.engine.width,
                           s.engine.height, s.engine.line_spacing}) {
      w.i32(v);
    }
    w.i32(s.pending.first);
    w.i32(s.pending.last);
    w.i32(static_cast<std::int32_t>(s.pages.size()));
    for (const auto& p : s.pages) {
      w.i32(static_cast<std::int32_t>(p.segments().size()));
      for (const auto& g : p.segments()) {
        w.str(g.key);
        for (std::int32_t v : {g.command, g.first, g.last, g.height}) w.i32(v);
        if (version > 123) w.str(g.snapshot);
      }
      w.i32(p.total_height());
    }
  }
  if (version > 123) w.str(s.pending.snapshot);
}

void expect_sample(const data::TNovaNewHistory& h, const Sample& s, std::int32_t version) {
  EXPECT_EQ(h.entries(), s.entries) << version;
  EXPECT_EQ(h.pending_key(), s.pending.key);
  EXPECT_EQ(h.pending().command, s.pending.command);
  EXPECT_EQ(h.pending().page, s.pending.page);
  EXPECT_EQ(h.pending().box_width, s.pending.box_width);
  EXPECT_EQ(h.pending().box_height, s.pending.box_height);
  EXPECT_EQ(h.pending().box, s.pending.box);
  const bool rows = version >= 113, snapshots = version > 123;
  EXPECT_EQ(h.MaxCount(), rows ? s.max_count : 0) << version;
  EXPECT_EQ(h.layout(), rows ? s.engine : data::HistoryLayout{}) << version;
  EXPECT_EQ(h.pending().first, rows ? s.pending.first : 0) << version;
  EXPECT_EQ(h.pending().snapshot, snapshots ? s.pending.snapshot : "") << version;
  ASSERT_EQ(h.pages().size(), rows ? s.pages.size() : 0u) << version;
  for (std::size_t i = 0; i < h.pages().size(); ++i) {
    const auto& got = h.pages()[i].segments();
    const auto& want = s.pages[i].segments();
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t k = 0; k < got.size(); ++k) {
      EXPECT_EQ(got[k].key, want[k].key);
      EXPECT_EQ(got[k].height, want[k].height);
      EXPECT_EQ(got[k].snapshot, snapshots ? want[k].snapshot : "") << version;
    }
    EXPECT_EQ(h.pages()[i].total_height(), s.pages[i].total_height());
  }
}

TEST(HistoryRecords, EveryOlderLayoutReadsToTheSameDataAndOursRoundTrip) {
  const Sample s = sample();
  for (std::int32_t version : {107, 112, 113, 123, 124, 134, 140}) {
    core::ByteWriter w;
    if (version >= 135) {
      // The manager record: the default format and a named one.
      w.i32(2);
      w.str("");
      data::HistoryLayout{}.save(w);
      write_history_by_hand(w, s, version);
      w.str("wide");
      data::HistoryLayout{16, 0, 0, 600, 480, 10}.save(w);
      write_history_by_hand(w, Sample{}, version);
    } else {
      write_history_by_hand(w, s, version);
    }
    TNovaHistoryFormatManager m;
    m.FindOrCreate("gone");
    core::ByteReader r(w.data());
    m.Load(r, version);
    EXPECT_TRUE(r.at_end()) << version;
    ASSERT_EQ(m.FormatCount(), version >= 135 ? 2u : 1u) << "older records reset the formats";
    expect_sample(m.Default().History(), s, version);
    if (version >= 135) {
      EXPECT_EQ(m.Find("wide")->Settings().width, 600);
    }

    // Ours: the history record at the same version writes what was read.
    core::ByteWriter again;
    m.Default().History().save(again, version);
    core::ByteReader back(again.data());
    EXPECT_TRUE(data::TNovaNewHistory::load(back, version) == m.Default().History()) << version;
    // The manager record round-trips whole.
    core::ByteWriter whole;
    m.Save(whole);
    TNovaHistoryFormatManager copy;
    core::ByteReader wr(whole.data());
    copy.Load(wr, data::kHistoryWriteVersion);
    ASSERT_EQ(copy.FormatCount(), m.FormatCount());
    for (std::size_t i = 0; i < m.FormatCount(); ++i) EXPECT_TRUE(copy.Format(i) == m.Format(i)) << version;
  }
}

// Records of every layout, loaded and then shown: list entries below 113,
// the laid-out pages from 113 (with snapshots above 123), the manager
// record from 135.
TEST_F(LaidOut, RecordsOfEveryLayoutAreShownAfterLoading) {
  Sample s;
  s.entries = {{"ep1", 0, 0, 600, 480}, {"", 1, 0, 600, 480}};
  s.pending = page(2);
  s.engine = kLayout;
  data::TNovaHistData hp;
  hp.add({"ep1", 0, 0, 6, 210, "v=1"});
  hp.add({"", 1, 0, 6, 210, ""});
  s.pages = {hp};
  text::TKvWord display(glyphs);
  text::KvWordSettings look;
  look.font_size = 20;
  look.width = 600;
  look.height = 480;
  look.line_spacing = 10;
  display.set_settings(look);
  for (std::int32_t version : {107, 113, 124, 134, 135}) {
    SCOPED_TRACE(version);
    core::ByteWriter w;
    if (version >= 135) {
      w.i32(1);
      w.str("");
      kLayout.save(w);
    }
    write_history_by_hand(w, s, version);
    TNovaHistoryFormatManager loaded;
    core::ByteReader r(w.data());
    loaded.Load(r, version);
    ASSERT_TRUE(r.at_end());
    const data::TNovaNewHistory& lh = loaded.Default().History();
    EXPECT_EQ(lh.Count(), version < 113 ? 2 : 420);
    data::TNovaNewMesData d;
    EXPECT_EQ(loaded.Default().Show(0, lh.Count(), d), 0);
    std::vector<text::TWdPage> pages;
    d.LayOut(display, pages, true, {&source, nullptr});
    ASSERT_EQ(pages.size(), 1u);
    ASSERT_EQ(pages[0].count(), 14);
    // The second text follows one box height lower as a list entry, one
    // segment height lower as a laid-out piece.
    EXPECT_EQ(pages[0].row(7).y, version < 113 ? 480 : 210);
    const auto* c = std::get_if<text::TWdChar>(&display.glyph(pages[0].row(7).items()[0].glyph));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->code, 'b');
    // The display record of a box at that version reads back to the same.
    core::ByteWriter dw;
    d.save(dw, version);
    data::TNovaNewMesData back;
    core::ByteReader dr(dw.data());
    back.load(dr, version);
    EXPECT_TRUE(dr.at_end());
    if (version >= 124 || version < 113) {
      EXPECT_TRUE(back == d);
    }
  }
}

TEST(HistoryRecords, ADamagedRecordRaisesAndChangesNothing) {
  TNovaHistoryFormatManager m;
  record(m, shown("ep1", 1, 0));
  m.FindOrCreate("log");
  core::ByteWriter w;
  m.Save(w);
  for (std::int32_t version : {112, 124, 140}) {
    core::ByteWriter body;
    if (version >= 135) {
      body = w;
    } else {
      write_history_by_hand(body, sample(), version);
    }
    for (std::size_t cut = 0; cut < body.size(); ++cut) {
      TNovaHistoryFormatManager kept;
      record(kept, shown("mine", 2, 0));
      kept.FindOrCreate("mine");
      core::ByteReader r(std::span(body.data()).first(cut));
      EXPECT_THROW(kept.Load(r, version), core::Error) << version << " " << cut;
      EXPECT_EQ(kept.FormatCount(), 2u);
      EXPECT_EQ(kept.Default().History().entries()[0].key, "mine");
    }
  }
  // Counts far beyond the bytes are refused before anything is made.
  core::ByteWriter huge;
  huge.i32(0x7FFFFFFF);
  core::ByteReader hr(huge.data());
  EXPECT_THROW(m.Load(hr, 140), core::Error);
  core::ByteWriter entries;
  entries.i32(0x10000000);
  core::ByteReader er(entries.data());
  EXPECT_THROW(m.Load(er, 134), core::Error);
  EXPECT_EQ(m.FormatCount(), 2u);
}

TEST(HistoryRecords, SettingsOfTheVariableBlockApplyAfterTheVariables) {
  TNovaHistoryFormatManager m;
  core::ByteWriter block;
  data::HistoryLayout{18, 1, 2, 640, 400, 4}.save(block);
  core::ByteReader r(block.data());
  m.ReadVariableBlockSettings(r);
  EXPECT_TRUE(r.at_end());
  EXPECT_EQ(m.Default().Settings(), data::HistoryLayout{}) << "not before the variables are done";
  core::ByteWriter old;
  write_history_by_hand(old, sample(), 120);
  core::ByteReader hr(old.data());
  m.Load(hr, 120);
  m.ApplyVariableBlockSettings();
  EXPECT_EQ(m.Default().Settings(), (data::HistoryLayout{18, 1, 2, 640, 400, 4}));
  m.Default().SetSettings({});
  m.ApplyVariableBlockSettings();
  EXPECT_EQ(m.Default().Settings(), data::HistoryLayout{}) << "applied once";
}

}  // namespace
}  // namespace nova::test
