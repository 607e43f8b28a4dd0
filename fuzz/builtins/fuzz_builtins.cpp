// Every registered builtin function on calls made from the input, compiled
// as expression text and run by a headless player's function manager on a
// temporary base folder. Beside it lies an "outside" folder that planted
// links in the base folder point at: whatever the calls do, it must stay
// byte-identical, and nothing may crash, hang or grow without bound.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "app/app_functions.h"
#include "app/player_context.h"
#include "app/script_title.h"
#include "calls.h"
#include "components/base_list.h"
#include "core/error.h"
#include "core/log.h"
#include "expr/nova_parser.h"
#include "platform/headless/headless_platform.h"
#include "script/page_file.h"

namespace {

namespace fs = std::filesystem;
using namespace nova;

void write(const fs::path& p, const std::string& bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << bytes;
}

std::map<std::string, std::string> snapshot(const fs::path& root) {
  std::map<std::string, std::string> out;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
    const std::string rel = fs::relative(it->path(), root).string();
    if (it->is_symlink()) {
      out[rel] = "link:" + fs::read_symlink(it->path()).string();
    } else if (it->is_regular_file()) {
      std::ifstream in(it->path(), std::ios::binary);
      out[rel] = "file:" + std::string(std::istreambuf_iterator<char>(in), {});
    } else {
      out[rel] = "dir";
    }
  }
  return out;
}

struct World {
  World() {
    core::set_stderr_logging(false);
    char pattern[] = "/tmp/nova-fuzz-builtins-XXXXXX";
    root = mkdtemp(pattern);
    base = root / "base";
    outside = root / "outside";
    write(outside / "secret.txt", "secret");
    write(outside / "deep" / "x", "x");
    write(base / "data.txt", "line 1\r\nline 2\n");
    write(base / "sub" / "a.txt", "a");
    fs::create_symlink(outside, base / "out");
    fs::create_symlink(outside / "secret.txt", base / "out_file");
    script::TProjectSetting settings;
    settings.title = "fuzz";
    settings.start_page = "main.nsb";
    const auto npb = settings.Bytes();
    write(base / "nova.npb", std::string(npb.begin(), npb.end()));
    script::TPageFile page;
    page.commands.push_back(script::TCommandRecord::make(script::CC_WAIT));
    const auto nsb = page.bytes();
    write(base / "main.nsb", std::string(nsb.begin(), nsb.end()));
    fs::create_directories(root / "player");
    before = snapshot(outside);

    platform::HeadlessOptions o;
    o.echo_message_boxes = false;
    headless = std::make_unique<platform::HeadlessPlatform>(o);
    ctx = std::make_unique<app::PlayerContext>(*headless, app::PlayerOptions{}, root / "player");
    files::FileManagerEnvironment env;
    env.temp_folder = root;
    env.executable = root / "player" / "novaplayer";
    env.current_cdrom_roots = [] { return std::vector<fs::path>{}; };
    ctx->services.set_files(std::make_unique<files::TVrFileManager>(headless->dialogs(), env));
    ctx->services.files()->SetBaseFolder(base);
    ctx->services.set_variables(std::make_unique<app::VariableStore>());
    auto functions = std::make_unique<app::SystemFunctions>(1, ctx->services.variables()->store, ctx->services.files());
    // SaveScreen draws this list's bases.
    bases = std::make_unique<components::TNovaBaseList>(components::BaseListServices{factory});
    bases->SetScreenSize(32, 24);
    functions->component_scope.list = bases.get();
    app::register_app_functions(functions->funcs, *ctx, *functions->access);
    ctx->services.set_functions(std::move(functions));
    script::ProjectOptions options;
    options.save_paths.arguments = {base};
    app::VariableStore& v = *ctx->services.variables();
    app::SystemFunctions& f = *ctx->services.functions();
    auto project = std::make_unique<script::TProject>(
        script::ProjectServices{ctx->clock, *ctx->services.files(), v.store, f.funcs, headless->dialogs(), v.router,
                                nullptr, &ctx->services.tables()},
        std::move(options));
    f.extract_dialogs = std::make_unique<app::PlatformExtractDialogs>(*ctx);
    script::register_script_functions(f.funcs, *project, *f.access, *f.extract_dialogs);
    ctx->services.set_project(std::make_unique<app::ScriptProjectHost>(nullptr, std::move(project)));
  }
  ~World() {
    ctx.reset();
    headless.reset();
    std::error_code ec;
    fs::remove_all(root, ec);
  }

  void reset_variables() {
    expr::TParamCollection& store = ctx->services.variables()->store;
    while (store.pushed_count() > 0) store.pop();
    store.reset();
    store.set_temp_name("");
    static constexpr expr::TParamType kTypes[] = {expr::PT_INT, expr::PT_STR, expr::PT_FLOAT, expr::PT_BOOL};
    for (int i = 0; i < fuzz::builtins::kVariables; ++i) {
      bool created = false;
      store.create("v" + std::to_string(i), kTypes[i], expr::TVarScope::Global, created);
    }
    // Memory entries would pile up from run to run.
    files::TVrFileCollection& memory = ctx->services.files()->MemoryArchive();
    for (int i = memory.Count() - 1; i >= 0; --i) {
      if (!memory.At(i).IsSentinel()) memory.Delete(i);
    }
  }

  fs::path root, base, outside;
  std::map<std::string, std::string> before;
  std::unique_ptr<platform::HeadlessPlatform> headless;
  components::TComponentFactory factory;
  std::unique_ptr<components::TNovaBaseList> bases;
  std::unique_ptr<app::PlayerContext> ctx;
};

World& world() {
  static World w;
  return w;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  World& w = world();
  w.reset_variables();
  expr::TParamCollection& store = w.ctx->services.variables()->store;
  const expr::TSysFuncMan& funcs = w.ctx->services.functions()->funcs;
  for (const std::string& text : fuzz::builtins::decode(data, size)) {
    try {
      expr::TNovaParser parser = expr::compile_expression(text);
      parser.execute(store, funcs);
    } catch (const core::Error&) {
      // Text the compiler refuses (a raw text that breaks the literal).
    }
  }
  if (snapshot(w.outside) != w.before) std::abort();
  return 0;
}
