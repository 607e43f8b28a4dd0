// A script loop body, "i = i + 1", "s = s + i % 7", then "i < N", run ten
// million times by the expression executor against a fresh store, and the
// same loop in Lua 5.4 with global variables in the same run. Both check the
// sum against a plain C++ loop so neither can skip work.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "expr/nova_parser.h"

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

BENCHMARK(BM_ExprLoop)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_LuaLoop)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
