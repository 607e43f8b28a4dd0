// The system variables the shell answers (the project's settings, the
// clocks, the date, the fonts, full screen and display modes), and the
// placeholders for what this build does not have yet: the message history
// and the component system.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "expr/system_variables.h"
#include "platform/clock.h"

namespace nova::data {
class TNovaHistoryFormatManager;
}

namespace nova::core {
struct FrameClock;
}
namespace nova::platform {
class Platform;
}

namespace nova::app {

class ScreenHost;
class TitleServices;

// What the shell's variables need of the main window.
class ShellHooks {
 public:
  virtual ~ShellHooks() = default;
  virtual bool full_screen() const = 0;
  // Switches as the tool bar's "画面切替" does.
  virtual void set_full_screen(bool on) = 0;
  // Selects the chosen full-screen mode again while full screen is on
  // (falling back to the window when the display refuses it).
  virtual void reselect_full_screen() = 0;
  // The screen manager; null without one.
  virtual ScreenHost* screen() const = 0;
};

class ShellVariables final : public expr::TSystemVariableProvider {
 public:
  // @ScrWidth, @ScrHeight, @TickCount, @PCTickCount, @UpdateCount, the date
  // and time, @Fonts, @FixedFonts, @FullScr, @DisplayModeCount,
  // @DisplayModeIndex, @Title, @IsDebug.
  static constexpr std::array<int, 19> kIndexes = {12, 13, 14, 15, 16, 17, 18, 19, 20, 21,
                                                   22, 23, 24, 25, 26, 37, 38, 39, 49};
  // @MidiPort and @MidiPorts as a player without MIDI answers them ("", no
  // ports), until the MIDI player takes them over.
  static constexpr std::array<int, 2> kNoMidiIndexes = {45, 46};

  // None is owned; all outlive the provider.
  ShellVariables(core::FrameClock& clock, platform::Platform& platform, ShellHooks& hooks)
      : m_clock(clock), m_platform(platform), m_hooks(hooks) {}

  // The project's settings, once it is made (before, they read 0 and "").
  void set_project(std::string title, std::int32_t width, std::int32_t height);

  expr::TCustomParam* referred(int) override { return nullptr; }
  std::int32_t count(int index) override;
  void read(int index, std::int32_t element, expr::TSysValue& out) override;
  void write(int index, std::int32_t element, const expr::TSysValue& in) override;

 private:
  const platform::DateTime& now();
  const std::string& fonts(bool fixed_only);

  core::FrameClock& m_clock;
  platform::Platform& m_platform;
  ShellHooks& m_hooks;
  std::string m_title;
  std::int32_t m_width = 0;
  std::int32_t m_height = 0;
  // One reading of the calendar per tick: the seven date fields a script
  // reads in one tick never mix two readings.
  std::optional<std::int32_t> m_read_at;
  platform::DateTime m_now;
  std::optional<std::string> m_fonts;
  std::optional<std::string> m_fixed_fonts;
};

// @HistoryCount and @HistoryMaxCount: the count and the maximum count of
// the default history format, which the component system owns. Without a
// component system they raise an error naming themselves.
class HistoryVariables final : public expr::TSystemVariableProvider {
 public:
  static constexpr std::array<int, 2> kIndexes = {8, 43};

  // `services` must outlive the provider.
  explicit HistoryVariables(TitleServices& services) : m_services(services) {}
  expr::TCustomParam* referred(int) override { return nullptr; }
  std::int32_t count(int) override { return 1; }
  void read(int index, std::int32_t element, expr::TSysValue& out) override;
  void write(int index, std::int32_t element, const expr::TSysValue& in) override;

 private:
  data::TNovaHistoryFormatManager& manager(int index) const;
  TitleServices& m_services;
};

// The variables of the component system raise an error naming themselves
// until it exists, so that an expression reading them stops visibly rather
// than computing with made-up input.
class ComponentPlaceholder final : public expr::TSystemVariableProvider {
 public:
  static constexpr std::array<int, 15> kIndexes = {1, 2, 3, 4, 5, 6, 27, 31, 35, 36, 40, 41, 42, 47, 48};

  expr::TCustomParam* referred(int index) override;
  std::int32_t count(int index) override;
  void read(int index, std::int32_t element, expr::TSysValue& out) override;
  void write(int index, std::int32_t element, const expr::TSysValue& in) override;
};

}  // namespace nova::app
