// What every builtin behaviour needs to read its arguments safely: the
// variable arguments, the cap on built texts, and the reads of counts.
// Argument counts were checked by the dispatcher against the function's
// row, so a behaviour may index every argument up to the row's minimum.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "expr/params.h"

namespace nova::expr {

using FunctionArgs = std::span<TCustomParam* const>;

// No text a function builds, and no file a script reads, grows past this.
inline constexpr std::uint64_t kMaxBuiltText = 64ull << 20;

// Raises "<function>: the text would exceed 64 MiB" when `bytes` is above the
// cap. `bytes` is computed in 64 bits by the caller.
void check_text_size(std::string_view function, std::uint64_t bytes);

// A variable argument that must be a variable: a constant there is
// "<function>:変数が見つかりません".
TCustomParam& required_variable(std::string_view function, FunctionArgs args, std::size_t i);

// A variable argument written only when it is a variable: a constant there
// answers nullptr, and the write is lost.
TCustomParam* written_variable(FunctionArgs args, std::size_t i);

// An optional argument, or nullptr when absent.
inline const TCustomParam* optional_arg(FunctionArgs args, std::size_t i) {
  return i < args.size() ? args[i] : nullptr;
}

// Copies element `si` of `src` into element `di` of `dst`, converted into the
// type `dst_type` (dst's own type).
void copy_element(TCustomParam& dst, std::int32_t di, TParamType dst_type, const TCustomParam& src, std::int32_t si);

// The text of an argument without copying it when it is a plain string (or
// a whole variable holding one); otherwise its text is made in `hold`. The
// view lives as long as the argument and `hold` stay unchanged.
std::string_view text_arg(const TCustomParam& a, std::string& hold);

// Writes a scalar text result, moving it into a plain string target.
void write_text(TCustomParam& target, std::string&& text);

}  // namespace nova::expr
