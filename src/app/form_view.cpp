#include "app/form_view.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>

#include "core/error.h"
#include "core/format.h"
#include "core/log.h"
#include "core/sjis.h"
#include "expr/random.h"
#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/png_writer.h"

namespace nova::app {
namespace {

// The window's size as designed, kept when no project gives one.
constexpr int kDesignedWidth = 640;
constexpr int kDesignedHeight = 480;

// Clears a flag on every way out of a scope.
struct FlagGuard {
  std::atomic<bool>& flag;
  explicit FlagGuard(std::atomic<bool>& f) : flag(f) { flag.store(true); }
  ~FlagGuard() { flag.store(false); }
};

}  // namespace

TFormView::TFormView(PlayerContext& ctx, TitleFactory& factory) : m_ctx(ctx), m_factory(factory) {
  m_ctx.request_close = [this] { request_close(); };
}

TFormView::~TFormView() {
  FormClose();
  m_ctx.request_close = nullptr;
  m_ctx.main_window = nullptr;
}

void TFormView::FormCreate() {
  auto& trace = m_ctx.step_trace;
  trace("FormCreate");
  std::error_code ec;
  std::filesystem::remove(m_ctx.exe_folder / "novaplay.log", ec);
  // The standard generator's seed: the time of day in milliseconds (UTC).
  if (m_ctx.options.seed) {
    m_ctx.random_seed = *m_ctx.options.seed;
  } else {
    const platform::DateTime t = m_ctx.platform.clock().utc_time();
    m_ctx.random_seed = expr::StandardRandom::seed_from_time(t.hour, t.minute, t.second, t.millisecond);
  }

  m_ctx.settings = read_game_settings(game_ini_places(m_ctx.exe_folder, m_ctx.platform.system()).read);
  m_ctx.player = load_player_settings(m_ctx.platform.system().user_config_folder(), m_ctx.options.player);
  core::logf(core::Channel::App, core::Level::Info, "window system: %s", {m_ctx.platform.display_driver()});

  m_toolbar = std::make_unique<platform::ToolBar>(m_ctx.platform.fonts(),
                                                  std::vector<std::string>{core::sjis("終了"), core::sjis("画面切替")});
  platform::WindowSpec spec;
  spec.caption = "NovaPlayer";
  spec.client_size = {kDesignedWidth, kDesignedHeight + dock_height()};
  spec.visible = false;
  spec.resizable = true;
  spec.scaled = true;
  m_window = m_ctx.platform.create_window(spec);
  m_ctx.main_window = m_window.get();
  m_window->fill({0, 0, spec.client_size.width, spec.client_size.height}, 0x000000);

  // Everything from the mounting on may fail on the title's data (a damaged
  // game.dat as much as a damaged nova.npb): the message is shown in a
  // warning box and the window closes without having been shown.
  m_created = true;
  try {
    m_factory.mount_data(m_ctx);

    trace("TBasePanel.Create");
    m_panel = platform::Rect::from_size(0, dock_height(), kDesignedWidth, kDesignedHeight);

    m_factory.create_variable_store(m_ctx);
    m_factory.create_system_functions(m_ctx);
    register_variables();

    title_start();
  } catch (const core::Error& e) {
    failed_start(e.message());
    return;
  } catch (const platform::PlatformError& e) {
    failed_start(platform::codepage::from_utf8_lossy(e.what()));
    return;
  }
  if (m_ctx.clock.TerminateFlag.load()) {
    // The start stopped after its message (no project, no start page): the
    // window closes without ever being shown.
    m_close_requested = true;
    return;
  }

  m_window->show();
  draw_toolbar(true);
  m_window->present({});
  log_window_size();
  m_inhibitor = m_ctx.platform.inhibit_screen_saver();
}

void TFormView::failed_start(const std::string& sjis_message) {
  show_error(sjis_message, true);
  // Unattended, nobody reads the box: the status tells automation.
  if (m_ctx.platform.unattended()) m_ctx.exit_status = 1;
  FormClose();
}

void TFormView::register_variables() {
  VariableStore* variables = m_ctx.services.variables();
  if (!variables) return;
  auto shell = std::make_unique<ShellVariables>(m_ctx.clock, m_ctx.platform, static_cast<ShellHooks&>(*this));
  auto history = std::make_unique<HistoryVariables>(m_ctx.services);
  auto components = std::make_unique<ComponentPlaceholder>();
  using Claim = expr::TSystemVariableRouter::Claim;
  variables->router.attach("shell", *shell, ShellVariables::kIndexes);
  variables->router.attach("shell (no MIDI)", *shell, ShellVariables::kNoMidiIndexes, Claim::Replaceable);
  variables->router.attach("history", *history, HistoryVariables::kIndexes);
  variables->router.attach("component placeholder", *components, ComponentPlaceholder::kIndexes, Claim::Replaceable);
  m_shell_variables = shell.get();
  variables->providers.push_back(std::move(shell));
  variables->providers.push_back(std::move(history));
  variables->providers.push_back(std::move(components));
}

void TFormView::title_start() {
  auto& trace = m_ctx.step_trace;
  trace("DXSound.Initialize");
  // The sound device opens when the first sound plays; there is nothing to
  // fail here, as the system ignores a failure at this step anyway.

  trace("NovaInitialize");
  m_factory.create_component_system(m_ctx);

  trace("TProject.Create");
  m_factory.create_project(m_ctx);
  if (ProjectHost* project = this->project()) {
    m_screen_width = project->screen_width();
    m_screen_height = project->screen_height();
    m_window->set_caption(project->title());
    if (m_shell_variables) m_shell_variables->set_project(project->title(), m_screen_width, m_screen_height);
  } else {
    m_screen_width = kDesignedWidth;
    m_screen_height = kDesignedHeight;
  }

  trace("MediaInit");
  if (ProjectHost* project = this->project()) {
    MediaStart start{m_window.get(),
                     m_panel,
                     m_screen_width,
                     m_screen_height,
                     project->display_option_a(),
                     project->display_option_b(),
                     project->registry_key()};
    m_factory.create_media(m_ctx, start);
  }

  trace("NovaInitColor");
  if (components()) components()->init_colors();

  if (project()) {
    m_window->set_client_size({m_screen_width, m_screen_height + dock_height()});
    const platform::Size view = first_view_size();
    m_window->set_view_size(view);
    // Centred in the work area; halves truncate toward zero.
    platform::Rect work = m_ctx.platform.work_area();
    platform::Rect frame = m_window->frame_extents();
    const int outer_w = view.width + frame.left + frame.right;
    const int outer_h = view.height + frame.top + frame.bottom;
    // Where windows cannot be placed (Wayland), the compositor centres them.
    if (m_ctx.platform.can_place_windows()) {
      m_window->set_position({work.left + (work.width() - outer_w) / 2, work.top + (work.height() - outer_h) / 2});
    }
    if (components()) components()->set_screen_size(m_screen_width, m_screen_height);
  }
  place_panel();

  // Once the title has started, every system variable has its holder.
  if (VariableStore* variables = m_ctx.services.variables(); variables && !m_ctx.clock.TerminateFlag.load()) {
    variables->router.check_complete();
  }

  // The timing thread hands its ticks to the main thread; a frame loop on a
  // virtual clock steps it on the main thread itself, where posting runs
  // the tick at once.
  m_loop = std::make_unique<TLoopThread>(
      m_ctx.clock, m_ctx.platform.clock(),
      [this](const TLoopThread::Tick& tick) { return m_ctx.platform.post_and_wait(tick); },
      [this] { m_ctx.platform.run_posted_tasks(); });
  m_loop->set_tick([this] { tick_wrapper(); });
}

platform::Size TFormView::first_view_size() const {
  if (m_ctx.options.window_size) return *m_ctx.options.window_size;
  // Whole factors are counted in real pixels, so a high-density desktop
  // opens a larger picture; the window's size is then given in points.
  const int scale = std::max(1, m_window->desktop_scale());
  int factor = m_ctx.player.window_scale;
  if (factor <= 0) {
    const platform::Rect work = m_ctx.platform.work_area();
    const platform::Rect frame = m_window->frame_extents();
    factor = first_window_factor({m_screen_width, m_screen_height}, dock_height() * scale,
                                 {(frame.left + frame.right) * scale, (frame.top + frame.bottom) * scale},
                                 {work.width() * scale, work.height() * scale});
  }
  auto points = [&](int pixels) { return (pixels + scale - 1) / scale; };
  return {points(m_screen_width * factor), points(m_screen_height * factor) + dock_height()};
}

void TFormView::place_panel() {
  const platform::Size client = m_window->client_size();
  const int x = (client.width - m_screen_width) / 2;
  const int y = m_full_screen ? (client.height - m_screen_height) / 2 : dock_height();
  m_panel = platform::Rect::from_size(x, y, m_screen_width, m_screen_height);
  m_ctx.platform.set_scripted_input_origin({m_panel.left, m_panel.top});
  if (ScreenHost* s = screen()) s->set_panel_origin({m_panel.left, m_panel.top});
  if (components()) components()->set_window(m_window.get(), m_panel);
  // The picture is scaled into the window's real size; the title keeps
  // seeing its panel.
  platform::PictureLayout layout;
  layout.scaled = true;
  layout.panel = m_panel;
  layout.chrome_height = dock_height();
  layout.chrome_overlays = m_full_screen;
  layout.mode = m_ctx.player.scale;
  layout.filter = m_ctx.player.filter;
  m_window->set_picture_layout(layout);
}

void TFormView::FrameTick() {
  ProjectHost* project = this->project();
  if (!project) return;
  if (files::TVrFileManager* files = m_ctx.services.files()) files->DeleteWorkFiles();
  if (components()) components()->begin_frame();
  project->run_tick();
  if (m_ctx.clock.TerminateFlag.load()) return;
  if (components()) components()->update_frame();
  m_ctx.clock.FrameCount.store(m_ctx.clock.FrameCount.load() + 1);
  if (project->perform_pending_save_load()) return;
  m_draw_counter = (m_draw_counter + 1) % std::max(1, m_ctx.clock.FpsDivider.load());
  if (m_draw_counter != 0) return;
  if (components()) components()->draw();
  if (ScreenHost* s = screen()) s->present();
  if (media()) media()->frame_shown();
}

void TFormView::tick_wrapper() {
  if (m_closing || m_ctx.clock.SwitchingScreen.load()) return;
  try {
    FrameTick();
  } catch (const core::Error& e) {
    show_error(e.message(), false);
  } catch (const platform::PlatformError& e) {
    show_error(platform::codepage::from_utf8_lossy(e.what()), false);
  }
  const std::uint32_t now = m_ctx.platform.clock().ticks_ms();
  if (m_wrapper_ran) m_rate_accumulator += static_cast<std::int32_t>(now - m_last_wrapper_ms);
  m_last_wrapper_ms = now;
  m_wrapper_ran = true;
  if (m_rate_accumulator >= 2000) {
    if (ScreenHost* s = screen()) {
      s->set_display_rate(static_cast<double>(s->frame_count()) * 2000.0 / static_cast<double>(m_rate_accumulator));
      s->reset_frame_count();
    }
    m_rate_accumulator = 0;
  }
  ++m_ticks_run;
  // On a virtual clock the frame loop counts frames itself (a frame whose
  // tick did not run still has its number).
  if (!m_ctx.platform.virtual_clock()) {
    take_screenshots(m_ticks_run - 1);
    if (m_ctx.options.max_ticks && m_ticks_run >= *m_ctx.options.max_ticks) request_close();
  }
}

bool TFormView::full_screen_select(int mode) {
  ScreenHost* s = screen();
  s->select_mode(mode);
  return s->current_mode() == mode;
}

void TFormView::SetFullScreen(bool on) {
  auto& trace = m_ctx.step_trace;
  trace("SetFullScreen");
  FlagGuard switching(m_ctx.clock.SwitchingScreen);
  if (on == m_full_screen) return;
  bool midi_paused = false;
  if (media() && media()->midi_device_open()) {
    media()->pause_midi_and_close();
    midi_paused = true;
  }
  ScreenHost* s = screen();
  if (on) {
    trace("SetFullScreen.Full");
    if (!s || s->preferred_mode() < 0) {
      // Nothing changes; the music that was paused for the switch plays on.
      if (midi_paused) media()->reopen_midi_and_resume();
      return;
    }
    trace("SetFullScreen.Full.Bases.FreeDX");
    if (components()) components()->free_surfaces();
    trace("SetFullScreen.Full.MediaSuspend");
    media()->suspend_video();
    show_toolbar(false);
    trace("SetFullScreen.Full.ScreenMan.FreeDX");
    s->release();
    trace("SetFullScreen.Full.StoreWindow");
    m_stored_placement = m_window->placement();
    m_window->set_bordered(false);
    if (m_ctx.platform.can_place_windows()) m_window->set_position({0, 0});
    m_window->set_client_size({m_screen_width, m_screen_height});
    trace("SetFullScreen.Full.SetScreenManIndex");
    if (full_screen_select(s->preferred_mode())) {
      m_full_screen = true;
    } else {
      trace("SetFullScreen.Full.SetScreenManIndexFail");
      return_to_window();
    }
  } else {
    trace("SetFullScreen.Normal");
    trace("SetFullScreen.Normal.Bases.FreeDX");
    if (components()) components()->free_surfaces();
    trace("SetFullScreen.Normal.MediaSuspend");
    if (media()) media()->suspend_video();
    show_toolbar(true);
    trace("SetFullScreen.Normal.ScreenMan.FreeDX");
    if (s) s->release();
    trace("SetFullScreen.Normal.RestoreWindow");
    m_window->set_placement(m_stored_placement);
    m_window->set_bordered(true);
    m_window->set_client_size({m_screen_width, m_screen_height + dock_height()});
    if (s) s->select_mode(-1);
    // Leaving the system's full screen may size the window its own way.
    m_window->set_placement(m_stored_placement);
    m_window->set_bordered(true);
    m_full_screen = false;
  }
  trace("SetFullScreen.SetBounds");
  place_panel();
  if (midi_paused) media()->reopen_midi_and_resume();
  trace("SetFullScreen.Bases.Reload");
  if (components()) components()->reload_surfaces();
  trace("SetFullScreen.MediaResume");
  if (media()) media()->resume_video();
  m_window->fill({0, 0, m_window->client_size().width, m_window->client_size().height}, 0x000000);
  if (components()) components()->invalidate_all();
  draw_toolbar(true);
  m_window->present({});
  log_window_size();
}

void TFormView::log_window_size() {
  const platform::Size view = m_window->view_size(), real = m_window->drawable_size();
  const platform::Rect target = m_window->picture_transform().target;
  core::logf(core::Channel::App, core::Level::Info,
             "%s: the window is %dx%d points (%dx%d pixels), the picture %dx%d at %d,%d",
             {m_full_screen ? "full screen" : "window", view.width, view.height, real.width, real.height,
              target.width(), target.height(), target.left, target.top});
}

void TFormView::return_to_window() {
  m_window->set_placement(m_stored_placement);
  m_window->set_bordered(true);
  m_window->set_client_size({m_screen_width, m_screen_height + dock_height()});
  show_toolbar(true);
  m_full_screen = false;
}

void TFormView::ReselectFullScreen() {
  ScreenHost* s = screen();
  if (!m_full_screen || !s || s->current_mode() == s->preferred_mode()) return;
  auto& trace = m_ctx.step_trace;
  trace("ReselectFullScreen");
  FlagGuard switching(m_ctx.clock.SwitchingScreen);
  if (components()) components()->free_surfaces();
  if (media()) media()->suspend_video();
  if (!full_screen_select(s->preferred_mode())) {
    trace("ReselectFullScreen.Fail");
    s->select_mode(-1);
    return_to_window();
  }
  reload_after_switch();
}

void TFormView::reload_after_switch() {
  place_panel();
  if (components()) components()->reload_surfaces();
  if (media()) media()->resume_video();
  m_window->fill({0, 0, m_window->client_size().width, m_window->client_size().height}, 0x000000);
  if (components()) components()->invalidate_all();
  draw_toolbar(true);
  m_window->present({});
}

void TFormView::DisplayChanged() {
  if (!m_full_screen || !m_window) return;
  auto& trace = m_ctx.step_trace;
  trace("FullScreen.DisplayChange");
  FlagGuard switching(m_ctx.clock.SwitchingScreen);
  if (components()) components()->free_surfaces();
  if (media()) media()->suspend_video();
  // The covering window goes over the display at its new size; where the
  // display refuses, back to the window as a failed switch.
  const int mode = m_window->fullscreen_mode();
  if (mode < 0 || m_window->set_fullscreen(mode) != mode) {
    trace("FullScreen.DisplayChange.Fail");
    if (ScreenHost* s = screen()) s->select_mode(-1);
    return_to_window();
  }
  reload_after_switch();
  log_window_size();
}

void TFormView::draw_toolbar(bool force) {
  if (!m_toolbar || !m_toolbar_visible || !m_window) return;
  if (!force && !m_toolbar->dirty()) return;
  // The strip spans the window's real width, at the desktop's scale.
  const int width = m_window->chrome_width();
  const platform::Canvas& canvas = m_toolbar->draw(width);
  const platform::PixelView strip = canvas.view();
  m_window->set_chrome(&strip);
  platform::Rect area{0, 0, width, dock_height()};
  m_window->present(std::span<const platform::Rect>(&area, 1));
}

void TFormView::show_toolbar(bool on) {
  if (on == m_toolbar_visible) return;
  m_toolbar_visible = on;
  if (on) {
    draw_toolbar(true);
  } else if (m_window) {
    // What the bar covered shows again; the next frame composes it anew.
    m_window->set_chrome(nullptr);
    platform::Rect area{0, 0, m_window->client_size().width, dock_height()};
    m_window->present(std::span<const platform::Rect>(&area, 1));
    if (components()) components()->invalidate_all();
  }
}

void TFormView::present_all() {
  if (m_window) m_window->present({});
}

void TFormView::show_error(const std::string& sjis_message, bool fatal) {
  core::log(core::Channel::App, core::Level::Error, sjis_message);
  platform::MessageBoxSpec box;
  box.caption = fatal ? core::sjis("警告") : (project() ? project()->title() : std::string("NovaPlayer"));
  box.text = sjis_message;
  box.icon = fatal ? platform::MessageIcon::Warning : platform::MessageIcon::Error;
  box.buttons = platform::MessageButtons::Ok;
  box.owner = m_window.get();
  m_ctx.platform.dialogs().message_box(box);
}

void TFormView::exit_button() {
  const bool saved = m_ctx.clock.TerminateFlag.load();
  m_ctx.clock.TerminateFlag.store(true);
  const std::string title = project() ? project()->title() : std::string();
  platform::MessageBoxSpec box;
  box.caption = title;
  box.text = m_ctx.platform.system().language_is_japanese()
                 ? core::format(core::sjis("「%s」を終了しますか？"), {title})
                 : core::format("Do you want to exit %s?", {title});
  box.icon = platform::MessageIcon::Question;
  box.buttons = platform::MessageButtons::YesNo;
  box.owner = m_window.get();
  if (m_ctx.platform.dialogs().message_box(box) == platform::MessageAnswer::Yes) {
    request_close();
  } else {
    m_ctx.clock.TerminateFlag.store(saved);
  }
}

void TFormView::ApplicationEventsDeactivate() {
  if (m_window && m_window->mouse_captured()) m_window->set_mouse_capture(false);
  m_panel_pressed = false;
  if (project() && !project()->pause_when_inactive()) return;
  if (m_loop) m_loop->suspend();
  if (components()) {
    m_ctx.clock.ActiveFlag.store(false);
    if (media()) media()->pause_all();
    components()->release_input();
  }
}

void TFormView::ApplicationEventsActivate() {
  const bool paused = !project() || project()->pause_when_inactive();
  if (paused && m_loop) m_loop->resume();
  if (components()) {
    m_ctx.clock.ActiveFlag.store(true);
    m_ctx.clock.LastTickMs.store(m_ctx.platform.clock().ticks_ms());
    if (paused && media()) media()->resume_all();
  }
}

void TFormView::route_mouse(const platform::Event& e) {
  const platform::Point p{e.x, e.y};
  // The window says whether the pointer is on the strip: a position on the
  // black bars above the picture lies above the panel as well.
  const bool on_toolbar = m_toolbar_visible && e.on_chrome;
  const bool in_panel = m_panel.contains(p) && !on_toolbar;
  const int px = e.x - m_panel.left, py = e.y - m_panel.top;
  switch (e.type) {
    case platform::EventType::MouseMove: {
      if (m_toolbar_visible) {
        m_toolbar->handle(e);
        draw_toolbar(false);
      }
      // The pointer over the shown bar belongs to the bar, so the bar stays;
      // the bar shows the arrow.
      if (on_toolbar) {
        m_window->set_cursor(nullptr);
        if (components()) components()->pointer_left_panel();
        break;
      }
      if (in_panel || m_panel_pressed) {
        if (components()) components()->mouse_move(px, py);
      }
      // In full screen the bar shows while the pointer is on the panel's
      // top row, or on the black bar above it where the picture does not
      // reach the top of the display.
      if (m_full_screen) show_toolbar(py <= 0 && px >= 0 && px < m_panel.width());
      break;
    }
    case platform::EventType::MouseDown:
      if (on_toolbar) {
        m_toolbar->handle(e);
        draw_toolbar(false);
      } else if (in_panel && m_ctx.clock.ActiveFlag.load()) {
        const bool left = e.button == platform::MouseButton::Left, right = e.button == platform::MouseButton::Right;
        m_panel_pressed = true;
        // The release reaches the pressed component even outside the window.
        m_window->set_mouse_capture(true);
        if (components()) {
          components()->set_buttons_down(left, right);
          components()->press_current(left, right);
        }
      }
      break;
    case platform::EventType::MouseUp: {
      int clicked = -1;
      if (m_toolbar_visible) {
        clicked = m_toolbar->handle(e);
        draw_toolbar(false);
      }
      if (in_panel || m_panel_pressed) {
        m_panel_pressed = false;
        m_window->set_mouse_capture(false);
        if (components()) components()->set_buttons_down(false, false);
      }
      if (clicked == 0)
        exit_button();
      else if (clicked == 1)
        SetFullScreen(!m_full_screen);
      break;
    }
    case platform::EventType::MouseWheel:
      if (components() && e.wheel != 0) components()->wheel(e.wheel < 0);
      break;
    default: break;
  }
}

void TFormView::handle_event(const platform::Event& e) {
  using platform::EventType;
  if (e.window != 0 && m_window && e.window != m_window->id()) return;
  switch (e.type) {
    case EventType::Close:
      // The window's own close box closes without asking, as the system's
      // window does; only the tool bar's exit button asks.
      request_close();
      break;
    case EventType::Expose:
      // Also after a resize: the strip spans the new width.
      draw_toolbar(true);
      present_all();
      break;
    case EventType::Activate: ApplicationEventsActivate(); break;
    case EventType::DisplayChange: DisplayChanged(); break;
    case EventType::Deactivate: ApplicationEventsDeactivate(); break;
    case EventType::MouseMove:
    case EventType::MouseDown:
    case EventType::MouseUp:
    case EventType::MouseWheel: route_mouse(e); break;
    case EventType::KeyDown:
      // The player's own keys come first; their repeats are theirs too.
      if (bound(m_ctx.player.full_screen_keys, e)) {
        if (!e.repeat) SetFullScreen(!m_full_screen);
        break;
      }
      if (bound(m_ctx.player.screenshot_keys, e)) {
        if (!e.repeat) save_screenshot();
        break;
      }
      // Codes of 256 and more have no key state; auto-repeats are the key
      // handling's own business (it repeats by its own timing).
      if (components() && m_ctx.clock.ActiveFlag.load() && !e.repeat && e.key >= 0 && e.key < 256) {
        components()->key_down(e.key);
      }
      break;
    case EventType::KeyUp:
      if (components() && e.key >= 0 && e.key < 256) components()->key_up(e.key);
      break;
    default: break;
  }
}

void TFormView::take_screenshots(std::int64_t tick) {
  for (const Screenshot& s : m_ctx.options.screenshots) {
    if (s.tick != tick || !m_window) continue;
    if (!platform::write_png(s.file, m_window->back_buffer(), m_panel)) {
      core::logf(core::Channel::App, core::Level::Error, "cannot write the screenshot %s",
                 {platform::codepage::from_utf8_lossy(s.file.string())});
    }
  }
  for (const Screenshot& s : m_ctx.options.window_shots) {
    if (s.tick != tick || !m_window) continue;
    const platform::PixelView shown = m_window->shown_pixels();
    if (!platform::write_png(s.file, shown, {0, 0, shown.width, shown.height})) {
      core::logf(core::Channel::App, core::Level::Error, "cannot write the window shot %s",
                 {platform::codepage::from_utf8_lossy(s.file.string())});
    }
  }
}

void TFormView::save_screenshot() {
  if (!m_window) return;
  const platform::DateTime t = m_ctx.platform.clock().local_time();
  const std::string title = project() ? platform::codepage::to_utf8(project()->title()) : std::string("NovaPlayer");
  const std::filesystem::path path = screenshot_path(m_ctx.platform.system().pictures_folder(), title, t.year, t.month,
                                                     t.day, t.hour, t.minute, t.second);
  std::error_code ec;
  std::filesystem::create_directories(path.parent_path(), ec);
  // The title's own pixels, as it composed them, not the scaled window.
  if (platform::write_png(path, m_window->back_buffer(), m_panel)) {
    core::logf(core::Channel::App, core::Level::Info, "screenshot written to %s",
               {platform::codepage::from_utf8_lossy(path.string())});
  } else {
    core::logf(core::Channel::App, core::Level::Error, "cannot write the screenshot %s",
               {platform::codepage::from_utf8_lossy(path.string())});
  }
}

// The main window's part in the platform's frame loop.
class TFormView::Frames final : public platform::FrameHooks {
 public:
  explicit Frames(TFormView& view) : m_view(view) {}
  bool finished() const override { return m_view.m_close_requested; }
  void handle_event(const platform::Event& e) override { m_view.handle_event(e); }
  void begin_real_time() override {
    if (m_view.m_loop) m_view.m_loop->start();
  }
  void virtual_frame(std::int64_t frame, std::uint32_t now_ms) override {
    if (m_view.m_loop && !m_view.m_loop->suspended()) m_view.m_loop->step(now_ms);
    m_view.take_screenshots(frame);
  }

 private:
  TFormView& m_view;
};

void TFormView::run() {
  if (m_closed || !m_created) return;
  if (m_loop) m_loop->reset_previous(m_ctx.platform.clock().ticks_ms());
  Frames frames(*this);
  platform::FrameLoopOptions options;
  options.max_frames = m_ctx.options.max_ticks;
  m_ctx.platform.run_frames(frames, options);
  FormClose();
}

void TFormView::FormClose() {
  if (m_closed || !m_created) return;
  m_closed = true;
  m_closing = true;
  auto& trace = m_ctx.step_trace;
  m_ctx.clock.TerminateFlag.store(true);
  m_loop.reset();
  TitleServices& services = m_ctx.services;
  trace("Project.Free");
  services.free_project();
  trace("SysFuncMan.Free");
  services.free_functions();
  trace("ParamMan.Free");
  m_shell_variables = nullptr;
  services.free_variables();
  trace("NovaFinalize");
  // The component system frees the picture cache at its own step; without
  // one, it goes here.
  services.free_components();
  services.free_pictures();
  trace("MediaFinal");
  services.free_media();
  trace("FormClose");
  m_inhibitor.reset();
  if (m_window) m_window->hide();
}

}  // namespace nova::app
