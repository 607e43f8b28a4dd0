// The builtin functions as the player registers them: every index has a
// behaviour (only the history functions still say what they need), the file dialogs answer through the platform and the
// script file access, OpenUrl refuses what is no web address and launches
// at most once a second on the player's timer.
#include "app/app_functions.h"

#include <gtest/gtest.h>

#include <set>

#include "app/player_context.h"
#include "app/script_title.h"
#include "core/error.h"
#include "core/log.h"
#include "platform/headless/headless_platform.h"
#include "script/page_file.h"
#include "support/test_support.h"

namespace nova::app {
namespace {

namespace fs = std::filesystem;

class AppFunctions : public ::testing::Test {
 protected:
  AppFunctions() {
    fs::create_directories(dir / "title");
    script::TProjectSetting settings;
    settings.title = "t";
    settings.start_page = "main.nsb";
    const auto npb = settings.Bytes();
    test::write_file(dir / "title" / "nova.npb", std::string(npb.begin(), npb.end()));
    script::TPageFile page;
    page.commands.push_back(script::TCommandRecord::make(script::CC_WAIT));
    const auto nsb = page.bytes();
    test::write_file(dir / "title" / "main.nsb", std::string(nsb.begin(), nsb.end()));
    test::write_file(dir / "title" / "data.txt", "payload");
    fs::create_directories(dir / "player");

    platform::HeadlessOptions o;
    o.echo_message_boxes = false;
    o.dialog_answers = {"cancel", (dir / "picked.txt").string(), (dir / "folder").string()};
    headless = std::make_unique<platform::HeadlessPlatform>(o);
    ctx = std::make_unique<PlayerContext>(*headless, PlayerOptions{}, dir / "player");
    files::FileManagerEnvironment env;
    env.temp_folder = dir.path();
    env.executable = dir / "player" / "novaplayer";
    env.current_cdrom_roots = [] { return std::vector<fs::path>{}; };
    ctx->services.set_files(std::make_unique<files::TVrFileManager>(headless->dialogs(), env));
    ctx->services.files()->SetBaseFolder(dir / "title");
    ctx->services.set_variables(std::make_unique<VariableStore>());
    auto functions = std::make_unique<SystemFunctions>(1, ctx->services.variables()->store, ctx->services.files());
    register_app_functions(functions->funcs, *ctx, *functions->access);
    ctx->services.set_functions(std::move(functions));
    script::ProjectOptions options;
    options.save_paths.arguments = {dir / "title"};
    VariableStore& v = *ctx->services.variables();
    auto project = std::make_unique<script::TProject>(
        script::ProjectServices{ctx->clock, *ctx->services.files(), v.store, funcs(), headless->dialogs(), v.router},
        std::move(options));
    SystemFunctions& f = *ctx->services.functions();
    f.extract_dialogs = std::make_unique<PlatformExtractDialogs>(*ctx);
    script::register_script_functions(f.funcs, *project, *f.access, *f.extract_dialogs);
    ctx->services.set_project(std::make_unique<ScriptProjectHost>(nullptr, std::move(project)));
  }

  expr::TSysFuncMan& funcs() { return ctx->services.functions()->funcs; }
  expr::TParamCollection& store() { return ctx->services.variables()->store; }
  const expr::TCustomParam* run(std::string_view text) {
    parser = expr::compile_expression(text);
    ok = parser.execute(store(), funcs());
    return parser.result();
  }

