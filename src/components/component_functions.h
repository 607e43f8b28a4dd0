// The builtin functions of the expressions that reach components: GetProp,
// SetProp, Exists, the item functions, IndexOfMenu, ListCompo, the client
// and screen conversions, InPrimary and InCabinet. GetProp's result type is
// known when an expression is compiled, through the property types given
// here too. SaveScreen draws a base into a ".bri" picture and stores it
// through the script file access.
#pragma once

#include "expr/sys_func_man.h"

namespace nova::files {
class ScriptFileAccess;
}

namespace nova::components {

class TNovaBaseList;

// Where the functions find the components. The title services point it at
// the component system's list once that exists and clear it before the list
// goes; a call while it is empty raises "<function>: no component system is
// running" (the expression stops, as for any failing function).
//
// SaveScreen writes only through `access` (the title services' script file
// access; without it nothing is written and it answers FALSE).
struct ComponentScope {
  TNovaBaseList* list = nullptr;
  files::ScriptFileAccess* access = nullptr;
};

// `scope` must outlive the registered behaviours.
void register_component_functions(expr::TSysFuncMan& funcs, const ComponentScope& scope);

}  // namespace nova::components
