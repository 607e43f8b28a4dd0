// Test doubles for the subsystems the main window drives.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/screen_media.h"
#include "app/title_host.h"
#include "core/error.h"
#include "support/test_support.h"

namespace nova::app::testing {

// Everything the doubles were asked, in order.
struct CallLog {
  std::vector<std::string> calls;
  std::vector<double> rates;  // display rates the screen was given
  void add(std::string c) { calls.push_back(std::move(c)); }
  int count(const std::string& c) const {
    int n = 0;
    for (const auto& x : calls) n += x == c;
    return n;
  }
};

class FakeProject final : public ProjectHost {
 public:
  explicit FakeProject(CallLog& log) : m_log(log) {}
  std::string title() const override { return title_text; }
  int screen_width() const override { return width; }
  int screen_height() const override { return height; }
  int display_option_a() const override { return 0; }
  int display_option_b() const override { return 0; }
  bool pause_when_inactive() const override { return pause_inactive; }
  void run_tick() override {
    ++ticks;
    m_log.add("tick");
  }
  bool perform_pending_save_load() override {
    bool l = pending_load;
    pending_load = false;
    return l;
  }
  ~FakeProject() override { m_log.add("project freed"); }

  std::string title_text = test::sjis("テスト");
  int width = 640, height = 480;
  bool pause_inactive = true;
  bool pending_load = false;
  int ticks = 0;

 private:
  CallLog& m_log;
};

class FakeComponents final : public ComponentHost {
 public:
  explicit FakeComponents(CallLog& log) : m_log(log) {}
  void init_colors() override { m_log.add("init_colors"); }
  void set_screen_size(int w, int h) override { m_log.add("size " + std::to_string(w) + "x" + std::to_string(h)); }
  void begin_frame() override { m_log.add("begin_frame"); }
  void update_frame() override { m_log.add("update"); }
  void draw() override { m_log.add("draw"); }
  void free_surfaces() override { m_log.add("free_surfaces"); }
  void reload_surfaces() override { m_log.add("reload_surfaces"); }
  void release_input() override { m_log.add("release_input"); }
  void invalidate_all() override {}
  void set_buttons_down(bool l, bool r) override {
    m_log.add(std::string("buttons ") + (l ? "L" : "-") + (r ? "R" : "-"));
  }
  void press_current(bool l, bool r) override { m_log.add(std::string("press ") + (l ? "L" : "-") + (r ? "R" : "-")); }
  void mouse_move(int x, int y) override { m_log.add("move " + std::to_string(x) + "," + std::to_string(y)); }
  void wheel(bool down) override { m_log.add(down ? "wheel down" : "wheel up"); }
  void key_down(int k) override { m_log.add("keydown " + std::to_string(k)); }
  void key_up(int k) override { m_log.add("keyup " + std::to_string(k)); }
  ~FakeComponents() override { m_log.add("components freed"); }

 private:
  CallLog& m_log;
};

class FakeScreen final : public ScreenHost {
 public:
  explicit FakeScreen(CallLog& log) : m_log(log) {}
  void present() override {
    m_log.add("present");
    ++frames;
  }
  int frame_count() const override { return frames; }
  void reset_frame_count() override { frames = 0; }
  void set_display_rate(double r) override { m_log.rates.push_back(r); }
  int preferred_mode() const override { return preferred; }
  int current_mode() const override { return current; }
  void select_mode(int index) override {
    m_log.add("select " + std::to_string(index));
    current = (index >= 0 && refuse_full_screen) ? -1 : index;
  }
  void release() override {
    m_log.add("release");
    current = -2;
  }

  int frames = 0;
  int preferred = 0;
  int current = -1;
  bool refuse_full_screen = false;

 private:
  CallLog& m_log;
};

class FakeMedia final : public MediaHost {
 public:
  explicit FakeMedia(CallLog& log) : screen_host(log), m_log(log) {}
  ScreenHost* screen() override { return &screen_host; }
  void pause_all() override { m_log.add("pause_all"); }
  void resume_all() override { m_log.add("resume_all"); }
  void frame_shown() override { m_log.add("frame_shown"); }
  void suspend_video() override { m_log.add("suspend_video"); }
  void resume_video() override { m_log.add("resume_video"); }
  bool midi_device_open() const override { return midi_open; }
  void pause_midi_and_close() override {
    m_log.add("midi closed");
    midi_open = false;
  }
  void reopen_midi_and_resume() override {
    m_log.add("midi reopened");
    midi_open = true;
  }
  void finalize() override { m_log.add("media finalized"); }

  bool midi_open = false;
  FakeScreen screen_host;

 private:
  CallLog& m_log;
};

// A factory handing out the doubles; each can be switched off.
class FakeFactory final : public TitleFactory {
 public:
  void mount_data(PlayerContext&) override {
    log.add("mount");
    if (mount_error) throw core::Error(*mount_error);
  }
  void create_variable_store(PlayerContext&) override {}
  void create_system_functions(PlayerContext&) override {}
  void create_component_system(PlayerContext& ctx) override {
    if (!with_components) return;
    auto c = std::make_unique<FakeComponents>(log);
    components = c.get();
    ctx.services.set_components(std::move(c));
  }
  void create_project(PlayerContext& ctx) override {
    if (project_error) throw core::Error(*project_error);
    // A start that stops after its own message (no start page) leaves the
    // terminate flag set.
    if (stop_at_start) ctx.clock.TerminateFlag.store(true);
    if (!with_project) return;
    auto p = std::make_unique<FakeProject>(log);
    p->width = width;
    p->height = height;
    p->pause_inactive = pause_inactive;
    project = p.get();
    ctx.services.set_project(std::move(p));
  }
  void create_media(PlayerContext& ctx, const MediaStart& start) override {
    if (real_screen) {
      ctx.services.set_media(std::make_unique<ScreenMedia>(ctx, start));
      return;
    }
    if (!with_media) return;
    auto m = std::make_unique<FakeMedia>(log);
    media = m.get();
    ctx.services.set_media(std::move(m));
  }

  CallLog log;
  bool with_project = true, with_components = true, with_media = true, pause_inactive = true;
  // The real screen manager instead of the media double.
  bool real_screen = false;
  int width = 640, height = 480;
  std::optional<std::string> project_error;
  std::optional<std::string> mount_error;
  bool stop_at_start = false;
  FakeProject* project = nullptr;
  FakeComponents* components = nullptr;
  FakeMedia* media = nullptr;
};

}  // namespace nova::app::testing
