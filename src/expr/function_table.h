// The builtin function table: 159 entries whose position is the function
// index that compiled expressions store, so the order is part of the page
// file format. The behaviours live with the function manager
// (sys_func_man.h).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "expr/types.h"

namespace nova::expr {

struct TSysFuncInfo {
  std::string_view name;  // matched without regard to case when compiling
  std::int8_t min_args;
  std::int8_t max_args;     // -1: no limit
  TParamType result;        // PT_NONE: the function writes no result
  bool result_by_property;  // GetProp: the type of the property named by its second argument
};

constexpr int kSysFuncCount = 159;
extern const std::array<TSysFuncInfo, kSysFuncCount> kSysFuncs;

// The index of a name, or nullopt.
std::optional<int> find_sys_func(std::string_view name);

// Indexes used by name elsewhere.
enum SysFuncIndex : int { SF_GETPROP = 2, SF_RANDOM = 26 };

}  // namespace nova::expr
