// The player of the real build with components of the test's own: scripted
// clicks, drags, hovering, the wheel and keys reach them and the script
// (through handler pages and their status variables), and the screen they
// compose is exact to the pixel at 32 and at 15 bits.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/player_context.h"
#include "components/base_list.h"
#include "core/binary_io.h"
#include "graphics/dib_surface.h"
#include "graphics/memory_dibx.h"
#include "graphics/png_codec.h"
#include "platform/headless/headless_platform.h"
#include "support/cursor_writer.h"
#include "support/in_process_player.h"
#include "tools/toolchain/save_report.h"

namespace nova::test {
namespace {

using namespace nova::components;

// Fills its screen rectangle with a colour at an opacity (255: solid),
// then its children; moves itself to `move_to_left` at the update of
// frame `move_at`.
class TBox final : public TNovaControl {
 public:
  std::int32_t colour = 0xFFFFFF;
  int opacity = 255;
  int move_at = -1, move_to_left = 0, updates = 0;
  void Paint(graphics::TCustomDIBX& s) override {
    const auto pixel = static_cast<std::uint32_t>(s.ColorToPixel(colour));
    if (opacity >= 255)
      s.FillRect(GetScreenRect(), pixel);
    else
      s.BlendRect(GetScreenRect(), pixel, opacity);
    PaintChildren(s);
  }
  bool Update() override {
    if (updates++ == move_at) SetLeft(move_to_left);
    return TNovaControl::Update();
  }
};

TBox& box(TNovaBaseList& list, std::string_view name, Rect r, TNovaControl* parent = nullptr) {
  TBox& b = list.make<TBox>();
  b.SetName(name);
  b.SetParent(parent ? parent : &list.front_base());
  b.SetBounds(r.left, r.top, r.right, r.bottom);  // x, y, width, height
  return b;
}

const char* kProject = "title: 部品テスト\nscreen: 320x240\nstart: start.nsb\n";

// The handler pages: label NAME_KIND appends "NAME KIND args;" to the
// status text `log` (the pointer's x and y, or the key codes).
std::string handlers() {
  std::string page;
  for (const char* name : {"a", "b"}) {
    for (const char* kind : {"down", "up", "move", "in", "out", "wheel", "keydown", "keyrepeat", "keyup", "focus"}) {
      page += std::string("Label ") + name + "_" + kind + "\n";
      page += std::string("Calc log = log ++ \"") + name + " " + kind + "\"";
      page += " ++ \" \" ++ @ParamStr[0] ++ \",\" ++ @ParamStr[1] ++ \";\"\nExit\n";
    }
  }
  return page;
}

// The text of a status variable in save.dat, as the dump shows it.
std::string status_line(const std::filesystem::path& save, const std::string& name) {
  const std::string report = tools::save_report(save);
  std::size_t at = 0;
  while ((at = report.find("status ", at)) != std::string::npos) {
    const std::size_t end = report.find('\n', at);
    const std::string line = report.substr(at, end - at);
    if (line.find(" " + name + " = ") != std::string::npos) return line;
    at = end;
  }
  return "";
}

// Notes, at every update, the pointer the headless window shows and
// whether it holds the mouse capture (into the test's lists: the
// component goes when the player closes).
class TPointerWatch final : public TNovaControl {
 public:
  platform::HeadlessPlatform* platform = nullptr;
  std::vector<std::string>* shown = nullptr;
  std::vector<bool>* captured = nullptr;
  bool Update() override {
    if (shown) shown->push_back(platform->shown_cursor());
    if (captured) captured->push_back(platform->mouse_captured());
    return false;
  }
};

TEST(ComponentsInProcess, MouseAndKeysReachComponentsAndTheScript) {
  const std::string start = R"(VarNew status str log = ""
VarNew status int lclick_taken = -1
VarNew status int lclick_bare = -1
Wait; while: @LPush == 0
Calc lclick_taken = @LClick
Wait; while: @LPush
Wait; while: @LPush == 0
Wait; while: @LPush
Wait; while: @LPush == 0
Calc lclick_bare = @LClick
Wait
)";
  InProcessOptions options;
  options.ticks = 40;
  options.input = {"2 mouse 20 20",   "3 wheel -1",       "4 ldown",  "5 mouse 200 100", "6 lup",
                   "10 mouse 120 20", "12 ldown",         "13 lup",   "15 key 65 down",  "16 key 65 repeat",
                   "20 key 65 up",    "24 mouse 300 200", "26 ldown", "27 lup"};
  InProcessPlayer player({{"project.nvp", kProject}, {"start.nvs", start}, {"h.nvs", handlers()}}, options);
  ASSERT_TRUE(player.started());
  TNovaBaseList& list = player.bases();
  // a takes keys and gets the focus by a click; b takes no keys; k, the
  // topmost control that takes keys, gets the first focus and raises
  // nothing.
  TBox& a = box(list, "a", {10, 10, 50, 40});
  TBox& b = box(list, "b", {100, 10, 50, 40});
  box(list, "k", {250, 150, 10, 10}).SetHandleKey(true);
  a.SetHandleKey(true);
  for (TBox* c : {&a, &b}) {
    const std::string n = "h.nsb:" + std::string(c->Name()) + "_";
    c->SetEventTarget(PR_ONLBTNDOWN, n + "down");
    c->SetEventTarget(PR_ONLBTNUP, n + "up");
    c->SetEventTarget(PR_ONMOUSEIN, n + "in");
    c->SetEventTarget(PR_ONMOUSEOUT, n + "out");
    c->SetEventTarget(PR_ONWHEELDOWN, n + "wheel");
  }
  a.SetEventTarget(PR_ONMOUSEMOVE, "h.nsb:a_move");
  a.SetEventTarget(PR_ONKEYDOWN, "h.nsb:a_keydown");
  a.SetEventTarget(PR_ONKEYREPEAT, "h.nsb:a_keyrepeat");
  a.SetEventTarget(PR_ONKEYUP, "h.nsb:a_keyup");
  a.SetEventTarget(PR_ONFOCUSIN, "h.nsb:a_focus");
  std::vector<bool> captured;
  TPointerWatch& watch = list.make<TPointerWatch>();
  watch.platform = &player.platform();
  watch.captured = &captured;
  player.run();
  const std::string trace = player.trace();
  EXPECT_NE(trace.find("<Event>h.nsb("), std::string::npos) << trace;
  EXPECT_EQ(status_line(player.save_file(), "lclick_taken"), "status int lclick_taken = 0")
      << "a component that takes the press consumes it";
  EXPECT_EQ(status_line(player.save_file(), "lclick_bare"), "status int lclick_bare = 1");
  // Hover in with the position in the component, the wheel, a press that
  // captures and is released after the pointer moved away, hover out and
  // into b, focus by a click, the keys with their codes (a press raises a
  // key-down and a key-repeat; the desktop's own repeat raises nothing).
  EXPECT_EQ(status_line(player.save_file(), "log"),
            "status str log = \"a in ,;a move 10,10;a wheel ,;a down 10,10;a focus ,;a move 190,90;a up 190,90;"
            "a out ,;b in ,;b down 20,10;b up 20,10;a keydown 65,;a keyrepeat 65,;a keyup 65,;b out ,;\"")
      << trace;
  EXPECT_EQ(trace.find("<ExprError>"), std::string::npos) << trace;
  // The window holds the capture from the press (tick 4) to the release
  // (tick 6), and not before or after.
  ASSERT_GE(captured.size(), 9u);
  EXPECT_FALSE(captured[2]);
  EXPECT_TRUE(captured[5]);
  EXPECT_FALSE(captured[8]);
}

// Draws a 4 × 1 white picture through an alpha plane of 0, 85, 170, 255.
class TAlphaPicture final : public TNovaControl {
 public:
  TAlphaPicture() {
    picture.SetSize(4, 1, 32);
    picture.Fill(static_cast<std::uint32_t>(picture.ColorToPixel(0xFFFFFF)));
    alpha.SetSize(4, 1, 8);
    for (int x = 0; x < 4; ++x) alpha.SetPixel(x, 0, static_cast<std::uint32_t>(x * 85));
  }
  void Paint(graphics::TCustomDIBX& s) override {
    const Rect r = GetScreenRect();
    s.DrawMasked(r.left, r.top, alpha, false, false, {0, 0, 4, 1}, picture);
  }
  graphics::TDIBX picture, alpha;
};

// The pixels of a screenshot, 0xRRGGBB.
class Shot {
 public:
  explicit Shot(const std::string& png) {
    std::int32_t transparent = -1;
    graphics::read_png({reinterpret_cast<const std::uint8_t*>(png.data()), png.size()}, m_picture, transparent, {});
  }
  std::uint32_t at(int x, int y) const { return m_picture.GetPixel(x, y) & 0xFFFFFF; }
  int width() const { return m_picture.Width(); }
  int height() const { return m_picture.Height(); }

