// The builtin function manager: the dispatcher that executes every ocFunc
// operation. It holds the behaviours that the layers above register by
// function index (strings, arrays, components, files, tables ...), and the
// property types through which GetProp's result type is known.
//
// A function without a registered behaviour raises core::Error when called,
// so the expression stops as for any error rather than pretending success.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>

#include "expr/function_table.h"
#include "expr/params.h"

namespace nova::expr {

// The value types of the component properties (0 ... 164), provided by the
// component layer.
class TPropertyTypes {
 public:
  virtual ~TPropertyTypes() = default;
  virtual TParamType property_type(int id) const = 0;
};

constexpr int kPropertyCount = 165;

class TSysFuncMan {
 public:
  // target: the operation's target variable, created with the function's
  // result type; the behaviour writes its result with the scalar write of
  // that type, or leaves it. args: the operands, constants or references
  // bound to variables (as_reference() tells which).
  using Behaviour = std::function<void(TCustomParam& target, std::span<TCustomParam* const> args)>;

  void set_behaviour(int index, Behaviour behaviour);
  bool has_behaviour(int index) const;

  // Not owned; must outlive the manager's use.
  void set_property_types(const TPropertyTypes* types) { m_properties = types; }

  // The type of an ocFunc target: the table's result type, or for GetProp
  // the type of the property whose id is the second argument. Ids outside
  // 0 ... 164 are "GetPropの引数が違います"; an index outside the table is
  // "内部エラー".
  TParamType result_type(int index, std::span<TCustomParam* const> args) const;

  // Runs the function, raising core::Error for an index outside the table, an
  // argument count outside the function's row, or a function whose
  // behaviour is not registered.
  void call(TCustomParam& target, int index, std::span<TCustomParam* const> args) const;

 private:
  std::array<Behaviour, kSysFuncCount> m_behaviours;
  const TPropertyTypes* m_properties = nullptr;
};

}  // namespace nova::expr
