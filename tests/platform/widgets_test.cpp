#include "platform/widgets.h"

#include <gtest/gtest.h>

#include "platform/keys.h"
#include "support/test_support.h"

namespace nova::platform {
namespace {

using test::sjis;

class WidgetsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { s_fonts = create_font_service().release(); }
  static void TearDownTestSuite() {
    delete s_fonts;
    s_fonts = nullptr;
  }
  static inline FontService* s_fonts = nullptr;

  static Event key(int vk_code, std::uint32_t mods = 0) {
    Event e;
    e.type = EventType::KeyDown;
    e.key = vk_code;
    e.modifiers = mods;
    return e;
  }
  static Event mouse(EventType t, int x, int y) {
    Event e;
    e.type = t;
    e.x = x;
    e.y = y;
    e.button = MouseButton::Left;
    return e;
  }
};

// A dialog shaped like the settings dialog.
struct Dialog {
  explicit Dialog(FontService& fonts) : form(fonts, {270, 179}) {
    check = form.add(Control{ControlKind::CheckBox, "check", sjis("DirectSoundを使用する(&S)"), {16, 12, 250, 32}});
    label = form.add(Control{ControlKind::Label, "label", sjis("サウンドの遅延時間(&D)："), {16, 48, 180, 62}});
    Control t{ControlKind::TrackBar, "track", "", {16, 68, 254, 100}};
    t.min = 1;
    t.max = 5;
    t.position = 3;
    track = form.add(t);
    form.control(label).focus_control = track;
    Control o{ControlKind::Button, "ok", "OK", {104, 144, 179, 169}};
    o.is_default = true;
    ok = form.add(o);
    Control c{ControlKind::Button, "cancel", sjis("キャンセル"), {185, 144, 260, 169}};
    c.is_cancel = true;
    cancel = form.add(c);
  }
  Form form;
  int check, label, track, ok, cancel;
};

TEST_F(WidgetsTest, KeyboardDrivesTheDialogAsDialogsDo) {
  Dialog d(*s_fonts);
  EXPECT_EQ(d.form.focused(), d.check);
  auto actions = d.form.handle(key(vk::SPACE));
  ASSERT_EQ(actions.size(), 1u);
  EXPECT_EQ(actions[0].kind, Form::Action::Kind::Clicked);
  EXPECT_TRUE(d.form.control(d.check).checked);
  // Tab skips the label.
  d.form.handle(key(vk::TAB));
  EXPECT_EQ(d.form.focused(), d.track);
  actions = d.form.handle(key(vk::RIGHT));
  ASSERT_EQ(actions.size(), 1u);
  EXPECT_EQ(actions[0].kind, Form::Action::Kind::Changed);
  EXPECT_EQ(d.form.control(d.track).position, 4);
  d.form.handle(key(vk::END));
  EXPECT_EQ(d.form.control(d.track).position, 5);
  EXPECT_TRUE(d.form.handle(key(vk::RIGHT)).empty());  // already at the maximum
  d.form.handle(key(vk::HOME));
  EXPECT_EQ(d.form.control(d.track).position, 1);
  d.form.handle(key(vk::TAB, modifier::Shift));
  EXPECT_EQ(d.form.focused(), d.check);
  // The label's accelerator focuses the track bar; the check box's toggles it.
  d.form.handle(key('D', modifier::Alt));
  EXPECT_EQ(d.form.focused(), d.track);
  d.form.handle(key('S'));
  EXPECT_FALSE(d.form.control(d.check).checked);
  // Enter clicks the default button, Escape the cancel button.
  actions = d.form.handle(key(vk::RETURN));
  ASSERT_EQ(actions.size(), 1u);
  EXPECT_EQ(actions[0].control, d.ok);
  actions = d.form.handle(key(vk::ESCAPE));
  ASSERT_EQ(actions.size(), 1u);
  EXPECT_EQ(actions[0].control, d.cancel);
}

TEST_F(WidgetsTest, DisabledControlsIgnoreInputAndFocus) {
  Dialog d(*s_fonts);
  d.form.control(d.track).enabled = false;
  d.form.handle(key(vk::TAB));
  EXPECT_EQ(d.form.focused(), d.ok);
  EXPECT_TRUE(d.form.handle(mouse(EventType::MouseDown, 100, 78)).empty());
  EXPECT_EQ(d.form.control(d.track).position, 3);
}

TEST_F(WidgetsTest, MouseClicksAndDrags) {
  Dialog d(*s_fonts);
  // Press on the check box and release elsewhere: no click.
  d.form.handle(mouse(EventType::MouseDown, 20, 20));
  EXPECT_TRUE(d.form.handle(mouse(EventType::MouseUp, 200, 120)).empty());
  EXPECT_FALSE(d.form.control(d.check).checked);
  d.form.handle(mouse(EventType::MouseDown, 20, 20));
  EXPECT_EQ(d.form.handle(mouse(EventType::MouseUp, 21, 21)).size(), 1u);
  EXPECT_TRUE(d.form.control(d.check).checked);
  // A click beside the thumb pages towards the pointer; dragging follows it.
  d.form.handle(mouse(EventType::MouseDown, 30, 78));
  d.form.handle(mouse(EventType::MouseUp, 30, 78));
  EXPECT_EQ(d.form.control(d.track).position, 2);
  Rect ch{24, 76, 246, 80};
  int thumb_x = ch.left + (2 - 1) * ch.width() / 4;
  d.form.handle(mouse(EventType::MouseDown, thumb_x, 80));
  d.form.handle(mouse(EventType::MouseMove, ch.right, 80));
  d.form.handle(mouse(EventType::MouseUp, ch.right, 80));
  EXPECT_EQ(d.form.control(d.track).position, 5);
  auto actions = d.form.handle(mouse(EventType::MouseDown, 140, 150));
  actions = d.form.handle(mouse(EventType::MouseUp, 140, 150));
  ASSERT_EQ(actions.size(), 1u);
  EXPECT_EQ(actions[0].control, d.ok);
}

TEST_F(WidgetsTest, DrawingShowsCaptionsAndStates) {
  Dialog d(*s_fonts);
  const Canvas& c = d.form.draw();
  ASSERT_EQ(c.width(), 270);
  EXPECT_EQ(c.pixel(5, 5), 0xF0F0F0u);
  // The caption inks dark pixels beside the check box.
  auto dark_in = [&](Rect r) {
    int n = 0;
    for (int y = r.top; y < r.bottom; ++y) {
      for (int x = r.left; x < r.right; ++x) n += (c.pixel(x, y) & 0xFF) < 0x60;
    }
    return n;
  };
  EXPECT_GT(dark_in({33, 12, 200, 32}), 20);
  d.form.control(d.check).enabled = false;
  d.form.invalidate();
  d.form.draw();
  EXPECT_EQ(dark_in({33, 12, 200, 32}), 0);  // disabled text is gray
  EXPECT_FALSE(d.form.dirty());
}

TEST_F(WidgetsTest, CaptionsParseTheirAccelerators) {
  auto c = UiText::parse_caption(sjis("サウンド(&D)："));
  EXPECT_EQ(c.text, sjis("サウンド(D)："));
  EXPECT_EQ(c.key, 'D');
  EXPECT_EQ(c.accelerator, static_cast<int>(sjis("サウンド(").size()));
  EXPECT_EQ(UiText::parse_caption("A && B").text, "A & B");
  EXPECT_EQ(UiText::parse_caption("A && B").key, 0);
}

TEST_F(WidgetsTest, ToolBarReportsClicksOnItsButtons) {
  ToolBar bar(*s_fonts, {sjis("終了"), sjis("画面切替")});
  EXPECT_EQ(bar.dock_height(), 22);
  EXPECT_EQ(bar.button_rect(1), (Rect{69, 2, 136, 20}));
  Event down = mouse(EventType::MouseDown, 80, 10), up = mouse(EventType::MouseUp, 81, 11);
  EXPECT_EQ(bar.handle(down), -1);
  EXPECT_EQ(bar.handle(up), 1);
  EXPECT_EQ(bar.handle(mouse(EventType::MouseDown, 10, 10)), -1);
  EXPECT_EQ(bar.handle(mouse(EventType::MouseUp, 100, 10)), -1);  // released on another button
  const Canvas& c = bar.draw(640);
  EXPECT_EQ(c.width(), 640);
  EXPECT_EQ(c.height(), 22);
}

}  // namespace
}  // namespace nova::platform
