// The builtin functions of the data layer: the DB table functions (87–124)
// and the history functions (142–144). Until the tables and the history are
// built, the DB functions answer their results for a missing table and the
// history functions raise an error naming what they need.
#pragma once

#include "expr/sys_func_man.h"

namespace nova::data {

void register_data_functions(expr::TSysFuncMan& funcs);

}  // namespace nova::data
