// TBuildNovaParser: the expression compiler. It rewrites expression text into
// a flat list of three-address operations whose operands are still text, and
// writes that list as a compiled stream (the form pages store and
// TNovaParser loads).
//
// Compiling takes the text apart in stages, each repeated until it finds
// nothing more; every construct taken out is replaced in the text by the name
// of a temporary that holds its value:
//   1. string literals        "..." with \" \\ and \n escapes
//   2. function calls         innermost first: name(arg, ...)
//   3. array references       innermost first: name[index, ...] → "____d_N" alias
//   4. parenthesised groups   innermost first
//   5. tokens                 operands and the operators % & * + - / < = > ^ | and
//                             == >= <= ++ <> << >>
//   6. unary signs            from the second-to-last token down to the second
//   7. reduction by precedence, highest first, left to right within a level:
//        * / %   + -   << >>   == >= <= > < <>   ++   &   ^   |   =
//   8. (once, after the outermost text) removal of copies between temporaries
// Temporaries are "____N" values, "____d_N" aliases, and "____arg", the
// expression's result. All text is Shift-JIS and scanned character by
// character, so a trail byte never matches a delimiter.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/binary_io.h"
#include "expr/op_codes.h"

namespace nova::expr {

struct TBuildOpeData {
  TOpeCode code = ocNone;
  std::string target;
  // The literal text of each operand: a number, TRUE or FALSE, a quoted
  // string, or a variable name. For ocFunc operand 0 is the function name,
  // for ocDimTo the array's name.
  std::vector<std::string> operands;
};

// The compiled stream:
//   stream    := count:int32, count × operation
//   operation := code:u8, target:str, operand count:int32,
//                function index:u8 (ocFunc only), operands
//   operand   := kind:u8 (a TParamType code), then by kind: PT_NONE a variable
//                name:str, PT_INT int32, PT_FLOAT f80, PT_BOOL u8, PT_STR str
// Writes one operation's fields before its operands; TNovaParser::save
// writes the same header.
void write_op_header(core::ByteWriter& w, TOpeCode code, std::string_view target, std::int32_t operand_count,
                     std::uint8_t func_index);

// The deepest nesting of parentheses and brackets the compiler accepts.
constexpr int kMaxNesting = 256;

class TBuildNovaParser {
 public:
  // Fills the operation list from `text`. Raises core::Error with
  // "構文エラー" (also for a dangling operator and for nesting deeper than
  // kMaxNesting) or "配列の添え字が不正です".
  void compile(std::string_view text);

  // Appends the compiled stream to `w`. Raises core::Error with
  // "\"%s\" 関数名がありません" for an unknown function and "<name> 引数の数が不正です"
  // for a wrong number of arguments; `w` is left unchanged then.
  void write(core::ByteWriter& w) const;

  const std::vector<TBuildOpeData>& operations() const { return m_ops; }

 private:
  void compile_text(std::string text, int depth);
  std::string process_argument(std::string_view arg, int depth);
  std::string new_temp();
  std::string new_alias();

  std::vector<TBuildOpeData> m_ops;
  int m_counter = 0;
};

}  // namespace nova::expr
