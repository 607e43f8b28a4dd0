// The message history: TNovaHistoryFormatManager keeps the named history
// formats (the default one, named "", always among them); each format has
// six layout settings and a history (TNovaNewHistory) that records every
// page a message box shows once the box moves on from it.
//
// A history works in list mode (one entry per page) while its own layout
// width is 0, which is every history a script makes today; laid-out
// recording, showing entries in a box, and the settings a script gives a
// format are the viewer's, which is not built yet: those paths raise
// "<command>: the message history viewer is not built yet".
//
// Ownership: the component system owns the one manager of the player from
// its start-up to its "TextHistoryFormats.Free" step; the manager owns its
// formats and each format its history. Message boxes call it by their
// name; nothing holds a format across frames.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/binary_io.h"
#include "data/history_records.h"

namespace nova::data {

class TextCommandSource;

// The error of what the viewer would do.
std::string viewer_not_built(std::string_view command);

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
  // The settings of the layout engine; a width of 0 is list mode.
  const HistoryLayout& layout() const { return m_layout; }
  bool laid_out() const { return m_layout.width != 0; }

  const std::vector<THistoryOldData>& entries() const { return m_entries; }
  const std::vector<TNovaHistData>& pages() const { return m_pages; }
  // The page waiting to be recorded (empty key: none).
  const std::string& pending_key() const { return m_pending.key; }
  const NotedPage& pending() const { return m_pending; }

  // Entries in list mode, the total height of the history pages in
  // laid-out mode.
  std::int32_t Count() const;
  std::int32_t MaxCount() const { return m_max_count; }
  // Takes effect at the next commit; 0 is no limit.
  void SetMaxCount(std::int32_t n) { m_max_count = n; }

  // The box shows a page: it becomes the pending entry. The format's
  // settings go to the engine while no history page exists.
  void Note(const NotedPage& page, const HistoryLayout& format);
  // The box named `box` moves on: its pending page is recorded. In list
  // mode an entry is appended and the oldest dropped beyond the maximum
  // count (the next entry taking over its key when it stored none). In
  // laid-out mode a page whose file is gone is dropped; one that exists
  // raises the viewer's error and stays pending.
  void Commit(std::string_view box, TextCommandSource* source);
  // Entries, history pages and the pending entry go; the settings stay.
  void Clear();

  // The history record at `version` (see the reader for the layouts).
  void save(core::ByteWriter& w, std::int32_t version = kHistoryWriteVersion) const;
  // Reads a record of any version into a new history; raises core::Error
  // for a damaged one.
  static TNovaNewHistory load(core::ByteReader& r, std::int32_t version);

  bool operator==(const TNovaNewHistory&) const = default;

 private:
  HistoryLayout m_layout;
  std::vector<THistoryOldData> m_entries;
  std::vector<TNovaHistData> m_pages;
  NotedPage m_pending;
  std::int32_t m_max_count = 0;
};

class TNovaHistoryFormat {
 public:
  explicit TNovaHistoryFormat(std::string name) : m_name(std::move(name)) {}
  const std::string& Name() const { return m_name; }
  const HistoryLayout& Settings() const { return m_settings; }
  void SetSettings(const HistoryLayout& s) { m_settings = s; }
  TNovaNewHistory& History() { return m_history; }
  const TNovaNewHistory& History() const { return m_history; }

  // CallHist's showing of entries [first, first + count): the viewer's.
  [[noreturn]] void Show(std::int32_t first, std::int32_t count, bool stacking);

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

  // Every format notes the page, and every format commits the box's page.
  // A format that cannot commit keeps its page; the others go on, and the
  // first error is raised after them.
  void NotePage(const NotedPage& page);
  void Commit(std::string_view box, TextCommandSource* source);
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
