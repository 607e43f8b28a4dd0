#include "platform/sdl/sdl_platform.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/codepage.h"
#include "platform/edit_control.h"
#include "platform/error.h"
#include "platform/framebuffer.h"
#include "platform/host/stream_mixer.h"
#include "platform/sdl/sdl_keys.h"
#include "platform/sdl/sdl_native.h"
#include "platform/synth_midi.h"
#include "platform/widgets.h"
#include "platform/window_surface.h"

namespace nova::platform {
namespace {

DateTime date_time_now(bool local) {
  auto now = std::chrono::system_clock::now();
  return date_time_from_epoch_ms(std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count(),
                                 local);
}

class SystemClock final : public Clock {
 public:
  std::uint32_t ticks_ms() const override {
    // SDL_GetTicks wraps at 49 days exactly like the system's timer.
    return SDL_GetTicks();
  }
  DateTime local_time() const override { return m_calendar ? fixed() : date_time_now(true); }
  DateTime utc_time() const override { return m_calendar ? fixed() : date_time_now(false); }
  void set_calendar(std::optional<DateTime> at_timer_zero) override { m_calendar = at_timer_zero; }

 private:
  DateTime fixed() const { return calendar_after(*m_calendar, static_cast<std::int64_t>(SDL_GetTicks64())); }
  std::optional<DateTime> m_calendar;
};

int bit_count_of(Uint32 format) {
  if (SDL_BYTESPERPIXEL(format) == 4 || SDL_BITSPERPIXEL(format) == 24) return 32;
  return static_cast<int>(SDL_BITSPERPIXEL(format));
}

DisplayMode to_mode(const SDL_DisplayMode& m) { return DisplayMode{m.w, m.h, bit_count_of(m.format), m.refresh_rate}; }

std::uint32_t modifiers_now() {
  SDL_Keymod m = SDL_GetModState();
  std::uint32_t out = 0;
  if (m & KMOD_SHIFT) out |= modifier::Shift;
  if (m & KMOD_CTRL) out |= modifier::Control;
  if (m & KMOD_ALT) out |= modifier::Alt;
  return out;
}

// ---------------------------------------------------------------------------

class SdlCursor final : public Cursor {
 public:
  explicit SdlCursor(SDL_Cursor* c) : m_cursor(c) {}
  ~SdlCursor() override { SDL_FreeCursor(m_cursor); }
  SDL_Cursor* get() const { return m_cursor; }

 private:
  SDL_Cursor* m_cursor;
};

class SdlInhibitor final : public ScreenSaverInhibitor {
 public:
  SdlInhibitor() { SDL_DisableScreenSaver(); }
  ~SdlInhibitor() override { SDL_EnableScreenSaver(); }
};

class SdlWindow;

// The platform's windows by SDL id, so that pointer events can be mapped
// through their window's transform.
struct SdlWindowRegistry {
  std::vector<std::pair<Uint32, SdlWindow*>> windows;
  SdlWindow* find(Uint32 id) const {
    for (const auto& [wid, w] : windows) {
      if (wid == id) return w;
    }
    return nullptr;
  }
};

class SdlWindow final : public SurfaceWindow {
 public:
  SdlWindow(const WindowSpec& spec, bool wayland, SdlWindowRegistry& registry)
      : SurfaceWindow(spec.client_size, 1, spec.scaled), m_wayland(wayland), m_registry(registry) {
    std::string title = codepage::to_utf8(spec.caption);
    Uint32 flags = spec.visible ? SDL_WINDOW_SHOWN : SDL_WINDOW_HIDDEN;
    if (spec.resizable) flags |= SDL_WINDOW_RESIZABLE;
    // The main window draws in real pixels on a high-density desktop; other
    // windows are left to the compositor's scaling.
    if (spec.scaled) flags |= SDL_WINDOW_ALLOW_HIGHDPI;
    m_window = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                std::max(1, spec.client_size.width), std::max(1, spec.client_size.height), flags);
    if (!m_window) throw PlatformError(std::string("cannot create a window: ") + SDL_GetError());
    m_caption = spec.caption;
    m_registry.windows.emplace_back(SDL_GetWindowID(m_window), this);
    // Under Wayland the window's own surface is in points; a renderer's
    // output has the real pixels of a high-density output. Without one the
    // surface serves (and the compositor scales it).
    if (spec.scaled && wayland) m_renderer = SDL_CreateRenderer(m_window, -1, 0);
    sync_drawable();
  }
  ~SdlWindow() override {
    if (m_texture) SDL_DestroyTexture(m_texture);
    if (m_renderer) SDL_DestroyRenderer(m_renderer);
    std::erase_if(m_registry.windows, [this](const auto& entry) { return entry.second == this; });
    if (m_window) SDL_DestroyWindow(m_window);
  }

