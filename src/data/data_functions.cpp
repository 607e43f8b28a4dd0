#include "data/data_functions.h"

#include <memory>
#include <string>

#include "core/error.h"
#include "core/log.h"
#include "data/history_format.h"
#include "expr/function_args.h"

namespace nova::data {

namespace {

using Args = expr::FunctionArgs;

constexpr int kFirstDb = 87, kLastDb = 124;
constexpr int kDbRecordCount = 101, kDbGetRecNo = 123;
constexpr int kFirstDirectGet = 108, kLastDirectSet = 115;
constexpr int kGetHistoryCount = 142, kGetHistoryMaxCount = 143, kSetHistoryMaxCount = 144;

TNovaHistoryFormatManager& manager_of(const HistoryScope& scope, int index) {
  if (!scope.manager) {
    core::throw_error(std::string(expr::kSysFuncs[static_cast<std::size_t>(index)].name) +
                      ": the message history does not exist (no component system)");
  }
  return *scope.manager;
}

}  // namespace

void register_data_functions(expr::TSysFuncMan& funcs, const HistoryScope& scope) {
  // One note per manager (one per run), on the first DB call.
  auto noted = std::make_shared<bool>(false);
  for (int index = kFirstDb; index <= kLastDb; ++index) {
    funcs.set_behaviour(index, [index, noted](expr::TCustomParam& t, Args a) {
      if (!*noted) {
        *noted = true;
        core::logf(core::Channel::Data, core::Level::Warning,
                   "%s: DB tables are not built yet; every DB function answers as for a missing table",
                   {expr::kSysFuncs[static_cast<std::size_t>(index)].name});
      }
      // DBDirectGet… answer their default (a7); the setters among them FALSE.
      const bool direct_get = index >= kFirstDirectGet && index <= kLastDirectSet && (index - kFirstDirectGet) % 2 == 0;
      if (direct_get) {
        expr::set_scalar_as(t, expr::kSysFuncs[static_cast<std::size_t>(index)].result, *a[6]);
        return;
      }
      if (index == kDbRecordCount || index == kDbGetRecNo) {
        t.set_int(-1);
        return;
      }
      // Everything else keeps the target's initial value: FALSE, 0, 0.0, "".
    });
  }
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
