#include "data/history_format.h"

#include <algorithm>

#include "core/error.h"
#include "core/format.h"
#include "core/log.h"
#include "data/text_command_source.h"
#include "text/kvword.h"
#include "text/word_layout.h"

namespace nova::data {

namespace {

// The fewest bytes of a history record from 113 on (every count 0, every
// string empty), and of a format around it.
constexpr std::uint64_t kFormatBytes = 4 + 24;

}  // namespace

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

TNovaNewHistory::TNovaNewHistory() = default;
TNovaNewHistory::~TNovaNewHistory() = default;
TNovaNewHistory::TNovaNewHistory(TNovaNewHistory&&) noexcept = default;
TNovaNewHistory& TNovaNewHistory::operator=(TNovaNewHistory&&) noexcept = default;

TNovaNewHistory::TNovaNewHistory(const TNovaNewHistory& o)
    : m_layout(o.m_layout),
      m_entries(o.m_entries),
      m_pages(o.m_pages),
      m_pending(o.m_pending),
      m_max_count(o.m_max_count),
      m_total(o.m_total) {}

TNovaNewHistory& TNovaNewHistory::operator=(const TNovaNewHistory& o) {
  if (this != &o) *this = TNovaNewHistory(o);
  return *this;
}

bool TNovaNewHistory::operator==(const TNovaNewHistory& o) const {
  return m_layout == o.m_layout && m_entries == o.m_entries && m_pages == o.m_pages && m_pending == o.m_pending &&
         m_max_count == o.m_max_count;
}

std::int32_t TNovaNewHistory::Count() const {
  const std::int64_t n = laid_out() ? m_total : static_cast<std::int64_t>(m_entries.size());
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(n, INT32_MIN, INT32_MAX));
}

void TNovaNewHistory::Note(const NotedPage& page, const HistoryLayout& format) {
  m_pending = page;
  // The mode changes only while the laid-out history is empty.
  if (m_pages.empty()) m_layout = format;
}

void TNovaNewHistory::log_once(std::string_view what) {
  if (m_logged) return;
  m_logged = true;
  core::logf(core::Channel::Data, core::Level::Warning, "message history: %s (recorded nothing; kept pending)",
             {what});
}

void TNovaNewHistory::Commit(std::string_view box, const HistoryContext& context) {
  if (m_pending.key.empty() || m_pending.box != box) return;
  if (laid_out()) {
    commit_laid_out(context);
    return;
  }
  append_entry(m_entries, {m_pending.key, m_pending.command, m_pending.page, m_pending.box_width,
                           m_pending.box_height});
  while (m_max_count > 0 && static_cast<std::size_t>(m_max_count) < m_entries.size()) {
    std::string key = std::move(m_entries.front().key);
    m_entries.pop_front();
    if (m_entries.front().key.empty()) m_entries.front().key = std::move(key);
  }
  m_pending.key.clear();
}

void TNovaNewHistory::add_segment(THistSegment segment) {
  const std::int32_t height = segment.height;
  if (!m_pages.empty() &&
      std::int64_t{m_layout.height} >= std::int64_t{height} + m_pages.back().total_height()) {
    m_pages.back().add(std::move(segment));
  } else {
    m_pages.emplace_back();
    m_pages.back().add(std::move(segment));
  }
  m_total += height;
}