  std::uint32_t id() const override { return SDL_GetWindowID(m_window); }
  void set_caption(std::string_view sjis) override {
    m_caption = std::string(sjis);
    SDL_SetWindowTitle(m_window, codepage::to_utf8(sjis).c_str());
  }
  std::string caption() const override { return m_caption; }
  void set_client_size(Size s) override {
    m_surface.set_logical_size(s);
    if (!scaled_window()) SDL_SetWindowSize(m_window, std::max(1, s.width), std::max(1, s.height));
  }
  Size view_size() const override {
    int w = 0, h = 0;
    SDL_GetWindowSize(m_window, &w, &h);
    return {w, h};
  }
  void set_view_size(Size s) override {
    if (!scaled_window()) {
      set_client_size(s);
      return;
    }
    SDL_SetWindowSize(m_window, std::max(1, s.width), std::max(1, s.height));
    sync_drawable();
  }
  void set_position(Point p) override {
    // SDL places the client area; our position is the outer corner.
    Rect fe = frame_extents();
    SDL_SetWindowPosition(m_window, p.x + fe.left, p.y + fe.top);
  }
  Point position() const override {
    int x = 0, y = 0;
    SDL_GetWindowPosition(m_window, &x, &y);
    Rect fe = frame_extents();
    return {x - fe.left, y - fe.top};
  }
  Rect frame_extents() const override {
    int top = 0, left = 0, bottom = 0, right = 0;
    if (SDL_GetWindowBordersSize(m_window, &top, &left, &bottom, &right) != 0) return {};
    return {left, top, right, bottom};
  }
  void set_bordered(bool on) override { SDL_SetWindowBordered(m_window, on ? SDL_TRUE : SDL_FALSE); }
  bool bordered() const override { return (SDL_GetWindowFlags(m_window) & SDL_WINDOW_BORDERLESS) == 0; }
  void show() override { SDL_ShowWindow(m_window); }
  void hide() override { SDL_HideWindow(m_window); }
  bool visible() const override { return (SDL_GetWindowFlags(m_window) & SDL_WINDOW_SHOWN) != 0; }

