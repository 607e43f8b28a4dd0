#include "app/pending_functions.h"

#include <string>

#include "core/error.h"

namespace nova::app {

void register_pending_component_functions(expr::TSysFuncMan& funcs) {
  for (int index : kPendingComponentFunctions) {
    // The component layer's own registrar, once it exists, runs first and
    // keeps what it registered.
    if (funcs.has_behaviour(index)) continue;
    funcs.set_behaviour(index, [index](expr::TCustomParam&, std::span<expr::TCustomParam* const>) {
      core::throw_error(std::string(expr::kSysFuncs[static_cast<std::size_t>(index)].name) +
                        ": needs the component system (not built yet)");
    });
  }
}

}  // namespace nova::app
