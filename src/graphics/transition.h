// TTransition: a running screen transition as the screen bases see it, and
// TTransitionFactory, which makes one by its type. The bases' flip drives a
// transition through these two interfaces only, so the component system
// needs nothing of how the types draw; the wipes implement them through
// the adapter in wipe_transition.h.
//
// Order of use: the factory makes the transition unstarted (with the type's
// parameter defaults and the duration); the caller sets the reverse flag,
// the parameters and the mask name, then calls Start; every frame it sets
// the elapsed time and calls DrawStep until that answers true.
//
// Ownership: a transition borrows its three surfaces, which must outlive
// it; whoever asked the factory owns the transition.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "graphics/dibx.h"

namespace nova::graphics {

class TTransition {
 public:
  virtual ~TTransition() = default;

  virtual void SetReverse(bool reverse) = 0;
  virtual std::int32_t GetParam(int index) const = 0;
  virtual void SetParam(int index, std::int32_t value) = 0;
  virtual void SetMaskName(const std::string& name) = 0;
  // Builds what the type needs before its first draw. Raises core::Error
  // when a service the type needs is missing.
  virtual void Start() = 0;
  virtual bool Started() const = 0;

  virtual std::int32_t Duration() const = 0;
  virtual void SetElapsed(std::int32_t elapsed) = 0;
  virtual std::int32_t Elapsed() const = 0;
  // Draws the state at the elapsed time into the target; answers true,
  // drawing nothing, once the elapsed time reaches the duration.
  virtual bool DrawStep() = 0;
  // What the last DrawStep covered (the target's bounds); empty before.
  virtual Rect Bounds() const = 0;
};

class TTransitionFactory {
 public:
  virtual ~TTransitionFactory() = default;
  // The transition of `type` from `old_screen` to `new_screen` drawn into
  // `target`, unstarted; nullptr for a type the factory cannot make.
  virtual std::unique_ptr<TTransition> Create(int type, TCustomDIBX& target, const TCustomDIBX& old_screen,
                                              const TCustomDIBX& new_screen, std::int32_t duration) = 0;
};

}  // namespace nova::graphics
