#include "app/input_variables.h"

#include "app/pointer_scale.h"
#include "components/property_access.h"

namespace nova::app {

namespace {

enum Index : int {
  kLClick = 1,
  kRClick = 2,
  kLPush = 3,
  kRPush = 4,
  kMouseX = 5,
  kMouseY = 6,
  kCursor = 27,
  kCGDither = 31,
  kKeyPush = 35,
  kKeyClick = 36,
  kSoundOn = 40,
  kActiveCompo = 41,
  kKeyRepeat = 42,
  kWheelDown = 47,
  kWheelUp = 48,
};

}  // namespace

std::int32_t InputVariables::count(int index) {
  return index == kKeyPush || index == kKeyClick || index == kKeyRepeat ? kKeyElements : 0;
}

bool InputVariables::key_element(int index, std::int32_t element) const {
  const components::TNovaBase& b = m_list.front_base();
  if (element == components::kKeyCount) return b.wheel_down_now;
  if (element == components::kKeyCount + 1) return b.wheel_up_now;
  switch (index) {
    case kKeyPush: return m_list.KeyHeld(element);
    case kKeyClick: return m_list.KeyPressedThisFrame(element);
    default: return m_list.KeyTriggeredThisFrame(element);
  }
}

void InputVariables::read(int index, std::int32_t element, expr::TSysValue& out) {
  const components::TNovaBase& b = m_list.front_base();
  switch (index) {
    case kLClick: out.b = b.left_pressed_now; break;
    case kRClick: out.b = b.right_pressed_now; break;
    case kLPush: out.b = b.left_held; break;
    case kRPush: out.b = b.right_held; break;
    case kMouseX: out.i = b.pointer().x; break;
    case kMouseY: out.i = b.pointer().y; break;
    case kCursor: out.s = m_store.cursor_text(); break;
    case kCGDither: out.b = m_list.ImageQuality(); break;
    case kKeyPush:
    case kKeyClick:
    case kKeyRepeat: out.b = key_element(index, element); break;
    case kSoundOn: out.b = m_list.MediaEnabled(); break;
    case kActiveCompo: {
      const components::TNovaControl* f = m_list.focus();
      out.s = f ? f->Name() : std::string();
      break;
    }
    case kWheelDown: out.b = b.wheel_down_now; break;
    case kWheelUp: out.b = b.wheel_up_now; break;
    default: break;
  }
}

void InputVariables::write(int index, std::int32_t, const expr::TSysValue& in) {
  components::TNovaBase& b = m_list.front_base();
  switch (index) {
    case kLClick: b.left_pressed_now = in.b; break;
    case kRClick: b.right_pressed_now = in.b; break;
    case kMouseX:
    case kMouseY: {
      // The other coordinate stays where the pointer is on the panel.
      platform::Point panel = m_warp.pointer_in_panel();
      const platform::Point target = base_to_panel({in.i, in.i}, m_list.DisplayScale());
      (index == kMouseX ? panel.x : panel.y) = index == kMouseX ? target.x : target.y;
      m_warp.warp(panel);
      break;
    }
    case kCursor: m_store.set_cursor_text(in.s); break;
    case kCGDither: m_list.SetImageQuality(in.b); break;
    case kSoundOn: m_list.SetMediaEnabled(in.b); break;
    case kActiveCompo: {
      // Only a registered control that takes keys, is not paused and is
      // not on its way out takes the focus.
      components::TNovaControl* c = in.s.empty() ? nullptr : m_list.FindControl(in.s);
      if (c && m_list.registered(*c) && !m_list.IsPendingDeletion(*c) && c->HandleKey() &&
          !components::read_flag(*c, components::PR_PAUSED)) {
        m_list.SetFocus(c);
      }
      break;
    }
    default: break;
  }
}

}  // namespace nova::app
