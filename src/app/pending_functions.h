// PENDING: the builtin functions of the component system.
//
// GetProp, SetProp, Exists, the item functions, ListCompo, ToClient…/
// ToScreen…, InPrimary, InCabinet and SaveScreen belong to the component
// layer, which is not built yet. Until it registers them, each raises
// "<name>: needs the component system (not built yet)", so an expression
// calling one stops with a message saying why. An index that already has a
// behaviour (the component layer's registrar runs before this) is left as
// it is; once the component layer registers all of them, this file goes.
#pragma once

#include <array>

#include "expr/sys_func_man.h"

namespace nova::app {

inline constexpr std::array<int, 21> kPendingComponentFunctions = {2,  3,   19,  24,  25,  32,  33,  34,  35,  36, 47,
                                                                   69, 131, 132, 137, 140, 141, 145, 146, 147, 154};

void register_pending_component_functions(expr::TSysFuncMan& funcs);

}  // namespace nova::app
