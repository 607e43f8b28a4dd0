#include "expr/sys_func_man.h"

#include <string>

#include "core/error.h"
#include "core/format.h"
#include "core/sjis.h"
#include "expr/op_codes.h"

namespace nova::expr {

std::string ope_code_name(std::uint8_t code) {
  static constexpr std::string_view names[] = {
      "ocNone",  "ocTo",   "ocPlus",   "ocMinus",  "ocMul",    "ocDiv",      "ocMod",
      "ocOr",    "ocAnd",  "ocXor",    "ocDimTo",  "ocFunc",   "ocEqual",    "ocBig",
      "ocSmall", "ocEBig", "ocESmall", "ocShiftL", "ocShiftR", "ocComboStr", "ocNEqual",
  };
  // Codes past the table only come from damaged streams; they are named by number.
  if (code <= kLastOpeCode) return std::string(names[code]);
  return std::to_string(code);
}

namespace {

[[noreturn]] void internal_error() { core::throw_error(core::sjis("内部エラー")); }

}  // namespace

bool TSysFuncMan::has_behaviour(int index) const {
  return index >= 0 && index < kSysFuncCount && static_cast<bool>(m_behaviours[static_cast<std::size_t>(index)]);
}

void TSysFuncMan::set_behaviour(int index, Behaviour behaviour) {
  if (index < 0 || index >= kSysFuncCount) internal_error();
  m_behaviours[static_cast<std::size_t>(index)] = std::move(behaviour);
}

TParamType TSysFuncMan::result_type(int index, std::span<TCustomParam* const> args) const {
  if (index < 0 || index >= kSysFuncCount) internal_error();
  const TSysFuncInfo& info = kSysFuncs[static_cast<std::size_t>(index)];
  if (!info.result_by_property) return info.result;
  std::int32_t id = args.size() >= 2 ? args[1]->as_int() : -1;
  if (id < 0 || id >= kPropertyCount) core::throw_error(core::sjis("GetPropの引数が違います"));
  if (!m_properties) core::throw_error("GetProp: the property types are not available (no provider attached)");
  return m_properties->property_type(id);
}

void TSysFuncMan::call(TCustomParam& target, int index, std::span<TCustomParam* const> args) const {
  if (index < 0 || index >= kSysFuncCount) internal_error();
  const TSysFuncInfo& info = kSysFuncs[static_cast<std::size_t>(index)];
  // The compiler checks counts, but a damaged page may carry any: no
  // behaviour is ever handed fewer or more arguments than its row allows.
  const auto n = static_cast<std::int64_t>(args.size());
  if (n < info.min_args || (info.max_args >= 0 && n > info.max_args)) {
    core::throw_error(core::format("%s: called with %d arguments", {info.name, static_cast<std::int32_t>(n)}));
  }
  const Behaviour& b = m_behaviours[static_cast<std::size_t>(index)];
  if (!b) {
    core::throw_error(core::format("builtin function %s is not available (no behaviour registered)", {info.name}));
  }
  b(target, args);
}

}  // namespace nova::expr