  int set_fullscreen(int mode_index) override {
    if (mode_index < 0) {
      // The caller puts the window's former placement back.
      if (m_desktop_full) SDL_SetWindowFullscreen(m_window, 0);
      m_desktop_full = false;
      m_fullscreen = -1;
      sync_drawable();
      return -1;
    }
    if (mode_index >= SDL_GetNumDisplayModes(std::max(0, SDL_GetWindowDisplayIndex(m_window)))) return m_fullscreen;
    // Never a mode change: the window covers the display at the desktop's
    // size and the picture is scaled into it. The system's desktop-size full
    // screen first; where nothing makes the window cover the display (an X
    // server without a window manager), a borderless window over it.
    const int display = std::max(0, SDL_GetWindowDisplayIndex(m_window));
    SDL_Rect bounds{};
    if (SDL_GetDisplayBounds(display, &bounds) != 0) {
      SDL_DisplayMode desktop{};
      SDL_GetDesktopDisplayMode(display, &desktop);
      bounds = SDL_Rect{0, 0, desktop.w, desktop.h};
    }
    // Without a window manager the system's request is not served, and its
    // undoing leaves the keyboard with nobody.
    if ((m_wayland || sdl_window_manager_running(m_window)) &&
        SDL_SetWindowFullscreen(m_window, SDL_WINDOW_FULLSCREEN_DESKTOP) == 0) {
      const Size got = settled_size({bounds.w, bounds.h}, m_wayland ? 100 : 30);
      if (m_wayland || got == Size{bounds.w, bounds.h}) {
        m_desktop_full = true;
        m_fullscreen = mode_index;
        sync_drawable();
        return m_fullscreen;
      }
      SDL_SetWindowFullscreen(m_window, 0);
    }
    if (m_wayland) {
      m_fullscreen = -1;
      return -1;
    }
    SDL_SetWindowBordered(m_window, SDL_FALSE);
    SDL_SetWindowPosition(m_window, bounds.x, bounds.y);
    SDL_SetWindowSize(m_window, bounds.w, bounds.h);
    SDL_RaiseWindow(m_window);
    settled_size({bounds.w, bounds.h}, 30);
    m_fullscreen = mode_index;
    sync_drawable();
    return m_fullscreen;
  }
  int fullscreen_mode() const override { return m_fullscreen; }

  WindowPlacement placement() const override { return {position(), view_size(), bordered()}; }
  void set_placement(const WindowPlacement& p) override {
    set_bordered(p.bordered);
    set_view_size(p.client_size);
    set_position(p.position);
  }

  void present(std::span<const Rect> rects) override {
    if (m_renderer) {
      present_rendered(rects);
      return;
    }
    SDL_Surface* surface = sync_drawable();
    if (!surface) return;
    const std::vector<Rect> changed = m_surface.present(rects);
    const Framebuffer& shown = m_surface.drawable();
    const Rect bounds{0, 0, std::min(surface->w, shown.width()), std::min(surface->h, shown.height())};
    std::vector<SDL_Rect> update;
    if (SDL_MUSTLOCK(surface)) SDL_LockSurface(surface);
    for (Rect r : changed) {
      r = r.intersected(bounds);
      if (r.empty()) continue;
      const void* src = shown.row(r.top) + r.left;
      void* dst = static_cast<std::uint8_t*>(surface->pixels) + static_cast<std::ptrdiff_t>(r.top) * surface->pitch +
                  static_cast<std::ptrdiff_t>(r.left) * surface->format->BytesPerPixel;
      SDL_ConvertPixels(r.width(), r.height(), SDL_PIXELFORMAT_XRGB8888, src, shown.width() * 4,
                        surface->format->format, dst, surface->pitch);
      update.push_back(SDL_Rect{r.left, r.top, r.width(), r.height()});
    }
    if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
    if (!update.empty()) SDL_UpdateWindowSurfaceRects(m_window, update.data(), static_cast<int>(update.size()));
  }

  // A position in the window's points → its real pixel.
  Point drawable_of(int x, int y) const {
    const Size view = view_size();
    const Size real = drawable_size();
    if (view.width <= 0 || view.height <= 0) return {x, y};
    return {static_cast<int>(floor_div(std::int64_t{x} * real.width, view.width)),
            static_cast<int>(floor_div(std::int64_t{y} * real.height, view.height))};
  }

