// The builtin functions' needs of the component layer. For now the
// property types, through which GetProp's result type is known when an
// expression runs; the component functions themselves come with the
// component commands.
#pragma once

#include "expr/sys_func_man.h"

namespace nova::components {

void register_component_functions(expr::TSysFuncMan& funcs);

}  // namespace nova::components
