// The builtin functions of the expressions that reach components: GetProp,
// SetProp, Exists, the item functions, IndexOfMenu, ListCompo, the client
// and screen conversions, InPrimary and InCabinet. GetProp's result type is
// known when an expression is compiled, through the property types given
// here too. SaveScreen needs the screen's pictures and the file layer, and
// the application registers it.
#pragma once

#include "expr/sys_func_man.h"

namespace nova::components {

class TNovaBaseList;

// Where the functions find the components. The title services point it at
// the component system's list once that exists and clear it before the list
// goes; a call while it is empty raises "<function>: no component system is
// running" (the expression stops, as for any failing function).
struct ComponentScope {
  TNovaBaseList* list = nullptr;
};

// `scope` must outlive the registered behaviours.
void register_component_functions(expr::TSysFuncMan& funcs, const ComponentScope& scope);

}  // namespace nova::components