  Point cursor_position() const override {
    int gx = 0, gy = 0, wx = 0, wy = 0;
    SDL_GetGlobalMouseState(&gx, &gy);
    SDL_GetWindowPosition(m_window, &wx, &wy);
    return m_surface.to_logical(drawable_of(gx - wx, gy - wy)).client;
  }
  void set_cursor_position(Point p) override {
    const Point d = m_surface.to_drawable(p);
    const Size view = view_size();
    const Size real = drawable_size();
    if (real.width <= 0 || real.height <= 0) return;
    SDL_WarpMouseInWindow(m_window, static_cast<int>(std::int64_t{d.x} * view.width / real.width),
                          static_cast<int>(std::int64_t{d.y} * view.height / real.height));
  }
  void set_cursor(const Cursor* cursor) override {
    if (cursor)
      SDL_SetCursor(static_cast<const SdlCursor*>(cursor)->get());
    else
      SDL_SetCursor(SDL_GetDefaultCursor());
    SDL_ShowCursor(SDL_ENABLE);
  }
  void hide_cursor() override { SDL_ShowCursor(SDL_DISABLE); }
  void set_mouse_capture(bool on) override {
    // Without capture support (some Wayland compositors) a release outside
    // the window is not seen; the press ends when the pointer comes back.
    if (SDL_CaptureMouse(on ? SDL_TRUE : SDL_FALSE) == 0)
      m_captured = on;
    else
      m_captured = false;
  }
  bool mouse_captured() const override { return m_captured; }
  std::unique_ptr<EditControl> create_edit(EditKind) override {
    throw PlatformError("edit controls are not available in this build");
  }
  std::uint64_t native_handle() const override { return sdl_native_window_id(m_window); }

 private:
  void present_rendered(std::span<const Rect> rects) {
    sync_drawable();
    const std::vector<Rect> changed = m_surface.present(rects);
    const Framebuffer& shown = m_surface.drawable();
    if (shown.width() <= 0 || shown.height() <= 0) return;
    if (!m_texture || m_texture_size != drawable_size()) {
      if (m_texture) SDL_DestroyTexture(m_texture);
      m_texture = SDL_CreateTexture(m_renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING, shown.width(),
                                    shown.height());
      m_texture_size = drawable_size();
      if (!m_texture) return;
      SDL_UpdateTexture(m_texture, nullptr, shown.row(0), shown.width() * 4);
    } else {
      const Rect bounds{0, 0, shown.width(), shown.height()};
      for (Rect r : changed) {
        r = r.intersected(bounds);
        if (r.empty()) continue;
        const SDL_Rect area{r.left, r.top, r.width(), r.height()};
        SDL_UpdateTexture(m_texture, &area, shown.row(r.top) + r.left, shown.width() * 4);
      }
    }
    SDL_RenderCopy(m_renderer, m_texture, nullptr, nullptr);
    SDL_RenderPresent(m_renderer);
  }

  // The window system's surface (or the renderer's output), whose size is
  // the drawable's (real pixels on a high-density desktop); the desktop's
  // scale follows from it.
  SDL_Surface* sync_drawable() {
    if (m_renderer) {
      int pw = 0, ph = 0, w = 0, h = 0;
      SDL_GetRendererOutputSize(m_renderer, &pw, &ph);
      SDL_GetWindowSize(m_window, &w, &h);
      if (pw > 0 && ph > 0) m_surface.set_drawable_size({pw, ph});
      if (w > 0) m_surface.set_desktop_scale(std::max(1, (pw + w / 2) / w));
      return nullptr;
    }
    SDL_Surface* surface = SDL_GetWindowSurface(m_window);
    if (!surface || !scaled_window()) return surface;
    m_surface.set_drawable_size({surface->w, surface->h});
    int w = 0, h = 0;
    SDL_GetWindowSize(m_window, &w, &h);
    if (w > 0) m_surface.set_desktop_scale(std::max(1, (surface->w + w / 2) / w));
    return surface;
  }

  // The window system answers a change of size in its own time: waits (a
  // bounded while, handling what arrives) until the window has `want`, and
  // answers the size it has.
  Size settled_size(Size want, int tries) {
    int w = 0, h = 0;
    for (int i = 0; i < tries; ++i) {
      SDL_PumpEvents();
      SDL_GetWindowSize(m_window, &w, &h);
      if (w == want.width && h == want.height) break;
      SDL_Delay(10);
    }
    return {w > 0 ? w : want.width, h > 0 ? h : want.height};
  }

