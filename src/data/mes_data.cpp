#include "data/mes_data.h"

#include <algorithm>

#include <limits>

#include "core/error.h"
#include "core/log.h"

namespace nova::data {

namespace {

template <typename List, typename Match>
auto to_front(List& list, Match match) {
  const auto it = std::find_if(list.begin(), list.end(), match);
  if (it == list.end()) return list.end();
  if (it != list.begin()) {
    auto moved = std::move(*it);
    list.erase(it);
    list.push_front(std::move(moved));
  }
  return list.begin();
}

void no_text(bool& logged, std::string_view page, std::int32_t command, std::string_view why) {
  if (logged) return;
  logged = true;
  core::logf(core::Channel::Data, core::Level::Warning, "text %d of %s cannot be read (%s): shown as no text",
             {command, page, why});
}

std::int32_t saturate(std::int64_t v) {
  return static_cast<std::int32_t>(
      std::clamp<std::int64_t>(v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

// The bottom of the last row a page holds; `otherwise` without rows.
std::int64_t last_row_bottom(const text::TWdPage& page, std::int64_t otherwise) {
  return page.items().empty() ? otherwise : std::int64_t{page.items().back().bottom()};
}

}  // namespace

std::string take_snapshot(const text::TKvWord& engine, const text::TWdPage& page) {
  std::vector<std::pair<std::string, std::string>> pairs;
  const std::int32_t first = page.first_glyph(), last = page.last_glyph();
  if (first < 0 || last < first) return {};
  for (std::int32_t i = first; i <= last && i < engine.glyph_count(); ++i) {
    const text::TWdGlyph& g = engine.glyph(i);
    const text::TWdOpeVar* v = std::get_if<text::TWdOpeVar>(&g);
    if (!v) v = std::get_if<text::TWdOpeHistChar>(&g);
    if (!v || !engine.names().find(v->name)) continue;
    const bool seen = std::any_of(pairs.begin(), pairs.end(), [&](const auto& p) { return p.first == v->name; });
    if (seen) continue;
    std::string value;
    for (std::int32_t k = i + 1; k < engine.glyph_count() && text::is_produced(engine.glyph(k)); ++k) {
      const text::TWdGlyph& c = engine.glyph(k);
      if (const auto* ch = std::get_if<text::TWdVarChar>(&c)) {
        if (ch->code > 0xFF) value.push_back(static_cast<char>(ch->code >> 8));
        value.push_back(static_cast<char>(ch->code & 0xFF));
      } else {
        value.push_back('\x01');
      }
    }
    pairs.emplace_back(v->name, std::move(value));
  }
  return join_snapshot(pairs);
}

// --- The cache -------------------------------------------------------------------------------

const text::TKvWord* TMesDataCacheList::Find(TextCommandSource& source, text::TFontPixelManager& glyphs,
                                             std::string_view page, std::int32_t command) {
  auto p = to_front(m_pages, [&](const Page& e) { return same_key(e.name, page); });
  if (p == m_pages.end()) {
    Page loaded;
    loaded.name = page;
    try {
      loaded.page = source.load(page);
    } catch (const core::Error& e) {
      no_text(m_logged, page, command, e.message());
      return nullptr;
    }
    if (!loaded.page) return nullptr;
    m_pages.push_front(std::move(loaded));
    if (m_pages.size() > kPages) m_pages.pop_back();
    p = m_pages.begin();
  }
  auto w = to_front(p->words, [&](const Word& e) { return e.command == command; });
  if (w != p->words.end()) return w->text.get();
  const auto stream = p->page->glyph_stream(command);
  if (!stream) return nullptr;
  Word word{command, std::make_unique<text::TKvWord>(glyphs)};
  try {
    core::ByteReader r(*stream);
    word.text->load_glyph_stream(r);
  } catch (const core::Error& e) {
    no_text(m_logged, page, command, e.message());
    return nullptr;
  }
  p->words.push_front(std::move(word));
  if (p->words.size() > kWords) p->words.pop_back();
  return p->words.front().text.get();
}

std::vector<std::string> TMesDataCacheList::PageNames() const {
  std::vector<std::string> names;
  for (const Page& p : m_pages) names.push_back(p.name);
  return names;
}

std::vector<std::int32_t> TMesDataCacheList::Commands(std::string_view page) const {
  std::vector<std::int32_t> commands;
  for (const Page& p : m_pages) {
    if (!same_key(p.name, page)) continue;
    for (const Word& w : p.words) commands.push_back(w.command);
  }
  return commands;
}

// --- The display record ----------------------------------------------------------------------

void TNovaNewMesData::Reset() {
  m_entries.clear();
  m_segments.clear();
}

void TNovaNewMesData::SetTextCommand(std::string_view page, std::int32_t command) {
  Reset();
  m_segments.add({std::string(page), command, 0, -1, 0, {}});
}

void TNovaNewMesData::ShowEntries(HistoryEntries entries) {
  Reset();
  m_entries = std::move(entries);
}

void TNovaNewMesData::ShowSegments(TNovaHistData segments) {
  Reset();
  m_segments = std::move(segments);
}

void TNovaNewMesData::LayOut(text::TKvWord& engine, std::vector<text::TWdPage>& pages, bool history_variables,
                             const LayOutContext& context, bool stacking, std::int32_t start_offset) {
  engine.clear();
  if (m_segments.empty()) {
    if (!m_entries.empty()) lay_out_entries(engine, pages, context, stacking);
    return;
  }
  if (!SingleText()) {
    lay_out_segments(engine, pages, history_variables, context, start_offset);
    return;
  }
  const THistSegment& s = m_segments.segments().front();
  if (!context.source || !context.source->exists(s.key)) return;
  const text::TKvWord* from = m_cache.Find(*context.source, engine.glyph_manager(), s.key, s.command);
  if (!from) return;
  const text::TKvWord::GlyphSpan span = from->glyphs_of_positions(s.first, s.last);
  if (span.last < span.first) return;
  engine.copy_glyphs(*from, span.first, span.last);
  engine.names().clear();
  for (auto& [name, value] : split_snapshot(s.snapshot)) engine.names().set(std::move(name), std::move(value));
  engine.prepare_variables(0, -1, history_variables, context.variables);
  engine.layout(pages);
}

void TNovaNewMesData::lay_out_segments(text::TKvWord& engine, std::vector<text::TWdPage>& pages,
                                       bool history_variables, const LayOutContext& context,
                                       std::int32_t start_offset) {
  pages.emplace_back(engine);
  const std::size_t shown = pages.size() - 1;
  std::int64_t offset = start_offset;
  for (std::size_t i = 0; i < m_segments.segments().size(); ++i) {
    const THistSegment& s = m_segments.segments()[i];
    const std::string key = m_segments.effective_key(i);
    if (!context.source || !context.source->exists(key)) break;
    const text::TKvWord* from = m_cache.Find(*context.source, engine.glyph_manager(), key, s.command);
    if (!from) continue;
    const text::TKvWord::GlyphSpan span = from->glyphs_of_positions(s.first, s.last);
    if (span.last < span.first) continue;
    const std::int32_t appended = engine.glyph_count();
    engine.copy_glyphs(*from, span.first, span.last);
    engine.names().clear();
    for (auto& [name, value] : split_snapshot(s.snapshot)) engine.names().set(std::move(name), std::move(value));
    const std::int32_t last = engine.prepare_appended_variables(appended, history_variables, context.variables);
    std::vector<text::TWdPage> laid;
    engine.layout_glyphs(laid, appended, last);
    if (laid.empty()) continue;
    // Only the first page of a segment is shown: a segment is one page of
    // the history's layout, and a box narrower than it spills the rest.
    laid.front().move_rows_to(pages[shown], saturate(offset));
    offset = last_row_bottom(pages[shown], offset - engine.settings().line_spacing) + engine.settings().line_spacing;
  }
  // The rows were placed while glyphs were appended after them only.
  engine.adopt_page(pages[shown]);
  pages[shown].width = engine.settings().width;
}

void TNovaNewMesData::lay_out_entries(text::TKvWord& engine, std::vector<text::TWdPage>& pages,
                                      const LayOutContext& context, bool stacking) {
  text::KvWordSettings saved = engine.settings();
  auto resize = [&](std::int32_t width, std::int32_t height) {
    text::KvWordSettings s = engine.settings();
    s.width = width;
    s.height = height;
    engine.set_settings(s);
  };
  if (m_entries.size() == 1 && m_entries.front().page < 0) {
    const THistoryOldData& e = m_entries.front();
    const text::TKvWord* from = context.source && context.source->exists(e.key)
                                    ? m_cache.Find(*context.source, engine.glyph_manager(), e.key, e.command)
                                    : nullptr;
    if (from) {
      engine.copy_glyphs(*from, 0, -1);
      resize(e.width, e.height);
      engine.prepare_variables(0, -1, false, context.variables);
      engine.layout(pages);
    }
  } else {
    pages.emplace_back(engine);
    const std::size_t shown = pages.size() - 1;
    std::int64_t offset = 0;
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
      const THistoryOldData& e = m_entries[i];
      const std::string key = effective_key(m_entries, i);
      if (!context.source || !context.source->exists(key)) break;
      const text::TKvWord* from = m_cache.Find(*context.source, engine.glyph_manager(), key, e.command);
      if (!from) continue;
      const std::int32_t appended = engine.glyph_count();
      engine.copy_glyphs(*from, 0, -1);
      resize(e.width, e.height);
      const std::int32_t last = engine.prepare_appended_variables(appended, false, context.variables);
      std::vector<text::TWdPage> laid;
      engine.layout_glyphs(laid, appended, last);
      const std::int64_t before = offset;
      // An entry whose page lies beyond its text's pages shows nothing.
      if (e.page >= 0 && static_cast<std::size_t>(e.page) < laid.size()) {
        laid[static_cast<std::size_t>(e.page)].move_rows_to(pages[shown], saturate(offset));
      }
      if (stacking) {
        offset = last_row_bottom(pages[shown], before - saved.line_spacing) + saved.line_spacing;
        if (pages[shown].items().empty()) offset = before;
      } else {
        offset = before + e.height;
      }
    }
    engine.adopt_page(pages[shown]);
    pages[shown].width = saved.width;
  }
  text::KvWordSettings s = engine.settings();
  s.width = saved.width;
  s.height = saved.height;
  engine.set_settings(s);
}

void TNovaNewMesData::save(core::ByteWriter& w, std::int32_t version) const {
  write_entry_columns(w, m_entries);
  if (version >= kHistoryRowsVersion) m_segments.save(w, version);
}

void TNovaNewMesData::load(core::ByteReader& r, std::int32_t version) {
  HistoryEntries entries = read_entry_columns(r);
  TNovaHistData segments;
  if (version >= kHistoryRowsVersion) segments = TNovaHistData::load(r, version);
  m_entries = std::move(entries);
  m_segments = std::move(segments);
  m_cache.Clear();
}

}  // namespace nova::data
