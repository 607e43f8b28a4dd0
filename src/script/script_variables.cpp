#include "script/script_variables.h"

#include "core/error.h"
#include "core/format.h"

namespace nova::script {
namespace {

constexpr int kParamCount = 9;
constexpr int kSender = 11;

[[noreturn]] void not_mine(int index) {
  core::throw_error(core::format("the interpreter does not answer the system variable %d", {index}));
}

}  // namespace

expr::TCustomParam* TInterpreterVariables::referred(int index) {
  if (index == expr::SV_RESULT) return m_cm.ResultValue();
  return nullptr;
}

std::int32_t TInterpreterVariables::count(int index) {
  if (index == expr::SV_PARAMSTR) return m_cm.ParamCount();
  return 1;
}

void TInterpreterVariables::read(int index, std::int32_t element, expr::TSysValue& out) {
  switch (index) {
    case kParamCount: out.i = m_cm.ParamCount(); return;
    // Read without an index, the array reads as ""; outside the arguments
    // every element is "" too.
    case expr::SV_PARAMSTR: out.s = element < 0 ? std::string() : m_cm.ParamStr(element); return;
    case kSender: out.s = m_cm.SenderName(); return;
    case expr::SV_STACKCOUNT: out.i = m_cm.StackCount(); return;
    case expr::SV_RESULT: return;  // forwarded: never read here
    default: not_mine(index);
  }
}

void TInterpreterVariables::write(int index, std::int32_t, const expr::TSysValue&) {
  // The interpreter's own variables are read-only, so writes never reach
  // here for them; "@Result" forwards to the value it refers to.
  if (index != expr::SV_RESULT) not_mine(index);
}

}  // namespace nova::script
