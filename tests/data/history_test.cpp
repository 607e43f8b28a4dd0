// The message history in list mode, the formats around it, and every layout
// of its records: written here by hand in each older form, read by the
// history, and written back by its own writer.
#include <gtest/gtest.h>

#include <climits>

#include "core/error.h"
#include "data/data_functions.h"
#include "data/history_format.h"
#include "expr/params.h"
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
  m.Commit(box, nullptr);
}

TEST(History, ListModeKeepsTheMaximumMovesKeysAndCountsOnlyWhatWasLeft) {
  TNovaHistoryFormatManager m;
  data::TNovaNewHistory& h = m.Default().History();
  m.NotePage(shown("ep1", 3, 0));
  EXPECT_EQ(h.Count(), 0) << "the page shown is not counted";
  m.Commit("other", nullptr);
  EXPECT_EQ(h.Count(), 0) << "only the box that showed it commits it";
  m.NotePage(shown("EP1", 3, 1));  // the next page replaces the pending one only after a commit
  m.Commit("mes", nullptr);
  ASSERT_EQ(h.Count(), 1);
  EXPECT_EQ(h.entries()[0], (data::THistoryOldData{"EP1", 3, 1, 400, 101}));
  m.Commit("mes", nullptr);
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
  m.Commit("mes", nullptr);
  EXPECT_EQ(h.Count(), 0) << "the pending page went with the history";
  EXPECT_EQ(h.MaxCount(), 1) << "the maximum is a setting";
  m.Reset();
  EXPECT_EQ(m.FormatCount(), 1u);
  EXPECT_EQ(m.Find("log"), nullptr);
  EXPECT_EQ(m.Default().History().MaxCount(), 0);
}

TEST(History, LaidOutCommitsDropMissingPagesAndOtherwiseAreTheViewers) {
  TNovaHistoryFormatManager m;
  TestTextSource source;
  source.put("ep1", {"text"});
  data::TNovaHistoryFormat& wide = m.FindOrCreate("wide");
  wide.SetSettings({16, 0, 0, 600, 480, 10});
  m.NotePage(shown("gone", 0, 0));
  EXPECT_TRUE(wide.History().laid_out());
  EXPECT_FALSE(m.Default().History().laid_out());
  m.Commit("mes", &source);
  EXPECT_TRUE(wide.History().pending_key().empty()) << "a page whose file is gone is dropped";
  EXPECT_EQ(m.Default().History().Count(), 1) << "the list-mode format recorded it all the same";

  m.NotePage(shown("ep1", 0, 1));
  try {
    m.Commit("mes", &source);
    ADD_FAILURE() << "the laid-out commit is the viewer's";
  } catch (const core::Error& e) {
    EXPECT_EQ(e.message(), "TextIns: the message history viewer is not built yet");
  }
  EXPECT_EQ(wide.History().pending_key(), "ep1") << "the page stays pending";
  EXPECT_EQ(m.Default().History().Count(), 2) << "the other formats went on";
  EXPECT_THROW(wide.Show(0, 1, false), core::Error);
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
  std::vector<data::THistoryOldData> entries;
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
