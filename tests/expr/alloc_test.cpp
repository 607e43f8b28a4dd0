// Running compiled expressions of plain numbers allocates nothing once the
// parser has run once: temporaries and the result reuse their values. The
// test binary counts every allocation through the global operator new.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "expr/nova_parser.h"

namespace {
std::atomic<long> g_allocations{0};
}

void* operator new(std::size_t n) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
// The non-throwing form too (std::stable_sort takes its buffer through
// it): left to the sanitizer's allocator, its blocks would come back through
// the replaced delete and be freed by the wrong allocator.
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(n ? n : 1);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace nova::expr {
namespace {

TEST(Allocation, RepeatedRunsOfNumericExpressionsAllocateNothing) {
  TParamCollection store;
  TSysFuncMan funcs;
  bool created = false;
  store.create("i", PT_INT, TVarScope::Global, created);
  store.create("s", PT_INT, TVarScope::Global, created);
  store.create("f", PT_FLOAT, TVarScope::Global, created);
  TParamCollectionItem& a = store.create("a", PT_INT, TVarScope::Global, created);
  std::int32_t dims[] = {8};
  a.value().set_dims(dims);
  TNovaParser step = compile_expression("i = i + 1");
  TNovaParser sum = compile_expression("s = s + i % 7 + a[i % 8] * 2");
  TNovaParser mixed = compile_expression("f = f + (i * 0.5 - -1)");
  TNovaParser test = compile_expression("i < 1000 & TRUE");
  auto once = [&] {
    step.execute(store, funcs);
    sum.execute(store, funcs);
    mixed.execute(store, funcs);
    test.execute(store, funcs);
  };
  once();  // first runs make the slots' values and the result
  long before = g_allocations.load();
  for (int k = 0; k < 500; ++k) once();
  EXPECT_EQ(g_allocations.load() - before, 0);
  EXPECT_EQ(store.find("i")->value().as_int(), 501);
  ASSERT_NE(test.result(), nullptr);
  EXPECT_TRUE(test.result()->as_flag());
}

}  // namespace
}  // namespace nova::expr
