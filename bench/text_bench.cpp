// A message box page of about 1.5 KB of Shift-JIS text with the usual tags,
// through each stage of the text layer. There is no second implementation to
// compare with; the figures show what a text command costs when a page loads
// (read) and when a script sets PR_TEXT (parse).
#include <benchmark/benchmark.h>

#include <string>

#include "platform/codepage.h"
#include "text/glyph_stream.h"
#include "text/tag_parser.h"
#include "text/tag_writer.h"

using namespace nova;

namespace {

std::string message() {
  const std::string line = *platform::codepage::from_utf8(
      "<FONT COLOR=#FFC0C0>「今日は、<RUBY VALUE=\"いい\">良い</RUBY>天気ですね」</FONT><BR>"
      "彼女はそう言って<B>微笑んだ</B>。<WAIT VALUE=300>……</WAIT><A HREF=\"next\">次へ</A>\r\n");
  std::string text;
  while (text.size() < 1500) text += line;
  return text;
}

void BM_Parse(benchmark::State& state) {
  const std::string text = message();
  for (auto _ : state) benchmark::DoNotOptimize(text::parse_tagged_text(text));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_Parse);

void BM_WriteStream(benchmark::State& state) {
  const text::ParsedText parsed = text::parse_tagged_text(message());
  for (auto _ : state) benchmark::DoNotOptimize(text::write_glyph_stream(parsed));
}
BENCHMARK(BM_WriteStream);

void BM_ReadStream(benchmark::State& state) {
  const std::vector<std::uint8_t> stream = text::write_glyph_stream(text::parse_tagged_text(message()));
  for (auto _ : state) benchmark::DoNotOptimize(text::read_glyph_stream(stream));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(BM_ReadStream);

void BM_WriteTaggedText(benchmark::State& state) {
  const text::ParsedText parsed = text::parse_tagged_text(message());
  for (auto _ : state) benchmark::DoNotOptimize(text::write_tagged_text(parsed, 50));
}
BENCHMARK(BM_WriteTaggedText);

}  // namespace

BENCHMARK_MAIN();
