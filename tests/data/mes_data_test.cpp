// A box's display record: one text command read through the text cache and
// laid out, what the cache keeps, what is the viewer's, and the record.
#include "data/mes_data.h"

#include <gtest/gtest.h>

#include "core/error.h"
#include "support/test_font_service.h"
#include "text/font_pixel_manager.h"
#include "text/word_render.h"
#include "text_sources.h"

namespace nova::test {
namespace {

class DisplayRecord : public ::testing::Test {
 protected:
  DisplayRecord() {
    text::KvWordSettings s;
    s.width = 100;
    s.height = 20;  // two rows of 10 a page
    s.font_size = 10;
    engine.set_settings(s);
  }
  // The text of each page laid out.
  std::vector<std::string> lay(bool history = false) {
    pages.clear();
    data.LayOut(engine, pages, history, {&source, nullptr});
    std::vector<std::string> texts;
    for (const auto& p : pages) texts.push_back(text::page_text(p));
    return texts;
  }

  TestFontService fonts;
  text::TFontPixelManager glyphs{fonts};
  text::TKvWord engine{glyphs};
  std::vector<text::TWdPage> pages;
  TestTextSource source;
  data::TNovaNewMesData data;
};

TEST_F(DisplayRecord, OneTextCommandIsLaidOutFromItsStoredStream) {
  source.put("ep1", {std::nullopt, "ab<BR>cd<BR>ef", "x<VAR NAME=who>y<HISTCHAR NAME=who>"});
  EXPECT_TRUE(data.Empty());
  EXPECT_TRUE(lay().empty()) << "nothing named, nothing laid out";

  data.SetTextCommand("EP1", 1);
  EXPECT_FALSE(data.Empty());
  EXPECT_TRUE(data.SingleText());
  EXPECT_EQ(lay(), (std::vector<std::string>{"ab\r\ncd\r\n", "ef"}));

  data.SetTextCommand("ep1", 0);
  EXPECT_TRUE(lay().empty()) << "not a text command";
  data.SetTextCommand("ep1", 9);
  EXPECT_TRUE(lay().empty()) << "outside the page";
  data.SetTextCommand("nofile", 0);
  EXPECT_TRUE(lay().empty());
  source.put_broken("bad");
  data.SetTextCommand("bad", 0);
  EXPECT_NO_THROW(lay()) << "a page that does not read is no text";
  EXPECT_TRUE(pages.empty());

  // Variables resolve through the names only here (no expression source);
  // history variables only with the flag.
  engine.names().set("who", "Z");
  data.SetTextCommand("ep1", 2);
  EXPECT_EQ(lay(), (std::vector<std::string>{"xy"})) << "the lay-out sets the names from the snapshot (none)";
}

TEST_F(DisplayRecord, TheCacheKeepsRecentPagesAndTextsFirstAndBounded) {
  using Cache = data::TMesDataCacheList;
  const int pages_made = static_cast<int>(Cache::kPages) + 2, texts = static_cast<int>(Cache::kWords) + 4;
  static_assert(Cache::kPages == 32 && Cache::kWords == 256);
  for (int p = 0; p < pages_made; ++p) {
    std::vector<std::optional<std::string>> list;
    for (int i = 0; i < texts; ++i) list.emplace_back("t" + std::to_string(i));
    source.put("p" + std::to_string(p), list);
  }
  Cache& cache = data.cache();
  for (int p = 0; p <= static_cast<int>(Cache::kPages); ++p) {
    ASSERT_NE(cache.Find(source, glyphs, "p" + std::to_string(p), 0), nullptr);
  }
  const std::vector<std::string> names = cache.PageNames();
  ASSERT_EQ(names.size(), Cache::kPages) << "one more drops the oldest";
  EXPECT_EQ(names.front(), "p32");
  EXPECT_EQ(names.back(), "p1");
  const int loads = source.loads;
  ASSERT_NE(cache.Find(source, glyphs, "P2", 0), nullptr);
  EXPECT_EQ(source.loads, loads) << "found without loading, case aside";
  EXPECT_EQ(cache.PageNames().front(), "p2");
  for (int i = 0; i < texts - 2; ++i) cache.Find(source, glyphs, "p2", i);
  const std::vector<std::int32_t> commands = cache.Commands("p2");
  ASSERT_EQ(commands.size(), Cache::kWords);
  EXPECT_EQ(commands.front(), texts - 3);
  EXPECT_EQ(commands.back(), texts - 3 - static_cast<int>(Cache::kWords) + 1);
  const text::TKvWord* t = cache.Find(source, glyphs, "p2", 100);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->glyph_count(), 4);
  EXPECT_EQ(cache.Commands("p2").front(), 100);
  EXPECT_EQ(cache.Find(source, glyphs, "p2", texts), nullptr);
}

// The rows of a laid-out display page as "y:text".
std::vector<std::string> rows_at(const text::TWdPage& page) {
  std::vector<std::string> out;
  for (const text::TWdRow& row : page.items()) {
    std::string t;
    for (const text::PlacedGlyph& p : row.items()) {
      if (p.is_space()) continue;
      const auto* c = std::get_if<text::TWdChar>(&page.engine().glyph(p.glyph));
      if (c) t.push_back(static_cast<char>(c->code));
    }
    out.push_back(std::to_string(row.y) + ":" + t);
  }
  return out;
}

TEST_F(DisplayRecord, ListEntriesStackByContentOrByTheirBoxHeight) {
  using V = std::vector<std::string>;
  source.put("ep1", {std::nullopt, "ab<BR>cd<BR>ef", "gh"});
  auto lay_entries = [&](data::HistoryEntries entries, bool stacking) -> std::vector<text::TWdPage>& {
    data.ShowEntries(std::move(entries));
    pages.clear();
    data.LayOut(engine, pages, true, {&source, nullptr}, stacking);
    return pages;
  };
  const data::HistoryEntries three = {{"ep1", 1, 1, 100, 20}, {"ep1", 1, 0, 100, 20}, {"ep1", 2, 0, 100, 30}};
  auto* shown = &lay_entries(three, false);
  ASSERT_EQ(shown->size(), 1u);
  EXPECT_EQ(rows_at((*shown)[0]), (V{"0:ef", "20:ab", "30:cd", "40:gh"})) << "each entry one box height lower";
  EXPECT_FALSE((*shown)[0].stale());
  shown = &lay_entries(three, true);
  EXPECT_EQ(rows_at((*shown)[0]), (V{"0:ef", "10:ab", "20:cd", "30:gh"})) << "each below the last row";
  EXPECT_EQ(text::page_text((*shown)[0]), "efab\r\ncd\r\ngh");

  // A page beyond its text's shows nothing but still takes its height; a
  // command without text is skipped; a file that is gone ends the list.
  shown = &lay_entries({{"ep1", 2, 5, 100, 20},
                        {"ep1", 0, 0, 100, 20},
                        {"ep1", 2, 0, 100, 20},
                        {"gone", 1, 0, 100, 20},
                        {"ep1", 1, 0, 100, 20}},
                       false);
  EXPECT_EQ(rows_at((*shown)[0]), (V{"20:gh"}));

  // One entry of page -1 is its whole text, paged at its box size; the
  // engine's size is put back.
  shown = &lay_entries({{"ep1", 1, -1, 100, 10}}, false);
  EXPECT_EQ(shown->size(), 3u);
  EXPECT_EQ(engine.settings().height, 20);
  EXPECT_EQ(engine.settings().width, 100);
}

TEST_F(DisplayRecord, SegmentsStackFromTheStartOffsetShowingTheFirstPageOfEach) {
  using V = std::vector<std::string>;
  source.put("ep1", {std::nullopt, "ab<BR>cd<BR>ef", "gh"});
  auto lay_segments = [&](std::vector<data::THistSegment> list, std::int32_t offset) {
    data::TNovaHistData record;
    for (auto& s : list) record.add(std::move(s));
    data.ShowSegments(std::move(record));
    pages.clear();
    data.LayOut(engine, pages, true, {&source, nullptr}, false, offset);
    return rows_at(pages.at(0));
  };
  EXPECT_EQ(lay_segments({{"ep1", 1, 0, 3, 30, ""}, {"ep1", 1, 4, 5, 10, ""}}, -5), (V{"-5:ab", "5:cd", "15:ef"}));
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_FALSE(pages[0].stale());
  // The whole text lays out into two pages of the box: its first only.
  EXPECT_EQ(lay_segments({{"ep1", 1, 0, 5, 30, ""}, {"EP1", 2, 0, 1, 10, ""}}, 0), (V{"0:ab", "10:cd", "20:gh"}));
  EXPECT_EQ(lay_segments({{"ep1", 0, 0, 1, 10, ""},
                          {"ep1", 2, 0, 1, 10, ""},
                          {"gone", 2, 0, 1, 10, ""},
                          {"ep1", 2, 0, 1, 10, ""}},
                         0),
            (V{"0:gh"}))
      << "no text: skipped; a file gone: the end";
  // The line spacing lies between segments as between rows.
  text::KvWordSettings s = engine.settings();
  s.line_spacing = 3;
  engine.set_settings(s);
  EXPECT_EQ(lay_segments({{"ep1", 2, 0, 1, 10, ""}, {"ep1", 2, 0, 1, 10, ""}}, 0), (V{"0:gh", "13:gh"}));
}

TEST_F(DisplayRecord, RecordsAtEveryVersionAndDamageChangesNothing) {
  data.SetTextCommand("ep1", 4);
  for (std::int32_t version : {107, 113, 123, 124, 140}) {
    core::ByteWriter w;
    data.save(w, version);
    data::TNovaNewMesData back;
    core::ByteReader r(w.data());
    back.load(r, version);
    EXPECT_TRUE(r.at_end());
    EXPECT_EQ(back.SingleText(), version >= 113) << version;
    if (version >= 113) {
      EXPECT_TRUE(back == data) << version;
    }
    // Every cut raises and leaves the record as it was.
    for (std::size_t cut = 0; cut < w.size(); ++cut) {
      data::TNovaNewMesData kept;
      kept.SetTextCommand("mine", 1);
      core::ByteReader part(std::span(w.data()).first(cut));
      EXPECT_THROW(kept.load(part, version), core::Error) << version << " " << cut;
      ASSERT_EQ(kept.segments().segments().size(), 1u);
      EXPECT_EQ(kept.segments().segments()[0].key, "mine");
    }
  }
  // A segment with a snapshot: written and read above 123 only.
  data::TNovaNewMesData snap;
  core::ByteWriter w;
  w.i32(0);
  w.i32(1);
  w.str("ep1");
  for (std::int32_t v : {2, 0, -1, 0}) w.i32(v);
  w.str("who=Ann");
  w.i32(0);
  core::ByteReader r(w.data());
  snap.load(r, 124);
  EXPECT_EQ(snap.segments().segments()[0].snapshot, "who=Ann");
  EXPECT_EQ(snap.segments().segments()[0].command, 2);
}

TEST_F(DisplayRecord, ASnapshotHoldsTheNamedVariablesOfThePage) {
  const std::vector<std::string> lines = {core::sjis("x<VAR NAME=who>y<VAR NAME=who><VAR NAME=line><VAR NAME=other>z")};
  engine.parse(lines);
  engine.names().set("who", core::sjis("花子"));
  engine.names().set("line",
                     "a\x01"
                     "b");
  engine.prepare_variables(0, -1, false);
  engine.layout(pages);
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(data::take_snapshot(engine, pages[0]), "who=" + core::sjis("花子") +
                                                       "\r\nline=a\x01"
                                                       "b")
      << "each name once, line breaks as byte 1, names outside the list left out";
  // Laid out again from that snapshot, the text shows the same values.
  source.put("ep1", {"x<VAR NAME=who>y"});
  core::ByteWriter w;
  w.i32(0);
  w.i32(1);
  w.str("ep1");
  for (std::int32_t v : {0, 0, -1, 0}) w.i32(v);
  w.str("who=" + core::sjis("花子"));
  w.i32(0);
  core::ByteReader r(w.data());
  data.load(r, 124);
  EXPECT_EQ(lay(), (std::vector<std::string>{"x" + core::sjis("花子") + "y"}));
}

TEST(Snapshots, JoinAndSplitKeepLineBreaksAsByteOne) {
  const std::string s = data::join_snapshot({{"a", "x\x01y"}, {"b", ""}});
  EXPECT_EQ(s, "a=x\x01y\r\nb=");
  const auto pairs = data::split_snapshot(s + "\r\nnoequals");
  ASSERT_EQ(pairs.size(), 2u);
  EXPECT_EQ(pairs[0].second, "x\x01y");
  EXPECT_EQ(pairs[1].first, "b");
}

}  // namespace
}  // namespace nova::test
