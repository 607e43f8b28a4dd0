// Glyph streams from outside: reading raises core::Error or gives a text that
// writes back in its own version and reads again to the same bytes.
#include <cstdio>
#include <cstdlib>

#include "core/error.h"
#include "text/glyph_stream.h"
#include "text/text_variables.h"

using namespace nova;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  text::ParsedText parsed;
  try {
    parsed = text::read_glyph_stream(std::span<const std::uint8_t>(data, size));
  } catch (const core::Error&) {
    return 0;
  }
  const std::vector<std::uint8_t> first = text::write_glyph_stream(parsed);
  const std::vector<std::uint8_t> second = text::write_glyph_stream(text::read_glyph_stream(first));
  if (first != second) {
    std::fprintf(stderr, "glyph stream does not write back to the same bytes\n");
    std::abort();
  }
  // Variables expand and go again without touching the stored glyphs.
  text::NameValueList names;
  names.set("a", "x\x01y");
  text::prepare_variables(parsed, 0, -1, true, {&names, nullptr});
  if (text::write_glyph_stream(parsed) != first) std::abort();
  return 0;
}
