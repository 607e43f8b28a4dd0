// The component factory: which class each component type (LT_*) creates.
// Each class registers its maker here when it is built; a type whose class
// is not built has no maker, and creating one fails loudly, because a
// stand-in would save a record without its class's fields and leave a save
// file that cannot be read again.
//
// A factory is a plain value handed to each base list (BaseListServices);
// the product's factory is what register_product_classes fills, and tests
// and fuzzers add classes of their own.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "components/component_types.h"

namespace nova::components {

class TNovaComponent;

class TComponentFactory {
 public:
  // Makes a new, unregistered component of the maker's class.
  using Maker = std::function<std::unique_ptr<TNovaComponent>()>;

  // Registers the maker of `type`. A type without a class in the type table
  // (LT_NONE, LT_AUDIO, LT_MAP) or one that already has a maker is a fault
  // of ours and aborts.
  void add(TComponentType type, Maker maker);
  // Whether `type` has a maker.
  bool has_class(TComponentType type) const { return static_cast<bool>(m_makers[type]); }
  // The type a stored type byte creates: the byte masked with 0x7F, when
  // that type's class is built. nullopt otherwise.
  std::optional<TComponentType> built_type(std::uint8_t stored) const;

  // A new component of `type`. Raises core::Error naming the class
  // ("TNovaButton is not built yet") for a type whose class is not built,
  // and "component type N has no class" for a code without one.
  std::unique_ptr<TNovaComponent> make(TComponentType type) const;

  // The message of a type whose class is not built.
  static std::string not_built_message(TComponentType type);

 private:
  std::array<Maker, kComponentTypeCount> m_makers;
};

// Fills `factory` with every component class the player has. Each class's
// issue adds its line to it.
void register_product_classes(TComponentFactory& factory);

}  // namespace nova::components
