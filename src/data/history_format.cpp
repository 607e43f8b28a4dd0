#include "data/history_format.h"

#include <algorithm>

#include "core/error.h"
#include "core/format.h"
#include "data/text_command_source.h"

namespace nova::data {

namespace {

// The fewest bytes of a history record from 113 on (every count 0, every
// string empty), and of a format around it.
constexpr std::uint64_t kFormatBytes = 4 + 24;

}  // namespace

std::string viewer_not_built(std::string_view command) {
  return std::string(command) + ": the message history viewer is not built yet";
}

void HistoryLayout::save(core::ByteWriter& w) const {
  for (std::int32_t v : {font_size, border_width, shadow_width, width, height, line_spacing}) w.i32(v);
}

HistoryLayout HistoryLayout::load(core::ByteReader& r) {
  HistoryLayout l;
  for (std::int32_t* v : {&l.font_size, &l.border_width, &l.shadow_width, &l.width, &l.height, &l.line_spacing}) {
    *v = r.i32();
  }
  return l;
}

// --- TNovaNewHistory ---------------------------------------------------------------------

std::int32_t TNovaNewHistory::Count() const {
  if (!laid_out()) return static_cast<std::int32_t>(m_entries.size());
  std::int64_t total = 0;
  for (const TNovaHistData& p : m_pages) total += p.total_height();
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(total, INT32_MIN, INT32_MAX));
}

void TNovaNewHistory::Note(const NotedPage& page, const HistoryLayout& format) {
  m_pending.key = page.key;
  m_pending.command = page.command;
  m_pending.first = page.first;
  m_pending.last = page.last;
  m_pending.box = page.box;
  m_pending.snapshot = page.snapshot;
  // The mode changes only while the laid-out history is empty.
  if (m_pages.empty()) m_layout = format;
  // List entries need the page and the box it was shown in; a format whose
  // font size is 0 is one without settings, in list mode whatever its
  // history holds.
  if (format.font_size == 0 || !laid_out()) {
    m_pending.page = page.page;
    m_pending.box_width = page.box_width;
    m_pending.box_height = page.box_height;
  }
}

void TNovaNewHistory::Commit(std::string_view box, TextCommandSource* source) {
  if (m_pending.key.empty() || m_pending.box != box) return;
  if (laid_out()) {
    if (!source || !source->exists(m_pending.key)) {
      m_pending.key.clear();
      return;
    }
    core::throw_error(viewer_not_built("TextIns"));
  }
  append_entry(m_entries,
               {m_pending.key, m_pending.command, m_pending.page, m_pending.box_width, m_pending.box_height});
  while (m_max_count > 0 && static_cast<std::size_t>(m_max_count) < m_entries.size()) {
    std::string key = std::move(m_entries.front().key);
    m_entries.erase(m_entries.begin());
    if (m_entries.front().key.empty()) m_entries.front().key = std::move(key);
  }
  m_pending.key.clear();
}

void TNovaNewHistory::Clear() {
  m_entries.clear();
  m_pages.clear();
  m_pending = NotedPage{};
}

void TNovaNewHistory::save(core::ByteWriter& w, std::int32_t version) const {
  if (version < kHistoryRowsVersion) {
    // The string older records begin with: nothing reads it.
    w.str({});
    write_entry_columns(w, m_entries);
  } else {
    write_entry_rows(w, m_entries);
  }
  w.str(m_pending.key);
  w.i32(m_pending.command);
  w.i32(m_pending.page);
  w.i32(m_pending.box_width);
  w.i32(m_pending.box_height);
  w.str(m_pending.box);
  if (version >= kHistoryRowsVersion) {
    w.i32(m_max_count);
    m_layout.save(w);
    w.i32(m_pending.first);
    w.i32(m_pending.last);
    w.i32(static_cast<std::int32_t>(m_pages.size()));
    for (const TNovaHistData& p : m_pages) p.save(w, version);
  }
  if (version >= kHistorySnapshotVersion) w.str(m_pending.snapshot);
}