  SDL_Window* m_window = nullptr;
  std::string m_caption;
  int m_fullscreen = -1;
  bool m_desktop_full = false;  // the system's desktop-size full screen is on
  bool m_captured = false;
  bool m_wayland = false;
  SDL_Renderer* m_renderer = nullptr;
  SDL_Texture* m_texture = nullptr;
  Size m_texture_size;
  SdlWindowRegistry& m_registry;
};

// ---------------------------------------------------------------------------

class SdlDialogs final : public Dialogs {
 public:
  explicit SdlDialogs(Platform& platform) : m_platform(platform) {}

  // Our own box rather than the window system's: it shows Japanese text
  // with the fonts every other text uses, and looks the same everywhere.
  MessageAnswer message_box(const MessageBoxSpec& spec) override { return run_message_box(m_platform, spec); }
  std::optional<std::filesystem::path> open_file(const FileDialogSpec& spec) override {
    return run_desktop_file_dialog(m_platform, 0, spec);
  }
  std::optional<std::filesystem::path> save_file(const FileDialogSpec& spec) override {
    return run_desktop_file_dialog(m_platform, 1, spec);
  }
  std::optional<std::filesystem::path> select_folder(const FileDialogSpec& spec) override {
    return run_desktop_file_dialog(m_platform, 2, spec);
  }

 private:
  Platform& m_platform;
};

// ---------------------------------------------------------------------------
// Sound: one SDL device at 44100 Hz stereo (1024-frame callbacks, about
// 23 ms); every stream is mixed into it. Without a device the null pump
// pulls the streams instead. A device that goes away is replaced by the
// default device, or by the null pump when none opens; the streams stay as
// they are, so every sound keeps its position.

class SdlSound final : public SoundOutput {
 public:
  ~SdlSound() override {
    close_device();
    m_null.reset();
  }

  std::unique_ptr<AudioStream> open_stream(const AudioFormat& format, AudioPull pull) override {
    if (format.sample_rate <= 0 || format.channels <= 0 || format.channels > 8) return nullptr;
    ensure_output();
    return m_mixer.add(format, std::move(pull));
  }
  bool realtime() const override { return true; }
  SoundStatus status() const override {
    std::lock_guard lock(m_state_mutex);
    return {m_null != nullptr, m_device, m_changes};
  }

  // SDL_AUDIODEVICEREMOVED for an output device.
  void device_removed(std::uint32_t which) {
    std::unique_lock lock(m_state_mutex);
    if (!m_device || which != m_device) return;
    lock.unlock();
    close_device();
    const bool reopened = open_device();
    lock.lock();
    ++m_changes;
    lock.unlock();
    if (!reopened) start_null("the sound device went away and no other opened; sound is discarded at the clock's rate");
  }

 private:
  void ensure_output() {
    {
      std::lock_guard lock(m_state_mutex);
      if (m_device || m_null || m_tried) return;
      m_tried = true;
    }
    if (!open_device()) start_null("no sound device could be opened; sound is discarded at the clock's rate");
  }

  bool open_device() {
    if (!m_audio_started) {
      if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
      m_audio_started = true;
    }
    SDL_AudioSpec want{}, have{};
    want.freq = 44100;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = 1024;
    want.callback = &SdlSound::callback;
    want.userdata = this;
    const SDL_AudioDeviceID id = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (!id) return false;
    {
      std::lock_guard lock(m_state_mutex);
      m_device = id;
      m_null.reset();
    }
    SDL_PauseAudioDevice(id, 0);
    return true;
  }

  void close_device() {
    SDL_AudioDeviceID id = 0;
    {
      std::lock_guard lock(m_state_mutex);
      id = std::exchange(m_device, 0);
    }
    // Waits for a callback in progress.
    if (id) SDL_CloseAudioDevice(id);
  }

