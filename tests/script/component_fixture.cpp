#include "component_fixture.h"

#include "components/nova_images.h"
#include "core/error.h"

namespace nova::script::testing {

template <TPropId Id>
void TRecorder::SetInt(std::int32_t v) {
  ints[Id] = v;
  log.emplace_back(Id, std::to_string(v));
  if constexpr (Id == PR_LEFT) SetLeft(v);
  if constexpr (Id == PR_COLOR) SetColor(v);
}

template <TPropId Id>
void TRecorder::SetFlag(bool v) {
  flags[Id] = v;
  log.emplace_back(Id, v ? "TRUE" : "FALSE");
  if constexpr (Id == PR_VISIBLE) SetVisible(v);
}

template <TPropId Id>
void TRecorder::SetStr(std::string_view v) {
  strs[Id] = std::string(v);
  log.emplace_back(Id, "\"" + std::string(v) + "\"");
}

const PropertyTable& TRecorder::ClassProperties() {
  static const PropertyTable table = [] {
    using C = TRecorder;
    PropertyTable t = TNovaControl::ClassProperties();
    t.text<&C::GetStr<PR_SOURCE>, &C::SetStr<PR_SOURCE>>(PR_SOURCE);
    t.text<&C::GetStr<PR_TEXT>, &C::SetStr<PR_TEXT>>(PR_TEXT);
    t.integer<&C::GetInt<PR_LEFT>, &C::SetInt<PR_LEFT>>(PR_LEFT);
    t.integer<&C::GetInt<PR_COLOR>, &C::SetInt<PR_COLOR>>(PR_COLOR);
    t.integer<&C::GetInt<PR_ZOOMX>, &C::SetInt<PR_ZOOMX>>(PR_ZOOMX);
    t.integer<&C::GetInt<PR_ALPHA>, &C::SetInt<PR_ALPHA>>(PR_ALPHA);
    t.integer<&C::GetInt<PR_FONTSTYLE>, &C::SetInt<PR_FONTSTYLE>>(PR_FONTSTYLE);
    t.integer<&C::GetInt<PR_DELAY>, &C::SetInt<PR_DELAY>>(PR_DELAY);
    t.integer<&C::GetInt<PR_PLUSX>, &C::SetInt<PR_PLUSX>>(PR_PLUSX);
    t.flag<&C::GetFlag<PR_VISIBLE>, &C::SetFlag<PR_VISIBLE>>(PR_VISIBLE);
    t.flag<&C::GetFlag<PR_REPEAT>, &C::SetFlag<PR_REPEAT>>(PR_REPEAT);
    t.params<&C::Param, &C::SetParam>();
    return t;
  }();
  return table;
}

const PropertyTable& TFailing::ClassProperties() {
  static const PropertyTable table = [] {
    using C = TFailing;
    PropertyTable t = TNovaControl::ClassProperties();
    t.text<&C::Source, &C::SetSource>(PR_SOURCE);
    return t;
  }();
  return table;
}

void TFailing::SetSource(std::string_view name) {
  SetEventTarget(PR_ONLBTNUP, "handler.src");
  RaiseEvent(PR_ONLBTNUP, {1, 2});
  core::throw_error("no such picture: " + std::string(name));
}

const PropertyTable& TTestMedia::ClassProperties() {
  static const PropertyTable table = [] {
    using C = TTestMedia;
    PropertyTable t = TNovaComponent::ClassProperties();
    t.text<&C::Source, &C::SetSource>(PR_SOURCE);
    t.integer<&C::Delay, &C::SetDelay>(PR_DELAY);
    return t;
  }();
  return table;
}

Components::Components() {
  register_image_classes(factory);
  factory.add(LT_BOX, [] { return std::make_unique<TRecorder>(); });
  factory.add(LT_SOUND, [] { return std::make_unique<TTestMedia>(); });
  factory.add(LT_CABINET, [] { return std::make_unique<TTestCabinet>(); });
  factory.add(LT_WAVE, [] { return std::make_unique<TFailing>(); });
  messages.glyphs = &glyphs;
  messages.texts = &texts;
  messages.text_delay = [this] { return store.text_delay(); };
  list.set_read_marks(&marks);
  list.set_history(&history);
  list.SetScreenSize(kW, kH);
  screen.SetSize(kW, kH, 32);
  list.SetDisplaySurface(&screen);
  // The interpreter drives this list: its queue, its names.
  store.set_system_variables(nullptr);
  variables.reset();
  cm = std::make_unique<TCallMan>(TCallManServices{clock, store, funcs, host, &list});
  cm->set_event_queue(&list.events());
  cm->set_component_directory(&list);
  cm->set_trace_hook([this](std::string_view line) { trace.emplace_back(line); });
  texts.set_interpreter(cm.get());
  variables = std::make_unique<TInterpreterVariables>(*cm);
  store.set_system_variables(variables.get());
}

Components::~Components() {
  texts.set_interpreter(nullptr);
  store.set_system_variables(nullptr);
  variables.reset();
  cm.reset();
}

void Components::start(const std::string& name, const std::vector<TCommandRecord>& commands, std::int32_t version) {
  page(name, commands, version);
  cm->StartAt(name);
}

void Components::frame(int n) {
  for (int k = 0; k < n; ++k) {
    clock.FrameDeltaMs.store(15);
    clock.GameClockMs.store(static_cast<std::int32_t>(static_cast<std::uint32_t>(clock.GameClockMs.load()) + 15u));
    list.FrameBegin(15);
    cm->RunTick();
    list.UpdateAll();
  }
}

std::vector<std::string> Components::names_on(const TNovaControl& base) const {
  std::vector<std::string> out;
  for (const TNovaControl* c : base.Children()) out.push_back(c->Name());
  return out;
}

}  // namespace nova::script::testing
