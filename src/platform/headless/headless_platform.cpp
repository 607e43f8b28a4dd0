#include "platform/headless/headless_platform.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>

#include "platform/codepage.h"
#include "platform/edit_control.h"
#include "platform/error.h"
#include "platform/framebuffer.h"
#include "platform/synth_midi.h"
#include "platform/wav_writer.h"
#include "platform/window_surface.h"

namespace nova::platform {

// ---------------------------------------------------------------------------
// Clock: virtual milliseconds, and a calendar that starts at a fixed date
// (2000-01-01 unless the player was given one) and advances with them, so
// that a run reads the same dates and seeds every time.

namespace {

class HeadlessClock final : public Clock {
 public:
  explicit HeadlessClock(const std::atomic<std::uint64_t>& total_ms) : m_total(total_ms) {}
  std::uint32_t ticks_ms() const override { return static_cast<std::uint32_t>(m_total.load()); }
  DateTime local_time() const override { return now(); }
  DateTime utc_time() const override { return now(); }
  void set_calendar(std::optional<DateTime> at_timer_zero) override {
    m_calendar = at_timer_zero.value_or(kDefaultCalendar);
  }

 private:
  static constexpr DateTime kDefaultCalendar{2000, 1, 1, 6, 0, 0, 0, 0};
  DateTime now() const { return calendar_after(m_calendar, static_cast<std::int64_t>(m_total.load())); }
  const std::atomic<std::uint64_t>& m_total;
  DateTime m_calendar = kDefaultCalendar;
};

class HeadlessDialogs final : public Dialogs {
 public:
  explicit HeadlessDialogs(HeadlessPlatform& p) : m_platform(p) {}

  MessageAnswer message_box(const MessageBoxSpec& spec) override {
    m_platform.record_message_box(spec);
    MessageAnswer a = m_platform.next_answer(spec.buttons);
    if (m_platform.options().echo_message_boxes) {
      std::fprintf(stderr, "[message box] %s: %s -> %s\n", codepage::to_utf8(spec.caption).c_str(),
                   codepage::to_utf8(spec.text).c_str(), answer_name(a));
    }
    return a;
  }
  std::optional<std::filesystem::path> open_file(const FileDialogSpec& spec) override {
    return m_platform.next_dialog_answer("open", spec);
  }
  std::optional<std::filesystem::path> save_file(const FileDialogSpec& spec) override {
    return m_platform.next_dialog_answer("save", spec);
  }
  std::optional<std::filesystem::path> select_folder(const FileDialogSpec& spec) override {
    return m_platform.next_dialog_answer("folder", spec);
  }

 private:
  HeadlessPlatform& m_platform;
};

// Remembers what it shows, for the record of the shown pointer.
class NullCursor final : public Cursor {
 public:
  explicit NullCursor(std::string what) : name(std::move(what)) {}
  std::string name;
};
class NullInhibitor final : public ScreenSaverInhibitor {};

// MIDI: one recording port, so tests can see what a player sent.
class RecordingPort final : public MidiPort {
 public:
  explicit RecordingPort(HeadlessPlatform& p) : m_platform(p) {}
  void short_message(std::uint32_t packed) override {
    std::uint8_t status = static_cast<std::uint8_t>(packed);
    // Program change and channel pressure carry one data byte.
    std::size_t n = (status >= 0xC0 && status <= 0xDF) ? 2 : 3;
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < n; ++i) bytes.push_back(static_cast<std::uint8_t>(packed >> (8 * i)));
    add(std::move(bytes));
  }
  void long_message(std::span<const std::uint8_t> bytes) override { add({bytes.begin(), bytes.end()}); }
  void reset() override {
    for (std::uint8_t ch = 0; ch < 16; ++ch) {
      add({static_cast<std::uint8_t>(0xB0 | ch), 123, 0});
      add({static_cast<std::uint8_t>(0xB0 | ch), 121, 0});
    }
  }

