// The property table against the rules that other parts of the system state
// independently of its rows: the read types and defaults of the creating
// commands, the read-only and failing writes of SetProp, the defaults of
// components that do not implement a property, and the type GetProp answers.
#include "components/property_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "core/error.h"
#include "expr/params.h"
#include "expr/sys_func_man.h"
#include "support/test_support.h"

namespace nova::components {
namespace {

std::set<std::string_view> names_of(std::initializer_list<TPropId> ids) {
  std::set<std::string_view> out;
  for (TPropId id : ids) out.insert(kProperties[id].name);
  return out;
}

struct Expect {
  TPropId id;
  std::int32_t value;
};

// The field is `value` for the listed properties and 0 for every other one.
void expect_only_these_non_zero(std::initializer_list<Expect> non_zero, std::int32_t TPropertyInfo::*field) {
  std::set<int> listed;
  for (const Expect& e : non_zero) {
    EXPECT_EQ(kProperties[e.id].*field, e.value) << kProperties[e.id].name;
    listed.insert(e.id);
  }
  for (const auto& row : kProperties) {
    if (!listed.count(row.id)) {
      EXPECT_EQ(row.*field, 0) << row.name;
    }
  }
}

TEST(PropertyTable, EveryIdIsFoundByItsNameInEveryForm) {
  std::set<std::string_view> seen;
  for (int id = 0; id < kPropCount; ++id) {
    const TPropertyInfo* row = property_info(id);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->id, id);
    EXPECT_TRUE(row->name.starts_with("PR_")) << row->name;
    EXPECT_TRUE(seen.insert(row->name).second) << "duplicate name " << row->name;

    std::string lower(row->short_name());
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return static_cast<char>(std::tolower(c)); });
    EXPECT_EQ(find_property(row->name), row->id);
    EXPECT_EQ(find_property(row->short_name()), row->id);
    EXPECT_EQ(find_property(lower), row->id) << lower;
    EXPECT_EQ(find_property("pr_" + lower), row->id);
  }
  EXPECT_EQ(property_info(-1), nullptr);
  EXPECT_EQ(property_info(kPropCount), nullptr);
  EXPECT_FALSE(find_property(""));
  EXPECT_FALSE(find_property("PR_"));
  EXPECT_FALSE(find_property("PR_ZOOM"));
  EXPECT_FALSE(find_property("ZOOMXX"));
  EXPECT_FALSE(find_property("PR_PR_ZOOMX"));
  EXPECT_FALSE(find_property(test::sjis("ズームX")));
  // The ids the expression compiler and page files use for some properties.
  EXPECT_EQ(find_property("OnLBtnDown"), 36);
  EXPECT_EQ(find_property("pr_blurdelay"), 164);
  EXPECT_EQ(find_property("Param1"), PR_PARAM1);
  EXPECT_EQ(PR_PARAM1, 95);
  EXPECT_EQ(PR_COMPOTYPE, 140);
}

// The creating commands read each property with a type of their own list;
// it must be the table's type for every property.
TEST(PropertyTable, TypesAgreeWithTheReadTypesOfTheCreatingCommands) {
  std::set<std::string_view> strings =
      names_of({PR_NAME, PR_PARENT, PR_SOURCE, PR_FONTNAME, PR_TEXT, PR_TAG, PR_CURSOR, PR_MAPTEXT});
  for (const auto& row : kProperties) {
    if (row.name.starts_with("PR_ON") || row.name.ends_with("SOURCE") || row.name.starts_with("PR_BORDERSOURCE")) {
      strings.insert(row.name);
    }
  }
  const std::set<std::string_view> flags =
      names_of({PR_POSZOOMED,   PR_ANTIALIAS,   PR_PAUSED,     PR_REPEAT,   PR_VISIBLE,      PR_AUTOSCRAP,
                PR_RCLICKSCRAP, PR_TEXTPAUSED,  PR_ALLOWALLUP, PR_SELECTED, PR_CAPTUREMASK,  PR_READONLY,
                PR_FLIPH,       PR_FLIPV,       PR_ANIPAUSED,  PR_REVERSE,  PR_REWINDONLOAD, PR_HANDLEKEY,
                PR_OVERLAY,     PR_CAPTURELINK, PR_MUTEONLOAD, PR_PLAYING});
  const std::set<std::string_view> floats = names_of({PR_PARAM1, PR_PARAM2, PR_PARAM3});
  int ints = 0;
  for (const auto& row : kProperties) {
    expr::TParamType expected = expr::PT_INT;
    if (strings.count(row.name)) expected = expr::PT_STR;
    if (flags.count(row.name)) expected = expr::PT_BOOL;
    if (floats.count(row.name)) expected = expr::PT_FLOAT;
    EXPECT_EQ(row.type, expected) << row.name;
    ints += expected == expr::PT_INT;
  }
  // PR_ONPLAYING is a string and PR_HANDLEKEY a flag in the player.
  EXPECT_EQ(kProperties[PR_ONPLAYING].type, expr::PT_STR);
  EXPECT_EQ(kProperties[PR_HANDLEKEY].type, expr::PT_BOOL);
  EXPECT_EQ(ints, kPropCount - static_cast<int>(strings.size() + flags.size() + floats.size()));
}

