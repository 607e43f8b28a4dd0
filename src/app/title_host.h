// What the main window needs of the title's subsystems, and the factory that
// makes them at their steps of the title start.
//
// The main window is written against these interfaces so that it can start,
// tick and close whatever exists: without a project the ticks do nothing,
// without a component system nothing is composed, without a screen there is
// no full screen. The factory in title_factory.cpp assembles the real
// subsystems; tests give their own doubles.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "components/events.h"
#include "platform/types.h"
#include "platform/window.h"

namespace nova::platform {
class Window;
}
namespace nova::graphics {
class TPresentSource;
class TScreenManager;
}  // namespace nova::graphics
namespace nova::components {
class TNovaBaseList;
}
namespace nova::data {
class TNovaHistoryFormatManager;
class TextCommandSource;
}

namespace nova::app {

struct PlayerContext;

// The project with its interpreter.
class ProjectHost {
 public:
  virtual ~ProjectHost() = default;
  virtual std::string title() const = 0;  // Shift-JIS
  virtual int screen_width() const = 0;
  virtual int screen_height() const = 0;
  // The preferred full-screen size (the project's two display options).
  virtual int display_option_a() const = 0;
  virtual int display_option_b() const = 0;
  // The project's registry key (Shift-JIS; empty: none), under which the
  // registry substitute keeps the title's values ("CDDrive").
  virtual std::string registry_key() const { return {}; }
  virtual bool pause_when_inactive() const = 0;
  // The key of the title's layered pictures (0 for none).
  virtual std::int32_t image_key() const { return 0; }
  // One tick of the interpreter.
  virtual void run_tick() = 0;
  // A pending game load or save; true when a load was performed.
  virtual bool perform_pending_save_load() = 0;
};

// The component system: the base list with its two screen bases.
class ComponentHost {
 public:
  virtual ~ComponentHost() = default;
  virtual void init_colors() = 0;
  virtual void set_screen_size(int width, int height) = 0;
  virtual void begin_frame() = 0;
  virtual void update_frame() = 0;
  virtual void draw() = 0;
  virtual void free_surfaces() = 0;
  virtual void reload_surfaces() = 0;
  virtual void release_input() = 0;
  // Marks the whole screen for the next composition (after the tool bar
  // covered part of it).
  virtual void invalidate_all() = 0;
  // Input, in display-panel coordinates.
  virtual void set_buttons_down(bool left, bool right) = 0;  // both bases
  virtual void press_current(bool left, bool right) = 0;     // the current base's press flags
  virtual void mouse_move(int x, int y) = 0;                 // both bases
  virtual void wheel(bool down) = 0;                         // the current base
  virtual void key_down(int key) = 0;                        // key state and a recorded press
  virtual void key_up(int key) = 0;
  // The window and where the panel lies in its client area (after every
  // placement of the panel): pointer warps and shapes go there.
  virtual void set_window(platform::Window* window, platform::Rect panel) {
    (void)window;
    (void)panel;
  }
  // The pointer left the panel for the tool bar, which shows the arrow:
  // the panel's cursor is shown again when the pointer comes back.
  virtual void pointer_left_panel() {}
  // The screen manager whose surface the system composes into from the
  // media start-up on (nullptr: none).
  virtual void set_screen(graphics::TScreenManager* screen) { (void)screen; }

  // What the interpreter and the screen take from the component system
  // (null where this one has none).
  virtual components::EventQueue* events() { return nullptr; }
  virtual const components::ComponentDirectory* directory() { return nullptr; }
  virtual components::TNovaBaseList* base_list() { return nullptr; }
  virtual graphics::TPresentSource* present_source() { return nullptr; }
  // The message-history formats the component system owns.
  virtual data::TNovaHistoryFormatManager* history() { return nullptr; }
  // Where message boxes read the texts of text commands (the project's;
  // nullptr takes it back before the project goes).
  virtual void set_text_source(data::TextCommandSource* source) { (void)source; }
};

// The screen manager as the window drives it.
class ScreenHost {
 public:
  virtual ~ScreenHost() = default;
  virtual void present() = 0;
  // Every present that drew something counts a frame.
  virtual int frame_count() const = 0;
  virtual void reset_frame_count() = 0;
  virtual void set_display_rate(double rate) = 0;
  // The full-screen mode chosen (at start, or by @DisplayModeIndex); −1
  // when none is usable.
  virtual int preferred_mode() const = 0;
  virtual void set_preferred_mode(int index) { (void)index; }
  // The modes full screen can use.
  virtual int mode_count() const { return preferred_mode() >= 0 ? 1 : 0; }
  // Mode `index` of those (GetDisplayMode); nullopt outside 0 ... count - 1.
  virtual std::optional<platform::DisplayMode> mode(int index) const {
    (void)index;
    return std::nullopt;
  }
  // −1 window, 0.. a full-screen mode, −2 released.
  virtual int current_mode() const = 0;
  virtual void select_mode(int index) = 0;
  virtual void release() = 0;
  // Where the display panel now lies in the window's client area.
  virtual void set_panel_origin(platform::Point) {}
};

// The media managers (video, media player, Ogg, CD audio, MIDI) and the
// screen manager they create.
class MediaHost {
 public:
  virtual ~MediaHost() = default;
  virtual ScreenHost* screen() = 0;
  virtual void pause_all() = 0;
  virtual void resume_all() = 0;
  virtual void frame_shown() = 0;
  // The component system's media flag (@SoundON), to every manager.
  virtual void set_enabled(bool enabled) { (void)enabled; }
  virtual void suspend_video() = 0;
  virtual void resume_video() = 0;
  virtual bool midi_device_open() const = 0;
  virtual void pause_midi_and_close() = 0;
  virtual void reopen_midi_and_resume() = 0;
  // Frees the screen, video, media-player, Ogg, CD audio and MIDI managers
  // in this order and finalises the media library.
  virtual void finalize() = 0;
};

struct MediaStart {
  platform::Window* window = nullptr;
  platform::Rect panel;
  int screen_width = 0;
  int screen_height = 0;
  int display_option_a = 0;
  int display_option_b = 0;
  std::string registry_key;
};

// Makes the title's subsystems at their steps of the title start, each into
// its slot of the title services (ctx.services); a step this build has
// nothing for leaves its slot empty.
class TitleFactory {
 public:
  virtual ~TitleFactory() = default;
  // Makes the file manager and mounts the title's data (the base folder,
  // archives beside or inside the executable, or the command-line
  // arguments).
  virtual void mount_data(PlayerContext& ctx) = 0;
  virtual void create_variable_store(PlayerContext& ctx) = 0;
  virtual void create_system_functions(PlayerContext& ctx) = 0;
  virtual void create_component_system(PlayerContext& ctx) = 0;
  // May raise core::Error (shown in a warning box; the window closes).
  virtual void create_project(PlayerContext& ctx) = 0;
  virtual void create_media(PlayerContext& ctx, const MediaStart& start) = 0;
};

// The factory of this build: it makes every subsystem the build has.
std::unique_ptr<TitleFactory> create_title_factory();

}  // namespace nova::app
