// The builtin functions that need nothing above the expression layer:
// strings and path names, arrays and variables, math, dates and Calc. The
// player registers each layer's functions in layer order (expr, then
// components, then the layers above).
#pragma once

#include "expr/param_collection.h"
#include "expr/random.h"
#include "expr/sys_func_man.h"

namespace nova::expr {

// The store (VarExists, AssignTemp, PushVar, PopVar, Calc) and the standard
// generator (Random) are not owned and must outlive the manager's use.
void register_expr_functions(TSysFuncMan& funcs, TParamCollection& store, StandardRandom& random);

}  // namespace nova::expr
