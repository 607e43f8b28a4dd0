// The message history: TNovaHistoryFormatManager keeps the named history
// formats (the default one, named "", always among them); each format has
// six layout settings and a history (TNovaNewHistory) that records every
// page a message box shows once the box moves on from it.
//
// A history works in list mode (one entry per page) while its own layout
// width is 0; with a width (FormatHist gave its format one) it lays every
// page it records out at its own size and packs the pieces (segments) into
// history pages of its height, counting pixels. Showing fills a box's
// display record with entries, or with the segments that cover a range of
// pixels, and the box lays that record out.
//
// Ownership: the component system owns the one manager of the player from
// its start-up to its "TextHistoryFormats.Free" step; the manager owns its
// formats and each format its history. Message boxes call it by their
// name; nothing holds a format across frames.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/binary_io.h"
#include "data/history_records.h"
#include "data/mes_data.h"

namespace nova::text {
class TFontPixelManager;
class InlinePictureSource;
class TKvWord;
class TextVariableSource;
}  // namespace nova::text

namespace nova::data {

class TextCommandSource;

// What a laid-out commit needs besides the history: the page files, the
// glyph manager its engine measures with, the values of variables in text
// and the inline pictures of IMG tags (the box's own source, so that a
// picture measures in the history as it did in the box). Borrowed for the
// call, except the picture source: the engine keeps the pictures it
// measured until its next text, the history's Clear or its end, so the
// source's pictures must outlive the formats (or a Clear of them). Any may
// be absent (no source: every page file is missing; no glyph manager:
// nothing can be laid out; no pictures: every picture is 0 x 0).
struct HistoryContext {
  TextCommandSource* source = nullptr;
  text::TFontPixelManager* glyphs = nullptr;
  text::TextVariableSource* variables = nullptr;
  text::InlinePictureSource* pictures = nullptr;
};

// A format's six settings, and the same six of a history's layout engine,
// in their stored order.
struct HistoryLayout {
  std::int32_t font_size = 0;
  std::int32_t border_width = 0;
  std::int32_t shadow_width = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t line_spacing = 0;
  void save(core::ByteWriter& w) const;
  static HistoryLayout load(core::ByteReader& r);
  bool operator==(const HistoryLayout&) const = default;
};

// What a box says of a page it starts to show.
struct NotedPage {
  std::string box;  // the box's name
  std::int32_t box_width = 0;
  std::int32_t box_height = 0;
  std::string key;  // the page file of its text command
  std::int32_t command = 0;
  std::int32_t page = 0;   // the page's index within the text
  std::int32_t first = 0;  // character positions of its first and last glyph
  std::int32_t last = -1;
  std::string snapshot;
  bool operator==(const NotedPage&) const = default;
};

class TNovaNewHistory {
 public:
  TNovaNewHistory();
  ~TNovaNewHistory();
  TNovaNewHistory(TNovaNewHistory&&) noexcept;
  TNovaNewHistory& operator=(TNovaNewHistory&&) noexcept;
  // A copy holds the recorded state; its engine is made anew when needed.
  TNovaNewHistory(const TNovaNewHistory& o);
  TNovaNewHistory& operator=(const TNovaNewHistory& o);

  // The settings of the layout engine; a width of 0 is list mode.
  const HistoryLayout& layout() const { return m_layout; }
  bool laid_out() const { return m_layout.width != 0; }

  const HistoryEntries& entries() const { return m_entries; }
  const std::deque<TNovaHistData>& pages() const { return m_pages; }
  // The page waiting to be recorded (empty key: none).
  const std::string& pending_key() const { return m_pending.key; }
  const NotedPage& pending() const { return m_pending; }

  // Entries in list mode, the total height of the history pages in
  // laid-out mode (kept as the pages come and go, in 64 bits, answered at
  // most 2^31 - 1). A list history turned laid-out keeps its entries, and
  // neither counts nor shows them until it is cleared.
  std::int32_t Count() const;
  std::int32_t MaxCount() const { return m_max_count; }
  // Takes effect at the next commit; 0 is no limit.
  void SetMaxCount(std::int32_t n) { m_max_count = n; }

  // The box shows a page: it becomes the pending entry (whichever box
  // noted it last). The format's settings go to the engine while no
  // history page exists.
  void Note(const NotedPage& page, const HistoryLayout& format);
  // The box named `box` moves on: its pending page is recorded. In list
  // mode an entry is appended and the oldest dropped beyond the maximum
  // count (the next entry taking over its key when it stored none). In
  // laid-out mode a page whose file is gone is dropped; otherwise its range
  // of the text command is laid out at the history's size, each laid-out
  // page becomes a segment (joining the newest history page while it fits
  // the height) and the oldest history pages go beyond the maximum count.
  // A text that cannot be read or laid out (no such command, a page file
  // that does not read, no glyph manager) records nothing and keeps the
  // page pending; it is logged once and never raised.
  void Commit(std::string_view box, const HistoryContext& context);
  // Entries, history pages and the pending entry go, and the engine with
  // the pictures it holds; the settings stay.
  void Clear();

