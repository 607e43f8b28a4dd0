// The builtin functions that need nothing above the expression layer. The
// player registers each layer's functions in layer order (expr, then
// components, then the layers above).
#pragma once

#include "expr/random.h"
#include "expr/sys_func_man.h"

namespace nova::expr {

// Random(n): a draw of the standard generator, which is not owned and must
// outlive the manager's use.
void register_expr_functions(TSysFuncMan& funcs, StandardRandom& random);

}  // namespace nova::expr
