#include "app/pointer_scale.h"

#include <algorithm>
#include <limits>

namespace nova::app {

namespace {

int floor_div(std::int64_t n, std::int64_t d) {
  std::int64_t q = n / d;
  if ((n % d != 0) && ((n < 0) != (d < 0))) --q;
  return static_cast<int>(
      std::clamp<std::int64_t>(q, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

int valid_scale(int scale) { return scale >= 1 ? scale : 100; }

}  // namespace

platform::Point panel_to_base(platform::Point panel, int scale_percent) {
  const int s = valid_scale(scale_percent);
  return {floor_div(std::int64_t{panel.x} * 100, s), floor_div(std::int64_t{panel.y} * 100, s)};
}

platform::Point base_to_panel(platform::Point base, int scale_percent) {
  const int s = valid_scale(scale_percent);
  // The first panel pixel of the base pixel: -floor(-n / d) is n / d
  // rounded up.
  const auto up = [s](int v) { return -floor_div(-std::int64_t{v} * s, 100); };
  return {up(base.x), up(base.y)};
}

}  // namespace nova::app
