// Helpers shared by the expression tests.
#pragma once

#include <string>

#include "core/error.h"
#include "expr/param_collection.h"
#include "support/test_support.h"

namespace nova::expr {

// Creates (or finds) a variable of the store, as a script's first use does.
inline TParamCollectionItem& make(TParamCollection& s, std::string_view name, TParamType type, TVarScope scope) {
  bool created = false;
  return s.create(name, type, scope, created);
}

// The UTF-8 text of the core::Error that `fn` raises, or "(no error)".
template <typename Fn>
std::string error_of(Fn&& fn) {
  try {
    fn();
  } catch (const core::Error& e) {
    return test::utf8(e.message());
  }
  return "(no error)";
}

}  // namespace nova::expr