  test::TempDir dir;
  std::unique_ptr<platform::HeadlessPlatform> headless;
  std::unique_ptr<PlayerContext> ctx;
  expr::TNovaParser parser;
  bool ok = false;
};

TEST_F(AppFunctions, EveryIndexHasABehaviourAndOnlyThePendingOnesSaySo) {
  core::set_stderr_logging(false);
  // This player has no component system, so no history formats.
  const std::set<int> without_history = {142, 143, 144};
  for (int index = 0; index < expr::kSysFuncCount; ++index) {
    const expr::TSysFuncInfo& info = expr::kSysFuncs[static_cast<std::size_t>(index)];
    SCOPED_TRACE(std::string(info.name));
    ASSERT_TRUE(funcs().has_behaviour(index));
    // Called with the fewest arguments, each a plain zero, into a target
    // of its type.
    expr::TParamInt zero(0);
    std::vector<expr::TCustomParam*> args(static_cast<std::size_t>(info.min_args), &zero);
    if (index == 108 || (index >= 108 && index <= 115)) args.assign(7, &zero);
    auto target = expr::make_value(info.result_by_property ? expr::PT_INT : info.result);
    std::string message;
    try {
      funcs().call(*target, index, args);
    } catch (const core::Error& e) {
      message = test::utf8(e.message());
    }
    if (without_history.count(index)) {
      EXPECT_EQ(message, std::string(info.name) + ": the message history does not exist (no component system)");
    } else {
      EXPECT_EQ(message.find("not built"), std::string::npos) << message;
      EXPECT_EQ(message.find("not available"), std::string::npos) << message;
    }
  }
  core::set_stderr_logging(true);
}

TEST_F(AppFunctions, DialogsAnswerScriptNamesThatCopyFileMayWriteTo) {
  auto& v = store();
  bool created = false;
  v.create("f", expr::PT_STR, expr::TVarScope::Global, created);
  EXPECT_FALSE(run("SelectSaveFile(f, \"Text|*.txt\")")->as_flag()) << "the first answer cancels";
  EXPECT_TRUE(run("SelectSaveFile(f)")->as_flag());
  const std::string name = v.find("f")->value().as_str();
  EXPECT_EQ(name, files::ScriptFileAccess::ScriptNameOf(dir / "picked.txt", false));
  v.create("g", expr::PT_STR, expr::TVarScope::Global, created);
  EXPECT_TRUE(run("CopyFile(\"data.txt\", f)")->as_flag());
  EXPECT_EQ(test::read_file(dir / "picked.txt"), "payload");
  fs::create_directories(dir / "folder");
  EXPECT_TRUE(run("SelectDirectory(g)")->as_flag());
  EXPECT_EQ(v.find("g")->value().as_str().back(), '\\');
  EXPECT_TRUE(run("CopyFile(\"data.txt\", g ++ \"in.txt\")")->as_flag());
  EXPECT_EQ(test::read_file(dir / "folder" / "in.txt"), "payload");
  EXPECT_FALSE(run("SelectOpenFile(f)")->as_flag()) << "no answers left: cancel";
  EXPECT_FALSE(run("CopyFile(\"data.txt\", \"\\\\etc\\\\x\")")->as_flag()) << "a path nobody chose";
  EXPECT_FALSE(run("SetWallPaper(\"data.txt\", 0)")->as_flag());
  EXPECT_FALSE(run("GetDisplayMode(0, f, f, f, f)")->as_flag()) << "no screen without media";
}

// A title's dialogs belong to the main window while it is open, so that
// the desktop keeps them above it; before it opens they have no owner.
TEST_F(AppFunctions, DialogsBelongToTheMainWindowWhileItIsOpen) {
  bool created = false;
  store().create("f", expr::PT_STR, expr::TVarScope::Global, created);
  run("SelectOpenFile(f)");
  ASSERT_EQ(headless->dialog_records().size(), 1u);
  EXPECT_FALSE(headless->dialog_records().back().owned);
  platform::WindowSpec spec;
  spec.visible = false;
  const auto window = headless->create_window(spec);
  ctx->main_window = window.get();
  run("SelectSaveFile(f)");
  run("SelectDirectory(f)");
  ctx->services.functions()->extract_dialogs->ask_overwrite("x");
  const auto records = headless->dialog_records();
  ASSERT_EQ(records.size(), 4u);
  const char* kinds[] = {"open", "save", "folder", "message"};
  for (std::size_t i = 1; i < records.size(); ++i) {
    EXPECT_EQ(records[i].kind, kinds[i]);
    EXPECT_TRUE(records[i].owned) << records[i].kind;
  }
  ctx->main_window = nullptr;
}

TEST_F(AppFunctions, OpenUrlTakesOnlyWebAddressesAtMostOnceASecond) {
  EXPECT_EQ(url_for_launch("http://example.com/a?b=c"), "http://example.com/a?b=c");
  EXPECT_EQ(url_for_launch("HTTPS://example.com/"), "HTTPS://example.com/");
  EXPECT_EQ(url_for_launch(test::sjis("https://例.jp/漢")), "https://%E4%BE%8B.jp/%E6%BC%A2");
  for (std::string bad : {"ftp://example.com/", "file:///etc/passwd", "javascript:alert(1)", "http//x", "http://a b",
                          "http://a\tb", "http://a\x7F", "xhttp://a", "/usr/bin/xterm"}) {
    EXPECT_FALSE(url_for_launch(bad)) << bad;
  }
  EXPECT_FALSE(url_for_launch(test::sjis("http://a　b"))) << "a full-width blank";
  EXPECT_FALSE(url_for_launch(std::string("http://a\x82", 9))) << "no Shift-JIS text";

  core::set_stderr_logging(false);
  EXPECT_FALSE(run("OpenUrl(\"c:\\\\windows\\\\notepad.exe\")")->as_flag());
  EXPECT_TRUE(run("OpenUrl(\"http://example.com/\")")->as_flag());
  headless->advance_ms(999);
  EXPECT_FALSE(run("OpenUrl(\"http://example.com/\")")->as_flag()) << "within a second of the last";
  headless->advance_ms(1);
  EXPECT_TRUE(run("OpenUrl(\"http://example.com/\")")->as_flag());
  core::set_stderr_logging(true);
}

}  // namespace
}  // namespace nova::app
