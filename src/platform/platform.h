// The platform layer: everything the engine needs of the host, behind small
// interfaces, with two backends.
//
// - The SDL backend shows real windows (SDL2), plays sound through SDL audio
//   and synthesizes MIDI with FluidSynth.
// - The headless backend has no window system and no device: windows are
//   back buffers, the clock is virtual and moves only when the driver says
//   so, input comes from a script, message boxes answer as told, and sound is
//   consumed at the virtual clock's rate (and can be recorded to WAV). Tests,
//   tools and fuzzers run the real player on it.
//
// Fonts, the code page and the kernel services (system.h, ini_file.h,
// registry.h) are the same host code under both backends.
//
// Threads: everything here is called from the main thread except wake() and
// post_and_wait(), which other threads use to reach the main thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/cdaudio.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/events.h"
#include "platform/fonts.h"
#include "platform/midi.h"
#include "platform/sound.h"
#include "platform/system.h"
#include "platform/timer.h"
#include "platform/window.h"

namespace nova::platform {

enum class Backend : std::uint8_t { Sdl, Headless };

// What a frame loop does at each of its steps; the platform's run_frames
// calls it. A backend with a real clock waits for events and leaves the
// ticks to the timing thread (which posts them to the main thread); a
// backend with a virtual clock steps the frames itself.
class FrameHooks {
 public:
  virtual ~FrameHooks() = default;
  // True once the loop should end; asked before each frame and after each
  // event.
  virtual bool finished() const = 0;
  virtual void handle_event(const Event& e) = 0;
  // A real clock: called once before the loop first waits (the timing
  // thread starts here).
  virtual void begin_real_time() {}
  // A virtual clock: once per frame, after the frame's events were handled
  // and the clock advanced; `frame` counts from 0.
  virtual void virtual_frame(std::int64_t frame, std::uint32_t now_ms) {
    (void)frame;
    (void)now_ms;
  }
};

struct FrameLoopOptions {
  // A virtual clock stops after this many frames.
  std::optional<std::int64_t> max_frames;
  // A virtual clock stops when its scripted input has no more events (a
  // dialog that only a person could end).
  bool end_with_input = false;
  // How far a virtual frame advances the clock.
  std::uint32_t frame_ms = 15;
};

class Platform {
 public:
  Platform();
  virtual ~Platform();

  virtual Backend backend() const = 0;

  // --- Capabilities --------------------------------------------------------
  // The timer moves only as the frame loop steps it (runs repeat exactly).
  virtual bool virtual_clock() const = 0;
  // Message boxes are answered without a person (at once, as told): a
  // prompt that would be asked again and again must give up, and a fatal
  // start must end the process with a failure status.
  virtual bool unattended() const = 0;
  // Scripted input speaks in coordinates relative to this point of the
  // client area (the player's display panel). Without scripted input there
  // is nothing to do.
  virtual void set_scripted_input_origin(Point origin) { (void)origin; }
  // Whether a window's position can be chosen (not under Wayland, where the
  // compositor places windows; centring is then left to it).
  virtual bool can_place_windows() const { return true; }
  // The window system in use: "x11", "wayland", "headless" ...
  virtual std::string display_driver() const = 0;

  // --- The frame loop ------------------------------------------------------
  // Runs until the hooks say finished (or a virtual clock's options end it).
  virtual void run_frames(FrameHooks& hooks, const FrameLoopOptions& options) = 0;

  // --- Display -----------------------------------------------------------
  virtual std::unique_ptr<Window> create_window(const WindowSpec& spec) = 0;
  // The full-screen modes of the primary display, in the display's order.
  virtual std::vector<DisplayMode> display_modes() = 0;
  virtual DisplayMode desktop_mode() = 0;
  // The desktop minus the panels and task bars, in points.
  virtual Rect work_area() = 0;
  // Real pixels per point of the desktop (1 unless it is a high-density
  // one); a window answers for itself once it exists.
  virtual int desktop_scale() { return 1; }
  virtual std::unique_ptr<Cursor> create_cursor(const CursorImage& image) = 0;
  virtual std::unique_ptr<ScreenSaverInhibitor> inhibit_screen_saver() = 0;

