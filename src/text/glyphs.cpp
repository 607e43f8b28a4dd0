#include "text/glyphs.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <iterator>

#include "core/error.h"

namespace nova::text {

namespace {

template <typename... F>
struct Overloaded : F... {
  using F::operator()...;
};
template <typename... F>
Overloaded(F...) -> Overloaded<F...>;

constexpr std::array<std::string_view, 5> kAlignNames = {"LEFT", "RIGHT", "CENTER", "TOP", "BOTTOM"};

}  // namespace

std::string_view align_name(Align a) {
  const auto code = static_cast<std::size_t>(a);
  return code >= 1 && code <= kAlignNames.size() ? kAlignNames[code - 1] : std::string_view();
}

std::optional<GlyphStreamType> stream_type(const TWdGlyph& g) {
  return std::visit(Overloaded{
                        [](const TWdVarChar&) -> std::optional<GlyphStreamType> { return std::nullopt; },
                        [](const TWdChar&) -> std::optional<GlyphStreamType> { return kStreamChar; },
                        [](const TWdOpeAlign&) -> std::optional<GlyphStreamType> { return kStreamAlign; },
                        [](const TWdOpeReturn&) -> std::optional<GlyphStreamType> { return kStreamReturn; },
                        [](const TWdVarReturn&) -> std::optional<GlyphStreamType> { return std::nullopt; },
                        [](const TWdOpeIndent&) -> std::optional<GlyphStreamType> { return kStreamIndent; },
                        [](const TWdOpeUndent&) -> std::optional<GlyphStreamType> { return kStreamUndent; },
                        [](const TWdOpeEvent&) -> std::optional<GlyphStreamType> { return kStreamEvent; },
                        [](const TWdOpeHistChar&) -> std::optional<GlyphStreamType> { return kStreamHistChar; },
                        [](const TWdOpeVar&) -> std::optional<GlyphStreamType> { return kStreamVar; },
                        [](const TWdImg&) -> std::optional<GlyphStreamType> { return kStreamImg; },
                    },
                    g);
}

bool is_produced(const TWdGlyph& g) {
  return std::holds_alternative<TWdVarChar>(g) || std::holds_alternative<TWdVarReturn>(g);
}

std::optional<std::int32_t> owned_decoration(const TWdGlyph& g) {
  if (const auto* c = std::get_if<TWdChar>(&g)) return c->decoration;
  if (const auto* v = std::get_if<TWdOpeVar>(&g)) return v->decoration;
  if (const auto* h = std::get_if<TWdOpeHistChar>(&g)) return h->decoration;
  return std::nullopt;
}

std::int32_t ParsedText::intern(const TDecorate& d) {
  std::int32_t index = m_decorations.find(d);
  if (index >= 0) return index;
  m_decorations.append_record({d, 0});
  return m_decorations.size() - 1;
}

void ParsedText::append(TWdGlyph g) {
  if (auto d = owned_decoration(g)) {
    assert(m_decorations.contains(*d) && "glyph refers to a decoration the text does not have");
    m_decorations.add_ref(*d);
  }
  m_glyphs.push_back(std::move(g));
}

void ParsedText::insert_produced(std::size_t at, std::vector<TWdGlyph> produced) {
  assert(at <= m_glyphs.size());
  m_glyphs.insert(m_glyphs.begin() + static_cast<std::ptrdiff_t>(at), std::make_move_iterator(produced.begin()),
                  std::make_move_iterator(produced.end()));
}

std::size_t ParsedText::erase_produced(std::size_t first, std::size_t last) {
  last = std::min(last, m_glyphs.size());
  if (first >= last) return 0;
  auto begin = m_glyphs.begin() + static_cast<std::ptrdiff_t>(first);
  auto end = m_glyphs.begin() + static_cast<std::ptrdiff_t>(last);
  auto kept = std::remove_if(begin, end, [](const TWdGlyph& g) { return is_produced(g); });
  const auto removed = static_cast<std::size_t>(end - kept);
  m_glyphs.erase(kept, end);
  return removed;
}

ParsedText ParsedText::from_stored(TDecorateList decorations, std::vector<TWdGlyph> glyphs, StreamVersion version) {
  for (const TWdGlyph& g : glyphs) {
    if (auto d = owned_decoration(g); d && !decorations.contains(*d)) {
      core::throw_error("glyph stream: decoration index out of range");
    }
  }
  ParsedText text;
  text.m_decorations = std::move(decorations);
  text.m_glyphs = std::move(glyphs);
  text.m_version = version;
  return text;
}

}  // namespace nova::text
