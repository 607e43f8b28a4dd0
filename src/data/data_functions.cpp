#include "data/data_functions.h"

#include <memory>
#include <string>

#include "core/error.h"
#include "core/log.h"
#include "expr/function_args.h"

namespace nova::data {

namespace {

using Args = expr::FunctionArgs;

constexpr int kFirstDb = 87, kLastDb = 124;
constexpr int kDbRecordCount = 101, kDbGetRecNo = 123;
constexpr int kFirstDirectGet = 108, kLastDirectSet = 115;
constexpr int kHistoryFunctions[] = {142, 143, 144};

}  // namespace

void register_data_functions(expr::TSysFuncMan& funcs) {
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
  for (int index : kHistoryFunctions) {
    funcs.set_behaviour(index, [index](expr::TCustomParam&, Args) {
      core::throw_error(std::string(expr::kSysFuncs[static_cast<std::size_t>(index)].name) +
                        ": needs the message box (not built yet)");
    });
  }
}

}  // namespace nova::data
