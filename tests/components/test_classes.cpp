#include "test_classes.h"

namespace nova::test {

const PropertyTable& TTestWave::ClassProperties() {
  static const PropertyTable table = [] {
    using C = TTestWave;
    PropertyTable t = timed_properties();
    t.integer<&C::Amp, &C::SetAmp>(PR_AMP);
    t.integer<&C::WaveLen, &C::SetWaveLen>(PR_WAVELEN);
    t.text<&C::OnIdle, &C::SetOnIdle>(PR_ONIDLE);
    return t;
  }();
  return table;
}

void TTestWave::SaveToStream(core::ByteWriter& w) const {
  save_timed(w);
  w.i32(amp);
  w.i32(wavelen);
  w.str(on_idle);
}

void TTestWave::LoadFromStream(core::ByteReader& r, std::int32_t version) {
  load_timed(r, version);
  amp = r.i32();
  wavelen = r.i32();
  on_idle = r.str();
}

const PropertyTable& TTestTimer::ClassProperties() {
  static const PropertyTable table = [] {
    using C = TTestTimer;
    PropertyTable t = timed_properties();
    t.text<&C::OnNotify, &C::SetOnNotify>(PR_ONNOTIFY);
    t.flag<&C::AutoScrap, &C::SetAutoScrap>(PR_AUTOSCRAP);
    return t;
  }();
  return table;
}

void TTestTimer::SaveToStream(core::ByteWriter& w) const {
  save_timed(w);
  w.str(on_notify);
  w.boolean(auto_scrap);
}

void TTestTimer::LoadFromStream(core::ByteReader& r, std::int32_t version) {
  load_timed(r, version);
  on_notify = r.str();
  auto_scrap = r.boolean();
}

const PropertyTable& TTestPicture::ClassProperties() {
  static const PropertyTable table = [] {
    using C = TTestPicture;
    PropertyTable t = TNovaControl::ClassProperties();
    t.integer<&C::ZoomX, &C::SetZoomX>(PR_ZOOMX);
    t.integer<&C::ZoomY, &C::SetZoomY>(PR_ZOOMY);
    t.flag<&C::FlipH, &C::SetFlipH>(PR_FLIPH);
    t.flag<&C::FlipV, &C::SetFlipV>(PR_FLIPV);
    t.integer<&C::ScrollX, &C::SetScrollX>(PR_SCROLLX);
    t.integer<&C::ScrollY, &C::SetScrollY>(PR_SCROLLY);
    return t;
  }();
  return table;
}

const PropertyTable& TTestAccessors::ClassProperties() {
  static const PropertyTable table = [] {
    using C = TTestAccessors;
    PropertyTable t = TNovaControl::ClassProperties();
    t.text<&C::Text, &C::SetText>(PR_TEXT);
    t.font_style<&C::FontStyle, &C::SetFontStyle>(PR_FONTSTYLE);
    t.font_style<&C::HoverStyle, &C::SetHoverStyle>(PR_FONTHOVERSTYLE);
    t.caret<&C::Caret>();
    t.params<&C::Param, &C::SetParam>();
    t.border_sources<&C::BorderSource, &C::SetBorderSource>();
    t.border_haligns<&C::BorderHAlign, &C::SetBorderHAlign>();
    t.border_valigns<&C::BorderVAlign, &C::SetBorderVAlign>();
    return t;
  }();
  return table;
}

void register_test_classes(TComponentFactory& factory) {
  if (!factory.has_class(LT_WAVE)) factory.add(LT_WAVE, [] { return std::make_unique<TTestWave>(); });
  if (!factory.has_class(LT_TIMER)) factory.add(LT_TIMER, [] { return std::make_unique<TTestTimer>(); });
}

}  // namespace nova::test
