// The input of the component record fuzzer: a version byte (101 + the
// byte mod 40), then items, each a selector byte and its record:
//   selector mod 3 = 0: a component (type byte and record) at the top level;
//                    1: a component under the front base;
//                    2: an event entry.
// The product's factory and the test classes read the components; image
// components find their pictures in a small cache of files held in memory.
#pragma once

#include <string>

#include "components/base_list.h"
#include "components/component_records.h"
#include "files/stream.h"
#include "graphics/brio_collection.h"
#include "graphics/brios.h"
#include "graphics/memory_picture_files.h"
#include "test_classes.h"

namespace nova::fuzz {

enum Item : std::uint8_t { kTopLevel = 0, kOnFrontBase = 1, kEvent = 2 };

inline std::uint8_t version_byte(std::int32_t version) { return static_cast<std::uint8_t>(version - 101); }

inline const components::TComponentFactory& record_factory() {
  static const components::TComponentFactory factory = [] {
    components::TComponentFactory f;
    components::register_product_classes(f);
    test::register_test_classes(f);
    return f;
  }();
  return factory;
}

// "a.bri" (two 3 × 2 frames) and "a.map" (one rectangle), by the product's
// writers.
inline graphics::MemoryPictureFiles record_picture_files() {
  graphics::MemoryPictureFiles files;
  graphics::TBrioFrameList pictures;
  for (int i = 0; i < 2; ++i) {
    graphics::TBrioFrame& f = pictures.AddFrame();
    f.surface.SetSize(3, 2, 24);
    f.surface.SetPixel(1, 1, 0x123456u * static_cast<std::uint32_t>(i + 1));
    f.delay = 40;
  }
  files::TKvMemoryStream out;
  pictures.SaveToStream(out, graphics::kBrioRaw, 70);
  files.put("a.bri", std::string(out.view()));
  core::ByteWriter map;
  map.i32(1);
  map.str("r");
  map.u8(0);
  for (std::int32_t v : {0, 0, 1, 1}) map.i32(v);
  files.put("a.map", map.take_string());
  return files;
}

inline graphics::TBrioCollection& record_pictures() {
  static const graphics::MemoryPictureFiles files = record_picture_files();
  static graphics::TBrioCollection cache(files, 0, 32);
  return cache;
}

inline components::BaseListServices record_services() {
  return {.factory = record_factory(), .pictures = &record_pictures()};
}

// Reads the items into `list`; raises core::Error for a damaged stream.
inline void read_items(components::TNovaBaseList& list, core::ByteReader& r, std::int32_t version) {
  while (!r.at_end()) {
    switch (r.u8() % 3) {
      case kTopLevel: list.ReadComponent(r, version, nullptr); break;
      case kOnFrontBase: list.ReadComponent(r, version, &list.front_base()); break;
      default: list.events().append(components::read_event_entry(r, version, list)); break;
    }
  }
}

// What the list holds, as items at the newest version: the front base's
// saved children, the saved components without parent, then the queue.
inline std::vector<std::uint8_t> write_items(const components::TNovaBaseList& list) {
  core::ByteWriter w;
  w.u8(version_byte(components::kComponentRecordVersion));
  for (const components::TNovaControl* c : list.front_base().Children()) {
    if (!components::is_saved(*c)) continue;
    w.u8(kOnFrontBase);
    list.WriteComponent(w, *c);
  }
  for (std::int32_t i = 0; i < list.ItemCount(); ++i) {
    const components::TNovaObject* o = list.GetItem(i);
    const components::TNovaControl* c = o->AsControl();
    if (!components::is_saved(*o) || (c && c->Parent())) continue;
    w.u8(kTopLevel);
    list.WriteComponent(w, *o->AsComponent());
  }
  for (const components::EventEntry& e : list.events().entries()) {
    w.u8(kEvent);
    components::write_event_entry(w, e, list);
  }
  return w.take();
}

}  // namespace nova::fuzz
