#include "components/component_types.h"

#include "core/sjis.h"

namespace nova::components {

namespace {

// Row order is code order; the lookups below rely on it.
constexpr bool rows_in_code_order() {
  for (int i = 0; i < kComponentTypeCount; ++i) {
    if (kComponentTypes[static_cast<std::size_t>(i)].type != i) return false;
  }
  return true;
}
static_assert(rows_in_code_order());

}  // namespace

const std::string& component_type_display_name(TComponentType t) {
  return core::sjis(component_type_info(t).display_utf8);
}

std::optional<TComponentType> find_component_type(std::string_view name) {
  for (const auto& row : kComponentTypes) {
    if (core::equal_ci(name, row.name) || core::equal_ci(name, row.name.substr(3))) return row.type;
  }
  return std::nullopt;
}

std::optional<TComponentType> factory_type(std::uint8_t stored) {
  const std::uint8_t code = stored & 0x7F;
  if (!is_component_type(code)) return std::nullopt;
  const auto& row = kComponentTypes[code];
  if (row.class_name.empty()) return std::nullopt;
  return row.type;
}

}  // namespace nova::components
