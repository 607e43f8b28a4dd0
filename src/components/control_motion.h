// What a control needs of the motion file attached to it: one step per
// update pass, and whether it still plays. The motion files' class derives
// from it; the control owns its motion and frees it with itself.
#pragma once

namespace nova::components {

class TNovaControl;

class ControlMotion {
 public:
  virtual ~ControlMotion() = default;
  // Advances the motion by the frame and applies it to `owner`; answers
  // true when the motion ended in this step.
  virtual bool Step(TNovaControl& owner) = 0;
  virtual bool Playing() const = 0;
};

}  // namespace nova::components
