// The decompilers on arbitrary bytes: a page that parses is dumped, and its
// exact source builds back to the very bytes; an expression stream is read
// and decompiled, and any text found compiles back to it.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/error.h"
#include "script/page_file.h"
#include "tools/toolchain/expr_decompiler.h"
#include "tools/toolchain/expr_stream.h"
#include "tools/toolchain/page_compiler.h"
#include "tools/toolchain/page_decompiler.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace nova;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  try {
    const tools::ExprStream s = tools::parse_expr_stream(bytes);
    if (tools::write_expr_stream(s) != bytes) std::abort();
    tools::DecompileOptions o;
    o.budget = 200;
    const tools::DecompiledExpression d = tools::decompile_expression(bytes, o);
    if (d.match == tools::DecompileMatch::Exact && tools::compile_expression_text(d.text) != bytes) std::abort();
  } catch (const core::Error&) {
  }
  script::TPageFile page;
  try {
    page = script::TPageFile::parse(std::span<const std::uint8_t>(data, size), "fuzz.nsb");
  } catch (const core::Error&) {
    return 0;
  }
  tools::PageDumpOptions o;
  o.exact = true;
  o.page_name = "fuzz.nsb";
  o.expression_budget = 200;
  tools::PageDumpStats stats;
  const std::string source = tools::dump_page(page, o, stats);
  if (!stats.verified) std::abort();  // every page the player loads has an exact source
  return 0;
}