  // --- Events --------------------------------------------------------------
  // Takes the next event without waiting; false when there is none.
  virtual bool poll_event(Event& e) = 0;
  // Waits up to `timeout_ms` (negative: forever) for an event.
  virtual bool wait_event(Event& e, int timeout_ms) = 0;

  // Thread-safe: makes the main thread's wait_event return an Event of type
  // Wake.
  virtual void wake() = 0;

  // Thread-safe: runs `task` on the main thread (at its next
  // run_posted_tasks) and waits for it to finish. Answers false, without
  // running it, when posting has been shut down (the player is closing).
  // Called on the main thread itself, it runs the task at once.
  bool post_and_wait(std::function<void()> task);
  // Main thread: runs what other threads posted. Returns how many ran.
  int run_posted_tasks();
  // Main thread: refuses further posts and releases waiting posters.
  void shut_down_posting();

  // --- Quitting from outside -------------------------------------------------
  // SIGINT and SIGTERM (once handle_quit_signals is called) and the end of
  // the session reach the main loop as one Close event without a window. A
  // modal loop (a message box) that receives it answers as cancelled and
  // hands it back, so that the main loop still closes the application in
  // order.
  void requeue_quit() { m_quit_requeued.store(true); }

  // --- Services ------------------------------------------------------------
  virtual Clock& clock() = 0;
  virtual Dialogs& dialogs() = 0;
  virtual FontService& fonts() = 0;
  virtual SoundOutput& sound() = 0;
  virtual MidiOutput& midi() = 0;
  virtual CdAudio& cd_audio() = 0;
  virtual System& system() = 0;

  // --- Timers --------------------------------------------------------------
  // A periodic timer on the platform's clock: a thread under a real clock;
  // under a virtual clock the frame driver runs it as the clock passes its
  // due times (the sound pulled up to each of them first).
  virtual std::unique_ptr<PeriodicTimer> create_timer(std::uint32_t interval_ms, std::function<void()> callback,
                                                      ThreadPriority priority = ThreadPriority::Normal) {
    return start_thread_timer(interval_ms, std::move(callback), priority);
  }

 protected:
  // The backends ask this when they look for events: true once for each
  // quit to deliver.
  bool take_quit();

 private:
  struct Posted {
    std::function<void()> task;
    bool taken = false;
    bool done = false;
  };
  std::mutex m_post_mutex;
  std::condition_variable m_post_cv;
  std::deque<Posted*> m_posted;
  bool m_posting_closed = false;
  std::thread::id m_main_thread;
  std::atomic<bool> m_quit_requeued{false};
  int m_quit_signals_seen = 0;
};

// Makes SIGINT and SIGTERM ask every platform's main loop to close (see
// requeue_quit); a second one while the first is being served ends the
// process at once, for a player that does not close. For the player's
// entry point: it is process-wide.
void handle_quit_signals();

struct HeadlessOptions {
  DisplayMode desktop{1920, 1080, 32, 60};
  // The desktop minus a 40-pixel task bar at the bottom.
  Rect work_area{0, 0, 1920, 1040};
  std::vector<DisplayMode> modes{{640, 480, 16, 60},  {640, 480, 32, 60},  {800, 600, 16, 60},  {800, 600, 32, 60},
                                 {1024, 768, 32, 60}, {1280, 720, 32, 60}, {1920, 1080, 32, 60}};
  // How message boxes are answered when no answer was queued: Yes / OK
  // (true) or No / Cancel (false).
  bool answer_yes = true;
  // Scripted input, one event a line (see headless/input_script.h).
  std::string input_script;
  // Write the mixed sound output here as a WAV file when set.
  std::filesystem::path record_audio;
  // Real pixels per point of the desktop (2 on a high-density desktop). The
  // desktop, its work area and window sizes are in points.
  int desktop_scale = 1;
  // Echo message boxes to standard error (caption and text).
  bool echo_message_boxes = true;
  // What the kernel services answer instead of the host's (folders, the
  // executable, mounts, language, read-only folders).
  SystemOverrides system;
};

// Creates a backend. The SDL backend throws PlatformError when SDL cannot
// start its video subsystem (no display).
std::unique_ptr<Platform> create_platform(Backend backend, const HeadlessOptions& headless = {});

}  // namespace nova::platform