void TNovaNewHistory::commit_laid_out(const HistoryContext& context) {
  if (!context.source || !context.source->exists(m_pending.key)) {
    m_pending.key.clear();
    return;
  }
  if (!context.glyphs) {
    log_once("no glyph manager to lay pages out with");
    return;
  }
  std::unique_ptr<TextCommandPage> page;
  try {
    page = context.source->load(m_pending.key);
  } catch (const core::Error& e) {
    log_once(core::format("%s does not read: %s", {m_pending.key, e.message()}));
    return;
  }
  const auto stream = page ? page->glyph_stream(m_pending.command) : std::nullopt;
  if (!stream) return;
  if (!m_engine || m_engine_pictures != context.pictures) {
    m_engine = std::make_unique<text::TKvWord>(*context.glyphs, context.pictures);
    m_engine_pictures = context.pictures;
    m_loaded_key.clear();
    m_loaded_command = -1;
  }
  text::TKvWord& e = *m_engine;
  if (!same_key(m_loaded_key, m_pending.key) || m_loaded_command != m_pending.command) {
    m_loaded_key.clear();
    try {
      core::ByteReader r(*stream);
      e.load_glyph_stream(r);
    } catch (const core::Error& err) {
      log_once(core::format("text %d of %s does not read: %s", {m_pending.command, m_pending.key, err.message()}));
      return;
    }
    m_loaded_key = m_pending.key;
    m_loaded_command = m_pending.command;
  }
  text::KvWordSettings s;
  s.font_size = m_layout.font_size;
  s.border_width = m_layout.border_width;
  s.shadow_width = m_layout.shadow_width;
  s.width = m_layout.width;
  s.height = m_layout.height;
  s.line_spacing = m_layout.line_spacing;
  e.set_settings(s);
  // The values the page showed, so that its pieces are as tall as it was.
  e.names().clear();
  for (auto& [name, value] : split_snapshot(m_pending.snapshot)) e.names().set(std::move(name), std::move(value));
  const text::TKvWord::GlyphSpan span = e.glyphs_of_positions(m_pending.first, m_pending.last);
  std::vector<text::TWdPage> laid;
  if (span.last >= span.first) {
    const std::int32_t last = e.prepare_variables(span.first, span.last, true, context.variables);
    e.layout_glyphs(laid, span.first, last);
  }
  for (const text::TWdPage& p : laid) {
    const std::int64_t height = std::int64_t{p.height} + e.settings().line_spacing;
    add_segment({m_pending.key, m_pending.command, p.first_position(), p.last_position(),
                 static_cast<std::int32_t>(std::clamp<std::int64_t>(height, INT32_MIN, INT32_MAX)),
                 m_pending.snapshot});
  }
  while (m_max_count > 0 && static_cast<std::size_t>(m_max_count) < m_pages.size()) {
    m_total -= m_pages.front().total_height();
    m_pages.pop_front();
  }
  laid.clear();
  e.remove_variables(0, -1);
  m_pending.key.clear();
}

std::int32_t TNovaNewHistory::Fill(std::int32_t first, std::int32_t count, TNovaNewMesData& record) const {
  record.Reset();
  if (!laid_out()) {
    HistoryEntries shown;
    const std::int64_t end = std::min<std::int64_t>(std::int64_t{first} + count, m_entries.size());
    for (std::int64_t i = std::max(first, 0); i < end; ++i) {
      THistoryOldData e = m_entries[static_cast<std::size_t>(i)];
      e.key = effective_key(m_entries, static_cast<std::size_t>(i));
      shown.push_back(std::move(e));
    }
    record.ShowEntries(std::move(shown));
    return 0;
  }
  // The history pages stacked in order, each segment stacked in its page.
  const std::int64_t y0 = first, y1 = std::int64_t{first} + count;
  std::int64_t page_top = 0;
  std::size_t p0 = 0;
  while (p0 < m_pages.size() && page_top + m_pages[p0].total_height() <= y0) page_top += m_pages[p0++].total_height();
  if (p0 == m_pages.size()) return 0;
  std::int64_t top = page_top;
  std::size_t s0 = 0;
  const auto& first_segments = m_pages[p0].segments();
  while (s0 + 1 < first_segments.size() && top + first_segments[s0].height <= y0) top += first_segments[s0++].height;
  const std::int64_t first_y = top;
  std::size_t p1 = p0;
  std::int64_t end_top = page_top;
  while (p1 + 1 < m_pages.size() && end_top + m_pages[p1].total_height() < y1) end_top += m_pages[p1++].total_height();
  std::size_t s1 = 0;
  const auto& last_segments = m_pages[p1].segments();
  for (std::int64_t y = end_top; s1 + 1 < last_segments.size(); ++s1) {
    y += last_segments[s1].height;
    if (y >= y1) break;
  }
  TNovaHistData segments;
  for (std::size_t p = p0; p <= p1; ++p) {
    const auto& list = m_pages[p].segments();
    const std::size_t from = p == p0 ? s0 : 0;
    const std::size_t to = p == p1 ? std::min(s1, list.size() - 1) : list.size() - 1;
    for (std::size_t s = from; s <= to && s < list.size(); ++s) {
      THistSegment segment = list[s];
      segment.key = m_pages[p].effective_key(s);
      segments.add(std::move(segment));
    }
  }
  record.ShowSegments(std::move(segments));
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(first_y - y0, INT32_MIN, INT32_MAX));
}

void TNovaNewHistory::Clear() {
  m_entries.clear();
  m_pages.clear();
  m_total = 0;
  m_pending = NotedPage{};
  m_engine.reset();
  m_engine_pictures = nullptr;
  m_loaded_key.clear();
  m_loaded_command = -1;
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
    for (std::int32_t i = 0; i < n; ++i) {
      h.m_pages.push_back(TNovaHistData::load(r, version));
      h.m_total += h.m_pages.back().total_height();
    }
  }
  if (version >= kHistorySnapshotVersion) h.m_pending.snapshot = r.str();
  return h;
}

// --- Formats ---------------------------------------------------------------------------------

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

void TNovaHistoryFormatManager::Commit(std::string_view box, const HistoryContext& context) {
  for (const auto& f : m_formats) f->History().Commit(box, context);
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
