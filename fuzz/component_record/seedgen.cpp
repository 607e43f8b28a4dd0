// Seeds: a scene written by the product's writers (components with
// children and class fields, non-visual ones, an event queue), and the
// record tests' hand-laid layouts of older versions.
#include "../common/seeds.h"
#include "record_layouts.h"
#include "stream.h"

int main(int argc, char** argv) {
  using namespace nova;
  using namespace nova::components;
  const std::filesystem::path folder = fuzz::seed_folder(argc, argv);
  if (folder.empty()) return 1;
  int n = 0;

  TNovaBaseList list(fuzz::record_services());
  auto& parent = static_cast<test::TTestWave&>(list.Create(LT_WAVE));
  parent.SetName("parent");
  parent.SetParent(&list.front_base());
  parent.SetEventTarget(PR_ONLBTNDOWN, "click.src:down");
  parent.on_idle = "idle.src";
  for (int i = 0; i < 3; ++i) {
    auto& child = static_cast<test::TTestWave&>(list.Create(LT_WAVE));
    child.SetParent(&parent);
    child.SetPriority(3 - i);
    child.SetClipWidth(i);
  }
  auto& timer = static_cast<test::TTestTimer&>(list.Create(LT_TIMER));
  timer.SetName("clock");
  timer.on_notify = "tick.src";
  parent.RaiseEvent(PR_ONLBTNDOWN, {3, 4});
  timer.RaiseEvent(PR_ONNOTIFY, {}, PendingRule::WaitingOnly);
  fuzz::write_seed(folder, n++, fuzz::write_items(list));

  // The image components: an animated image with an afterimage span, a
  // tile and a map image that has begun closing.
  auto& image = list.Create(LT_IMAGES);
  image.SetName("img");
  write_str(image, PR_SOURCE, "a.bri");
  write_int(image, PR_ALPHA, 384);
  write_int(image, PR_ZOOMY, 300);
  write_int(image, PR_BLURSPAN, 20);
  write_int(image, PR_INDEX, 1);
  auto& tile = list.Create(LT_TILE);
  tile.AsControl()->SetParent(&list.front_base());
  write_str(tile, PR_SOURCE, "A.BRI");
  write_int(tile, PR_SCROLLX, -7);
  write_int(tile, PR_DISTANCEX, 9);
  auto& map = list.Create(LT_MAPIMG);
  write_str(map, PR_SOURCE, "a.bri");
  write_str(map, PR_MAPSOURCE, "a.map");
  map.AsControl()->RightClickClose();
  fuzz::write_seed(folder, n++, fuzz::write_items(list));

  for (std::int32_t v : {101, 102, 103, 104, 110, 113, 114, 117, 118, 119, 120, 129, 130, 140}) {
    core::ByteWriter w;
    w.u8(fuzz::version_byte(v));
    w.u8(fuzz::kOnFrontBase);
    w.bytes(std::span<const std::uint8_t>(test::WaveLayout{v, "w", {test::WaveLayout{v, "kid"}.bytes()}}.bytes()));
    w.u8(fuzz::kTopLevel);
    w.bytes(std::span<const std::uint8_t>(test::timer_layout(v, "t")));
    w.u8(fuzz::kEvent);
    w.bytes(std::span<const std::uint8_t>(test::event_layout(v, "h.src", "w", PR_ONMOUSEMOVE, 1, {"1", "2"})));
    fuzz::write_seed(folder, n++, w.data());
  }
  return 0;
}
