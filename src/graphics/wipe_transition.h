// The wipes as transitions of the screen bases: WipeTransitionFactory makes
// a TCustomWipe through CreateTransition and hands it out behind the
// TTransition interface.
//
// Ownership: the factory borrows the wipe services (mask pictures, grey
// tables, the random generator), which must outlive it and every
// transition it made.
#pragma once

#include <memory>

#include "graphics/transition.h"
#include "graphics/wipes.h"

namespace nova::graphics {

class WipeTransitionFactory final : public TTransitionFactory {
 public:
  explicit WipeTransitionFactory(const WipeServices& services) : m_services(services) {}

  // nullptr for WP_NONE, unknown types and targets the wipes cannot draw
  // into (empty, 8 bits or fewer).
  std::unique_ptr<TTransition> Create(int type, TCustomDIBX& target, const TCustomDIBX& old_screen,
                                      const TCustomDIBX& new_screen, std::int32_t duration) override;

 private:
  WipeServices m_services;
};

}  // namespace nova::graphics
