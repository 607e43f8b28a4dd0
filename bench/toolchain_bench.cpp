// The expression decompiler against one compilation of the text it finds,
// for expressions as authors write them: plain, with parentheses that change
// no result (the search's usual work), and fully parenthesised. And a whole
// page: its exact dump (found texts, checked by building the source)
// against building that source.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "core/error.h"
#include "tools/toolchain/expr_decompiler.h"
#include "tools/toolchain/page_compiler.h"
#include "tools/toolchain/page_decompiler.h"

namespace {

using namespace nova;

const char* const kTexts[] = {
    "x = a + b * 2",                                      // plain
    "(a == 1) & (b == 2) | (c > 3)",                      // redundant groups
    "((a + b) * (c - d)) / ((e + f) * (g - h))",          // fully parenthesised
    "s = \"score: \" ++ (total + bonus) ++ \" points\"",  // literals and a group
};

void BM_Compile(benchmark::State& state) {
  const std::string text = kTexts[state.range(0)];
  for (auto _ : state) benchmark::DoNotOptimize(tools::compile_expression_text(text));
}

void BM_Decompile(benchmark::State& state) {
  const std::string stream = tools::compile_expression_text(kTexts[state.range(0)]);
  int compilations = 0;
  for (auto _ : state) {
    const tools::DecompiledExpression d = tools::decompile_expression(stream);
    if (d.match != tools::DecompileMatch::Exact) state.SkipWithError("no exact text");
    compilations = d.compilations;
  }
  state.counters["compilations"] = compilations;
}

const char* const kPage =
    "VarNew int i = 0\n"
    "VarNew status int total = 0\n"
    "WhileInit i = 0\n"
    "While i < 10\n"
    "    If (i % 2 == 0) & (i > 2)\n"
    "        Calc total = total + (i * 3)\n"
    "    Elseif i == 7\n"
    "        Break\n"
    "WhileLoop i = i + 1\n"
    "MesNew \"m\"; left: 10; top: 20; width: (640 - 20) / 2; fontstyle: FS_BOLD\n"
    "TextIns \"m\"; wait: TRUE\n"
    "    <B>今日</B>は<RUBY VALUE=\"はれ\">晴れ</RUBY>です。<BR>\n"
    "    合計は <VAR NAME=\"total\"> 点。\n"
    "Call sub.nsb:#0(total, \"x\") -> total\n"
    "Jump :#0; if: total < 100\n";

void BM_BuildPage(benchmark::State& state) {
  for (auto _ : state) {
    tools::Diagnostics d;
    benchmark::DoNotOptimize(tools::compile_page_source(kPage, "bench.nvs", "bench.nsb", d));
  }
}

void BM_ExactDumpPage(benchmark::State& state) {
  tools::Diagnostics d;
  const auto page = tools::compile_page_source(kPage, "bench.nvs", "bench.nsb", d);
  tools::PageDumpOptions o;
  o.exact = true;
  o.page_name = "bench.nsb";
  for (auto _ : state) {
    tools::PageDumpStats stats;
    benchmark::DoNotOptimize(tools::dump_page(*page, o, stats));
    if (!stats.verified || stats.raw_expressions) state.SkipWithError("not exact");
  }
}

}  // namespace

BENCHMARK(BM_Compile)->DenseRange(0, 3);
BENCHMARK(BM_Decompile)->DenseRange(0, 3);
BENCHMARK(BM_BuildPage);
BENCHMARK(BM_ExactDumpPage);
BENCHMARK_MAIN();
