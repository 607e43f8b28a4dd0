#include "components/sibling_order.h"

#include "components/nova_control.h"

namespace nova::components {

namespace {

// The screen copy the Flip command leaves on a base.
bool is_screen_copy(const TNovaControl& c) { return c.Name() == std::string_view("\x01\x01", 2); }
bool begins_with_byte_1(const TNovaControl& c) { return !c.Name().empty() && c.Name()[0] == '\x01'; }

// -1 when a goes first, 1 when b does, 0 when this rule does not decide.
int by_afterimage(const TNovaControl& a, const TNovaControl& b) {
  if (a.IsAfterimage() && b.IsAfterimage()) {
    if (a.AfterimageAlpha() != b.AfterimageAlpha()) return a.AfterimageAlpha() < b.AfterimageAlpha() ? -1 : 1;
  }
  if (a.IsAfterimage() && a.AfterimageSource() && a.AfterimageSource() == b.id()) return -1;
  if (b.IsAfterimage() && b.AfterimageSource() && b.AfterimageSource() == a.id()) return 1;
  return 0;
}

}  // namespace

bool sibling_before(const TNovaControl& a, const TNovaControl& b) {
  if (const int r = by_afterimage(a, b)) return r < 0;
  const bool copy_a = is_screen_copy(a), copy_b = is_screen_copy(b);
  if (copy_a != copy_b) return copy_b;
  const bool low_a = begins_with_byte_1(a), low_b = begins_with_byte_1(b);
  if (low_a != low_b) return low_a;
  if (a.SortKey() != b.SortKey()) return a.SortKey() < b.SortKey();
  return a.Name() < b.Name();
}

}  // namespace nova::components
