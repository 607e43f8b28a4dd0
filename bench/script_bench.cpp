// The interpreter on a loop of commands that all continue the tick
// (While, Calc, WhileLoop), against the same three expressions executed by
// a C++ loop; and the page reader on a large page.
#include <benchmark/benchmark.h>

#include "../fuzz/script_common/samples.h"  // MemoryHost
#include "core/format.h"
#include "script/callman.h"
#include "script/page.h"
#include "script/page_file.h"

namespace {

using namespace nova;

constexpr int kIterations = 100000;

script::TCommandRecord cmd(int code, const char* field, const char* expression, bool go = true) {
  script::TCommandRecord r = script::TCommandRecord::make(code);
  if (field) r.field(field).expression = script::TExpression::compile(expression);
  r.continue_flag = go ? 1 : 0;
  return r;
}

std::vector<std::uint8_t> loop_page() {
  script::TPageFile page;
  auto loop = cmd(script::CC_WHILE, "condition", core::format("i < %d", {kIterations}).c_str());
  loop.field("exit_index").number = 4;
  auto back = cmd(script::CC_WHILELOOP, "expression", "i = i + 1");
  back.field("loop_index").number = 1;
  auto body = cmd(script::CC_CALC, "expression", "s = s + i % 7");
  body.nesting_level = 1;
  page.commands = {cmd(script::CC_WHILEINIT, "expression", "i = 0"), loop, body, back,
                   cmd(script::CC_WAIT, nullptr, nullptr, false)};
  return page.bytes();
}

struct Bench {
  Bench() {
    bool created = false;
    store.create("i", expr::PT_INT, expr::TVarScope::Global, created);
    store.create("s", expr::PT_INT, expr::TVarScope::Global, created);
  }
  core::FrameClock clock;
  expr::TParamCollection store;
  expr::TSysFuncMan funcs;
  fuzz::MemoryHost host{{{"loop.nsb", loop_page()}}};
};

void BM_InterpreterLoop(benchmark::State& state) {
  Bench b;
  script::TCallMan cm({b.clock, b.store, b.funcs, b.host});
  for (auto _ : state) {
    cm.StartAt("loop.nsb");
    cm.RunTick();
  }
  if (b.store.find("i")->value().as_int() != kIterations) state.SkipWithError("the loop did not run");
  state.counters["commands/s"] =
      benchmark::Counter(3.0 * kIterations * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_InterpreterLoop)->Unit(benchmark::kMillisecond);

void BM_ExpressionsAlone(benchmark::State& state) {
  Bench b;
  auto init = script::TExpression::compile("i = 0");
  auto condition = script::TExpression::compile(core::format("i < %d", {kIterations}));
  auto body = script::TExpression::compile("s = s + i % 7");
  auto next = script::TExpression::compile("i = i + 1");
  for (auto _ : state) {
    init.run(b.store, b.funcs);
    while (condition.is_true(b.store, b.funcs)) {
      body.run(b.store, b.funcs);
      next.run(b.store, b.funcs);
    }
  }
  state.counters["commands/s"] =
      benchmark::Counter(3.0 * kIterations * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ExpressionsAlone)->Unit(benchmark::kMillisecond);

void BM_PageLoad(benchmark::State& state) {
  script::TPageFile page;
  for (int k = 0; k < 20000; ++k) {
    page.commands.push_back(cmd(script::CC_CALC, "expression", "s = s + i % 7 * (k + 3)"));
    page.commands.push_back(cmd(script::CC_IF, "condition", "a[1, 2] == \"text\" | b"));
  }
  const std::vector<std::uint8_t> bytes = page.bytes();
  expr::TParamCollection store;
  for (auto _ : state) {
    script::TPage p(store);
    p.Load("big.nsb", bytes);
    benchmark::DoNotOptimize(p.count());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes.size()) * state.iterations());
}
BENCHMARK(BM_PageLoad)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
