// What the expression fuzz targets share: sample expressions for the seed
// corpora, and a store with a few variables of every kind to run against.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "../common/seeds.h"  // write_seed
#include "core/binary_io.h"
#include "expr/param_collection.h"

namespace nova::fuzz {

inline const std::vector<std::string>& expression_samples() {
  static const std::vector<std::string> samples = {
      "a = b + c * 2",
      "(a + b) * c",
      "-x + 3",
      "a - -5",
      "s = \"a\\\"b\\n\" ++ 1.5e3",
      "m[1, a[2]] = (a[1] + 2) * 3",
      "Copy(s, 2, 3) ++ IntToStr(-5, 3)",
      "x = Max(Abs(i), $10) >> 2 << 1 % 3",
      "i == 1 & f <> 2.5 | b ^ TRUE",
      "@KeyPush[13] = @MouseX + @Result",
      "PopVar()",
      "f(a[1, 2], )",
      "i = i + 1",
      "s = s + i % 7",
      "i < 10000000",
      "\"abc\" > \"abd\"",
      "((((1))))",
      "x = 1e+5",
  };
  return samples;
}

// Variables the samples name: scalars of each type, arrays, an alias.
inline void fill_store(expr::TParamCollection& store) {
  using namespace expr;
  bool created = false;
  store.create("i", PT_INT, TVarScope::Global, created).value().set_int(3);
  store.create("f", PT_FLOAT, TVarScope::Global, created).value().set_float(2.5L);
  store.create("b", PT_BOOL, TVarScope::Global, created).value().set_flag(true);
  store.create("s", PT_STR, TVarScope::Global, created).value().set_str("text");
  std::int32_t dims[] = {3, 4};
  store.create("a", PT_INT, TVarScope::Global, created).value().set_dims(dims);
  store.create("m", PT_STR, TVarScope::Status, created).value().set_dims(dims);
  store.set_call_depth(1);
  store.create("x", PT_FLOAT, TVarScope::Local, created);
  store.create("c", PT_INT, TVarScope::AutoDelete, created);
  store.set_call_depth(0);
  TParamCollectionItem& alias = store.add(PT_NONE, "al");
  alias.value().as_reference()->bind_element(store.find("a"), 5);
}

}  // namespace nova::fuzz
