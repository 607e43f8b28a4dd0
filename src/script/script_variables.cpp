#include "script/script_variables.h"

#include "core/error.h"
#include "core/format.h"

namespace nova::script {
namespace {

constexpr int kParamCount = 9;
constexpr int kSender = 11;

}  // namespace

expr::TSystemVariableProvider& TInterpreterVariables::next(int index) const {
  if (!m_next) {
    const std::string_view name = index >= 0 && index < expr::kSystemVariableCount
                                      ? expr::kSystemVariables[static_cast<std::size_t>(index)].name
                                      : std::string_view("?");
    core::throw_error(core::format("system variable %s is not available in this build", {name}));
  }
  return *m_next;
}

expr::TCustomParam* TInterpreterVariables::referred(int index) {
  if (index == expr::SV_RESULT) return m_cm.ResultValue();
  return next(index).referred(index);
}

std::int32_t TInterpreterVariables::count(int index) {
  if (index == expr::SV_PARAMSTR) return m_cm.ParamCount();
  return next(index).count(index);
}

void TInterpreterVariables::read(int index, std::int32_t element, expr::TSysValue& out) {
  switch (index) {
    case kParamCount: out.i = m_cm.ParamCount(); return;
    // Read without an index, the array reads as "".
    case expr::SV_PARAMSTR: out.s = element < 0 ? std::string() : m_cm.ParamStr(element); return;
    case kSender: out.s = m_cm.SenderName(); return;
    case expr::SV_STACKCOUNT: out.i = m_cm.StackCount(); return;
    default: next(index).read(index, element, out);
  }
}

void TInterpreterVariables::write(int index, std::int32_t element, const expr::TSysValue& in) {
  // The interpreter's own variables are read-only (writes never reach here
  // for them); "@Result" forwards to the value it refers to.
  next(index).write(index, element, in);
}

}  // namespace nova::script
