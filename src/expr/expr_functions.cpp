#include "expr/expr_functions.h"

#include <string>

#include "core/error.h"
#include "expr/builtin_groups.h"
#include "expr/function_args.h"
#include "expr/nova_parser.h"

namespace nova::expr {

namespace {

// A text that calls Calc on itself would recurse until the stack gives out;
// this many nested Calc runs are allowed, the next stops its expression.
constexpr int kMaxCalcNesting = 64;

}  // namespace

void register_calc_function(TSysFuncMan& funcs, TParamCollection& store) {
  // The nesting count is shared by every Calc of this manager; behaviours
  // are copied into the manager, so it lives on the heap with them.
  auto depth = std::make_shared<int>(0);
  funcs.set_behaviour(136, [&funcs, &store, depth](TCustomParam& t, FunctionArgs a) {
    if (*depth >= kMaxCalcNesting) core::throw_error("Calc: nested more than 64 deep");
    const std::string text = a[0]->as_str();
    std::size_t b = 0, e = text.size();
    while (b < e && static_cast<std::uint8_t>(text[b]) <= 0x20) ++b;
    while (e > b && static_cast<std::uint8_t>(text[e - 1]) <= 0x20) --e;
    TNovaParser parser;
    try {
      parser = compile_expression(std::string_view(text).substr(b, e - b));
    } catch (const core::Error&) {
      t.set_str("");
      return;
    }
    ++*depth;
    struct Leave {
      int& d;
      ~Leave() { --d; }
    } leave{*depth};
    parser.execute(store, funcs);
    t.set_str("TRUE");
  });
}

void register_expr_functions(TSysFuncMan& funcs, TParamCollection& store, StandardRandom& random) {
  register_string_functions(funcs);
  register_array_functions(funcs, store);
  register_math_functions(funcs, random);
  register_calc_function(funcs, store);
}

}  // namespace nova::expr
