// Seeds: a screen written by the product's writer (both bases with
// children, a non-visual component, a queue, the focus), and the record
// tests' hand-laid screens of older versions.
#include "../common/seeds.h"
#include "../component_record/stream.h"
#include "record_layouts.h"

int main(int argc, char** argv) {
  using namespace nova;
  using namespace nova::components;
  const std::filesystem::path folder = fuzz::seed_folder(argc, argv);
  if (folder.empty()) return 1;
  int n = 0;
  auto seed = [&](std::int32_t version, const std::vector<std::uint8_t>& record) {
    std::vector<std::uint8_t> bytes{fuzz::version_byte(version)};
    bytes.insert(bytes.end(), record.begin(), record.end());
    fuzz::write_seed(folder, n++, bytes);
  };

  TNovaBaseList list({fuzz::record_factory()});
  list.ReleaseSurfaces();
  list.SetScreenSize(64, 48);
  auto& a = static_cast<test::TTestWave&>(list.Create(LT_WAVE));
  a.SetName("a");
  a.SetParent(&list.base(0));
  a.SetEventTarget(PR_ONLBTNDOWN, "down.src");
  auto& child = static_cast<test::TTestWave&>(list.Create(LT_WAVE));
  child.SetParent(&a);
  auto& b = static_cast<test::TTestWave&>(list.Create(LT_WAVE));
  b.SetName("b");
  b.SetParent(&list.base(1));
  b.SetHandleKey(true);
  list.Create(LT_TIMER).SetName("t");
  a.RaiseEvent(PR_ONLBTNDOWN, {1, 2});
  list.set_front_index(1);
  list.SetFocus(&b);
  core::ByteWriter w;
  list.WriteScreen(w);
  seed(kComponentRecordVersion, w.take());
  for (std::int32_t version : {101, 104, 113, 114, 118, 119, 120, 130}) seed(version, test::screen_layout(version));
  return 0;
}