  void start_null(const char* why) {
    {
      std::lock_guard lock(m_state_mutex);
      if (m_null) return;
      m_null = std::make_unique<host::NullPump>(m_mixer);
    }
    notice(why);
  }

  static void callback(void* self, Uint8* stream, int len) {
    static_cast<SdlSound*>(self)->m_mixer.mix(reinterpret_cast<std::int16_t*>(stream),
                                              static_cast<std::size_t>(len) / 4);
  }

  host::StreamMixer m_mixer;
  mutable std::mutex m_state_mutex;
  SDL_AudioDeviceID m_device = 0;
  std::unique_ptr<host::NullPump> m_null;
  bool m_tried = false;
  bool m_audio_started = false;
  int m_changes = 0;
};

class SynthMidi final : public MidiOutput {
 public:
  explicit SynthMidi(Platform& p) : m_platform(p) {}
  std::vector<MidiPortInfo> ports() override {
    if (!find_sound_font()) return {};
    return {MidiPortInfo{"Software synthesizer"}};
  }
  std::unique_ptr<MidiPort> open(int index) override {
    auto font = find_sound_font();
    if (index != 0 || !font) return nullptr;
    return open_synth_port(m_platform.sound(), *font);
  }

 private:
  Platform& m_platform;
};

// ---------------------------------------------------------------------------

class SdlPlatform final : public Platform {
 public:
  SdlPlatform() {
    // We decide ourselves when the screen saver is off (while a title runs).
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
    // On a Wayland desktop the native driver, where it starts; X11 (through
    // the desktop's X server) otherwise. A driver the user named wins. The
    // list is always named: left to itself, SDL goes on past a display that
    // refuses it (an X server resetting, a wrong DISPLAY) to its offscreen
    // driver, and the player would run with no window at all instead of
    // saying why.
    if (!std::getenv("SDL_VIDEODRIVER")) {
      SDL_SetHint(SDL_HINT_VIDEODRIVER, std::getenv("WAYLAND_DISPLAY") ? "wayland,x11" : "x11");
    }
    // The platform turns SIGINT and SIGTERM into a quit itself (and a second
    // one into an immediate end), for both backends alike.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    sdl_tolerate_messages_to_gone_windows();
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
      std::string reason = SDL_GetError();
      SDL_Quit();  // what did start goes, so that a later attempt starts clean
      throw PlatformError("cannot start the display: " + reason);
    }
    m_wake_type = SDL_RegisterEvents(1);
    const char* driver = SDL_GetCurrentVideoDriver();
    m_wayland = driver && std::string_view(driver) == "wayland";
    SDL_StartTextInput();
  }
  ~SdlPlatform() override {
    shut_down_posting();
    m_sound.reset();
    SDL_Quit();
  }

  Backend backend() const override { return Backend::Sdl; }
  bool virtual_clock() const override { return false; }
  bool unattended() const override { return false; }
  bool can_place_windows() const override { return !m_wayland; }
  std::string display_driver() const override {
    const char* d = SDL_GetCurrentVideoDriver();
    return d ? d : "";
  }

  void run_frames(FrameHooks& hooks, const FrameLoopOptions&) override {
    // The timing thread posts the ticks; this thread only waits for events
    // and runs what was posted.
    hooks.begin_real_time();
    while (!hooks.finished()) {
      Event e;
      if (wait_event(e, 100)) {
        hooks.handle_event(e);
        while (!hooks.finished() && poll_event(e)) hooks.handle_event(e);
      }
      run_posted_tasks();
    }
  }

  std::unique_ptr<Window> create_window(const WindowSpec& spec) override {
    return std::make_unique<SdlWindow>(spec, m_wayland, m_windows);
  }

