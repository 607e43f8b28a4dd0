#include "app/form_config.h"

#include <gtest/gtest.h>

#include <functional>

#include "app/game_ini.h"
#include "platform/headless/headless_platform.h"
#include "platform/ini_file.h"
#include "support/test_support.h"

namespace nova::app {
namespace {

namespace fs = std::filesystem;

struct Config {
  // `system` gives the kernel services' answers, knowing the install folder.
  explicit Config(std::string script,
                  const std::function<platform::SystemOverrides(const std::filesystem::path&)>& system = {})
      : platform(options(std::move(script), system ? system(dir.path()) : platform::SystemOverrides{})),
        ctx(platform, {}, dir.path()) {
    ctx.options.headless = true;
  }
  static platform::HeadlessOptions options(std::string script, platform::SystemOverrides system) {
    platform::HeadlessOptions o;
    o.echo_message_boxes = false;
    o.input_script = std::move(script);
    o.system = std::move(system);
    return o;
  }
  test::TempDir dir;
  platform::HeadlessPlatform platform;
  PlayerContext ctx;
};

TEST(FormConfig, ReadsTheFileAndAppliesTheEnablingRule) {
  Config c("");
  test::write_file(c.dir / "game.ini", "[Sound]\r\nDirectSound=0\r\nDelayTime=250\r\n");
  TFormConfig dialog(c.ctx);
  dialog.FormCreate();
  EXPECT_EQ(dialog.window()->caption(), test::sjis("動作設定"));
  EXPECT_EQ(dialog.window()->client_size(), (platform::Size{270, 179}));
  platform::Form& f = dialog.form();
  EXPECT_FALSE(f.control(dialog.CheckSound()).checked);
  EXPECT_EQ(f.control(dialog.TrackBuff()).position, 2);
  EXPECT_EQ(f.control(dialog.LabelBuffInfo()).caption, "200ms");
  EXPECT_TRUE(f.control(dialog.TrackBuff()).enabled);
  f.control(dialog.CheckSound()).checked = true;
  dialog.CheckSoundClick();
  EXPECT_FALSE(f.control(dialog.TrackBuff()).enabled);
  EXPECT_FALSE(f.control(dialog.LabelBuff()).enabled);
  EXPECT_FALSE(f.control(dialog.LabelBuffInfo()).enabled);
  // OK writes what the dialog shows.
  dialog.btnOKClick();
  EXPECT_FALSE(dialog.Showing());
  platform::IniFile ini(c.dir / "game.ini");
  EXPECT_EQ(ini.read_string("Sound", "DelayTime", ""), "200");
  EXPECT_EQ(ini.read_string("Sound", "DirectSound", ""), "1");
}

TEST(FormConfig, ScriptedInputDrivesTheDialogAndOkCreatesTheFile) {
  // Defaults (no file): DirectSound on, delay 500 at position 5. The script
  // unticks the box with a click, moves the track bar left twice with the
  // keyboard and presses OK with Enter.
  Config c(
      "0 mouse 20 24\n"
      "1 ldown\n"
      "1 lup\n"
      "2 key TAB down\n"
      "3 key LEFT down\n"
      "3 key LEFT down\n"
      "4 key RETURN down\n");
  TFormConfig dialog(c.ctx);
  dialog.FormCreate();
  EXPECT_TRUE(dialog.form().control(dialog.CheckSound()).checked);
  EXPECT_EQ(dialog.form().control(dialog.LabelBuffInfo()).caption, "500ms");
  EXPECT_FALSE(dialog.form().control(dialog.TrackBuff()).enabled);
  dialog.run();
  EXPECT_FALSE(dialog.Showing());
  platform::IniFile ini(c.dir / "game.ini");
  EXPECT_FALSE(ini.read_bool("Sound", "DirectSound", true));
  EXPECT_EQ(ini.read_int("Sound", "DelayTime", 0), 300);
}

TEST(FormConfig, CancelAndTheEndOfTheScriptWriteNothing) {
  Config c("0 key DOWN down\n1 key ESCAPE down\n");
  TFormConfig dialog(c.ctx);
  dialog.FormCreate();
  dialog.run();
  EXPECT_FALSE(std::filesystem::exists(c.dir / "game.ini"));
  Config d("");
  TFormConfig idle(d.ctx);
  idle.FormCreate();
  idle.run();  // nothing scripted: closes as Cancel instead of waiting forever
  EXPECT_FALSE(idle.Showing());
  EXPECT_FALSE(std::filesystem::exists(d.dir / "game.ini"));
}

TEST(FormConfig, AReadOnlyInstallKeepsItsSettingsPerUserAndAFailedWriteKeepsTheDialogOpen) {
  test::TempDir home;
  // The install cannot take files (tests run as root, so the system says
  // so); OK writes the per-user copy, which the next start reads.
  auto read_only = [&](const fs::path& install) {
    platform::SystemOverrides o;
    o.user_config_folder = home / "config";
    o.read_only_folders = {install};
    return o;
  };
  Config install("0 key RETURN down\n", read_only);
  test::write_file(install.dir / "game.ini", "[Sound]\r\nDelayTime=300\r\n[Video]\r\nUseWMP=1\r\n");
  TFormConfig dialog(install.ctx);
  dialog.FormCreate();
  dialog.run();
  EXPECT_FALSE(dialog.Showing());
  EXPECT_EQ(test::read_file(install.dir / "game.ini"), "[Sound]\r\nDelayTime=300\r\n[Video]\r\nUseWMP=1\r\n")
      << "the install's file is left as it was";
  const GameIniPlaces places = game_ini_places(install.dir.path(), install.platform.system());
  ASSERT_TRUE(std::filesystem::exists(places.per_user));
  EXPECT_EQ(places.read, places.per_user);
  const GameSettings applied = read_game_settings(places.read);
  EXPECT_EQ(applied.delay_time, 300) << "what the dialog showed, read from the install's file";
  EXPECT_TRUE(applied.use_wmp) << "the other settings came along";

  // A per-user folder that cannot be made: the box names the file, and the
  // dialog stays open with nothing written.
  test::write_file(home / "blocked", "a file where the folder would be");
  Config fails("0 key RETURN down\n", [&](const fs::path& folder) {
    platform::SystemOverrides o = read_only(folder);
    o.user_config_folder = home / "blocked";
    return o;
  });
  TFormConfig stuck(fails.ctx);
  stuck.FormCreate();
  stuck.btnOKClick();
  EXPECT_TRUE(stuck.Showing()) << "the settings are not thrown away";
  const auto boxes = fails.platform.message_boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].icon, platform::MessageIcon::Error);
  EXPECT_NE(boxes[0].text.find(test::sjis("設定を保存できません")), std::string::npos);
  EXPECT_NE(boxes[0].text.find((home / "blocked").string()), std::string::npos) << test::utf8(boxes[0].text);
  EXPECT_FALSE(std::filesystem::exists(fails.dir / "game.ini"));
}

}  // namespace
}  // namespace nova::app
