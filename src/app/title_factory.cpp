#include "app/player_context.h"
#include "app/screen_media.h"
#include "app/title_host.h"
#include "core/log.h"

namespace nova::app {
namespace {

// The subsystems of this build. Each step answers what exists; the main
// window runs without what does not.
class BuildFactory final : public TitleFactory {
 public:
  void mount_data(PlayerContext&) override {}
  std::unique_ptr<Subsystem> create_variable_store(PlayerContext&) override { return nullptr; }
  std::unique_ptr<Subsystem> create_system_functions(PlayerContext&) override { return nullptr; }
  std::unique_ptr<ComponentHost> create_component_system(PlayerContext&) override { return nullptr; }
  std::unique_ptr<ProjectHost> create_project(PlayerContext&) override {
    core::log(core::Channel::App, core::Level::Warning,
              "this build has no script engine yet: the title is not loaded and ticks do nothing");
    return nullptr;
  }
  std::unique_ptr<MediaHost> create_media(PlayerContext& ctx, const MediaStart& start) override {
    return std::make_unique<ScreenMedia>(ctx, start);
  }
  void delete_queued_work_files() override {}
};

}  // namespace

std::unique_ptr<TitleFactory> create_title_factory() { return std::make_unique<BuildFactory>(); }

}  // namespace nova::app
