// What a message box shows: its display record (TNovaNewMesData), naming
// either one text command's text or history entries, and the cache of
// texts read for it (TMesDataCacheList).
//
// A box owns one display record; the record owns its cache, and the cache
// the pages and text engines it loaded. The text source and the glyph
// manager are borrowed for each call.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/binary_io.h"
#include "data/history_records.h"
#include "data/text_command_source.h"
#include "text/kvword.h"
#include "text/word_layout.h"

namespace nova::data {

// Texts of text commands by (page name, command index): at most kPages
// pages, most recently used first, each with at most kWords texts, most
// recently used first.
class TMesDataCacheList {
 public:
  static constexpr std::size_t kPages = 32;
  static constexpr std::size_t kWords = 256;

  // The text engine holding that command's glyph stream, or nullptr when
  // the page file is missing, the index lies outside the page, or the
  // command is no text command. A page or stream that fails to read counts
  // as no text and is logged (once for the cache). The engine is valid
  // until the next call.
  const text::TKvWord* Find(TextCommandSource& source, text::TFontPixelManager& glyphs, std::string_view page,
                            std::int32_t command);
  void Clear() { m_pages.clear(); }
  // What is cached, front first (for tests).
  std::vector<std::string> PageNames() const;
  std::vector<std::int32_t> Commands(std::string_view page) const;

 private:
  struct Word {
    std::int32_t command = 0;
    std::unique_ptr<text::TKvWord> text;
  };
  struct Page {
    std::string name;
    std::unique_ptr<TextCommandPage> page;
    std::deque<Word> words;
  };
  std::deque<Page> m_pages;
  bool m_logged = false;
};

// The variable snapshot of a laid-out page: for the first variable glyph
// of each name on the page whose name the engine's name/value list holds,
// "name=value" with the characters it produced (each produced line break
// as byte 1); lines joined by CR LF.
std::string take_snapshot(const text::TKvWord& engine, const text::TWdPage& page);

// Where a lay-out finds what it needs besides the box's engine.
struct LayOutContext {
  TextCommandSource* source = nullptr;            // none: every text is missing
  text::TextVariableSource* variables = nullptr;  // none: only snapshot names resolve
};

class TNovaNewMesData {
 public:
  // List entries to show (keys as effective keys), and the segments.
  const HistoryEntries& entries() const { return m_entries; }
  const TNovaHistData& segments() const { return m_segments; }
  TMesDataCacheList& cache() { return m_cache; }

  // Nothing to show.
  void Reset();
  // One text command's text, shown as it is: one segment (that key and
  // command, positions 0 to the end, height 0, no snapshot).
  void SetTextCommand(std::string_view page, std::int32_t command);
  // History entries (keys as effective keys) or segments to show; either
  // replaces what the record named.
  void ShowEntries(HistoryEntries entries);
  void ShowSegments(TNovaHistData segments);
  bool Empty() const { return m_segments.empty() && m_entries.empty(); }
  // Whether the record names one text command shown normally.
  bool SingleText() const { return m_segments.segments().size() == 1 && m_segments.total_height() == 0; }

  // Clears the engine's glyphs and lays out what the record names into
  // `pages`. One text command shown normally: its glyphs from first to
  // last are copied from the cache, the engine's names set from the
  // snapshot, the variables prepared (history variables with
  // `history_variables`) and everything laid out into pages. Several
  // segments: one page, each segment's glyphs appended and laid out, the
  // rows of its first laid-out page moved onto it from `start_offset` down,
  // one below the other with the line spacing between; a segment whose file
  // is gone ends the page, one without text is skipped. List entries: one
  // entry with a page index below 0 is its whole text at its box size;
  // otherwise one page, each entry's text laid out at its box size and the
  // rows of its recorded page moved on, the next below them (`stacking`)
  // or one recorded box height further down. The engine's size is put back
  // afterwards. Nothing is raised for a missing or unreadable text.
  void LayOut(text::TKvWord& engine, std::vector<text::TWdPage>& pages, bool history_variables,
              const LayOutContext& context, bool stacking = false, std::int32_t start_offset = 0);

  // List entry count, the keys, command indexes, page indexes and box
  // sizes column by column; from 113 the segment record.
  void save(core::ByteWriter& w, std::int32_t version = kHistoryWriteVersion) const;
  // Replaces the record (the cache is emptied); a damaged one raises
  // core::Error and changes nothing.
  void load(core::ByteReader& r, std::int32_t version);

  bool operator==(const TNovaNewMesData& o) const { return m_entries == o.m_entries && m_segments == o.m_segments; }

 private:
  void lay_out_segments(text::TKvWord& engine, std::vector<text::TWdPage>& pages, bool history_variables,
                        const LayOutContext& context, std::int32_t start_offset);
  void lay_out_entries(text::TKvWord& engine, std::vector<text::TWdPage>& pages, const LayOutContext& context,
                       bool stacking);

  HistoryEntries m_entries;
  TNovaHistData m_segments;
  TMesDataCacheList m_cache;
};

}  // namespace nova::data
