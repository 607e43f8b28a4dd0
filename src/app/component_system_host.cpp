#include "app/component_system_host.h"

#include <algorithm>
#include <utility>

#include "app/pointer_scale.h"
#include "components/inline_picture_cache.h"
#include "core/error.h"
#include "core/format.h"
#include "core/log.h"
#include "core/sjis.h"
#include "expr/nova_parser.h"
#include "graphics/screen_manager.h"

namespace nova::app {

ComponentSystemHost::ComponentSystemHost(PlayerContext& ctx) : m_ctx(ctx) {
  components::register_product_classes(m_factory);
  // The picture cache, which the title services own, goes at the system's
  // own step for it, right after the transition's surfaces.
  components::ComponentSystemServices services{
      {m_factory}, [&ctx](std::string_view step) { ctx.step_trace(step); }, [&ctx] { ctx.services.free_pictures(); }};
  components::PointerShapes& shapes = *this;
  components::MediaSwitch& media = *this;
  components::PictureCacheLink& pictures = *this;
  components::ScriptValues& values = *this;
  services.bases.pointer_shapes = &shapes;
  services.bases.media = &media;
  services.bases.picture_cache = &pictures;
  services.bases.script_values = &values;
  services.bases.clock = &ctx.clock;
  if (TitlePictures* cache = ctx.services.pictures()) services.bases.pictures = &cache->cache();
  m_messages.glyphs = ctx.services.glyphs();
  if (VariableStore* variables = ctx.services.variables()) {
    expr::TParamCollection& store = variables->store;
    m_messages.text_delay = [&store] { return store.text_delay(); };
    if (SystemFunctions* functions = ctx.services.functions()) {
      m_text_variables = std::make_unique<text::ExpressionVariables>(store, functions->funcs);
      m_messages.variables = m_text_variables.get();
    }
  }
  if (TitlePictures* cache = ctx.services.pictures()) {
    m_inline_pictures = std::make_unique<components::InlinePictureCache>(cache->cache());
    m_messages.pictures = m_inline_pictures.get();
  }
  services.bases.messages = &m_messages;
  m_system = std::make_unique<components::TComponentSystem>(std::move(services));
  if (VariableStore* variables = ctx.services.variables()) {
    PointerWarp& warp = *this;
    auto input = std::make_unique<InputVariables>(list(), variables->store, warp);
    // Takes the component placeholder's rows.
    variables->router.attach("input", *input, InputVariables::kIndexes);
    m_input = input.get();
    variables->providers.push_back(std::move(input));
  }
}

ComponentSystemHost::~ComponentSystemHost() {
  if (m_input) {
    if (VariableStore* variables = m_ctx.services.variables()) variables->router.detach(*m_input);
  }
  list().set_transition_factory(nullptr);
  m_system->Finalize();
  // The picture cache the source borrowed went at the system's last step.
  m_messages.pictures = nullptr;
  m_inline_pictures.reset();
}

// --- Picture cache and script values --------------------------------------------------

void ComponentSystemHost::SetImageQuality(bool quality) { m_ctx.services.set_picture_quality(quality); }

void ComponentSystemHost::ReleaseSurfaces() {
  if (TitlePictures* cache = m_ctx.services.pictures()) cache->cache().ReleaseSurfaces();
}

void ComponentSystemHost::RecreateSurfaces(int bit_count) {
  if (TitlePictures* cache = m_ctx.services.pictures()) cache->cache().RecreateSurfaces(bit_count);
}

std::optional<std::int32_t> ComponentSystemHost::run_int(expr::TNovaParser& expression) {
  VariableStore* variables = m_ctx.services.variables();
  SystemFunctions* functions = m_ctx.services.functions();
  if (!variables || !functions || !expression.execute(variables->store, functions->funcs)) return std::nullopt;
  const expr::TCustomParam* result = expression.result();
  if (!result) return std::nullopt;
  return result->as_int();
}

void ComponentSystemHost::set_selection(std::string_view text, std::int32_t index) {
  if (VariableStore* variables = m_ctx.services.variables()) {
    variables->store.set_selected_string(std::string(text));
    variables->store.set_selected_index(index);
  }
}

// --- Start ----------------------------------------------------------------------------------

void ComponentSystemHost::init_colors() {
  const int bits = m_screen && m_screen->GetScreenSurface() ? m_screen->GetScreenBitCount() : 32;
  m_greys = graphics::make_wipe_grey_tables(bits);
  const graphics::PictureFiles& files = *this;
  graphics::WipeServices wipes;
  wipes.files = &files;
  wipes.greys = &m_greys;
  if (ProjectHost* project = m_ctx.services.project()) wipes.image_key = project->image_key();
  if (SystemFunctions* functions = m_ctx.services.functions()) wipes.random = &functions->random;
  list().set_transition_factory(nullptr);
  m_transitions = std::make_unique<graphics::WipeTransitionFactory>(wipes);
  list().set_transition_factory(m_transitions.get());
  m_system->SetBitCount(bits);
}

void ComponentSystemHost::set_screen_size(int width, int height) {
  list().SetScreenSize(width, height);
  follow_screen_surface();
}

void ComponentSystemHost::set_screen(graphics::TScreenManager* screen) {
  m_screen = screen;
  follow_screen_surface();
}

void ComponentSystemHost::follow_screen_surface() {
  graphics::TCustomDIBX* surface = m_screen ? m_screen->GetScreenSurface() : nullptr;
  // Released (a display-mode switch under way): nothing to compose into
  // until the surfaces are made again.
  if (m_screen && !surface) return;
  list().SetDisplaySurface(surface);
}

// --- The frame ------------------------------------------------------------------------------

void ComponentSystemHost::begin_frame() {
  const int elapsed = m_ctx.clock.FrameDeltaMs.load();
  list().FrameBegin(elapsed);
  step_cursor(elapsed);
}

void ComponentSystemHost::update_frame() { list().UpdateAll(); }

void ComponentSystemHost::draw() {
  follow_screen_surface();
  if (list().DisplaySurface()) list().Compose();
}

void ComponentSystemHost::free_surfaces() { list().ReleaseSurfaces(); }

void ComponentSystemHost::reload_surfaces() {
  graphics::TCustomDIBX* surface = m_screen ? m_screen->GetScreenSurface() : nullptr;
  // Given first, so that the list makes no surface of its own meanwhile.
  list().SetDisplaySurface(surface);
  list().RecreateSurfaces(surface ? surface->GetBitCount() : list().BitCount());
  m_system->SetBitCount(list().BitCount());
}

void ComponentSystemHost::release_input() {
  list().ReleaseInput();
  if (m_window) m_window->set_mouse_capture(false);
}

void ComponentSystemHost::invalidate_all() {
  list().base(0).InvalidateAll();
  list().base(1).InvalidateAll();
}

// --- Input ----------------------------------------------------------------------------------

void ComponentSystemHost::set_buttons_down(bool left, bool right) {
  for (int i = 0; i < 2; ++i) {
    list().base(i).left_held = left;
    list().base(i).right_held = right;
  }
}

void ComponentSystemHost::press_current(bool left, bool right) {
  components::TNovaBase& b = list().front_base();
  b.left_pressed = left;
  b.right_pressed = right;
}

void ComponentSystemHost::mouse_move(int x, int y) {
  const platform::Point p = panel_to_base({x, y}, list().DisplayScale());
  list().base(0).SetPointer(p.x, p.y);
  list().base(1).SetPointer(p.x, p.y);
}

void ComponentSystemHost::wheel(bool down) {
  components::TNovaBase& b = list().front_base();
  (down ? b.wheel_down : b.wheel_up) = true;
}

void ComponentSystemHost::key_down(int key) {
  list().SetKeyState(key, true);
  list().RecordKeyPress(key);
}

void ComponentSystemHost::key_up(int key) { list().SetKeyState(key, false); }

void ComponentSystemHost::set_window(platform::Window* window, platform::Rect panel) {
  m_window = window;
  m_panel = panel;
}

platform::Point ComponentSystemHost::pointer_in_panel() const {
  if (!m_window) return {};
  const platform::Point p = m_window->cursor_position();
  return {p.x - m_panel.left, p.y - m_panel.top};
}

void ComponentSystemHost::warp(platform::Point panel) {
  if (m_window) m_window->set_cursor_position({panel.x + m_panel.left, panel.y + m_panel.top});
}

// --- Links ----------------------------------------------------------------------------------

void ComponentSystemHost::SetMediaEnabled(bool enabled) {
  if (MediaHost* media = m_ctx.services.media()) media->set_enabled(enabled);
}

void ComponentSystemHost::ShowCursor(const std::string& file) {
  std::string wanted = file;
  // Without a cursor of its own the title's default cursor (@Cursor).
  if (wanted.empty() && m_input) wanted = m_input->cursor();
  if (m_cursor_set && wanted == m_shown_cursor) return;
  m_shown_cursor = wanted;
  m_cursor_set = true;
  m_cursor_frame = 0;
  m_cursor_time = 0;
  show_cursor_frame();
}

ComponentSystemHost::LoadedCursor& ComponentSystemHost::load_cursor(const std::string& name) {
  for (auto it = m_cursors.begin(); it != m_cursors.end(); ++it) {
    if (it->name == name) {
      if (it != m_cursors.begin()) {
        LoadedCursor moved = std::move(*it);
        m_cursors.erase(it);
        m_cursors.push_front(std::move(moved));
      }
      return m_cursors.front();
    }
  }
  LoadedCursor loaded;
  loaded.name = name;
  try {
    files::TVrFileManager* files = m_ctx.services.files();
    if (!files) throw core::Error("no file manager");
    const auto stream = files->ReadFile(name);
    for (const graphics::CursorFrame& f : graphics::read_any_cursor(stream->bytes())) {
      platform::CursorImage image{f.width, f.height, f.hotspot, f.argb};
      std::unique_ptr<platform::Cursor> c = m_ctx.platform.create_cursor(image);
      if (!c) throw core::Error("the platform refused the cursor picture");
      loaded.frames.push_back(std::move(c));
      loaded.display_ms.push_back(f.display_ms);
    }
  } catch (const core::Error& e) {
    loaded.frames.clear();
    loaded.display_ms.clear();
    // Titles hide the pointer with a file that does not load: so do we,
    // and say why.
    core::logf(core::Channel::App, core::Level::Warning, "cursor %s cannot be loaded (%s): the pointer is hidden",
               {name, e.message()});
  }
  m_cursors.push_front(std::move(loaded));
  if (m_cursors.size() > kCachedCursors) m_cursors.pop_back();
  return m_cursors.front();
}

void ComponentSystemHost::show_cursor_frame() {
  if (!m_window) return;
  if (m_shown_cursor.empty()) {
    m_window->set_cursor(nullptr);
    return;
  }
  const LoadedCursor& c = load_cursor(m_shown_cursor);
  if (c.frames.empty()) {
    m_window->hide_cursor();
    return;
  }
  m_window->set_cursor(c.frames[m_cursor_frame % c.frames.size()].get());
}

void ComponentSystemHost::step_cursor(int elapsed_ms) {
  if (m_shown_cursor.empty() || m_cursors.empty() || m_cursors.front().name != m_shown_cursor) return;
  const LoadedCursor& c = m_cursors.front();
  if (c.frames.size() < 2) return;
  m_cursor_time += std::max(0, elapsed_ms);
  const std::size_t before = m_cursor_frame;
  // Bounded: every display time is at least 1 ms, and a frame's elapsed
  // time is under 300 ms.
  while (m_cursor_time >= c.display_ms[m_cursor_frame % c.frames.size()]) {
    m_cursor_time -= c.display_ms[m_cursor_frame % c.frames.size()];
    m_cursor_frame = (m_cursor_frame + 1) % c.frames.size();
  }
  if (m_cursor_frame != before && m_window) m_window->set_cursor(c.frames[m_cursor_frame].get());
}

bool ComponentSystemHost::exists(const std::string& name) const {
  files::TVrFileManager* files = m_ctx.services.files();
  return files && files->Exists(name);
}

std::vector<std::uint8_t> ComponentSystemHost::read_all(const std::string& name) const {
  files::TVrFileManager* files = m_ctx.services.files();
  if (!files) throw core::Error(core::format(core::sjis("%s:ファイルがありません"), {name}));
  const auto stream = files->ReadFile(name);
  const auto bytes = stream->bytes();
  return {bytes.begin(), bytes.end()};
}

}  // namespace nova::app