TNovaNewHistory TNovaNewHistory::load(core::ByteReader& r, std::int32_t version) {
  TNovaNewHistory h;
  if (version < kHistoryRowsVersion) {
    r.str();
    h.m_entries = read_entry_columns(r);
  } else {
    h.m_entries = read_entry_rows(r);
  }
  h.m_pending.key = r.str();
  h.m_pending.command = r.i32();
  h.m_pending.page = r.i32();
  h.m_pending.box_width = r.i32();
  h.m_pending.box_height = r.i32();
  h.m_pending.box = r.str();
  if (version >= kHistoryRowsVersion) {
    h.m_max_count = r.i32();
    h.m_layout = HistoryLayout::load(r);
    h.m_pending.first = r.i32();
    h.m_pending.last = r.i32();
    const std::int32_t n = r.i32();
    // A history page is at least its segment count and total height.
    if (n < 0 || static_cast<std::uint64_t>(n) * 8 > r.remaining()) {
      r.fail(core::format("history page count %d does not fit the record", {n}));
    }
    h.m_pages.reserve(static_cast<std::size_t>(n));
    for (std::int32_t i = 0; i < n; ++i) h.m_pages.push_back(TNovaHistData::load(r, version));
  }
  if (version >= kHistorySnapshotVersion) h.m_pending.snapshot = r.str();
  return h;
}

// --- Formats ---------------------------------------------------------------------------------

void TNovaHistoryFormat::Show(std::int32_t, std::int32_t, bool) { core::throw_error(viewer_not_built("CallHist")); }

std::int32_t history_show_count(std::int32_t first, std::int32_t count, std::int32_t entries) {
  const std::int64_t from = std::max<std::int64_t>(first, 0);
  std::int64_t n = count;
  if (std::int64_t{entries} < from + n) n = std::int64_t{entries} - from;
  return static_cast<std::int32_t>(std::max<std::int64_t>(n, 0));
}

void TNovaHistoryFormatManager::Reset() {
  m_formats.clear();
  m_formats.push_back(std::make_unique<TNovaHistoryFormat>(std::string()));
}

TNovaHistoryFormat* TNovaHistoryFormatManager::Find(std::string_view name) const {
  for (const auto& f : m_formats) {
    if (f->Name() == name) return f.get();
  }
  return nullptr;
}

TNovaHistoryFormat& TNovaHistoryFormatManager::FindOrCreate(std::string_view name) {
  if (TNovaHistoryFormat* f = Find(name)) return *f;
  m_formats.push_back(std::make_unique<TNovaHistoryFormat>(std::string(name)));
  return *m_formats.back();
}

void TNovaHistoryFormatManager::NotePage(const NotedPage& page) {
  for (const auto& f : m_formats) f->History().Note(page, f->Settings());
}

void TNovaHistoryFormatManager::Commit(std::string_view box, TextCommandSource* source) {
  std::optional<core::Error> first;
  for (const auto& f : m_formats) {
    try {
      f->History().Commit(box, source);
    } catch (const core::Error& e) {
      if (!first) first = e;
    }
  }
  if (first) throw *first;
}

void TNovaHistoryFormatManager::Clear() {
  for (const auto& f : m_formats) f->History().Clear();
}

void TNovaHistoryFormatManager::Save(core::ByteWriter& w) const {
  w.i32(static_cast<std::int32_t>(m_formats.size()));
  for (const auto& f : m_formats) {
    w.str(f->Name());
    f->Settings().save(w);
    f->History().save(w, kHistoryWriteVersion);
  }
}

void TNovaHistoryFormatManager::Load(core::ByteReader& r, std::int32_t version) {
  std::vector<std::unique_ptr<TNovaHistoryFormat>> loaded;
  if (version >= kHistoryFormatsVersion) {
    const std::int32_t n = r.i32();
    if (n < 0 || static_cast<std::uint64_t>(n) * kFormatBytes > r.remaining()) {
      r.fail(core::format("history format count %d does not fit the record", {n}));
    }
    for (std::int32_t i = 0; i < n; ++i) {
      auto f = std::make_unique<TNovaHistoryFormat>(r.str());
      f->SetSettings(HistoryLayout::load(r));
      f->History() = TNovaNewHistory::load(r, version);
      loaded.push_back(std::move(f));
    }
    // Every manager holds a default format; a record without one gets a
    // new one in front, as a reset would make it.
    const bool has_default = std::any_of(loaded.begin(), loaded.end(), [](const auto& f) { return f->Name().empty(); });
    if (!has_default) loaded.insert(loaded.begin(), std::make_unique<TNovaHistoryFormat>(std::string()));
  } else {
    auto f = std::make_unique<TNovaHistoryFormat>(std::string());
    f->History() = TNovaNewHistory::load(r, version);
    loaded.push_back(std::move(f));
  }
  m_formats = std::move(loaded);
}

void TNovaHistoryFormatManager::ReadVariableBlockSettings(core::ByteReader& r) {
  m_block_settings = HistoryLayout::load(r);
}

void TNovaHistoryFormatManager::ApplyVariableBlockSettings() {
  if (!m_block_settings) return;
  Default().SetSettings(*m_block_settings);
  m_block_settings.reset();
}

}  // namespace nova::data
