#include "data/data_functions.h"

#include <string>

#include "core/error.h"
#include "core/log.h"
#include "data/history_format.h"
#include "expr/function_args.h"

namespace nova::data {

namespace {

using Args = expr::FunctionArgs;

constexpr int kGetHistoryCount = 142, kGetHistoryMaxCount = 143, kSetHistoryMaxCount = 144;

TNovaHistoryFormatManager& manager_of(const HistoryScope& scope, int index) {
  if (!scope.manager) {
    core::throw_error(std::string(expr::kSysFuncs[static_cast<std::size_t>(index)].name) +
                      ": the message history does not exist (no component system)");
  }
  return *scope.manager;
}

}  // namespace

void register_data_functions(expr::TSysFuncMan& funcs, const HistoryScope& scope, const DBScope& tables) {
  register_db_functions(funcs, tables);
  // A format that does not exist answers -1, or FALSE for the setter.
  funcs.set_behaviour(kGetHistoryCount, [&scope](expr::TCustomParam& t, Args a) {
    const TNovaHistoryFormat* f = manager_of(scope, kGetHistoryCount).Find(a[0]->as_str());
    t.set_int(f ? f->History().Count() : -1);
  });
  funcs.set_behaviour(kGetHistoryMaxCount, [&scope](expr::TCustomParam& t, Args a) {
    const TNovaHistoryFormat* f = manager_of(scope, kGetHistoryMaxCount).Find(a[0]->as_str());
    t.set_int(f ? f->History().MaxCount() : -1);
  });
  funcs.set_behaviour(kSetHistoryMaxCount, [&scope](expr::TCustomParam& t, Args a) {
    TNovaHistoryFormat* f = manager_of(scope, kSetHistoryMaxCount).Find(a[0]->as_str());
    if (f) f->History().SetMaxCount(a[1]->as_int());
    t.set_flag(f != nullptr);
  });
}

}  // namespace nova::data
