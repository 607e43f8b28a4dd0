// TFormView: the player's main window. Its creation is the whole start of a
// title (settings, data, panel, variables, project, media, timing thread);
// its frame tick drives the interpreter, the components and the screen; it
// routes input, switches full screen, pauses with the application and asks
// before closing.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app/loop_thread.h"
#include "app/player_context.h"
#include "app/shell_variables.h"
#include "app/title_host.h"
#include "platform/widgets.h"
#include "platform/window.h"

namespace nova::app {

class TFormView final : private ShellHooks {
 public:
  TFormView(PlayerContext& ctx, TitleFactory& factory);
  ~TFormView();
  TFormView(const TFormView&) = delete;
  TFormView& operator=(const TFormView&) = delete;

  // The start-up, in the order of the system; errors of the title start are
  // shown and close the window.
  void FormCreate();
  // Runs the message loop until the window closes (the headless backend is
  // driven tick by tick on the virtual clock).
  void run();
  // The shutdown; runs once, also when the loop never ran.
  void FormClose();

  void FrameTick();
  // FrameTick with the screen-switch guard and the display-rate measurement.
  void tick_wrapper();
  void SetFullScreen(bool on);
  // While full screen is on with another mode in force than the chosen one
  // (the display was disturbed, or a script chose another), selects the
  // chosen mode again; falls back to the window when the display refuses.
  void ReselectFullScreen();
  // The display changed while full screen: the covering window goes over it
  // again at its new size, or back to the window when that fails.
  void DisplayChanged();
  void handle_event(const platform::Event& e);
  void ApplicationEventsActivate();
  void ApplicationEventsDeactivate();
  // The tool bar's "終了": asks, and closes on Yes.
  void exit_button();
  // Closes as the exit button's Yes does.
  void request_close() { m_close_requested = true; }

  bool closed() const { return m_closed; }
  bool full_screen() const override { return m_full_screen; }
  platform::Window* window() const { return m_window.get(); }
  platform::Rect panel() const { return m_panel; }
  int dock_height() const { return m_toolbar ? m_toolbar->dock_height() : 0; }
  bool toolbar_visible() const { return m_toolbar_visible; }
  ProjectHost* project() const { return m_ctx.services.project(); }
  ComponentHost* components() const { return m_ctx.services.components(); }
  MediaHost* media() const { return m_ctx.services.media(); }
  std::int64_t ticks_run() const { return m_ticks_run; }

 private:
  class Frames;

  // ShellHooks
  void set_full_screen(bool on) override { SetFullScreen(on); }
  void reselect_full_screen() override { ReselectFullScreen(); }
  ScreenHost* screen() const override { return media() ? media()->screen() : nullptr; }

  void register_variables();
  void failed_start(const std::string& sjis_message);
  void title_start();
  void place_panel();
  void draw_toolbar(bool force);
  void show_toolbar(bool on);
  void present_all();
  void show_error(const std::string& sjis_message, bool fatal);
  void route_mouse(const platform::Event& e);
  void take_screenshots(std::int64_t tick);
  // The player's screenshot key: a PNG of the title's screen in the user's
  // pictures folder.
  void save_screenshot();
  // The window's first size in points: --window-size, or the screen at the
  // whole factor (player settings, else the largest that fits).
  platform::Size first_view_size() const;
  void log_window_size();
  // After a change of the display: the panel placed again, the surfaces
  // and video back, everything drawn anew.
  void reload_after_switch();
  bool full_screen_select(int mode);  // select the mode; false when a different one is in force
  void return_to_window();

  PlayerContext& m_ctx;
  TitleFactory& m_factory;
  std::unique_ptr<platform::Window> m_window;
  std::unique_ptr<platform::ToolBar> m_toolbar;
  std::unique_ptr<platform::ScreenSaverInhibitor> m_inhibitor;
  bool m_toolbar_visible = true;
  platform::Rect m_panel;
  int m_screen_width = 640;
  int m_screen_height = 480;

  // The shell's system variables, registered with the variable store.
  ShellVariables* m_shell_variables = nullptr;
  std::unique_ptr<TLoopThread> m_loop;

  int m_draw_counter = 0;
  std::uint32_t m_last_wrapper_ms = 0;
  bool m_wrapper_ran = false;
  std::int64_t m_rate_accumulator = 0;
  std::int64_t m_ticks_run = 0;

  bool m_full_screen = false;
  platform::WindowPlacement m_stored_placement;
  bool m_panel_pressed = false;

  bool m_close_requested = false;
  bool m_closing = false;
  bool m_closed = false;
  bool m_created = false;
};

}  // namespace nova::app
