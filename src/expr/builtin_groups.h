// The groups of builtin functions this layer registers, one source file
// each; register_expr_functions (expr_functions.h) calls them all.
#pragma once

#include "expr/param_collection.h"
#include "expr/random.h"
#include "expr/sys_func_man.h"

namespace nova::expr {

// Strings (0, 1, 5–18, 64, 73, 74, 81–83, 85, 86, 133, 138, 139, 152, 153)
// and path-name strings (75–80).
void register_string_functions(TSysFuncMan& funcs);
// Arrays and variables (4, 21–23, 28–31, 50, 66–68, 70, 84, 130, 155, 156).
void register_array_functions(TSysFuncMan& funcs, TParamCollection& store);
// Math (20, 26, 37–46, 48, 49, 126–129) and dates (51–63).
void register_math_functions(TSysFuncMan& funcs, StandardRandom& random);
// Calc (136).
void register_calc_function(TSysFuncMan& funcs, TParamCollection& store);

}  // namespace nova::expr
