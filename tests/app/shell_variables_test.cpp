// The "@" variables as the player wires them: every index has its holder
// once a title has started, and the shell's own variables read and change
// the player (full screen, display modes, fonts, the project's settings).
#include "app/shell_variables.h"

#include <gtest/gtest.h>

#include "app/form_view.h"
#include "app/player_context.h"
#include "core/log.h"
#include "data/history_format.h"
#include "expr/nova_parser.h"
#include "platform/headless/headless_platform.h"
#include "script/page_file.h"
#include "script/project_setting.h"
#include "support/test_support.h"

namespace nova::app {
namespace {

namespace fs = std::filesystem;

// A player of the real build on a title of one page that waits for ever.
struct Player {
  explicit Player(std::vector<platform::DisplayMode> modes = {{640, 480, 32, 60}, {800, 600, 32, 60}})
      : platform(options(std::move(modes))), ctx(platform, PlayerOptions{}, dir / "player") {
    fs::create_directories(dir / "player");
    fs::create_directories(dir / "title");
    script::TProjectSetting settings;
    settings.title = test::sjis("変数の題");
    settings.screen_width = 640;
    settings.screen_height = 480;
    settings.start_page = "main.nsb";
    const auto npb = settings.Bytes();
    test::write_file(dir / "title" / "nova.npb", std::string(npb.begin(), npb.end()));
    script::TPageFile page;
    page.commands.push_back(script::TCommandRecord::make(script::CC_WAIT));
    const auto nsb = page.bytes();
    test::write_file(dir / "title" / "main.nsb", std::string(nsb.begin(), nsb.end()));
    ctx.options.headless = true;
    ctx.options.data = {(dir / "title").string()};
    factory = create_title_factory();
    view = std::make_unique<TFormView>(ctx, *factory);
    view->FormCreate();
  }
  ~Player() { view.reset(); }
  static platform::HeadlessOptions options(std::vector<platform::DisplayMode> modes) {
    platform::HeadlessOptions o;
    o.echo_message_boxes = false;
    o.modes = std::move(modes);
    return o;
  }
  expr::TParamCollection& store() { return ctx.services.variables()->store; }
  expr::TCustomParam& sys(std::string_view name) { return store().find(name)->value(); }
  // Runs an expression as a page would; false when it stopped at an error.
  bool run(std::string_view text) {
    parser = expr::compile_expression(text);
    return parser.execute(store(), ctx.services.functions()->funcs);
  }

