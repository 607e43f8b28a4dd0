// A base list with the product's image classes over a picture cache of
// files held in memory, a frame clock the tests step, and script values
// that record selections: the scenes of the image component tests.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "components/base_list.h"
#include "components/map_image.h"
#include "components/nova_images.h"
#include "components/script_values.h"
#include "core/frame_clock.h"
#include "expr/params.h"
#include "graphics/brio_collection.h"
#include "graphics/memory_dibx.h"
#include "memory_pictures.h"

namespace nova::test {

using namespace components;  // NOLINT: the tests speak the components' names
using graphics::test::MemoryPictures;
using graphics::test::plain_bri;
using graphics::test::PlainFrame;
using graphics::test::solid_frame;

class RecordingScript final : public ScriptValues {
 public:
  std::optional<std::int32_t> run_int(expr::TNovaParser&) override {
    ++runs;
    return on_run ? on_run() : std::optional<std::int32_t>{0};
  }
  void set_selection(std::string_view text, std::int32_t index) override {
    sel_str = text;
    sel_index = index;
  }
  std::function<std::optional<std::int32_t>()> on_run;
  int runs = 0;
  std::string sel_str;
  std::int32_t sel_index = 0;
};

class ImageScene : public ::testing::Test {
 protected:
  static constexpr int kW = 64, kH = 48;
  static constexpr std::int32_t kBackground = 0x204060;

  ImageScene() {
    register_product_classes(factory);
    list.SetScreenSize(kW, kH);
    list.front_base().SetColor(kBackground);
    screen.SetSize(kW, kH, 32);
    list.SetDisplaySurface(&screen);
  }

  // What ImgNew, TileNew and MapImgNew will do: make through the factory,
  // then set the properties by id.
  TNovaImages& image(std::string_view name, std::string_view source, int x = 0, int y = 0) {
    auto& c = static_cast<TNovaImages&>(list.Create(LT_IMAGES));
    c.SetName(name);
    set(c, PR_PARENT, "");
    set(c, PR_SOURCE, source);
    set(c, PR_LEFT, x);
    set(c, PR_TOP, y);
    return c;
  }
  TNovaTile& tile(std::string_view name, std::string_view source, Rect r) {
    auto& c = static_cast<TNovaTile&>(list.Create(LT_TILE));
    c.SetName(name);
    set(c, PR_PARENT, "");
    set(c, PR_SOURCE, source);
    c.SetBounds(r.left, r.top, r.right, r.bottom);  // x, y, width, height
    return c;
  }
  TNovaMapImage& map_image(std::string_view name, std::string_view source, std::string_view hover,
                           std::string_view map) {
    auto& c = static_cast<TNovaMapImage&>(list.Create(LT_MAPIMG));
    c.SetName(name);
    set(c, PR_PARENT, "");
    set(c, PR_SOURCE, source);
    set(c, PR_HOVERSOURCE, hover);
    set(c, PR_MAPSOURCE, map);
    return c;
  }

  static void set(TNovaObject& o, int id, std::string_view text) { SetProp(o, id, expr::TParamStr(text)); }
  static void set(TNovaObject& o, int id, std::int32_t v) { SetProp(o, id, expr::TParamInt(v)); }
  static std::int32_t get_int(const TNovaObject& o, int id) {
    expr::TParamInt v;
    GetProp(o, id, v);
    return v.as_int();
  }

  // The whole screen composed anew.
  void compose() {
    list.front_base().InvalidateAll();
    list.Compose();
    list.ClearDirtyRects();
  }
  // One frame of `ms`: input, then the update pass.
  void frame(std::int32_t ms = 15) {
    clock.FrameDeltaMs = ms;
    list.FrameBegin(ms);
    list.UpdateAll();
  }
  std::uint32_t px(std::int32_t colour) const { return static_cast<std::uint32_t>(screen.ColorToPixel(colour)); }
  std::uint32_t at(int x, int y) const { return screen.GetPixel(x, y); }
  std::vector<std::string> event_names() const {
    std::vector<std::string> out;
    for (const auto& e : list.events().entries()) {
      std::string s = std::string(kProperties[e.event_id].name);
      for (const auto& a : e.arguments) s += " " + a;
      out.push_back(s);
    }
    return out;
  }

  MemoryPictures files;
  graphics::TBrioCollection cache{files, 0, 32};
  core::FrameClock clock;
  RecordingScript script;
  TComponentFactory factory;
  TNovaBaseList list{{.factory = factory, .pictures = &cache, .script_values = &script, .clock = &clock}};
  graphics::TDIBX screen;
};

// The formulas of the draws, per 8-bit channel of a 32-bit pixel.
inline std::uint32_t blend(std::uint32_t s, std::uint32_t d, std::uint32_t a) {
  std::uint32_t out = 0;
  for (int shift : {0, 8, 16}) {
    const std::uint32_t cs = (s >> shift) & 255, cd = (d >> shift) & 255;
    out |= std::min<std::uint32_t>((cs * a + cd * (255 - a)) >> 8, 255) << shift;
  }
  return out;
}
inline std::uint32_t add(std::uint32_t s, std::uint32_t d, std::uint32_t a) {
  std::uint32_t out = 0;
  for (int shift : {0, 8, 16}) {
    const std::uint32_t cs = (s >> shift) & 255, cd = (d >> shift) & 255;
    out |= std::min<std::uint32_t>(cd + ((a * cs) >> 8), 255) << shift;
  }
  return out;
}

}  // namespace nova::test
