// The component commands' scenes: an interpreter that drives a base list
// of its own, with component classes that record what the commands do to
// them, and a transition factory that records how a flip drives it.
//
// - TRecorder (LT_BOX): a control whose setters of a few properties of
//   every value type log (property, value) in call order.
// - TFailing (LT_WAVE): a control whose PR_SOURCE setter queues an event of
//   its own and then raises; it counts how many exist at once.
// - TTestMedia (LT_SOUND): a medium with a play state, an end, a source and
//   a fade time, logging its play controls and restarts.
// - TTestCabinet (LT_CABINET): a plain control of the cabinet's type.
// The image classes of the product are registered too (Flip's snapshot).
// Message boxes find glyphs of the test font, the texts of the
// interpreter's pages, read marks and history formats, though their class
// is registered only where a scene asks for it (TextCommands).
#pragma once

#include <algorithm>
#include <array>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "components/base_list.h"
#include "components/mes_services.h"
#include "components/read_list.h"
#include "data/history_format.h"
#include "graphics/memory_dibx.h"
#include "graphics/transition.h"
#include "script/text_source.h"
#include "script_fixture.h"
#include "support/test_font_service.h"
#include "text/font_pixel_manager.h"

namespace nova::script::testing {

using namespace components;  // NOLINT: the scenes speak the components' names

// (property id, value as text) in the order the setters ran.
using SetterLog = std::vector<std::pair<int, std::string>>;

class TRecorder final : public TNovaControl {
 public:
  TComponentType ComponentType() const override { return LT_BOX; }
  const PropertyTable& Properties() const override { return ClassProperties(); }
  static const PropertyTable& ClassProperties();

  template <TPropId Id>
  std::int32_t GetInt() const {
    auto it = ints.find(Id);
    return it == ints.end() ? -12345 : it->second;
  }
  template <TPropId Id>
  void SetInt(std::int32_t v);
  template <TPropId Id>
  bool GetFlag() const {
    auto it = flags.find(Id);
    return it != flags.end() && it->second;
  }
  template <TPropId Id>
  void SetFlag(bool v);
  template <TPropId Id>
  std::string GetStr() const {
    auto it = strs.find(Id);
    return it == strs.end() ? std::string() : it->second;
  }
  template <TPropId Id>
  void SetStr(std::string_view v);
  long double Param(int index) const { return params[static_cast<std::size_t>(index)]; }
  void SetParam(int index, long double v) {
    params[static_cast<std::size_t>(index)] = v;
    log.emplace_back(PR_PARAM1 + (index == 2 ? 7 : index), std::to_string(static_cast<double>(v)));
  }

  SetterLog log;
  std::map<int, std::int32_t> ints;
  std::map<int, bool> flags;
  std::map<int, std::string> strs;
  std::array<long double, 3> params{};
};

class TFailing final : public TNovaControl {
 public:
  TFailing() { most = std::max(most, ++alive); }
  ~TFailing() override { --alive; }
  static inline int alive = 0;
  static inline int most = 0;
  TComponentType ComponentType() const override { return LT_WAVE; }
  const PropertyTable& Properties() const override { return ClassProperties(); }
  static const PropertyTable& ClassProperties();
  std::string Source() const { return {}; }
  void SetSource(std::string_view name);
};

class TTestMedia final : public TNovaComponent {
 public:
  TComponentType ComponentType() const override { return LT_SOUND; }
  const PropertyTable& Properties() const override { return ClassProperties(); }
  static const PropertyTable& ClassProperties();

  const std::string& Source() const { return source; }
  void SetSource(std::string_view v) { source = v; }
  std::int32_t Delay() const { return delay; }
  void SetDelay(std::int32_t v) { delay = v; }
  std::int32_t GetPlayState() const override { return state; }
  void SetPlayControl(std::int32_t control) override {
    controls.push_back(control);
    state = control;
  }
  bool HasPlayControl() const override { return true; }
  bool HasEnded() const override { return ended; }
  void RestartMotion() override { ++restarts; }

  std::string source;
  std::int32_t delay = 0;
  std::int32_t state = LP_STOP;
  bool ended = false;
  std::vector<std::int32_t> controls;
  int restarts = 0;
};

class TTestCabinet final : public TNovaControl {
 public:
  TComponentType ComponentType() const override { return LT_CABINET; }
};

// A transition that records its set-up and its time.
class TRecordingTransition final : public graphics::TTransition {
 public:
  TRecordingTransition(std::vector<std::string>& log, std::int32_t duration) : m_log(log), m_duration(duration) {}
  void SetReverse(bool reverse) override { m_log.push_back("reverse " + std::to_string(reverse)); }
  std::int32_t GetParam(int index) const override { return m_params[static_cast<std::size_t>(index & 1)]; }
  void SetParam(int index, std::int32_t value) override {
    m_params[static_cast<std::size_t>(index & 1)] = value;
    m_log.push_back("param" + std::to_string(index) + " " + std::to_string(value));
  }
  void SetMaskName(const std::string& name) override { m_log.push_back("mask " + name); }
  void Start() override {
    m_log.push_back("start");
    m_started = true;
  }
  bool Started() const override { return m_started; }
  std::int32_t Duration() const override { return m_duration; }
  void SetElapsed(std::int32_t elapsed) override {
    m_elapsed = elapsed;
    m_log.push_back("elapsed " + std::to_string(elapsed));
  }
  std::int32_t Elapsed() const override { return m_elapsed; }
  bool DrawStep() override { return m_elapsed >= m_duration; }
  graphics::Rect Bounds() const override { return {}; }

 private:
  std::vector<std::string>& m_log;
  std::int32_t m_duration;
  std::array<std::int32_t, 2> m_params{};
  std::int32_t m_elapsed = 0;
  bool m_started = false;
};

class RecordingTransitions final : public graphics::TTransitionFactory {
 public:
  std::unique_ptr<graphics::TTransition> Create(int type, graphics::TCustomDIBX&, const graphics::TCustomDIBX&,
                                                const graphics::TCustomDIBX&, std::int32_t duration) override {
    log.push_back("create " + std::to_string(type) + " " + std::to_string(duration));
    return std::make_unique<TRecordingTransition>(log, duration);
  }
  std::vector<std::string> log;
};

class Components : public InterpreterTest {
 protected:
  static constexpr int kW = 32, kH = 24;

  Components();
  ~Components() override;

  // Runs a new page from its start (pages stay cached by name, so each
  // scene takes a name of its own).
  void start(const std::string& name, const std::vector<TCommandRecord>& commands, std::int32_t version = 110);
  // Frames of 15 ms: input, the interpreter, the update pass.
  void frame(int n = 1);
  TNovaComponent* find(std::string_view name) const { return list.FindComponent(test::sjis(name)); }
  template <typename T>
  T& make(std::string_view name, TNovaControl* parent = nullptr) {
    T& c = list.make<T>();
    c.SetName(test::sjis(name));
    if constexpr (std::is_base_of_v<TNovaControl, T>) c.SetParent(parent ? parent : &list.front_base());
    return c;
  }
  // The children's names of a base, in sibling order.
  std::vector<std::string> names_on(const TNovaControl& base) const;

  TComponentFactory factory;
  RecordingTransitions transitions;
  test::TestFontService fonts;
  text::TFontPixelManager glyphs{fonts};
  TScriptTextSource texts{host};
  MesServices messages;
  TNovaReadList marks;
  data::TNovaHistoryFormatManager history;
  TNovaBaseList list{{.factory = factory, .transitions = &transitions, .clock = &clock, .messages = &messages}};
  graphics::TDIBX screen;
};

}  // namespace nova::script::testing