 private:
  void add(std::vector<std::uint8_t> bytes) {
    std::lock_guard lock(m_platform.midi_mutex());
    m_platform.midi_log().push_back({m_platform.now_ms(), std::move(bytes)});
  }
  HeadlessPlatform& m_platform;
};

class HeadlessMidi final : public MidiOutput {
 public:
  explicit HeadlessMidi(HeadlessPlatform& p) : m_platform(p) {}
  std::vector<MidiPortInfo> ports() override {
    std::vector<MidiPortInfo> p{MidiPortInfo{"Recording port"}};
    if (find_sound_font()) p.push_back(MidiPortInfo{"Software synthesizer"});
    return p;
  }
  std::unique_ptr<MidiPort> open(int index) override {
    if (index == 0) return std::make_unique<RecordingPort>(m_platform);
    auto font = find_sound_font();
    if (index == 1 && font) return open_synth_port(m_platform.sound(), *font);
    return nullptr;
  }

 private:
  HeadlessPlatform& m_platform;
};

}  // namespace

// ---------------------------------------------------------------------------
// Sound: streams are pulled when the virtual clock advances.

class HeadlessSound final : public SoundOutput {
 public:
  explicit HeadlessSound(const std::filesystem::path& record) {
    if (!record.empty()) m_recorder = std::make_unique<WavWriter>(record, 44100, 2);
  }

  class Stream final : public AudioStream {
   public:
    Stream(HeadlessSound& owner, AudioFormat f, AudioPull pull)
        : m_owner(owner), m_format(f), m_pull(std::move(pull)) {}
    ~Stream() override { m_owner.remove(this); }
    const AudioFormat& format() const override { return m_format; }
    void pause(bool paused) override { m_paused.store(paused); }

    HeadlessSound& m_owner;
    AudioFormat m_format;
    AudioPull m_pull;
    std::atomic<bool> m_paused{false};
    std::uint64_t m_frames_done = 0;
  };

  bool realtime() const override { return false; }

  std::unique_ptr<AudioStream> open_stream(const AudioFormat& format, AudioPull pull) override {
    if (format.sample_rate <= 0 || format.channels <= 0 || format.channels > 8) return nullptr;
    auto s = std::make_unique<Stream>(*this, format, std::move(pull));
    std::lock_guard lock(m_mutex);
    m_streams.push_back(s.get());
    return s;
  }

  void remove(Stream* s) {
    std::lock_guard lock(m_mutex);
    std::erase(m_streams, s);
  }

  // Pulls what the streams would have played by `now_ms` and mixes it into
  // the recording (44100 Hz stereo).
  void advance_to(std::uint64_t now_ms) {
    std::lock_guard lock(m_mutex);
    const std::uint64_t out_frames_due = now_ms * 44100 / 1000;
    const std::size_t out_frames = static_cast<std::size_t>(out_frames_due - m_out_frames);
    m_out_frames = out_frames_due;
    std::vector<std::int32_t> mix(m_recorder ? out_frames * 2 : 0, 0);
    for (Stream* s : m_streams) {
      const std::uint64_t due = now_ms * static_cast<std::uint64_t>(s->m_format.sample_rate) / 1000;
      if (due <= s->m_frames_done) continue;
      const std::size_t frames = static_cast<std::size_t>(due - s->m_frames_done);
      s->m_frames_done = due;
      if (s->m_paused.load()) continue;
      const std::size_t ch = static_cast<std::size_t>(s->m_format.channels);
      std::vector<std::int16_t> buf(frames * ch, 0);
      s->m_pull(buf);
      if (!m_recorder || out_frames == 0) continue;
      for (std::size_t i = 0; i < out_frames; ++i) {
        std::size_t src = frames == 0 ? 0 : std::min(frames - 1, i * frames / out_frames);
        std::int32_t l = buf[src * ch];
        std::int32_t r = ch > 1 ? buf[src * ch + 1] : l;
        mix[i * 2] += l;
        mix[i * 2 + 1] += r;
      }
    }
    if (m_recorder && out_frames) {
      std::vector<std::int16_t> out(mix.size());
      for (std::size_t i = 0; i < mix.size(); ++i)
        out[i] = static_cast<std::int16_t>(std::clamp(mix[i], -32768, 32767));
      m_recorder->write(out);
    }
  }

