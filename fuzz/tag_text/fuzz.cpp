// Arbitrary text through the tag language. A parse either rejects the text
// with core::Error or gives glyphs that
//   - read back from their stream to the same bytes,
//   - written back as tagged text (when they can be), parse to the same stream,
//   - expand their variables and lose the expansions again unchanged.
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "core/error.h"
#include "text/glyph_stream.h"
#include "text/tag_parser.h"
#include "text/tag_writer.h"
#include "text/text_variables.h"

using namespace nova;

namespace {

// Answers every expression with its own text.
class EchoSource final : public text::TextVariableSource {
 public:
  std::optional<std::string> text_of(std::string_view expression) override { return std::string(expression); }
  std::optional<std::string> text_of_compiled(std::span<const std::uint8_t>) override { return std::nullopt; }
};

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const text::ParseOptions options{50};
  text::ParsedText parsed;
  try {
    parsed = text::parse_tagged_text(input, options);
  } catch (const core::Error&) {
    return 0;
  }
  const std::vector<std::uint8_t> stream = text::write_glyph_stream(parsed);
  if (text::write_glyph_stream(text::read_glyph_stream(stream)) != stream) fail("stream does not read back");

  if (const auto tagged = text::write_tagged_text(parsed, options.initial_wait)) {
    if (text::write_glyph_stream(text::parse_tagged_text(*tagged, options)) != stream) {
      fail("written tagged text does not parse to the same stream");
    }
  }

  const auto before = parsed.glyphs();
  EchoSource source;
  text::NameValueList names;
  names.set("a", "x\x01y");
  text::prepare_variables(parsed, 0, -1, true, {&names, &source});
  if (text::write_glyph_stream(parsed) != stream) fail("expansions reached the stream");
  text::remove_variable_expansions(parsed, 0, -1);
  if (parsed.glyphs() != before) fail("expansions did not go");
  return 0;
}
