// Component classes of the tests and fuzzers, built on the component core
// as every real class is: an accessor table inherited and extended, class
// fields written after the children, and factory makers.
//
// - TTestWave (LT_WAVE): a visual class with fields, implementing exactly
//   the wave surface's properties.
// - TTestTimer (LT_TIMER): a non-visual class with fields, implementing
//   exactly the timer's properties.
// - TTestAfterimage: a TTestWave that reports its base's type, as
//   afterimages do, and answers the afterimage queries of the sibling order.
// - TFill: a control that fills its screen rectangle with one colour (not
//   in the factory).
// - TTestPicture: a control with a picture size, zoom, mirroring and
//   scrolling, for screen coordinates (not in the factory).
// - TTestAccessors: every special accessor form (font styles, caret,
//   parameters, frame cells, text) with a record of the calls (not in the
//   factory).
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "components/base_list.h"

namespace nova::test {

using namespace nova::components;

// PR_DELAY and PR_PAUSED, which the wave and the timer both have, with
// their record (delay, paused) first among the class's fields.
template <typename Base>
class TTestTimed : public Base {
 public:
  std::int32_t Delay() const { return delay; }
  void SetDelay(std::int32_t v) { delay = v; }
  bool Paused() const { return paused; }
  void SetPaused(bool v) { paused = v; }

  std::int32_t delay = 0;
  bool paused = false;

 protected:
  static PropertyTable timed_properties() {
    PropertyTable t = Base::ClassProperties();
    t.integer<&TTestTimed::Delay, &TTestTimed::SetDelay>(PR_DELAY);
    t.flag<&TTestTimed::Paused, &TTestTimed::SetPaused>(PR_PAUSED);
    return t;
  }
  void save_timed(core::ByteWriter& w) const {
    Base::SaveToStream(w);
    w.i32(delay);
    w.boolean(paused);
  }
  void load_timed(core::ByteReader& r, std::int32_t version) {
    Base::LoadFromStream(r, version);
    delay = r.i32();
    paused = r.boolean();
  }
};

class TTestWave : public TTestTimed<TNovaControl> {
 public:
  TComponentType ComponentType() const override { return LT_WAVE; }
  const PropertyTable& Properties() const override { return ClassProperties(); }
  static const PropertyTable& ClassProperties();

  std::int32_t Amp() const { return amp; }
  void SetAmp(std::int32_t v) { amp = v; }
  std::int32_t WaveLen() const { return wavelen; }
  void SetWaveLen(std::int32_t v) { wavelen = v; }
  const std::string& OnIdle() const { return on_idle; }
  void SetOnIdle(std::string_view v) { on_idle = v; }

  bool IsEventBlocked() const override { return blocked; }

  void SaveToStream(core::ByteWriter& w) const override;
  void LoadFromStream(core::ByteReader& r, std::int32_t version) override;

  std::int32_t amp = 0;
  std::int32_t wavelen = 0;
  std::string on_idle;
  // Not saved: what the tests switch.
  bool blocked = false;
};

class TTestAfterimage final : public TTestWave {
 public:
  bool IsAfterimage() const override { return true; }
  std::int32_t AfterimageAlpha() const override { return alpha; }
  ComponentId AfterimageSource() const override { return source; }

  std::int32_t alpha = 0;
  ComponentId source;
};

class TTestTimer final : public TTestTimed<TNovaComponent> {
 public:
  TComponentType ComponentType() const override { return LT_TIMER; }
  const PropertyTable& Properties() const override { return ClassProperties(); }
  static const PropertyTable& ClassProperties();

  const std::string& OnNotify() const { return on_notify; }
  void SetOnNotify(std::string_view v) { on_notify = v; }
  bool AutoScrap() const { return auto_scrap; }
  void SetAutoScrap(bool v) { auto_scrap = v; }

  void SaveToStream(core::ByteWriter& w) const override;
  void LoadFromStream(core::ByteReader& r, std::int32_t version) override;

  std::string on_notify;
  bool auto_scrap = false;
};

// Fills its screen rectangle with one colour word, then its children.
class TFill final : public TNovaControl {
 public:
  std::int32_t colour = 0;
  void Paint(graphics::TCustomDIBX& s) override {
    s.FillRect(GetScreenRect(), static_cast<std::uint32_t>(s.ColorToPixel(colour)));
    PaintChildren(s);
  }
};

class TTestPicture final : public TNovaControl {
 public:
  const PropertyTable& Properties() const override { return ClassProperties(); }
  static const PropertyTable& ClassProperties();

  std::int32_t ZoomX() const { return zoom_x; }
  void SetZoomX(std::int32_t v) { zoom_x = v; }
  std::int32_t ZoomY() const { return zoom_y; }
  void SetZoomY(std::int32_t v) { zoom_y = v; }
  bool FlipH() const { return flip_h; }
  void SetFlipH(bool v) { flip_h = v; }
  bool FlipV() const { return flip_v; }
  void SetFlipV(bool v) { flip_v = v; }
  std::int32_t ScrollX() const { return scroll_x; }
  void SetScrollX(std::int32_t v) { scroll_x = v; }
  std::int32_t ScrollY() const { return scroll_y; }
  void SetScrollY(std::int32_t v) { scroll_y = v; }
  std::optional<Size> ImageSize() const override { return image; }

  std::int32_t zoom_x = 256, zoom_y = 256;
  bool flip_h = false, flip_v = false;
  std::int32_t scroll_x = 0, scroll_y = 0;
  std::optional<Size> image;
};

class TTestAccessors final : public TNovaControl {
 public:
  const PropertyTable& Properties() const override { return ClassProperties(); }
  static const PropertyTable& ClassProperties();

  const std::string& Text() const { return text; }
  void SetText(std::string_view v) {
    text = v;
    calls.push_back("text");
  }
  void ResetTypingState() override { calls.push_back("reset"); }
  std::uint8_t FontStyle() const { return font_style; }
  void SetFontStyle(std::uint8_t v) { font_style = v; }
  std::uint8_t HoverStyle() const { return hover_style; }
  void SetHoverStyle(std::uint8_t v) { hover_style = v; }
  Point Caret() const { return caret; }
  long double Param(int i) const { return params[static_cast<std::size_t>(i)]; }
  void SetParam(int i, long double v) { params[static_cast<std::size_t>(i)] = v; }
  const std::string& BorderSource(int cell) const { return sources[static_cast<std::size_t>(cell)]; }
  void SetBorderSource(int cell, std::string_view v) { sources[static_cast<std::size_t>(cell)] = v; }
  std::int32_t BorderHAlign(int cell) const { return haligns[static_cast<std::size_t>(cell)]; }
  void SetBorderHAlign(int cell, std::int32_t v) { haligns[static_cast<std::size_t>(cell)] = v; }
  std::int32_t BorderVAlign(int cell) const { return valigns[static_cast<std::size_t>(cell)]; }
  void SetBorderVAlign(int cell, std::int32_t v) { valigns[static_cast<std::size_t>(cell)] = v; }

  std::string text;
  std::vector<std::string> calls;
  std::uint8_t font_style = 0, hover_style = 0;
  Point caret;
  std::array<long double, 3> params{};
  std::array<std::string, 9> sources;
  std::array<std::int32_t, 9> haligns{}, valigns{};
};

// Adds the makers of TTestWave and TTestTimer for the types that have none
// yet (a real class, once built, keeps its type).
void register_test_classes(TComponentFactory& factory);

}  // namespace nova::test