 private:
  std::mutex m_mutex;
  std::vector<Stream*> m_streams;
  std::uint64_t m_out_frames = 0;
  std::unique_ptr<WavWriter> m_recorder;
};

// ---------------------------------------------------------------------------
// Window: the shared surface, a virtual size and place, and a pointer in
// real pixels.

class HeadlessWindow final : public SurfaceWindow {
 public:
  HeadlessWindow(HeadlessPlatform& p, std::uint32_t id, const WindowSpec& spec)
      : SurfaceWindow(spec.client_size, spec.scaled ? p.options().desktop_scale : 1, spec.scaled),
        m_platform(p),
        m_id(id) {
    m_caption = spec.caption;
    m_view = spec.client_size;
    if (spec.scaled) m_surface.set_drawable_size(real(m_view));
    m_visible = spec.visible;
    Rect wa = p.work_area();
    Rect fe = frame_extents();
    m_position = {wa.left + (wa.width() - (spec.client_size.width + fe.left + fe.right)) / 2,
                  wa.top + (wa.height() - (spec.client_size.height + fe.top + fe.bottom)) / 2};
  }
  ~HeadlessWindow() override { m_platform.forget_window(this); }

  std::uint32_t id() const override { return m_id; }
  void set_caption(std::string_view sjis) override { m_caption = std::string(sjis); }
  std::string caption() const override { return m_caption; }
  void set_client_size(Size s) override {
    m_surface.set_logical_size(s);
    if (!scaled_window()) m_view = s;
  }
  Size view_size() const override { return m_view; }
  void set_view_size(Size s) override {
    if (!scaled_window()) {
      set_client_size(s);
      return;
    }
    m_view = {std::max(1, s.width), std::max(1, s.height)};
    m_surface.set_drawable_size(real(m_view));
  }
  void set_position(Point p) override { m_position = p; }
  Point position() const override { return m_position; }
  Rect frame_extents() const override {
    // A single border with a caption bar, as a typical desktop draws it.
    return m_bordered && m_fullscreen < 0 ? Rect{3, 26, 3, 3} : Rect{};
  }
  void set_bordered(bool on) override { m_bordered = on; }
  bool bordered() const override { return m_bordered; }
  void show() override { m_visible = true; }
  void hide() override { m_visible = false; }
  bool visible() const override { return m_visible; }

  int set_fullscreen(int mode_index) override {
    auto modes = m_platform.display_modes();
    if (mode_index >= 0 && m_platform.refuses_full_screen()) {
      m_fullscreen = -1;
    } else if (mode_index >= 0 && static_cast<std::size_t>(mode_index) < modes.size()) {
      m_fullscreen = mode_index;
      m_position = {0, 0};
      if (scaled_window()) {
        // No mode changes: the window covers the desktop at its size.
        const DisplayMode desk = m_platform.desktop_mode();
        m_view = {desk.width, desk.height};
        m_surface.set_drawable_size(real(m_view));
      } else {
        // The window now covers the display: its client area is the mode's.
        const DisplayMode& m = modes[static_cast<std::size_t>(mode_index)];
        set_client_size({m.width, m.height});
      }
    } else {
      m_fullscreen = -1;
    }
    return m_fullscreen;
  }
  int fullscreen_mode() const override { return m_fullscreen; }
  WindowPlacement placement() const override { return {m_position, m_view, m_bordered}; }
  void set_placement(const WindowPlacement& p) override {
    m_position = p.position;
    set_view_size(p.client_size);
    m_bordered = p.bordered;
  }

  void present(std::span<const Rect> rects) override {
    m_surface.present(rects);
    ++m_present_count;
  }
  std::uint64_t present_count() const { return m_present_count; }

  Point cursor_position() const override { return m_surface.to_logical(m_pointer).client; }
  // A warp is heard as a pointer move, as X11 reports it.
  void set_cursor_position(Point p) override { m_platform.push_pointer(m_surface.to_drawable(p)); }
  // The pointer in real pixels.
  void set_pointer(Point p) { m_pointer = p; }
  Point pointer() const { return m_pointer; }
  void set_cursor(const Cursor* cursor) override {
    m_shown_cursor = cursor ? static_cast<const NullCursor*>(cursor)->name : "arrow";
  }
  void hide_cursor() override { m_shown_cursor = "hidden"; }
  void set_mouse_capture(bool on) override { m_captured = on; }
  bool mouse_captured() const override { return m_captured; }
  const std::string& shown_cursor() const { return m_shown_cursor; }
  std::unique_ptr<EditControl> create_edit(EditKind) override {
    throw PlatformError("edit controls are not available in this build");
  }
  std::uint64_t native_handle() const override { return 0; }

