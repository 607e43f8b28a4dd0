// The player's component system behind the main window's ComponentHost:
// the product's component factory, the component system with its main
// base list, the transitions made by the wipes, the input variables, the
// cursor step and the links to the media managers.
//
// Made at the component system's start-up step and freed at its
// finalisation; it borrows the player context (the clock, the title
// services, the step trace), the window given by set_window and the screen
// manager given by set_screen, which must outlive it or be taken back.
// The input variables it registers are owned by the variable store, which
// goes before it.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "app/input_variables.h"
#include "app/player_context.h"
#include "app/title_host.h"
#include "components/component_system.h"
#include "components/mes_services.h"
#include "components/script_values.h"
#include "graphics/cursor_files.h"
#include "graphics/picture_files.h"
#include "graphics/wipe_transition.h"
#include "text/text_variables.h"

namespace nova::app {

class ComponentSystemHost final : public ComponentHost,
                                  private components::PointerShapes,
                                  private components::MediaSwitch,
                                  private components::PictureCacheLink,
                                  private components::ScriptValues,
                                  private PointerWarp,
                                  private graphics::PictureFiles {
 public:
  explicit ComponentSystemHost(PlayerContext& ctx);
  ~ComponentSystemHost() override;

  components::TComponentSystem& system() { return *m_system; }
  components::TComponentFactory& factory() { return m_factory; }
  // The input variables (registered with the router when there is one).
  InputVariables* input_variables() const { return m_input; }

  // ComponentHost
  void init_colors() override;
  void set_screen_size(int width, int height) override;
  void begin_frame() override;
  void update_frame() override;
  void draw() override;
  void free_surfaces() override;
  void reload_surfaces() override;
  void release_input() override;
  void invalidate_all() override;
  void set_buttons_down(bool left, bool right) override;
  void press_current(bool left, bool right) override;
  void mouse_move(int x, int y) override;
  void wheel(bool down) override;
  void key_down(int key) override;
  void key_up(int key) override;
  void set_window(platform::Window* window, platform::Rect panel) override;
  void set_screen(graphics::TScreenManager* screen) override;
  void pointer_left_panel() override { m_cursor_set = false; }
  components::EventQueue* events() override { return &list().events(); }
  const components::ComponentDirectory* directory() override { return &list(); }
  components::TNovaBaseList* base_list() override { return &list(); }
  data::TNovaHistoryFormatManager* history() override { return &m_system->history(); }
  void set_text_source(data::TextCommandSource* source) override { m_messages.texts = source; }
  graphics::TPresentSource* present_source() override { return &list(); }

 private:
  components::TNovaBaseList& list() const { return m_system->bases(); }
  // The screen manager's surface, given to the list when it changed.
  void follow_screen_surface();

  // PointerShapes: the cursor step.
  void ShowCursor(const std::string& file) override;
  // MediaSwitch
  void SetMediaEnabled(bool enabled) override;
  // PictureCacheLink: the title services' picture cache.
  void SetImageQuality(bool quality) override;
  void ReleaseSurfaces() override;
  void RecreateSurfaces(int bit_count) override;
  // ScriptValues: the title's variable store and builtin functions.
  std::optional<std::int32_t> run_int(expr::TNovaParser& expression) override;
  void set_selection(std::string_view text, std::int32_t index) override;
  // PointerWarp
  platform::Point pointer_in_panel() const override;
  void warp(platform::Point panel) override;
  // PictureFiles: mask pictures of the transitions, through the file
  // manager.
  bool exists(const std::string& name) const override;
  std::vector<std::uint8_t> read_all(const std::string& name) const override;

  PlayerContext& m_ctx;
  components::TComponentFactory m_factory;
  graphics::WipeGreyTables m_greys;
  std::unique_ptr<graphics::WipeTransitionFactory> m_transitions;
  // What the message boxes are given; the texts of text commands come
  // with the project (set_text_source). Declared before the system: the
  // engines of its boxes and history formats hold inline pictures, which
  // go at the system's own steps (history formats, then bases) before its
  // step for the picture cache; the source itself is dropped right after
  // that step, and these members outlive the system in any case.
  components::MesServices m_messages;
  std::unique_ptr<text::ExpressionVariables> m_text_variables;
  std::unique_ptr<text::InlinePictureSource> m_inline_pictures;
  std::unique_ptr<components::TComponentSystem> m_system;
  InputVariables* m_input = nullptr;
  platform::Window* m_window = nullptr;
  platform::Rect m_panel;
  graphics::TScreenManager* m_screen = nullptr;
  // The cursor step: cursors loaded by name (the last few), the one shown
  // and the position of an animated one.
  struct LoadedCursor {
    std::string name;
    // Empty when the file could not be loaded: the pointer is hidden.
    std::vector<std::unique_ptr<platform::Cursor>> frames;
    std::vector<int> display_ms;
  };
  static constexpr std::size_t kCachedCursors = 8;
  LoadedCursor& load_cursor(const std::string& name);
  void show_cursor_frame();
  void step_cursor(int elapsed_ms);
  std::deque<LoadedCursor> m_cursors;
  // The file shown ("" the arrow) and whether anything was shown yet.
  std::string m_shown_cursor;
  bool m_cursor_set = false;
  std::size_t m_cursor_frame = 0;
  int m_cursor_time = 0;
};

}  // namespace nova::app