TEST(PropertyTable, CreationDefaultsAndTheNeverAppliedSet) {
  expect_only_these_non_zero(
      {
          {PR_ZOOMX, 256},     {PR_ZOOMY, 256},     {PR_COLOR, -1},    {PR_BORDERCOLOR, -1}, {PR_ALPHA, 255},
          {PR_FONTHEIGHT, 16}, {PR_HOVERCOLOR, -1}, {PR_VOLUME, 1000}, {PR_COLCOUNT, 1},     {PR_ROWCOUNT, 1},
          {PR_TEXTDELAY, 256}, {PR_AMP, 1},         {PR_WAVELEN, 100}, {PR_SMALLCHANGE, 1},  {PR_LARGECHANGE, 1},
          {PR_GLYPHWIDTH, 1},  {PR_GLYPHHEIGHT, 1}, {PR_VISIBLE, 1},   {PR_OVERLAY, 1},
      },
      &TPropertyInfo::create_default);

  const std::set<int> never = {PR_PLUSX,   PR_PLUSY,   PR_CARETX,  PR_CARETY,   PR_CARETHEIGHT,
                               PR_APPEARX, PR_APPEARY, PR_PLAYING, PR_COMPOTYPE};
  for (const auto& row : kProperties) {
    EXPECT_EQ(row.applied_at_creation, !never.count(row.id)) << row.name;
  }
}

TEST(PropertyTable, CreationOrderIsEveryIdOnceWithTheSourceBeforeThePlacement) {
  std::set<int> seen(kCreationOrder.begin(), kCreationOrder.end());
  EXPECT_EQ(seen.size(), static_cast<std::size_t>(kPropCount));
  EXPECT_EQ(kCreationOrder[0], PR_NAME);
  EXPECT_EQ(kCreationOrder[1], PR_PARENT);
  EXPECT_EQ(kCreationOrder[2], PR_SOURCE);
  EXPECT_EQ(kCreationOrder.back(), PR_BLURDELAY);
  auto at = [](TPropId id) {
    return std::find(kCreationOrder.begin(), kCreationOrder.end(), id) - kCreationOrder.begin();
  };
  EXPECT_LT(at(PR_ZOOMX), at(PR_WIDTH));
  EXPECT_LT(at(PR_HEIGHT), at(PR_LEFT));
  EXPECT_LT(at(PR_PRIORITY), at(PR_FONTNAME));
  EXPECT_LT(at(PR_TAG), at(PR_CAPTURELINK));
  EXPECT_EQ(at(PR_PLUSX) + 1, at(PR_PLUSY));
}

TEST(PropertyTable, WritesThatFailOrAreIgnored) {
  const std::set<int> read_only = {PR_CARETX, PR_CARETY, PR_PLAYING, PR_COMPOTYPE, PR_CARETHEIGHT};
  const std::set<int> failing = {PR_APPEARX, PR_APPEARY};
  for (const auto& row : kProperties) {
    PropAccess expected = PropAccess::ReadWrite;
    if (read_only.count(row.id)) expected = PropAccess::ReadOnly;
    if (failing.count(row.id)) expected = PropAccess::WriteFails;
    EXPECT_EQ(row.access, expected) << row.name;
    EXPECT_EQ(row.read_only(), expected != PropAccess::ReadWrite);
  }
}

// What a component reports for a property it does not implement.
TEST(PropertyTable, DefaultsOfComponentsThatDoNotImplementAProperty) {
  // A box has no zoom and no index: it reports 256 and -1.
  EXPECT_FALSE(kProperties[PR_ZOOMX].components.contains(LT_BOX));
  EXPECT_EQ(kProperties[PR_ZOOMX].absent_default, 256);
  EXPECT_FALSE(kProperties[PR_INDEX].components.contains(LT_BOX));
  EXPECT_EQ(kProperties[PR_INDEX].absent_default, -1);

  expect_only_these_non_zero({{PR_ZOOMX, 256},
                              {PR_ZOOMY, 256},
                              {PR_COLOR, 0xFFFFFF},
                              {PR_BORDERCOLOR, -1},
                              {PR_HOVERCOLOR, -1},
                              {PR_ALPHA, 255},
                              {PR_BRIGHTNESS, 255},
                              {PR_INDEX, -1},
                              {PR_TEXTDELAY, 256},
                              {PR_SMALLCHANGE, 1},
                              {PR_LARGECHANGE, 1},
                              {PR_PARTMOTION, 1},
                              {PR_REWINDONLOAD, 1},
                              {PR_OVERLAY, 1}},
                             &TPropertyInfo::absent_default);
  for (const auto& row : kProperties) {
    AbsentDefault rule = AbsentDefault::Value;
    if (row.id == PR_ORIGWIDTH) rule = AbsentDefault::OwnWidth;
    if (row.id == PR_ORIGHEIGHT) rule = AbsentDefault::OwnHeight;
    EXPECT_EQ(row.absent_rule, rule) << row.name;
  }
}