 private:
  Size real(Size points) const { return {points.width * desktop_scale(), points.height * desktop_scale()}; }

  HeadlessPlatform& m_platform;
  std::uint32_t m_id;
  std::string m_caption;
  Size m_view;
  Point m_position;
  Point m_pointer;
  bool m_bordered = true;
  bool m_visible = true;
  int m_fullscreen = -1;
  std::uint64_t m_present_count = 0;
  std::string m_shown_cursor = "arrow";
  bool m_captured = false;
};

// ---------------------------------------------------------------------------

HeadlessPlatform::HeadlessPlatform(HeadlessOptions options) : m_options(std::move(options)) {
  m_clock = std::make_unique<HeadlessClock>(m_total_ms);
  m_system = make_system(m_options.system);
  m_dialogs = std::make_unique<HeadlessDialogs>(*this);
  m_sound = std::make_unique<HeadlessSound>(m_options.record_audio);
  m_midi = std::make_unique<HeadlessMidi>(*this);
  m_cd = create_driveless_cd_audio();
  if (!m_options.input_script.empty()) m_script = parse_input_script(m_options.input_script);
}

HeadlessPlatform::~HeadlessPlatform() = default;

std::unique_ptr<Window> HeadlessPlatform::create_window(const WindowSpec& spec) {
  std::lock_guard lock(m_mutex);
  auto w = std::make_unique<HeadlessWindow>(*this, m_next_window_id++, spec);
  m_windows.push_back(w.get());
  return w;
}

void HeadlessPlatform::forget_window(HeadlessWindow* w) {
  std::lock_guard lock(m_mutex);
  std::erase(m_windows, w);
}

HeadlessWindow* HeadlessPlatform::newest_window() const {
  std::lock_guard lock(m_mutex);
  return m_windows.empty() ? nullptr : m_windows.back();
}

std::string HeadlessPlatform::shown_cursor() const {
  HeadlessWindow* w = newest_window();
  return w ? w->shown_cursor() : "none";
}

bool HeadlessPlatform::mouse_captured() const {
  HeadlessWindow* w = newest_window();
  return w && w->mouse_captured();
}

std::unique_ptr<Cursor> HeadlessPlatform::create_cursor(const CursorImage& image) {
  if (image.width <= 0 || image.height <= 0 ||
      image.argb.size() != static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height)) {
    return nullptr;
  }
  return std::make_unique<NullCursor>("picture " + std::to_string(image.width) + "x" + std::to_string(image.height) +
                                      " at " + std::to_string(image.hotspot.x) + "," + std::to_string(image.hotspot.y));
}

std::unique_ptr<ScreenSaverInhibitor> HeadlessPlatform::inhibit_screen_saver() {
  return std::make_unique<NullInhibitor>();
}

bool HeadlessPlatform::poll_event(Event& e) {
  if (take_quit()) {
    e = Event{};
    e.type = EventType::Close;
    return true;
  }
  std::lock_guard lock(m_mutex);
  if (!m_queue.empty()) {
    e = std::move(m_queue.front());
    m_queue.pop_front();
    return true;
  }
  if (m_woken) {
    m_woken = false;
    e = Event{};
    e.type = EventType::Wake;
    return true;
  }
  return false;
}

bool HeadlessPlatform::wait_event(Event& e, int timeout_ms) {
  {
    std::unique_lock lock(m_mutex);
    auto ready = [this] { return !m_queue.empty() || m_woken; };
    if (timeout_ms < 0)
      m_cv.wait(lock, ready);
    else
      m_cv.wait_for(lock, std::chrono::milliseconds(timeout_ms), ready);
  }
  return poll_event(e);
}

