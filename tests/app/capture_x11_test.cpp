// The mouse capture on a real X server (run under xvfb-run): xdotool
// presses on a component, leaves the window and releases outside it; the
// release still reaches the component, whose PR_ONLBTNUP runs.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "app/form_view.h"
#include "app/player_context.h"
#include "app/title_host.h"
#include "components/base_list.h"
#include "platform/platform.h"
#include "support/test_support.h"
#include "tools/toolchain/save_report.h"
#include "tools/toolchain/source_text.h"
#include "tools/toolchain/title.h"

namespace nova::app {
namespace {

using namespace std::chrono_literals;
using namespace nova::components;

class TBox final : public TNovaControl {};

TEST(CaptureOnX11, AReleaseOutsideTheWindowReachesThePressedComponent) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
  test::TempDir dir;
  test::write_file(dir / "src" / "project.nvp", "title: 捕捉\nscreen: 320x240\nstart: start.nsb\n");
  test::write_file(dir / "src" / "start.nvs", "VarNew status int downs = 0\nVarNew status int ups = 0\nWait\n");
  test::write_file(dir / "src" / "h.nvs",
                   "Label down\nCalc downs = downs + 1\nExit\nLabel up\nCalc ups = ups + 1\nExit\n");
  tools::Diagnostics diagnostics;
  tools::BuildReport report;
  ASSERT_TRUE(tools::build_title(dir / "src", dir / "title", {}, diagnostics, report)) << diagnostics.format();

  auto platform = platform::create_platform(platform::Backend::Sdl);
  PlayerContext ctx(*platform, {}, dir.path());
  ctx.options.data = {(dir / "title").string()};
  ctx.options.max_ticks = 200;  // three seconds
  auto factory = create_title_factory();
  TFormView view(ctx, *factory);
  view.FormCreate();
  ASSERT_NE(view.components(), nullptr);
  TNovaBaseList& list = *view.components()->base_list();
  TBox& box = list.make<TBox>();
  box.SetParent(&list.front_base());
  box.SetBounds(10, 10, 100, 100);
  box.SetEventTarget(PR_ONLBTNDOWN, "h.nsb:down");
  box.SetEventTarget(PR_ONLBTNUP, "h.nsb:up");

  const std::string id = std::to_string(view.window()->native_handle());
  const platform::Rect panel = view.panel();
  const platform::Point on_box = view.window()->drawable_position_of({panel.left + 50, panel.top + 50});
  std::thread driver([&] {
    std::this_thread::sleep_for(700ms);
    test::run_command("xdotool mousemove --window " + id + " " + std::to_string(on_box.x) + " " +
                      std::to_string(on_box.y) + " mousedown 1");
    std::this_thread::sleep_for(300ms);
    // Far outside the window, then the release there.
    test::run_command("xdotool mousemove 1270 1010");
    std::this_thread::sleep_for(300ms);
    test::run_command("xdotool mouseup 1");
  });
  view.run();
  driver.join();
  const std::string saved = tools::save_report(dir / "title" / "save.dat");
  EXPECT_NE(saved.find("status int downs = 1"), std::string::npos) << saved;
  EXPECT_NE(saved.find("status int ups = 1"), std::string::npos) << "the release outside reached the box\n" << saved;
}

}  // namespace
}  // namespace nova::app
