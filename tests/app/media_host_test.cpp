// The media host as the player wires it: the CD folders of the command
// line become drives, the project's registry key finds "CDDrive" in the
// registry substitute, and the MIDI manager answers its variables until
// the media go.
#include <gtest/gtest.h>

#include "app/form_view.h"
#include "app/player_context.h"
#include "app/screen_media.h"
#include "media/decoders/writers.h"
#include "platform/headless/headless_platform.h"
#include "platform/registry.h"
#include "script/page_file.h"
#include "script/project_setting.h"
#include "support/test_support.h"

namespace nova::app {
namespace {

namespace fs = std::filesystem;

std::string one_second_wav() {
  std::vector<std::int32_t> s(44100 * 2, 1000);
  const auto bytes = media::writers::write_wav({2, 44100, 16}, s);
  return {bytes.begin(), bytes.end()};
}

TEST(MediaHost, CdFoldersAndTheRegistryKeyReachTheCdManager) {
  test::TempDir dir;
  fs::create_directories(dir / "player");
  fs::create_directories(dir / "title");
  fs::create_directories(dir / "d");
  fs::create_directories(dir / "e");
  test::write_file(dir / "d" / "track01.wav", one_second_wav());
  test::write_file(dir / "e" / "Track01.wav", one_second_wav());
  test::write_file(dir / "e" / "track02.wav", one_second_wav());
  platform::Registry(dir / "config" / "registry.ini").write_string("Software\\Maker\\Game", "CDDrive", "E");

  script::TProjectSetting settings;
  settings.title = "cd";
  settings.screen_width = 640;
  settings.screen_height = 480;
  settings.start_page = "main.nsb";
  settings.registry_key = "Maker\\Game";
  const auto npb = settings.Bytes();
  test::write_file(dir / "title" / "nova.npb", std::string(npb.begin(), npb.end()));
  script::TPageFile page;
  page.commands.push_back(script::TCommandRecord::make(script::CC_WAIT));
  const auto nsb = page.bytes();
  test::write_file(dir / "title" / "main.nsb", std::string(nsb.begin(), nsb.end()));

  platform::HeadlessOptions o;
  o.echo_message_boxes = false;
  o.system.user_config_folder = dir / "config";
  platform::HeadlessPlatform platform(o);
  PlayerOptions options;
  options.headless = true;
  options.data = {(dir / "title").string()};
  options.cd_folders = {dir / "d", dir / "e"};
  PlayerContext ctx(platform, options, dir / "player");
  auto factory = create_title_factory();
  auto view = std::make_unique<TFormView>(ctx, *factory);
  view->FormCreate();
  auto* host = dynamic_cast<ScreenMedia*>(ctx.services.media());
  ASSERT_NE(host, nullptr);
  media::TCddaManager& cd = *host->media_system()->CddaMan();
  EXPECT_EQ(cd.DriveList(), (std::vector<std::string>{"D:", "E:"}));
  media::TCddaItem* two = cd.Add("CD_2");
  EXPECT_EQ(two->GetLength(), 1000);  // only E: has a second track
  EXPECT_EQ(cd.DriveState(), 1);
  two->Play();
  EXPECT_TRUE(two->IsPlaying());

  // The variables go to the MIDI manager while the media exist.
  EXPECT_EQ(ctx.services.variables()->router.holder_name(45), "MIDI manager");
  view.reset();
}

}  // namespace
}  // namespace nova::app
