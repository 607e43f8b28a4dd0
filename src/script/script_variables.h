// The system variables the interpreter answers: "@Result" (the top frame's
// return value), "@ParamCount", "@ParamStr", "@Sender" and "@StackCount".
// The project registers it for these indexes while its interpreter lives.
#pragma once

#include <array>

#include "expr/system_variables.h"
#include "script/callman.h"

namespace nova::script {

class TInterpreterVariables final : public expr::TSystemVariableProvider {
 public:
  static constexpr std::array<int, 5> kIndexes = {expr::SV_RESULT, 9, expr::SV_PARAMSTR, 11, expr::SV_STACKCOUNT};

  // The interpreter is not owned and outlives the provider.
  explicit TInterpreterVariables(TCallMan& interpreter) : m_cm(interpreter) {}

  expr::TCustomParam* referred(int index) override;
  std::int32_t count(int index) override;
  void read(int index, std::int32_t element, expr::TSysValue& out) override;
  void write(int index, std::int32_t element, const expr::TSysValue& in) override;

 private:
  TCallMan& m_cm;
};

}  // namespace nova::script
