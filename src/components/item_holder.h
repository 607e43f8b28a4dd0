// What the item functions of the expressions (GetCheck, SetEnabled,
// GetSelected ...) reach in a component that holds items: list boxes, menus
// and preview menus implement it; every other component answers "not an
// item holder" by not deriving from it, and the functions then give their
// "not found" result.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace nova::components {

class TItemHolder {
 public:
  virtual ~TItemHolder() = default;

  // The index of the item named `name`, for holders that address items by
  // name when the index text is no number (preview menus); nullopt else.
  virtual std::optional<std::int32_t> ItemIndexByName(std::string_view) const { return std::nullopt; }

  // Each answers false (or 0 for the group) for an index without an item;
  // setters ignore such an index.
  virtual bool GetItemChecked(std::int32_t index) const = 0;
  virtual void SetItemChecked(std::int32_t index, bool value) = 0;
  virtual bool GetItemEnabled(std::int32_t index) const = 0;
  virtual void SetItemEnabled(std::int32_t index, bool value) = 0;
  virtual bool GetItemVisible(std::int32_t index) const = 0;
  virtual void SetItemVisible(std::int32_t index, bool value) = 0;
  virtual std::int32_t GetItemGroupIndex(std::int32_t index) const = 0;
  virtual bool GetItemSelected(std::int32_t index) const = 0;
  virtual void SetItemSelected(std::int32_t index, bool value) = 0;
};

}  // namespace nova::components
