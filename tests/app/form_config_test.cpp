#include "app/form_config.h"

#include <gtest/gtest.h>

#include "platform/headless/headless_platform.h"
#include "platform/ini_file.h"
#include "support/test_support.h"

namespace nova::app {
namespace {

struct Config {
  explicit Config(std::string script) : platform(options(std::move(script))), ctx(platform, {}, dir.path()) {
    ctx.options.headless = true;
  }
  static platform::HeadlessOptions options(std::string script) {
    platform::HeadlessOptions o;
    o.echo_message_boxes = false;
    o.input_script = std::move(script);
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

}  // namespace
}  // namespace nova::app
