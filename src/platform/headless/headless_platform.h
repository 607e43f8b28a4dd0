// The headless backend (see platform.h): a real backend without a window
// system or devices, driven by whoever runs the frame loop.
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/headless/input_script.h"
#include "platform/platform.h"

namespace nova::platform {

class HeadlessWindow;
class HeadlessSound;

class HeadlessPlatform final : public Platform {
 public:
  explicit HeadlessPlatform(HeadlessOptions options = {});
  ~HeadlessPlatform() override;

  Backend backend() const override { return Backend::Headless; }
  bool virtual_clock() const override { return true; }
  bool unattended() const override { return true; }
  std::string display_driver() const override { return "headless"; }
  void set_scripted_input_origin(Point origin) override { m_input_origin = origin; }
  // Frame by frame: the scripted events of the frame, the posted tasks, the
  // clock advanced by the frame, then the hooks' frame.
  void run_frames(FrameHooks& hooks, const FrameLoopOptions& options) override;

  std::unique_ptr<Window> create_window(const WindowSpec& spec) override;
  std::vector<DisplayMode> display_modes() override { return m_options.modes; }
  DisplayMode desktop_mode() override { return m_options.desktop; }
  Rect work_area() override { return m_options.work_area; }
  int desktop_scale() override { return std::max(1, m_options.desktop_scale); }
  std::unique_ptr<Cursor> create_cursor(const CursorImage& image) override;
  std::unique_ptr<ScreenSaverInhibitor> inhibit_screen_saver() override;

  bool poll_event(Event& e) override;
  bool wait_event(Event& e, int timeout_ms) override;
  void wake() override;

  Clock& clock() override;
  Dialogs& dialogs() override;
  FontService& fonts() override;
  SoundOutput& sound() override;
  MidiOutput& midi() override;
  CdAudio& cd_audio() override;
  System& system() override { return *m_system; }
  // Runs in advance_ms, on the thread that advances the clock.
  std::unique_ptr<PeriodicTimer> create_timer(std::uint32_t interval_ms, std::function<void()> callback,
                                              ThreadPriority priority = ThreadPriority::Normal) override;

  // --- Driving the backend ---------------------------------------------------
  // Advances the virtual clock; the sound output consumes (and records) that
  // much sound. Timers fall due on the way: for each due time in order the
  // sound is pulled up to it, the clock set to it and the timers due run;
  // then the rest is pulled.
  void advance_ms(std::uint32_t ms);
  // Delivers the scripted events of this tick (and of earlier ticks not yet
  // delivered) to the event queue.
  void begin_tick(std::int64_t tick);
  // True when scripted events remain for later ticks.
  bool has_pending_script() const { return m_next_scripted < m_script.size(); }
  // Queues an event as if the user had caused it; mouse events without
  // coordinates use the last pointer position. A move's position is in
  // client coordinates (the pointer goes to the real pixel showing it).
  void push_event(Event e);
  // The pointer moved to this real pixel of the newest window.
  void push_pointer(Point drawable);

  // The desktop changes under the player (a display change); the caller
  // sends the DisplayChange event.
  void set_desktop(DisplayMode desktop, Rect work_area) {
    m_options.desktop = desktop;
    m_options.work_area = work_area;
  }
  // Full screen is refused from now on (a display that cannot be covered).
  void set_refuse_full_screen(bool on) { m_refuse_full_screen = on; }
  bool refuses_full_screen() const { return m_refuse_full_screen; }

  // Answers for the next message boxes, used before the default.
  void queue_answer(MessageAnswer a);
  // Every message box shown so far.
  std::vector<MessageBoxSpec> message_boxes() const;
  // Every message box and file dialog asked for so far: its kind ("open",
  // "save", "folder" or "message"), title (caption) and whether it had an
  // owner window.
  struct DialogRecord {
    std::string kind;
    std::string title;  // Shift-JIS
    bool owned = false;
  };
  std::vector<DialogRecord> dialog_records() const;

  struct MidiRecord {
    std::uint32_t time_ms;
    std::vector<std::uint8_t> bytes;
  };
  // Every message sent to the recording MIDI port.
  std::vector<MidiRecord> midi_records() const;

  // The newest window's pointer: "arrow", "hidden" or "picture WxH at X,Y"
  // (the cursor picture's size and hotspot), and whether it holds the
  // mouse capture. "none" and false without a window.
  std::string shown_cursor() const;
  bool mouse_captured() const;

  const HeadlessOptions& options() const { return m_options; }

  // Internal to the backend.
  HeadlessWindow* newest_window() const;
  void forget_window(HeadlessWindow* w);
  std::uint32_t now_ms() const { return static_cast<std::uint32_t>(m_total_ms.load()); }
  std::mutex& midi_mutex() { return m_midi_mutex; }
  std::vector<MidiRecord>& midi_log() { return m_midi_log; }
  MessageAnswer next_answer(MessageButtons buttons);
  // The next --dialog answer: a path, or nullopt for "cancel" and when none
  // is left.
  std::optional<std::filesystem::path> next_dialog_answer(std::string_view kind, const FileDialogSpec& spec);
  void record_message_box(const MessageBoxSpec& spec);

 private:
  HeadlessOptions m_options;
  bool m_refuse_full_screen = false;
  // Milliseconds since start; the timer is its low 32 bits.
  std::atomic<std::uint64_t> m_total_ms{0};
  std::unique_ptr<Clock> m_clock;
  std::unique_ptr<System> m_system;
  std::unique_ptr<Dialogs> m_dialogs;
  std::unique_ptr<FontService> m_fonts;
  std::unique_ptr<HeadlessSound> m_sound;
  std::unique_ptr<MidiOutput> m_midi;
  std::unique_ptr<CdAudio> m_cd;

  mutable std::mutex m_mutex;  // guards the queue, windows, answers and boxes
  std::condition_variable m_cv;
  std::deque<Event> m_queue;
  bool m_woken = false;
  std::vector<HeadlessWindow*> m_windows;
  std::deque<MessageAnswer> m_answers;
  std::size_t m_dialog_answers_taken = 0;
  std::vector<DialogRecord> m_dialog_records;
  std::vector<MessageBoxSpec> m_boxes;
  std::uint32_t m_next_window_id = 1;
  Point m_pointer;
  Point m_input_origin;

  std::vector<ScriptedEvent> m_script;
  std::size_t m_next_scripted = 0;

  mutable std::mutex m_midi_mutex;
  std::vector<MidiRecord> m_midi_log;

 public:
  struct TimerState {
    std::uint32_t interval = 1;
    std::uint64_t due = 0;
    std::function<void()> callback;
    bool stopped = false;
  };
  void stop_timer(const std::shared_ptr<TimerState>& t);

 private:
  std::mutex m_timer_mutex;
  std::vector<std::shared_ptr<TimerState>> m_timers;
};

}  // namespace nova::platform
