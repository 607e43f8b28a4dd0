#include "script/text_source.h"

#include <optional>
#include <string>
#include <vector>

#include "core/binary_io.h"
#include "core/sjis.h"
#include "script/callman.h"
#include "script/page.h"
#include "script/page_file.h"

namespace nova::script {
namespace {

// The glyph streams of one page, by command index; nullopt for a command
// that is not a text command.
class CopiedPage final : public data::TextCommandPage {
 public:
  void add(std::optional<std::string> stream) { m_streams.push_back(std::move(stream)); }
  std::int32_t command_count() const override { return static_cast<std::int32_t>(m_streams.size()); }
  std::optional<std::span<const std::uint8_t>> glyph_stream(std::int32_t index) const override {
    if (index < 0 || index >= command_count()) return std::nullopt;
    const std::optional<std::string>& s = m_streams[static_cast<std::size_t>(index)];
    if (!s) return std::nullopt;
    return std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(s->data()), s->size());
  }

 private:
  std::vector<std::optional<std::string>> m_streams;
};

std::optional<std::string> stream_of(const TCommandRecord& r) {
  if (r.code() != CC_TEXTINS || r.fields.empty()) return std::nullopt;
  return r.fields[0].bytes;
}

}  // namespace

bool TScriptTextSource::exists(std::string_view page_name) { return m_host.Exists(page_name); }

std::unique_ptr<data::TextCommandPage> TScriptTextSource::load(std::string_view page_name) {
  auto out = std::make_unique<CopiedPage>();
  if (m_interpreter) {
    if (const TPage* cached = m_interpreter->CachedPage(page_name)) {
      for (std::int32_t i = 0; i < cached->count(); ++i) out->add(stream_of(cached->command(i).record()));
      return out;
    }
  }
  if (!m_host.Exists(page_name)) return nullptr;
  const std::vector<std::uint8_t> bytes = m_host.ReadFile(page_name);
  core::ByteReader head(bytes);
  head.set_context(std::string(page_name));
  const std::int32_t version = head.i32();
  // The interpreter would not run such a page either: it has no texts.
  if (version > kNewestPageVersion || version <= kRefusedPageVersion) return out;
  const TPageFile file = TPageFile::parse(bytes, page_name);
  for (const TCommandRecord& r : file.commands) out->add(stream_of(r));
  return out;
}

}  // namespace nova::script
