#include "components/component_types.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace nova::components {
namespace {

TEST(ComponentTypes, FactoryMasksTheStoredByteAndSkipsTypesWithoutClass) {
  EXPECT_EQ(factory_type(2), LT_BOX);
  EXPECT_EQ(factory_type(0x80 | 13), LT_MES);
  EXPECT_EQ(factory_type(27), LT_CABINET);
  EXPECT_EQ(factory_type(0x80 | 27), LT_CABINET);
  for (std::uint8_t none : {0, 1, 10, 28, 0x7F, 0x80, 0x81, 0x8A, 0xFF}) {
    EXPECT_FALSE(factory_type(none)) << int(none);
  }
  int creatable = 0;
  for (int b = 0; b < 256; ++b) creatable += factory_type(static_cast<std::uint8_t>(b)).has_value();
  EXPECT_EQ(creatable, 2 * 25);
}

TEST(ComponentTypes, NamesWithAndWithoutPrefix) {
  EXPECT_EQ(find_component_type("LT_MES"), LT_MES);
  EXPECT_EQ(find_component_type("mes"), LT_MES);
  EXPECT_EQ(find_component_type("Lt_PropMotion"), LT_PROPMOTION);
  EXPECT_EQ(find_component_type("cglabel"), LT_CGLABEL);
  EXPECT_FALSE(find_component_type("LT_"));
  EXPECT_FALSE(find_component_type("LABELS"));
  for (const auto& row : kComponentTypes) {
    EXPECT_EQ(find_component_type(row.name), row.type);
    EXPECT_EQ(component_type_info(row.type).type, row.type);
  }
}

TEST(ComponentTypes, DisplayNamesAndClasses) {
  EXPECT_EQ(component_type_display_name(LT_MES), test::sjis("メッセージボックス"));
  EXPECT_EQ(component_type_display_name(LT_NONE), test::sjis("なし"));
  EXPECT_EQ(component_type_display_name(LT_HTTP), "HTTP");
  EXPECT_EQ(component_type_info(LT_MAPIMG).class_name, "TNovaMapImage");
  EXPECT_EQ(component_type_info(LT_CGLABEL).class_name, "TNovaCGLabel");
  // Sound, timer, property motion and HTTP are the components that are not
  // drawn; every other class is a control.
  int visual = 0;
  for (const auto& row : kComponentTypes) {
    EXPECT_FALSE(component_type_display_name(row.type).empty());
    visual += row.visual;
    if (row.class_name.empty()) {
      EXPECT_FALSE(row.visual) << row.name;
    }
  }
  EXPECT_EQ(visual, 21);
  for (TComponentType t : {LT_SOUND, LT_TIMER, LT_PROPMOTION, LT_HTTP}) {
    EXPECT_FALSE(component_type_info(t).visual);
  }
  EXPECT_TRUE(is_component_type(27));
  EXPECT_FALSE(is_component_type(28));
}

}  // namespace
}  // namespace nova::components
