#include "components/component_factory.h"

#include <cassert>

#include "components/nova_images.h"
#include "components/nova_mes.h"
#include "components/nova_object.h"
#include "core/error.h"
#include "core/format.h"

namespace nova::components {

void TComponentFactory::add(TComponentType type, Maker maker) {
  assert(!component_type_info(type).class_name.empty() && "a type without a class takes no maker");
  assert(!m_makers[type] && "a type takes one maker");
  m_makers[type] = std::move(maker);
}

std::optional<TComponentType> TComponentFactory::built_type(std::uint8_t stored) const {
  const std::optional<TComponentType> type = factory_type(stored);
  if (!type || !has_class(*type)) return std::nullopt;
  return type;
}

std::string TComponentFactory::not_built_message(TComponentType type) {
  return core::format("%s is not built yet", {component_type_info(type).class_name});
}

std::unique_ptr<TNovaComponent> TComponentFactory::make(TComponentType type) const {
  if (!is_component_type(type) || component_type_info(type).class_name.empty()) {
    throw core::Error(core::format("component type %d has no class", {static_cast<int>(type)}));
  }
  if (!m_makers[type]) throw core::Error(not_built_message(type));
  std::unique_ptr<TNovaComponent> c = m_makers[type]();
  assert(c && "a maker makes a component");
  return c;
}

// Each class family adds its types here: the image components LT_IMAGES,
// LT_TILE and LT_MAPIMG; the message box will add LT_MES, and each later
// class its own type.
void register_product_classes(TComponentFactory& factory) {
  register_image_classes(factory);
  register_message_classes(factory);
}

}  // namespace nova::components