void HeadlessPlatform::wake() {
  {
    std::lock_guard lock(m_mutex);
    m_woken = true;
  }
  m_cv.notify_all();
}

Clock& HeadlessPlatform::clock() { return *m_clock; }
Dialogs& HeadlessPlatform::dialogs() { return *m_dialogs; }
FontService& HeadlessPlatform::fonts() {
  if (!m_fonts) m_fonts = create_font_service();
  return *m_fonts;
}
SoundOutput& HeadlessPlatform::sound() { return *m_sound; }
MidiOutput& HeadlessPlatform::midi() { return *m_midi; }
CdAudio& HeadlessPlatform::cd_audio() { return *m_cd; }

namespace {

class HeadlessTimer final : public PeriodicTimer {
 public:
  HeadlessTimer(HeadlessPlatform& p, std::shared_ptr<HeadlessPlatform::TimerState> state)
      : m_platform(p), m_state(std::move(state)) {}
  ~HeadlessTimer() override { stop(); }
  void stop() override { m_platform.stop_timer(m_state); }

 private:
  HeadlessPlatform& m_platform;
  std::shared_ptr<HeadlessPlatform::TimerState> m_state;
};

}  // namespace

std::unique_ptr<PeriodicTimer> HeadlessPlatform::create_timer(std::uint32_t interval_ms, std::function<void()> callback,
                                                              ThreadPriority) {
  auto state = std::make_shared<TimerState>();
  state->interval = std::max<std::uint32_t>(1, interval_ms);
  state->due = m_total_ms.load() + state->interval;
  state->callback = std::move(callback);
  {
    std::lock_guard lock(m_timer_mutex);
    m_timers.push_back(state);
  }
  return std::make_unique<HeadlessTimer>(*this, std::move(state));
}

void HeadlessPlatform::stop_timer(const std::shared_ptr<TimerState>& t) {
  std::lock_guard lock(m_timer_mutex);
  t->stopped = true;
  std::erase(m_timers, t);
}

void HeadlessPlatform::advance_ms(std::uint32_t ms) {
  const std::uint64_t target = m_total_ms.load() + ms;
  for (;;) {
    std::vector<std::shared_ptr<TimerState>> due;
    std::uint64_t at = target + 1;
    {
      std::lock_guard lock(m_timer_mutex);
      for (const auto& t : m_timers) at = std::min(at, t->due);
      if (at > target) break;
      for (const auto& t : m_timers) {
        if (t->due == at) due.push_back(t);
      }
    }
    m_sound->advance_to(at);
    m_total_ms.store(at);
    for (const auto& t : due) {
      {
        std::lock_guard lock(m_timer_mutex);
        if (t->stopped) continue;
        t->due += t->interval;
      }
      t->callback();
    }
  }
  m_sound->advance_to(target);
  m_total_ms.store(target);
}

void HeadlessPlatform::run_frames(FrameHooks& hooks, const FrameLoopOptions& options) {
  for (std::int64_t frame = 0; !hooks.finished(); ++frame) {
    if (options.max_frames && frame >= *options.max_frames) break;
    if (options.end_with_input && !has_pending_script()) break;
    begin_tick(frame);
    Event e;
    while (!hooks.finished() && poll_event(e)) hooks.handle_event(e);
    run_posted_tasks();
    if (hooks.finished()) break;
    advance_ms(options.frame_ms);
    hooks.virtual_frame(frame, now_ms());
  }
}

void HeadlessPlatform::begin_tick(std::int64_t tick) {
  while (m_next_scripted < m_script.size() && m_script[m_next_scripted].tick <= tick) {
    const ScriptedEvent& scripted = m_script[m_next_scripted];
    Event e = scripted.event;
    if (e.type == EventType::MouseMove && scripted.in_window_pixels) {
      push_pointer({e.x, e.y});
    } else {
      if (e.type == EventType::MouseMove) {
        e.x += m_input_origin.x;
        e.y += m_input_origin.y;
      }
      push_event(std::move(e));
    }
    ++m_next_scripted;
  }
}

