#include <memory>

#include "app/app_functions.h"
#include "app/component_system_host.h"
#include "app/player_context.h"
#include "app/screen_media.h"
#include "app/script_title.h"
#include "app/title_host.h"
#include "core/error.h"
#include "core/log.h"
#include "files/title_mount.h"

namespace nova::app {
namespace {

// An unattended player asks for a missing disc a few times, then gives up:
// its boxes answer at once and would ask for ever.
constexpr int kUnattendedPromptRounds = 3;
// The depth of the screen surface the pictures are converted to.
constexpr int kScreenBits = 32;

// The subsystems of this build. Each step fills its slot of the title
// services when the build has the subsystem; the main window runs without
// what it does not.
class BuildFactory final : public TitleFactory {
 public:
  void mount_data(PlayerContext& ctx) override {
    // The file manager stands where the system makes it, before anything
    // of the title is read; the title services keep it to the end of the
    // process, so work files are deleted last.
    platform::System& system = ctx.platform.system();
    files::FileManagerEnvironment env = files::FileManagerEnvironment::FromSystem(system);
    // Work files of players that were killed would stay for ever.
    files::TVrFileManager::RemoveStaleWorkFolders(env.temp_folder);
    env.executable = executable_of(ctx);
    if (ctx.platform.unattended()) env.max_prompt_rounds = kUnattendedPromptRounds;
    ctx.services.set_files(std::make_unique<files::TVrFileManager>(ctx.platform.dialogs(), std::move(env)));
    files::mount_title_data(*ctx.services.files(), executable_of(ctx), arguments(ctx));
  }

  void create_variable_store(PlayerContext& ctx) override {
    ctx.services.set_variables(std::make_unique<VariableStore>());
  }

  void create_system_functions(PlayerContext& ctx) override {
    if (!ctx.services.variables()) core::throw_error("the variable store is missing");
    auto functions =
        std::make_unique<SystemFunctions>(ctx.random_seed, ctx.services.variables()->store, ctx.services.files());
    // The application's functions come after the lower layers'.
    if (functions->access) register_app_functions(functions->funcs, ctx, *functions->access);
    ctx.services.set_functions(std::move(functions));
  }

  void create_component_system(PlayerContext& ctx) override {
    // The pictures every image component shows, read through the title's
    // files at the screen's depth; they go after the components.
    if (files::TVrFileManager* f = ctx.services.files()) {
      ctx.services.set_pictures(std::make_unique<TitlePictures>(*f, kScreenBits));
    }
    // Every character the components and texts draw comes from this cache;
    // it stands before the component system and goes after it.
    ctx.services.set_glyphs(std::make_unique<text::TFontPixelManager>(ctx.platform.fonts()));
    ctx.services.set_components(std::make_unique<ComponentSystemHost>(ctx));
  }

  void create_project(PlayerContext& ctx) override {
    TitleServices& services = ctx.services;
    if (!services.files() || !services.variables() || !services.functions())
      core::throw_error("the title's data, variables or functions are missing");
    const bool unattended = ctx.platform.unattended();
    auto fatal = [&ctx, unattended] {
      if (unattended) ctx.exit_status = 1;
    };
    std::unique_ptr<TraceFile> trace;
    if (!ctx.options.trace_file.empty()) trace = std::make_unique<TraceFile>(ctx.options.trace_file);

    script::ProjectOptions options;
    options.save_paths.arguments = arguments(ctx);
    options.save_paths.executable_folder = ctx.exe_folder;
    options.save_paths.user_data_folder = ctx.platform.system().user_data_folder();
    options.save_paths.folder_writable = [&system = ctx.platform.system()](const std::filesystem::path& folder) {
      return system.folder_writable(folder);
    };
    options.request_close = [&ctx] {
      if (ctx.request_close) ctx.request_close();
    };
    options.on_fatal = fatal;
    if (trace) options.trace = [file = trace.get()](std::string_view line) { file->write(line); };
    components::TNovaBaseList* base_list = nullptr;
    if (ComponentHost* c = services.components()) {
      options.events = c->events();
      options.directory = c->directory();
      base_list = c->base_list();
    }
    VariableStore& variables = *services.variables();
    try {
      auto project = std::make_unique<script::TProject>(
          script::ProjectServices{ctx.clock, *services.files(), variables.store, services.functions()->funcs,
                                  ctx.platform.dialogs(), variables.router, base_list, &services.tables()},
          std::move(options));
      if (TitlePictures* pictures = services.pictures()) pictures->cache().SetImageKey(project->image_key());
      // The read marks are the project's status data; the boxes keep them.
      if (base_list) base_list->set_read_marks(&project->ReadMarks());
      SystemFunctions& functions = *services.functions();
      if (functions.access) {
        functions.extract_dialogs = std::make_unique<PlatformExtractDialogs>(ctx);
        script::register_script_functions(functions.funcs, *project, *functions.access, *functions.extract_dialogs);
      }
      services.set_project(std::make_unique<ScriptProjectHost>(std::move(trace), std::move(project)));
    } catch (const core::Error&) {
      fatal();
      throw;
    }
  }

  void create_media(PlayerContext& ctx, const MediaStart& start) override {
    auto media = std::make_unique<ScreenMedia>(ctx, start);
    if (ComponentHost* c = ctx.services.components()) {
      media->set_present_source(c->present_source());
      c->set_screen(media->screen_manager());
    }
    ctx.services.set_media(std::move(media));
  }

 private:
  static std::vector<std::filesystem::path> arguments(const PlayerContext& ctx) {
    return {ctx.options.data.begin(), ctx.options.data.end()};
  }
  static std::filesystem::path executable_of(const PlayerContext& ctx) {
    return ctx.exe_folder / ctx.platform.system().executable_path().filename();
  }
};

}  // namespace

std::unique_ptr<TitleFactory> create_title_factory() { return std::make_unique<BuildFactory>(); }

}  // namespace nova::app
