// The system variables the variable store answers itself: those that stand
// on values the store keeps and saves with the game (@TextDelay, @SelStr,
// @SelIndex, and @Temp through the name AssignTemp gave it) and the
// constants (@Pi, @1Hour, @1Min, @1Sec).
#pragma once

#include <array>
#include <string_view>

#include "expr/param_collection.h"
#include "expr/system_variables.h"

namespace nova::expr {

class TStoreVariables final : public TSystemVariableProvider {
 public:
  // The indexes this provider answers.
  static constexpr std::array<int, 8> kIndexes = {7, 28, 29, 30, 32, 33, 34, SV_TEMP};

  // The store is not owned and outlives the provider.
  explicit TStoreVariables(TParamCollection& store) : m_store(store) {}

  TCustomParam* referred(int index) override;
  std::int32_t count(int index) override;
  void read(int index, std::int32_t element, TSysValue& out) override;
  void write(int index, std::int32_t element, const TSysValue& in) override;

 private:
  TParamCollection& m_store;
};

// AssignTemp's half in the store: makes @Temp stand for the variable of
// that name. "@Temp" itself is refused (it would stand for itself), and the
// name is left as it was; answers whether the name was taken.
bool assign_temp_name(TParamCollection& store, std::string_view name);

}  // namespace nova::expr