  std::vector<DisplayMode> display_modes() override {
    std::vector<DisplayMode> modes;
    int n = SDL_GetNumDisplayModes(0);
    for (int i = 0; i < n; ++i) {
      SDL_DisplayMode m{};
      if (SDL_GetDisplayMode(0, i, &m) == 0) modes.push_back(to_mode(m));
    }
    return modes;
  }
  DisplayMode desktop_mode() override {
    SDL_DisplayMode m{};
    if (SDL_GetDesktopDisplayMode(0, &m) != 0) return {};
    return to_mode(m);
  }
  Rect work_area() override {
    SDL_Rect r{};
    if (SDL_GetDisplayUsableBounds(0, &r) != 0 && SDL_GetDisplayBounds(0, &r) != 0) return {};
    return Rect::from_size(r.x, r.y, r.w, r.h);
  }
  std::unique_ptr<Cursor> create_cursor(const CursorImage& image) override {
    if (image.width <= 0 || image.height <= 0 ||
        image.argb.size() != static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height)) {
      return nullptr;
    }
    SDL_Surface* s = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<std::uint32_t*>(image.argb.data()), image.width,
                                                        image.height, 32, image.width * 4, SDL_PIXELFORMAT_ARGB8888);
    if (!s) return nullptr;
    SDL_Cursor* c = SDL_CreateColorCursor(s, image.hotspot.x, image.hotspot.y);
    SDL_FreeSurface(s);
    if (!c) return nullptr;
    return std::make_unique<SdlCursor>(c);
  }
  std::unique_ptr<ScreenSaverInhibitor> inhibit_screen_saver() override { return std::make_unique<SdlInhibitor>(); }

  bool poll_event(Event& e) override {
    if (deliver_quit(e)) return true;
    SDL_Event ev;
    while (SDL_PollEvent(&ev)) {
      if (translate(ev, e)) return true;
    }
    return false;
  }
  bool wait_event(Event& e, int timeout_ms) override {
    if (deliver_quit(e)) return true;
    SDL_Event ev;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(0, timeout_ms));
    for (;;) {
      int wait = timeout_ms < 0
                     ? -1
                     : static_cast<int>(std::max<long long>(0, std::chrono::duration_cast<std::chrono::milliseconds>(
                                                                   deadline - std::chrono::steady_clock::now())
                                                                   .count()));
      int got = wait < 0 ? SDL_WaitEvent(&ev) : SDL_WaitEventTimeout(&ev, wait);
      if (!got) return false;
      if (translate(ev, e)) return true;
      if (timeout_ms >= 0 && std::chrono::steady_clock::now() >= deadline) return false;
    }
  }
  void wake() override {
    SDL_Event ev{};
    ev.type = m_wake_type;
    SDL_PushEvent(&ev);
  }

  Clock& clock() override { return m_clock; }
  Dialogs& dialogs() override { return m_dialogs; }
  FontService& fonts() override {
    if (!m_fonts) m_fonts = create_font_service();
    return *m_fonts;
  }
  SoundOutput& sound() override {
    if (!m_sound) m_sound = std::make_unique<SdlSound>();
    return *m_sound;
  }
  MidiOutput& midi() override { return m_midi; }
  CdAudio& cd_audio() override { return *m_cd; }
  System& system() override { return *m_system; }

 private:
  bool deliver_quit(Event& e) {
    if (!take_quit()) return false;
    e = Event{};
    e.type = EventType::Close;
    return true;
  }

  bool translate(const SDL_Event& ev, Event& e) {
    e = Event{};
    if (ev.type == m_wake_type) {
      e.type = EventType::Wake;
      return true;
    }
    switch (ev.type) {
      case SDL_QUIT: e.type = EventType::Close; return true;
      case SDL_MOUSEMOTION:
        e.type = EventType::MouseMove;
        e.window = ev.motion.windowID;
        map_pointer(e, ev.motion.x, ev.motion.y);
        e.modifiers = modifiers_now();
        return true;
      case SDL_MOUSEBUTTONDOWN:
      case SDL_MOUSEBUTTONUP:
        e.type = ev.type == SDL_MOUSEBUTTONDOWN ? EventType::MouseDown : EventType::MouseUp;
        e.window = ev.button.windowID;
        map_pointer(e, ev.button.x, ev.button.y);
        e.button = ev.button.button == SDL_BUTTON_LEFT     ? MouseButton::Left
                   : ev.button.button == SDL_BUTTON_RIGHT  ? MouseButton::Right
                   : ev.button.button == SDL_BUTTON_MIDDLE ? MouseButton::Middle
                                                           : MouseButton::None;
        e.modifiers = modifiers_now();
        return e.button != MouseButton::None;
      case SDL_MOUSEWHEEL: {
        e.type = EventType::MouseWheel;
        e.window = ev.wheel.windowID;
        int y = ev.wheel.y;
        if (ev.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) y = -y;
        e.wheel = y * 120;
        int px = 0, py = 0;
        SDL_GetMouseState(&px, &py);
        map_pointer(e, px, py);
        e.modifiers = modifiers_now();
        return y != 0;
      }
      case SDL_KEYDOWN:
      case SDL_KEYUP:
        e.type = ev.type == SDL_KEYDOWN ? EventType::KeyDown : EventType::KeyUp;
        e.window = ev.key.windowID;
        e.key = vk_from_sdl(ev.key.keysym.scancode, ev.key.keysym.sym);
        e.repeat = ev.key.repeat != 0;
        e.modifiers = modifiers_now();
        return e.key != 0;
      case SDL_TEXTINPUT:
        e.type = EventType::TextInput;
        e.window = ev.text.windowID;
        e.text = codepage::from_utf8_lossy(ev.text.text);
        return true;
      case SDL_WINDOWEVENT:
        e.window = ev.window.windowID;
        switch (ev.window.event) {
          case SDL_WINDOWEVENT_FOCUS_GAINED: e.type = EventType::Activate; return true;
          case SDL_WINDOWEVENT_FOCUS_LOST: e.type = EventType::Deactivate; return true;
          case SDL_WINDOWEVENT_CLOSE: e.type = EventType::Close; return true;
          case SDL_WINDOWEVENT_EXPOSED:
          case SDL_WINDOWEVENT_SIZE_CHANGED: e.type = EventType::Expose; return true;
          default: return false;
        }
      case SDL_DISPLAYEVENT: e.type = EventType::DisplayChange; return true;
      case SDL_AUDIODEVICEREMOVED:
        if (!ev.adevice.iscapture && m_sound) m_sound->device_removed(ev.adevice.which);
        return false;
      default: return false;
    }
  }

  // Fills the event's position from a window's points: real pixels through
  // the window's transform to its client position.
  void map_pointer(Event& e, int x, int y) {
    SdlWindow* w = m_windows.find(e.window);
    if (!w) {
      e.x = x;
      e.y = y;
      return;
    }
    const PointerPosition at = w->client_position_of(w->drawable_of(x, y));
    e.x = at.client.x;
    e.y = at.client.y;
    e.on_chrome = at.on_chrome;
  }

  Uint32 m_wake_type = 0;
  bool m_wayland = false;
  SdlWindowRegistry m_windows;
  SystemClock m_clock;
  SdlDialogs m_dialogs{*this};
  std::unique_ptr<FontService> m_fonts;
  std::unique_ptr<SdlSound> m_sound;
  SynthMidi m_midi{*this};
  std::unique_ptr<CdAudio> m_cd = create_driveless_cd_audio();
  std::unique_ptr<System> m_system = make_system();
};

}  // namespace

std::unique_ptr<Platform> create_sdl_platform() { return std::make_unique<SdlPlatform>(); }

#ifdef NOVA_TEST_HOOKS
void push_sound_device_removed(std::uint32_t device_id) {
  SDL_Event ev{};
  ev.type = SDL_AUDIODEVICEREMOVED;
  ev.adevice.which = device_id;
  ev.adevice.iscapture = 0;
  SDL_PushEvent(&ev);
}
#endif

}  // namespace nova::platform