TEST(PropertyTable, ComponentSetsOfTheRows) {
  const TComponentType non_visual[] = {LT_SOUND, LT_TIMER, LT_PROPMOTION, LT_HTTP};
  const auto& name = kProperties[PR_NAME].components;
  const auto& parent = kProperties[PR_PARENT].components;
  EXPECT_TRUE(name.contains_screen_bases());
  EXPECT_TRUE(parent.contains_screen_bases());
  for (const auto& t : kComponentTypes) {
    const bool has_class = !t.class_name.empty();
    EXPECT_EQ(name.contains(t.type), has_class) << t.name;
    EXPECT_EQ(parent.contains(t.type), has_class && t.visual) << t.name;
  }
  for (TComponentType t : non_visual) {
    EXPECT_FALSE(kAllVisual.contains(t));
    EXPECT_TRUE(kAllComponents.contains(t));
  }
  EXPECT_TRUE(kAllVisual.contains(LT_CABINET));
  EXPECT_TRUE(kProperties[PR_COLCOUNT].components.empty());
  EXPECT_TRUE(kProperties[PR_APPEARX].components.empty());

  const auto& anipaused = kProperties[PR_ANIPAUSED].components;
  EXPECT_TRUE(anipaused.contains(LT_SOUND));
  EXPECT_TRUE(anipaused.contains(LT_MES));
  EXPECT_FALSE(anipaused.contains(LT_TIMER));
  const auto& playing = kProperties[PR_PLAYING].components;
  EXPECT_TRUE(playing.contains(LT_PROPMOTION));
  EXPECT_FALSE(playing.contains(LT_HTTP));

  const auto& scrolly = kProperties[PR_SCROLLY].components;
  EXPECT_EQ(scrolly, kinds(LT_MES, LT_TILE));
  EXPECT_FALSE(scrolly.contains_screen_bases());
  EXPECT_EQ(kProperties[PR_CARETX].components, kinds(LT_MES));
  // PR_SOURCE: sixteen types, among them the non-visual HTTP and SOUND.
  EXPECT_EQ(__builtin_popcount(kProperties[PR_SOURCE].components.type_mask()), 16);
  EXPECT_TRUE(kProperties[PR_SOURCE].components.contains(LT_HTTP));
  EXPECT_FALSE(kProperties[PR_SOURCE].components.contains(LT_MES));
}

TEST(PropertyTable, DisplayNamesAreShiftJisWithLineBreaks) {
  for (const auto& row : kProperties) {
    EXPECT_FALSE(property_display_name(row.id).empty()) << row.name;
  }
  EXPECT_EQ(property_display_name(PR_LEFT), test::sjis("X座標"));
  EXPECT_EQ(property_display_name(PR_FONTHOVERCOLOR), test::sjis("マウスオーバー時の\r\nフォント色"));
  EXPECT_EQ(property_display_name(PR_CAPTURELINK), test::sjis("マウス判定を\r\nリンク文字のみ"));
  EXPECT_EQ(property_display_name(PR_BORDERSOURCETL), test::sjis("枠画像(左上)"));
}

TEST(PropertyTable, GetPropResultTypesReachTheExpressionSystem) {
  PropertyTypes types;
  expr::TSysFuncMan functions;
  functions.set_property_types(&types);
  expr::TParamStr target("box");
  auto type_of = [&](std::int32_t id) {
    expr::TParamInt arg(id);
    expr::TCustomParam* args[] = {&target, &arg};
    return functions.result_type(expr::SF_GETPROP, args);
  };
  EXPECT_EQ(type_of(PR_PARAM2), expr::PT_FLOAT);
  EXPECT_EQ(type_of(PR_TEXT), expr::PT_STR);
  EXPECT_EQ(type_of(PR_VISIBLE), expr::PT_BOOL);
  EXPECT_EQ(type_of(PR_LEFT), expr::PT_INT);
  EXPECT_EQ(type_of(164), expr::PT_INT);
  EXPECT_THROW(type_of(165), core::Error);
  EXPECT_EQ(types.property_type(-1), expr::PT_NONE);
  EXPECT_EQ(types.property_type(165), expr::PT_NONE);
}

TEST(PropertyTable, NamedConstantsOfTheIntegerProperties) {
  EXPECT_EQ(find_prop_constant("IM_RCLICK"), 4);
  EXPECT_EQ(find_prop_constant("ha_right"), 2);
  EXPECT_EQ(find_prop_constant("VA_BOTTOM"), 2);
  EXPECT_EQ(find_prop_constant("OT_VERTICAL"), 1);
  EXPECT_EQ(find_prop_constant("MT_DEC"), 2);
  EXPECT_EQ(find_prop_constant("PM_TWISTER"), 4);
  EXPECT_EQ(find_prop_constant("LP_STOPFADE"), 3);
  EXPECT_EQ(find_prop_constant("FS_STRIKEOUT"), 8);
  EXPECT_FALSE(find_prop_constant("IM_"));
  EXPECT_FALSE(find_prop_constant("PR_NAME"));
  std::set<std::string_view> names;
  for (const auto& c : kPropConstants) {
    EXPECT_TRUE(names.insert(c.name).second) << c.name;
  }
}

}  // namespace
}  // namespace nova::components
