// The system variables that read the bases and the input: the clicks and
// held buttons of the front base, the pointer in base coordinates, the key
// arrays, the wheel, the focus, and the flags the list keeps (image
// quality, media). @Cursor is the store's cursor text, which games save
// and a reset clears; the cursor step reads it here.
//
// The provider holds the list and the store by reference; they and the
// hooks outlive it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>

#include "components/base_list.h"
#include "expr/param_collection.h"
#include "expr/system_variables.h"
#include "platform/types.h"

namespace nova::app {

// The desktop pointer as the variables move it.
class PointerWarp {
 public:
  virtual ~PointerWarp() = default;
  // The pointer in panel coordinates now.
  virtual platform::Point pointer_in_panel() const = 0;
  // Moves the pointer to a panel position.
  virtual void warp(platform::Point panel) = 0;
};

class InputVariables final : public expr::TSystemVariableProvider {
 public:
  // @LClick, @RClick, @LPush, @RPush, @MouseX, @MouseY, @Cursor, @CGDither,
  // @KeyPush, @KeyClick, @SoundON, @ActiveCompo, @KeyRepeat, @WheelDown,
  // @WheelUp.
  static constexpr std::array<int, 15> kIndexes = {1, 2, 3, 4, 5, 6, 27, 31, 35, 36, 40, 41, 42, 47, 48};
  // The key arrays: 256 keys, then the wheel down and up flags.
  static constexpr std::int32_t kKeyElements = components::kKeyCount + 2;

  InputVariables(components::TNovaBaseList& list, expr::TParamCollection& store, PointerWarp& warp)
      : m_list(list), m_store(store), m_warp(warp) {}

  // The default cursor file (@Cursor).
  const std::string& cursor() const { return m_store.cursor_text(); }

  expr::TCustomParam* referred(int) override { return nullptr; }
  std::int32_t count(int index) override;
  void read(int index, std::int32_t element, expr::TSysValue& out) override;
  void write(int index, std::int32_t element, const expr::TSysValue& in) override;

 private:
  bool key_element(int index, std::int32_t element) const;

  components::TNovaBaseList& m_list;
  expr::TParamCollection& m_store;
  PointerWarp& m_warp;
};

}  // namespace nova::app
