#include "expr/expr_functions.h"

#include "core/error.h"

namespace nova::expr {

void register_expr_functions(TSysFuncMan& funcs, StandardRandom& random) {
  funcs.set_behaviour(SF_RANDOM, [&random](TCustomParam& target, std::span<TCustomParam* const> args) {
    // Compiled streams from outside may call with any operand count.
    if (args.empty()) core::throw_error("Random: the argument is missing");
    target.set_int(random.next(args[0]->as_int()));
  });
}

}  // namespace nova::expr
