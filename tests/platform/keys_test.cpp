#include "platform/keys.h"

#include <gtest/gtest.h>

#include "platform/sdl/sdl_keys.h"

namespace nova::platform {
namespace {

// SDL scancodes are USB HID usages; SDL key codes of printable keys are
// their characters.
constexpr int kScanA = 4, kScanZ = 29, kScan1 = 30, kScan0 = 39, kScanReturn = 40, kScanEscape = 41;
constexpr int kScanTab = 43, kScanSpace = 44, kScanF1 = 58, kScanF12 = 69, kScanRight = 79, kScanUp = 82;
constexpr int kScanKp1 = 89, kScanKp0 = 98, kScanLCtrl = 224, kScanLShift = 225, kScanRAlt = 230;

TEST(KeyMapping, SdlKeysBecomeVirtualKeyCodes) {
  EXPECT_EQ(vk_from_sdl(kScanA, 'a'), 'A');
  EXPECT_EQ(vk_from_sdl(kScanZ, 'z'), 'Z');
  // Letters follow the layout: the physical A key types "q" on AZERTY.
  EXPECT_EQ(vk_from_sdl(kScanA, 'q'), 'Q');
  EXPECT_EQ(vk_from_sdl(kScan1, '1'), '1');
  EXPECT_EQ(vk_from_sdl(kScan0, '0'), '0');
  EXPECT_EQ(vk_from_sdl(kScanReturn, '\r'), vk::RETURN);
  EXPECT_EQ(vk_from_sdl(kScanEscape, 27), vk::ESCAPE);
  EXPECT_EQ(vk_from_sdl(kScanTab, '\t'), vk::TAB);
  EXPECT_EQ(vk_from_sdl(kScanSpace, ' '), vk::SPACE);
  EXPECT_EQ(vk_from_sdl(kScanF1, 0), vk::F1);
  EXPECT_EQ(vk_from_sdl(kScanF12, 0), vk::F1 + 11);
  EXPECT_EQ(vk_from_sdl(kScanRight, 0), vk::RIGHT);
  EXPECT_EQ(vk_from_sdl(kScanUp, 0), vk::UP);
  // Keypad digits are NUMPAD codes even though they type digits.
  EXPECT_EQ(vk_from_sdl(kScanKp1, '1'), vk::NUMPAD0 + 1);
  EXPECT_EQ(vk_from_sdl(kScanKp0, '0'), vk::NUMPAD0);
  // Left and right modifiers report the generic codes.
  EXPECT_EQ(vk_from_sdl(kScanLCtrl, 0), vk::CONTROL);
  EXPECT_EQ(vk_from_sdl(kScanLShift, 0), vk::SHIFT);
  EXPECT_EQ(vk_from_sdl(kScanRAlt, 0), vk::MENU);
  EXPECT_EQ(vk_from_sdl(0, 0), 0);
}

TEST(KeyMapping, NamesRoundTrip) {
  for (int code = 0; code < 256; ++code) {
    std::string_view name = vk_name(code);
    if (name.empty()) continue;
    EXPECT_EQ(vk_from_name(name), code) << name;
  }
  EXPECT_EQ(vk_from_name("vk_return"), vk::RETURN);
  EXPECT_EQ(vk_from_name("enter"), vk::RETURN);
  EXPECT_EQ(vk_from_name("esc"), vk::ESCAPE);
  EXPECT_EQ(vk_from_name("a"), 'A');
  EXPECT_EQ(vk_from_name("0x41"), 0x41);
  EXPECT_EQ(vk_from_name("13"), 13);
  EXPECT_EQ(vk_from_name("F13"), vk::F1 + 12);
  EXPECT_EQ(vk_from_name("nope"), -1);
  EXPECT_EQ(vk_from_name("300"), -1);
}

}  // namespace
}  // namespace nova::platform