void HeadlessPlatform::push_event(Event e) {
  HeadlessWindow* target = newest_window();
  {
    std::lock_guard lock(m_mutex);
    if (target && e.window == 0 && e.type != EventType::Wake) e.window = target->id();
    // The pointer is kept in the window's real pixels, where the user
    // points; events carry its client position.
    switch (e.type) {
      case EventType::MouseMove:
        m_pointer = target ? target->drawable_position_of({e.x, e.y}) : Point{e.x, e.y};
        if (target) target->set_pointer(m_pointer);
        [[fallthrough]];
      case EventType::MouseDown:
      case EventType::MouseUp:
      case EventType::MouseWheel: {
        const PointerPosition at = target ? target->client_position_of(m_pointer) : PointerPosition{m_pointer, false};
        e.x = at.client.x;
        e.y = at.client.y;
        e.on_chrome = at.on_chrome;
        break;
      }
      default: break;
    }
    m_queue.push_back(std::move(e));
  }
  m_cv.notify_all();
}

void HeadlessPlatform::push_pointer(Point drawable) {
  HeadlessWindow* target = newest_window();
  Event e;
  e.type = EventType::MouseMove;
  {
    std::lock_guard lock(m_mutex);
    m_pointer = drawable;
    if (target) {
      target->set_pointer(drawable);
      e.window = target->id();
    }
    const PointerPosition at = target ? target->client_position_of(drawable) : PointerPosition{drawable, false};
    e.x = at.client.x;
    e.y = at.client.y;
    e.on_chrome = at.on_chrome;
    m_queue.push_back(std::move(e));
  }
  m_cv.notify_all();
}

void HeadlessPlatform::queue_answer(MessageAnswer a) {
  std::lock_guard lock(m_mutex);
  m_answers.push_back(a);
}

std::vector<MessageBoxSpec> HeadlessPlatform::message_boxes() const {
  std::lock_guard lock(m_mutex);
  return m_boxes;
}

std::vector<HeadlessPlatform::MidiRecord> HeadlessPlatform::midi_records() const {
  std::lock_guard lock(m_midi_mutex);
  return m_midi_log;
}

MessageAnswer HeadlessPlatform::next_answer(MessageButtons buttons) {
  bool yes = m_options.answer_yes;
  {
    std::lock_guard lock(m_mutex);
    if (!m_answers.empty()) {
      MessageAnswer a = m_answers.front();
      m_answers.pop_front();
      return a;
    }
  }
  switch (buttons) {
    case MessageButtons::Ok: return MessageAnswer::Ok;
    case MessageButtons::OkCancel: return yes ? MessageAnswer::Ok : MessageAnswer::Cancel;
    case MessageButtons::YesNo:
    case MessageButtons::YesNoAllCancel: return yes ? MessageAnswer::Yes : MessageAnswer::No;
  }
  return MessageAnswer::Ok;
}

std::optional<std::filesystem::path> HeadlessPlatform::next_dialog_answer(std::string_view kind,
                                                                          const FileDialogSpec& spec) {
  std::optional<std::filesystem::path> answer;
  {
    std::lock_guard lock(m_mutex);
    m_dialog_records.push_back({std::string(kind), spec.title, spec.owner != nullptr});
    if (m_dialog_answers_taken < m_options.dialog_answers.size()) {
      const std::string& a = m_options.dialog_answers[m_dialog_answers_taken++];
      if (a != "cancel") answer = std::filesystem::path(a);
    }
  }
  if (m_options.echo_message_boxes) {
    std::fprintf(stderr, "[%s dialog] %s -> %s\n", std::string(kind).c_str(), codepage::to_utf8(spec.title).c_str(),
                 answer ? answer->c_str() : "cancel");
  }
  return answer;
}

void HeadlessPlatform::record_message_box(const MessageBoxSpec& spec) {
  std::lock_guard lock(m_mutex);
  m_boxes.push_back(spec);
  m_boxes.back().owner = nullptr;
  m_dialog_records.push_back({"message", spec.caption, spec.owner != nullptr});
}

std::vector<HeadlessPlatform::DialogRecord> HeadlessPlatform::dialog_records() const {
  std::lock_guard lock(m_mutex);
  return m_dialog_records;
}

}  // namespace nova::platform
