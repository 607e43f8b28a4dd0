// The builtin functions of the data layer: the DB table functions (87–124)
// and the history functions (142–144). Until the tables are built, the DB
// functions answer their results for a missing table; the history
// functions work on the history formats of the scope.
#pragma once

#include "expr/sys_func_man.h"

namespace nova::data {

class TNovaHistoryFormatManager;

// The history functions' way to the formats, set while a component system
// exists (it owns the manager); without one they raise an error naming
// themselves.
struct HistoryScope {
  TNovaHistoryFormatManager* manager = nullptr;
};

// `scope` must outlive the registered behaviours.
void register_data_functions(expr::TSysFuncMan& funcs, const HistoryScope& scope);

}  // namespace nova::data
