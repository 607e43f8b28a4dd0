#include <memory>

#include "app/player_context.h"
#include "app/screen_media.h"
#include "app/script_title.h"
#include "app/title_host.h"
#include "core/error.h"
#include "core/log.h"
#include "platform/headless/headless_platform.h"
#include "platform/system.h"

namespace nova::app {
namespace {

// A headless player asks for a missing disc a few times, then gives up:
// its boxes answer at once and would ask for ever.
constexpr int kHeadlessPromptRounds = 3;

// The subsystems of this build. Each step answers what exists; the main
// window runs without what does not (there is no component system yet, and
// of the media only the screen manager).
class BuildFactory final : public TitleFactory {
 public:
  void mount_data(PlayerContext& ctx) override {
    // The file manager stands where the system makes it, before anything
    // of the title is read; the factory outlives the main window, so work
    // files are deleted when the process ends.
    files::FileManagerEnvironment env = files::FileManagerEnvironment::FromHost();
    env.executable = executable_of(ctx);
    if (ctx.platform.backend() == platform::Backend::Headless) env.max_prompt_rounds = kHeadlessPromptRounds;
    m_files = std::make_unique<files::TVrFileManager>(ctx.platform.dialogs(), std::move(env));
    mount_title_data(*m_files, executable_of(ctx), arguments(ctx));
  }

  std::unique_ptr<Subsystem> create_variable_store(PlayerContext&) override {
    auto s = std::make_unique<VariableStore>();
    m_variables = s.get();
    return s;
  }

  std::unique_ptr<Subsystem> create_system_functions(PlayerContext& ctx) override {
    auto s = std::make_unique<SystemFunctions>(ctx.random_seed);
    m_functions = s.get();
    return s;
  }

  std::unique_ptr<ComponentHost> create_component_system(PlayerContext&) override { return nullptr; }

  std::unique_ptr<ProjectHost> create_project(PlayerContext& ctx) override {
    if (!m_files || !m_variables || !m_functions)
      core::throw_error("the title's data, variables or functions are missing");
    const bool headless = ctx.platform.backend() == platform::Backend::Headless;
    auto fatal = [&ctx, headless] {
      if (headless) ctx.exit_status = 1;
    };
    if (!ctx.options.trace_file.empty()) m_trace = std::make_unique<TraceFile>(ctx.options.trace_file);

    script::ProjectOptions options;
    options.save_paths.arguments = arguments(ctx);
    options.save_paths.executable_folder = ctx.exe_folder;
    options.save_paths.user_data_folder = platform::user_data_folder();
    options.request_close = [&ctx] {
      if (ctx.request_close) ctx.request_close();
    };
    options.on_fatal = fatal;
    if (m_trace) options.trace = [trace = m_trace.get()](std::string_view line) { trace->write(line); };
    try {
      auto project = std::make_unique<script::TProject>(
          script::ProjectServices{ctx.clock, *m_files, m_variables->store, m_functions->funcs, ctx.platform.dialogs()},
          std::move(options));
      return std::make_unique<ScriptProjectHost>(std::move(project));
    } catch (const core::Error&) {
      fatal();
      throw;
    }
  }

  std::unique_ptr<MediaHost> create_media(PlayerContext& ctx, const MediaStart& start) override {
    return std::make_unique<ScreenMedia>(ctx, start);
  }

  void delete_queued_work_files() override {
    if (m_files) m_files->DeleteWorkFiles();
  }

 private:
  static std::vector<std::filesystem::path> arguments(const PlayerContext& ctx) {
    return {ctx.options.data.begin(), ctx.options.data.end()};
  }
  static std::filesystem::path executable_of(const PlayerContext& ctx) {
    return ctx.exe_folder / platform::executable_path().filename();
  }

  std::unique_ptr<files::TVrFileManager> m_files;
  std::unique_ptr<TraceFile> m_trace;
  VariableStore* m_variables = nullptr;
  SystemFunctions* m_functions = nullptr;
};

}  // namespace

std::unique_ptr<TitleFactory> create_title_factory() { return std::make_unique<BuildFactory>(); }

}  // namespace nova::app
