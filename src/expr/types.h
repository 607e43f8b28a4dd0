// The value type codes of the expression system. One byte wherever stored
// (compiled streams, variable records, page files), so the numbers are part
// of the file formats.
#pragma once

#include <cstdint>
#include <string_view>

namespace nova::expr {

enum TParamType : std::uint8_t {
  PT_NONE = 0,   // a reference (TParamVar), or nothing
  PT_INT = 1,    // signed 32-bit integer
  PT_FLOAT = 2,  // 80-bit extended float
  PT_BOOL = 3,   // flag
  PT_STR = 4,    // Shift-JIS byte string
};

constexpr bool is_value_type(std::uint8_t code) { return code <= PT_STR; }

// Names beginning with "____" are the compiler's temporaries ("____N",
// "____d_N", "____arg"): they live in the parser's slots, and the store counts
// them apart from the generation that caches lookups of other names.
constexpr bool is_temporary_name(std::string_view name) { return name.starts_with("____"); }

// The type's name as authors see it ("整数", "実数", "フラグ", "文字列"), in
// Shift-JIS; empty for PT_NONE.
const std::string& type_display_name(TParamType t);

// The most elements one value may hold. Arrays of titles are small; the limit
// keeps a script's SetArray with huge sizes from wrapping the product or
// exhausting memory.
constexpr std::int64_t kMaxElements = 16'777'216;

}  // namespace nova::expr