 private:
  graphics::TDIBSurface m_picture;
};

// A channel of 0 ... 255 as a screen of `bits` shows it: 15-bit screens
// keep five bits and widen them again as the PNG writer does.
std::uint32_t channel(std::uint32_t v, int bits) {
  if (bits != 15) return v;
  const std::uint32_t five = v >> 3;
  return (five << 3) | (five >> 2);
}
std::uint32_t grey(std::uint32_t v, int bits) {
  const std::uint32_t c = channel(v, bits);
  return c << 16 | c << 8 | c;
}
// White weighted by w over black, each channel in place in the screen's
// layout: ((d AND M) x (255 - w) + w x (s AND M)) >> 8, AND M; then as the
// screenshot shows it (0xRRGGBB, a grey here).
std::uint32_t white_over_black(std::uint32_t w, int bits) {
  const std::uint32_t mask = bits == 15 ? 0x7C00u : 0xFF0000u;
  const std::uint32_t v = ((mask * w) >> 8) & mask;
  const std::uint32_t top = bits == 15 ? v >> 10 << 3 : v >> 16;
  return grey(top, bits);
}

class ComponentsScreen : public ::testing::TestWithParam<int> {};

TEST_P(ComponentsScreen, PixelsAreExact) {
  const int surface = GetParam();
  const int bits = surface == 1 ? 15 : 32;
  InProcessOptions options;
  options.ticks = 8;
  options.surface_setting = surface;
  options.screenshots = {4, 5};
  InProcessPlayer player({{"project.nvp", kProject}, {"start.nvs", "Wait\n"}}, options);
  ASSERT_TRUE(player.started());
  TNovaBaseList& list = player.bases();
  // Red is the low byte of a colour.
  list.front_base().SetColor(0x0000FF);
  box(list, "white", {0, 0, 20, 20}).SetFocusFrame(true);
  TBox& black = box(list, "black", {40, 0, 40, 30});
  black.colour = 0;
  TBox& half = box(list, "half", {0, 0, 20, 20}, &black);
  half.opacity = 128;
  box(list, "outside", {30, 0, 20, 20}, &black);  // sticks out of its parent
  box(list, "hidden", {100, 0, 10, 10}).SetVisible(false);
  box(list, "unnamed", {120, 0, 10, 10}).SetName("");
  TBox& clipped = box(list, "clipped", {140, 0, 20, 20});
  clipped.SetClipLeft(5);
  clipped.SetClipTop(5);
  clipped.SetClipWidth(4);
  clipped.SetClipHeight(3);
  TAlphaPicture& picture = list.make<TAlphaPicture>();
  picture.SetParent(&black);
  picture.SetBounds(0, 25, 4, 1);
  TBox& mover = box(list, "mover", {200, 100, 10, 10});
  // The update of the fifth tick (index 4) moves it; tick 5 shows it.
  mover.move_at = 5;
  mover.move_to_left = 230;
  player.run();

  const Shot before(player.screenshot(4)), after(player.screenshot(5));
  ASSERT_EQ(before.width(), 320);
  const std::uint32_t red = channel(0xFF, bits) << 16;
  EXPECT_EQ(after.at(300, 200), red) << "the base's colour 0x0000FF is red";
  EXPECT_EQ(after.at(5, 5), grey(0xFF, bits));
  EXPECT_EQ(after.at(0, 0), grey(0xFF, bits)) << "the focus frame's dots: white where x + y is even";
  EXPECT_EQ(after.at(1, 0), 0u);
  EXPECT_EQ(after.at(19, 19), grey(0xFF, bits));
  EXPECT_EQ(after.at(45, 5), white_over_black(128, bits)) << "white over black at opacity 128";
  if (bits == 32) {
    EXPECT_EQ(after.at(45, 5), 0x7F7F7Fu) << "127";
  }
  EXPECT_EQ(after.at(75, 5), grey(0xFF, bits)) << "the part inside its parent is drawn";
  EXPECT_EQ(after.at(85, 5), red) << "the part outside its parent is not";
  EXPECT_EQ(after.at(105, 5), red) << "hidden";
  EXPECT_EQ(after.at(125, 5), red) << "unnamed";
  EXPECT_EQ(after.at(145, 5), grey(0xFF, bits)) << "inside the clip rectangle";
  EXPECT_EQ(after.at(144, 5), red);
  EXPECT_EQ(after.at(149, 5), red);
  EXPECT_EQ(after.at(145, 8), red);
  EXPECT_EQ(after.at(40, 25), 0u) << "alpha 0 shows the black parent";
  for (int x = 1; x < 4; ++x) {
    EXPECT_EQ(after.at(40 + x, 25), white_over_black(static_cast<std::uint32_t>(x * 85), bits))
        << "alpha " << x * 85 << " weights the white picture over the black parent";
  }

  // Only the merged dirty rectangle of the move changed.
  const Rect moved{200, 100, 240, 110};
  int changed = 0;
  for (int y = 0; y < 240; ++y) {
    for (int x = 0; x < 320; ++x) {
      if (before.at(x, y) == after.at(x, y)) continue;
      ++changed;
      EXPECT_TRUE(moved.contains({x, y})) << "pixel " << x << ", " << y << " changed outside the move";
    }
  }
  EXPECT_EQ(changed, 2 * 10 * 10) << "the old place shows the base, the new one the box";
}

INSTANTIATE_TEST_SUITE_P(Depths, ComponentsScreen, ::testing::Values(0, 1));

TEST(ComponentsInProcess, CursorsFollowThePointer) {
  CurEntry hand;
  hand.width = 4;
  hand.height = 2;
  hand.bits = 24;
  hand.hot_x = 3;
  hand.hot_y = 1;
  hand.pixels.assign(8, 0xFF0000);
  CurEntry frame = hand;
  frame.width = 6;
  frame.hot_x = 5;
  const auto cur = write_cur({hand});
  const auto ani = write_ani({write_cur({frame}), write_cur({frame})}, 3);
  const std::string start = R"(Wait; while: @MouseX < 250
Calc @Cursor = "anim.ani"
Wait
)";
  InProcessOptions options;
  options.ticks = 22;
  options.input = {"2 mouse 20 20", "6 mouse 65 15", "10 mouse 200 200", "14 mouse 260 200"};
  InProcessPlayer player({{"project.nvp", kProject},
                          {"start.nvs", start},
                          {"hand.cur", std::string(cur.begin(), cur.end())},
                          {"anim.ani", std::string(ani.begin(), ani.end())},
                          {"bad.cur", "not a cursor"}},
                         options);
  ASSERT_TRUE(player.started());
  TNovaBaseList& list = player.bases();
  box(list, "a", {10, 10, 40, 40}).SetCursor("hand.cur");
  box(list, "b", {60, 10, 20, 20}).SetCursor("bad.cur");
  std::vector<std::string> shown;
  TPointerWatch& watch = list.make<TPointerWatch>();
  watch.platform = &player.platform();
  watch.shown = &shown;
  player.run();
  // Each state holds for four ticks; the middle of each is checked.
  ASSERT_GE(shown.size(), 19u);
  EXPECT_EQ(shown[4], "picture 4x2 at 3,1") << "a component's cursor";
  EXPECT_EQ(shown[8], "hidden") << "a file that does not load hides the pointer";
  EXPECT_EQ(shown[12], "arrow") << "neither the component nor @Cursor names one";
  EXPECT_EQ(shown[18], "picture 6x2 at 5,1") << "@Cursor's file where the base has none";
}

}  // namespace
}  // namespace nova::test