  // Fills `record` (which is emptied) for showing [first, first + count):
  // list entries by index with their effective keys, or in laid-out mode
  // the segments covering that range of pixels. Answers the start offset:
  // where the first segment lies relative to `first` (0 or negative; 0 in
  // list mode).
  std::int32_t Fill(std::int32_t first, std::int32_t count, TNovaNewMesData& record) const;

  // The history record at `version` (see the reader for the layouts).
  void save(core::ByteWriter& w, std::int32_t version = kHistoryWriteVersion) const;
  // Reads a record of any version into a new history; raises core::Error
  // for a damaged one.
  static TNovaNewHistory load(core::ByteReader& r, std::int32_t version);

  // The recorded state (what the record holds); the engine and what it
  // last loaded are not compared.
  bool operator==(const TNovaNewHistory& o) const;

 private:
  void commit_laid_out(const HistoryContext& context);
  void add_segment(THistSegment segment);
  // Logs the first failure of this history's laid-out commits.
  void log_once(std::string_view what);

  HistoryLayout m_layout;
  HistoryEntries m_entries;
  std::deque<TNovaHistData> m_pages;
  NotedPage m_pending;
  std::int32_t m_max_count = 0;
  // The sum of the history pages' totals.
  std::int64_t m_total = 0;
  // The layout engine, made at the first laid-out commit, and the text
  // command its glyphs came from (a commit of the same command again
  // skips loading it). Clear, a new history and a load forget it. The
  // engine measures pictures through the source it was made with: another
  // source makes a new engine.
  std::unique_ptr<text::TKvWord> m_engine;
  text::InlinePictureSource* m_engine_pictures = nullptr;
  std::string m_loaded_key;
  std::int32_t m_loaded_command = -1;
  bool m_logged = false;
};

class TNovaHistoryFormat {
 public:
  explicit TNovaHistoryFormat(std::string name) : m_name(std::move(name)) {}
  const std::string& Name() const { return m_name; }
  const HistoryLayout& Settings() const { return m_settings; }
  void SetSettings(const HistoryLayout& s) { m_settings = s; }
  TNovaNewHistory& History() { return m_history; }
  const TNovaNewHistory& History() const { return m_history; }

  // CallHist's part of showing [first, first + count): the box's display
  // record filled (TNovaNewHistory::Fill); answers the start offset.
  std::int32_t Show(std::int32_t first, std::int32_t count, TNovaNewMesData& record) const {
    return m_history.Fill(first, count, record);
  }

  bool operator==(const TNovaHistoryFormat&) const = default;

 private:
  std::string m_name;
  HistoryLayout m_settings;
  TNovaNewHistory m_history;
};

// CallHist's range: first at least 0, the count cut to the entries after
// it; computed in 64 bits, so no first and count overflow. Answers the
// count to show (nothing when not above 0).
std::int32_t history_show_count(std::int32_t first, std::int32_t count, std::int32_t entries);

class TNovaHistoryFormatManager {
 public:
  TNovaHistoryFormatManager() { Reset(); }

  // The Reset command: every format goes, a new default one is made.
  void Reset();
  // By exact name; nullptr when there is none.
  TNovaHistoryFormat* Find(std::string_view name) const;
  TNovaHistoryFormat& FindOrCreate(std::string_view name);
  TNovaHistoryFormat& Default() const { return *Find({}); }
  std::size_t FormatCount() const { return m_formats.size(); }
  const TNovaHistoryFormat& Format(std::size_t i) const { return *m_formats.at(i); }

  // Every format notes the page, and every format commits the box's page
  // (a format that cannot commit keeps its page and logs it; nothing is
  // raised).
  void NotePage(const NotedPage& page);
  void Commit(std::string_view box, const HistoryContext& context);
  // The ClrHist command: every history emptied, the formats kept.
  void Clear();

  // The format manager record: format count, per format its name, six
  // settings and history record.
  void Save(core::ByteWriter& w) const;
  // The history part of a game record of `version`: from 135 the manager
  // record, below it one history record read into the default format of a
  // reset manager. A damaged record raises core::Error and changes
  // nothing.
  void Load(core::ByteReader& r, std::int32_t version);

  // Game records of 113 to 134 store the default format's six settings
  // within the variable block: the store's hook reads them here, and they
  // are applied after the variables (a load of the history in between
  // resets the formats).
  void ReadVariableBlockSettings(core::ByteReader& r);
  void ApplyVariableBlockSettings();

 private:
  std::vector<std::unique_ptr<TNovaHistoryFormat>> m_formats;
  std::optional<HistoryLayout> m_block_settings;
};

}  // namespace nova::data