  test::TempDir dir;
  platform::HeadlessPlatform platform;
  PlayerContext ctx;
  std::unique_ptr<TitleFactory> factory;
  std::unique_ptr<TFormView> view;
  expr::TNovaParser parser;
};

TEST(ShellVariables, EveryIndexHasItsHolderOnceTheTitleRuns) {
  Player p;
  ASSERT_FALSE(p.ctx.clock.TerminateFlag.load());
  const expr::TSystemVariableRouter& router = p.ctx.services.variables()->router;
  EXPECT_TRUE(router.unclaimed().empty());
  EXPECT_NE(p.ctx.services.glyphs(), nullptr) << "the glyph manager stands before the component system";
  EXPECT_EQ(router.holder_name(0), "interpreter");
  EXPECT_EQ(router.holder_name(7), "store");
  EXPECT_EQ(router.holder_name(12), "shell");
  // The MIDI manager took the shell's stand-in answers over.
  EXPECT_EQ(router.holder_name(45), "MIDI manager");
  EXPECT_EQ(router.holder_name(46), "MIDI manager");
  EXPECT_EQ(router.holder_name(43), "history");
  EXPECT_EQ(router.holder_name(8), "history");
  EXPECT_EQ(router.holder_name(35), "input") << "the input variables replace the component placeholder";
  EXPECT_EQ(router.holder_name(1), "input");

  EXPECT_EQ(p.sys("@ScrWidth").as_int(), 640);
  EXPECT_EQ(p.sys("@ScrHeight").as_int(), 480);
  EXPECT_EQ(p.sys("@Title").as_str(), test::sjis("変数の題"));
  EXPECT_FALSE(p.sys("@IsDebug").as_flag());
  EXPECT_EQ(p.sys("@MidiPort").as_str(), test::sjis("MIDIマッパー"));
  // The mapper, then the platform's ports.
  EXPECT_EQ(p.sys("@MidiPorts").count(), 1 + static_cast<std::int32_t>(p.platform.midi().ports().size()));
  EXPECT_EQ(p.sys("@HistoryCount").as_int(), 0);
  ASSERT_TRUE(p.run("@HistoryMaxCount = 30"));
  EXPECT_EQ(p.sys("@HistoryMaxCount").as_int(), 30);
  // The default format of the component system's history is what they read.
  data::TNovaHistoryFormatManager* history = p.ctx.services.components()->history();
  ASSERT_NE(history, nullptr);
  EXPECT_EQ(history->Default().History().MaxCount(), 30);
  data::NotedPage page;
  page.box = "mes";
  page.key = "ep1";
  history->NotePage(page);
  EXPECT_EQ(p.sys("@HistoryCount").as_int(), 0) << "the page shown is not counted yet";
  history->Commit("mes", {});
  EXPECT_EQ(p.sys("@HistoryCount").as_int(), 1);
  ASSERT_TRUE(p.run("@HistoryCount = 9"));
  EXPECT_EQ(p.sys("@HistoryCount").as_int(), 1) << "read-only";
  // The component system's variables read the bases.
  ASSERT_TRUE(p.run("@LClick"));
  EXPECT_FALSE(p.sys("@LClick").as_flag());
  ASSERT_TRUE(p.run("@KeyPush[256] = 1"));
  EXPECT_FALSE(p.sys("@WheelDown").as_flag()) << "the key arrays are read-only";
  // The headless calendar starts at 2000-01-01 (a Saturday) unless told.
  EXPECT_EQ(p.sys("@Year").as_int(), 2000);
  EXPECT_EQ(p.sys("@Week").as_int(), 7);
}

TEST(ShellVariables, FullScreenAndTheDisplayModes) {
  Player p;
  EXPECT_EQ(p.sys("@DisplayModeCount").as_int(), 2);
  EXPECT_EQ(p.sys("@DisplayModeIndex").as_int(), 0);
  // A mode outside the list is ignored: it would be looked up with it.
  ASSERT_TRUE(p.run("@DisplayModeIndex = 2"));
  ASSERT_TRUE(p.run("@DisplayModeIndex = -1"));
  EXPECT_EQ(p.sys("@DisplayModeIndex").as_int(), 0);

  ASSERT_TRUE(p.run("@FullScr = TRUE"));
  EXPECT_TRUE(p.view->full_screen());
  EXPECT_TRUE(p.sys("@FullScr").as_flag());
  EXPECT_EQ(p.view->window()->fullscreen_mode(), 0);
  EXPECT_EQ(p.view->window()->client_size(), (platform::Size{640, 480}));
  // Choosing another mode while in full screen switches to it.
  ASSERT_TRUE(p.run("@DisplayModeIndex = 1"));
  EXPECT_EQ(p.sys("@DisplayModeIndex").as_int(), 1);
  EXPECT_EQ(p.view->window()->fullscreen_mode(), 1);
  // No mode changes: the window covers the desktop whatever mode is chosen,
  // and the title's panel fills the client area the picture is scaled from.
  EXPECT_EQ(p.view->window()->client_size(), (platform::Size{640, 480}));
  EXPECT_EQ(p.view->window()->view_size(), (platform::Size{1920, 1080}));
  EXPECT_EQ(p.view->panel(), platform::Rect::from_size(0, 0, 640, 480));
  ASSERT_TRUE(p.run("@DisplayModeIndex = 7"));
  EXPECT_EQ(p.view->window()->fullscreen_mode(), 1);
  ASSERT_TRUE(p.run("@FullScr = FALSE"));
  EXPECT_FALSE(p.view->full_screen());
  EXPECT_EQ(p.view->window()->fullscreen_mode(), -1);
}

TEST(ShellVariables, FontListsOneNameALine) {
  Player p;
  const std::string fonts = p.sys("@Fonts").as_str();
  const std::string fixed = p.sys("@FixedFonts").as_str();
  auto lines = [](const std::string& text) {
    std::vector<std::string> out;
    std::size_t at = 0;
    while (true) {
      const std::size_t end = text.find("\r\n", at);
      out.push_back(text.substr(at, end == std::string::npos ? std::string::npos : end - at));
      if (end == std::string::npos) break;
      at = end + 2;
    }
    return out;
  };
  const auto all = lines(fonts), fixed_only = lines(fixed);
  auto has = [](const std::vector<std::string>& list, std::string_view utf8) {
    return std::find(list.begin(), list.end(), test::sjis(utf8)) != list.end();
  };
  // The Japanese system faces stand on the IPA fonts setup installs.
  EXPECT_TRUE(has(all, "ＭＳ ゴシック"));
  EXPECT_TRUE(has(all, "ＭＳ Ｐ明朝"));
  EXPECT_TRUE(has(all, "IPAGothic"));
  EXPECT_TRUE(has(fixed_only, "ＭＳ ゴシック"));
  EXPECT_FALSE(has(fixed_only, "ＭＳ Ｐゴシック"));
  for (const auto& name : all) {
    EXPECT_FALSE(name.empty()) << "no empty line, none at the end";
    EXPECT_NE(name.front(), '@');
    EXPECT_EQ(name.find('\n'), std::string::npos);
  }
  EXPECT_LT(fixed_only.size(), all.size());
}

}  // namespace
}  // namespace nova::app
