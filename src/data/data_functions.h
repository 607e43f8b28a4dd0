// The builtin functions of the data layer: the DB table functions (87–124)
// on the table manager of their scope, and the history functions (142–144)
// on the history formats of theirs.
#pragma once

#include "expr/sys_func_man.h"

namespace nova::data {

class TNovaHistoryFormatManager;
class TDBManager;
}  // namespace nova::data

namespace nova::files {
class ScriptFileAccess;
}  // namespace nova::files

namespace nova::data {

// The history functions' way to the formats, set while a component system
// exists (it owns the manager); without one they raise an error naming
// themselves.
struct HistoryScope {
  TNovaHistoryFormatManager* manager = nullptr;
};

// The DB functions' way to the tables (the player's one manager, set for
// the whole run); without one they raise an error naming themselves.
// DBLoadTsvFile reads through the script file access (the one door of
// script reads); without one it raises an error.
struct DBScope {
  TDBManager* manager = nullptr;
  files::ScriptFileAccess* access = nullptr;
};

// Both scopes must outlive the registered behaviours.
void register_data_functions(expr::TSysFuncMan& funcs, const HistoryScope& scope, const DBScope& tables);
// The DB functions alone (db_functions.cpp).
void register_db_functions(expr::TSysFuncMan& funcs, const DBScope& scope);

}  // namespace nova::data
