// The player of the real build, run inside the test's process on the
// headless platform: a title source tree (project.nvp and .nvs pages,
// written by the test) is built into a temporary folder, the main window
// is created on it, the test adds its own components to the base list
// before the first tick, the ticks run with the scripted input, and the
// player closes as the exit button's Yes does. The trace, the screenshots
// and save.dat are then read from the folder.
//
// Lifetime: the player, its platform and its folder live with the object;
// everything the test borrows from it (the base list) is valid until
// run() has closed the player.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace nova::platform {
class HeadlessPlatform;
}
namespace nova::components {
class TNovaBaseList;
class TComponentFactory;
}  // namespace nova::components
namespace nova::app {
struct PlayerContext;
class TFormView;
class TitleFactory;
}  // namespace nova::app
namespace nova::script {
class TProject;
}

namespace nova::test {

struct InProcessOptions {
  int ticks = 60;
  std::uint32_t seed = 1;
  // "TICK EVENT" lines of the player's --input format.
  std::vector<std::string> input;
  // Ticks at which the presented screen is kept (screenshot(tick)).
  std::vector<std::int64_t> screenshots;
  // 0, 1 (15-bit surfaces) or 2.
  int surface_setting = 0;
  // The System service answers that the title's folder takes no new files.
  bool read_only_title = false;
};

class InProcessPlayer {
 public:
  // `pages` maps file names ("project.nvp", "start.nvs") to UTF-8 source.
  // Fails the test (and leaves nothing to run) when the title does not
  // build or the player does not start.
  InProcessPlayer(const std::map<std::string, std::string>& pages, InProcessOptions options);
  ~InProcessPlayer();

  bool started() const { return m_view != nullptr; }
  // The main base list, to which the test adds its components.
  components::TNovaBaseList& bases() const;
  platform::HeadlessPlatform& platform() const { return *m_platform; }
  app::PlayerContext& context() const { return *m_ctx; }

  // Runs every tick, then closes the player.
  void run();
  // Instead of run(): n frame ticks of 15 ms each, as the timing thread
  // gives them, without the scripted input; the test looks in between.
  void frames(int n);
  // The running title's project; null before a start or after the close.
  script::TProject* project() const;
  // The screen as last composed: its pixel values, row by row.
  std::vector<std::uint32_t> screen() const;

  std::string trace() const;
  // The PNG written at that tick ("" when none).
  std::string screenshot(std::int64_t tick) const;
  std::filesystem::path screenshot_path(std::int64_t tick) const;
  std::filesystem::path save_file() const;

 private:
  TempDir m_dir;
  std::unique_ptr<platform::HeadlessPlatform> m_platform;
  std::unique_ptr<app::PlayerContext> m_ctx;
  std::unique_ptr<app::TitleFactory> m_factory;
  std::unique_ptr<app::TFormView> m_view;
};

}  // namespace nova::test
