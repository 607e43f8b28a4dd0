// The system variables the interpreter answers: "@Result" (the top frame's
// return value), "@ParamCount", "@ParamStr", "@Sender" and "@StackCount".
// Every other system variable goes to the next provider in the chain; with
// none, reading or writing it raises an error naming it, so an expression
// that touches it stops instead of computing with a made-up value.
#pragma once

#include "expr/system_variables.h"
#include "script/callman.h"

namespace nova::script {

class TInterpreterVariables final : public expr::TSystemVariableProvider {
 public:
  // Neither is owned; both outlive the provider.
  explicit TInterpreterVariables(TCallMan& interpreter, expr::TSystemVariableProvider* next = nullptr)
      : m_cm(interpreter), m_next(next) {}

  expr::TCustomParam* referred(int index) override;
  std::int32_t count(int index) override;
  void read(int index, std::int32_t element, expr::TSysValue& out) override;
  void write(int index, std::int32_t element, const expr::TSysValue& in) override;

 private:
  expr::TSystemVariableProvider& next(int index) const;

  TCallMan& m_cm;
  expr::TSystemVariableProvider* m_next;
};

}  // namespace nova::script
