// The executor against Lua, and the cost of a system variable.
//
// A script loop body, "i = i + 1", "s = s + i % 7", then "i < N", run ten
// million times by the expression executor against a fresh store, and the
// same loop in Lua 5.4 with global variables in the same run. Both check the
// sum against a plain C++ loop so neither can skip work.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/shell_variables.h"
#include "core/frame_clock.h"
#include "expr/nova_parser.h"
#include "expr/system_variable_router.h"
#include "platform/headless/headless_platform.h"

extern "C" {
#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>
}

namespace {

constexpr int kIterations = 10'000'000;

// Worked out once: every check of every run compares against it.
std::int32_t expected_sum() {
  static const std::int32_t sum = [] {
    std::int32_t s = 0;
    for (int i = 1; i <= kIterations; ++i) s += i % 7;
    return s;
  }();
  return sum;
}

void check(long long got, const char* who) {
  if (got != expected_sum()) {
    std::fprintf(stderr, "%s computed %lld, expected %d\n", who, got, expected_sum());
    std::abort();
  }
}

void BM_ExprLoop(benchmark::State& state) {
  using namespace nova::expr;
  for (auto _ : state) {
    state.PauseTiming();
    TParamCollection store;
    TSysFuncMan funcs;
    bool created = false;
    store.create("i", PT_INT, TVarScope::Global, created);
    store.create("s", PT_INT, TVarScope::Global, created);
    TNovaParser step = compile_expression("i = i + 1");
    TNovaParser sum = compile_expression("s = s + i % 7");
    TNovaParser test = compile_expression("i < " + std::to_string(kIterations));
    state.ResumeTiming();
    for (;;) {
      step.execute(store, funcs);
      sum.execute(store, funcs);
      test.execute(store, funcs);
      if (!test.result() || !test.result()->as_flag()) break;
    }
    state.PauseTiming();
    check(store.find("s")->value().as_int(), "expr");
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kIterations);
}

void BM_LuaLoop(benchmark::State& state) {
  const std::string program =
      "i = 0 s = 0 while i < " + std::to_string(kIterations) + " do i = i + 1 s = s + i % 7 end";
  for (auto _ : state) {
    state.PauseTiming();
    lua_State* L = luaL_newstate();
    luaL_openlibs(L);
    state.ResumeTiming();
    if (luaL_dostring(L, program.c_str()) != LUA_OK) std::abort();
    state.PauseTiming();
    lua_getglobal(L, "s");
    check(static_cast<long long>(lua_tointeger(L, -1)), "lua");
    lua_close(L);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kIterations);
}

// A Calc that reads a system variable as the player answers it (the
// shell's @UpdateCount, through the store's router) against the same Calc
// reading an integer variable; the variable holds the same value, so both
// compute the same sum.
struct NoScreen final : nova::app::ShellHooks {
  bool full_screen() const override { return false; }
  void set_full_screen(bool) override {}
  void reselect_full_screen() override {}
  nova::app::ScreenHost* screen() const override { return nullptr; }
};

void run_calc(benchmark::State& state, const char* text) {
  using namespace nova::expr;
  constexpr int kCalcs = 1'000'000;
  nova::platform::HeadlessPlatform platform;
  nova::core::FrameClock clock;
  clock.FrameCount.store(7);
  NoScreen hooks;
  nova::app::ShellVariables shell(clock, platform, hooks);
  TSystemVariableRouter router;
  router.attach("shell", shell, nova::app::ShellVariables::kIndexes);
  TParamCollection store;
  store.set_system_variables(&router);
  TSysFuncMan funcs;
  bool created = false;
  store.create("n", PT_INT, TVarScope::Global, created).value().set_int(7);
  TParamCollectionItem& x = store.create("x", PT_INT, TVarScope::Global, created);
  TParamCollectionItem& total = store.create("total", PT_INT, TVarScope::Global, created);
  TNovaParser calc = compile_expression(text);
  for (auto _ : state) {
    total.value().set_int(0);
    for (int i = 0; i < kCalcs; ++i) calc.execute(store, funcs);
    benchmark::DoNotOptimize(x.value().as_int());
    if (total.value().as_int() != 8 * kCalcs) {
      std::fprintf(stderr, "%s computed %d\n", text, total.value().as_int());
      std::abort();
    }
  }
  store.set_system_variables(nullptr);
  state.SetItemsProcessed(state.iterations() * kCalcs);
}

void BM_CalcReadingAVariable(benchmark::State& state) { run_calc(state, "total = total + (n + 1)"); }
void BM_CalcReadingUpdateCount(benchmark::State& state) { run_calc(state, "total = total + (@UpdateCount + 1)"); }

BENCHMARK(BM_CalcReadingAVariable)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CalcReadingUpdateCount)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExprLoop)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_LuaLoop)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
