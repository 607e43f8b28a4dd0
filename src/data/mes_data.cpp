#include "data/mes_data.h"

#include <algorithm>

#include "core/error.h"
#include "core/log.h"
#include "data/history_format.h"

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

void no_text(std::string_view page, std::int32_t command, std::string_view why) {
  core::logf(core::Channel::Data, core::Level::Warning, "text %d of %s cannot be read (%s): shown as no text",
             {command, page, why});
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
      no_text(page, command, e.message());
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
    no_text(page, command, e.message());
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

void TNovaNewMesData::LayOut(text::TKvWord& engine, std::vector<text::TWdPage>& pages, bool history_variables,
                             const LayOutContext& context) {
  engine.clear();
  if (m_segments.empty() && m_entries.empty()) return;
  if (!SingleText()) core::throw_error(viewer_not_built("CallHist"));
  const THistSegment& s = m_segments.segments().front();
  if (!context.source || !context.source->exists(s.key)) return;
  const text::TKvWord* from = m_cache.Find(*context.source, engine.glyph_manager(), s.key, s.command);
  if (!from) return;
  const std::int32_t first = s.first <= 0 ? 0 : from->glyph_index_of_char_count(s.first);
  const std::int32_t last = s.last < 0 ? -1 : from->glyph_index_of_char_count(s.last);
  engine.copy_glyphs(*from, first, last);
  engine.names().clear();
  for (auto& [name, value] : split_snapshot(s.snapshot)) engine.names().set(std::move(name), std::move(value));
  engine.prepare_variables(0, -1, history_variables, context.variables);
  engine.layout(pages);
}

void TNovaNewMesData::save(core::ByteWriter& w, std::int32_t version) const {
  write_entry_columns(w, m_entries);
  if (version >= kHistoryRowsVersion) m_segments.save(w, version);
}

void TNovaNewMesData::load(core::ByteReader& r, std::int32_t version) {
  std::vector<THistoryOldData> entries = read_entry_columns(r);
  TNovaHistData segments;
  if (version >= kHistoryRowsVersion) segments = TNovaHistData::load(r, version);
  m_entries = std::move(entries);
  m_segments = std::move(segments);
  m_cache.Clear();
}

}  // namespace nova::data
