// Properties by id: each class implements exactly its type's set, the rest
// read the table's defaults and ignore writes, values convert by the
// values' rules, and the dispatch's special cases.
#include <gtest/gtest.h>

#include "component_fixture.h"
#include "core/error.h"
#include "support/test_support.h"

namespace nova::test {
namespace {

using Properties = ComponentTest;

// What the table says the component implements.
bool table_says(const TNovaObject& o, TPropId id) {
  const ComponentSet& set = kProperties[id].components;
  return o.IsScreenBase() ? set.contains_screen_bases() : set.contains(o.ComponentType());
}

TEST_F(Properties, EachClassImplementsExactlyItsTypesSet) {
  std::vector<TNovaObject*> objects = {&list.base(0), &list.base(1)};
  for (const auto& row : kComponentTypes) {
    if (factory.has_class(row.type)) objects.push_back(&list.Create(row.type));
  }
  ASSERT_GE(objects.size(), 4u) << "the bases and the test classes at least";
  for (TNovaObject* o : objects) {
    const std::string type(component_type_info(o->ComponentType()).name);
    for (const TPropertyInfo& p : kProperties) {
      EXPECT_EQ(o->Properties().implements(p.id), table_says(*o, p.id)) << type << " " << p.name;
    }
  }
}

TEST_F(Properties, UnimplementedPropertiesReadTheirDefaultsAndIgnoreWrites) {
  TTestWave& w = wave("w");
  TTestTimer& t = timer("t");
  w.SetWidth(40);
  w.SetHeight(30);
  EXPECT_EQ(get_int(w, PR_ZOOMX), 256);
  EXPECT_EQ(get_int(w, PR_ZOOMY), 256);
  EXPECT_EQ(get_int(w, PR_INDEX), -1);
  EXPECT_EQ(get_int(w, PR_ALPHA), 255);
  EXPECT_EQ(get_int(w, PR_BRIGHTNESS), 255);
  EXPECT_EQ(get_int(w, PR_BORDERCOLOR), -1);
  EXPECT_EQ(get_int(w, PR_TEXTDELAY), 256);
  EXPECT_EQ(get_int(w, PR_PARTMOTION), 1);
  EXPECT_EQ(get(w, PR_REWINDONLOAD), "TRUE");
  EXPECT_EQ(get(w, PR_REPEAT), "FALSE");
  EXPECT_EQ(get_int(w, PR_ORIGWIDTH), 40) << "the component's own width";
  EXPECT_EQ(get_int(w, PR_ORIGHEIGHT), 30);
  EXPECT_EQ(get(w, PR_SOURCE), "");
  EXPECT_EQ(get_int(t, PR_COLOR), 0xFFFFFF) << "a non-visual component's color";
  EXPECT_EQ(get_int(w, PR_COLOR), 0) << "a control's own color";
  EXPECT_EQ(get_int(t, PR_ORIGWIDTH), 0);
  EXPECT_EQ(get(t, PR_PARENT), "");
  expr::TParamFloat f(7.5L);
  GetProp(w, PR_PARAM2, f);
  EXPECT_EQ(f.as_float(), 0.0L);
  // Writes go nowhere and change nothing else.
  set(w, PR_ZOOMX, 512);
  set(t, PR_LEFT, 99);
  set(t, PR_PARENT, "w");
  EXPECT_EQ(get_int(w, PR_ZOOMX), 256);
  EXPECT_EQ(get_int(t, PR_LEFT), 0);
  EXPECT_EQ(w.ChildCount(), 0);
  // The component type reads and ignores writes; the bases report none.
  EXPECT_EQ(get_int(w, PR_COMPOTYPE), LT_WAVE);
  set(w, PR_COMPOTYPE, 3);
  EXPECT_EQ(get_int(w, PR_COMPOTYPE), LT_WAVE);
  EXPECT_EQ(get_int(list.front_base(), PR_COMPOTYPE), LT_NONE);
  EXPECT_EQ(get_int(t, PR_COMPOTYPE), LT_TIMER);
}

TEST_F(Properties, IdsOutsideTheTableAndAppearWritesFail) {
  TTestWave& w = wave("w");
  expr::TParamInt v(5);
  for (int id : {-1, 165, 255, 100000}) {
    try {
      GetProp(w, id, v);
      ADD_FAILURE() << id;
    } catch (const core::Error& e) {
      EXPECT_EQ(e.message(), sjis("GetPropエラー"));
    }
    try {
      SetProp(w, id, v);
      ADD_FAILURE() << id;
    } catch (const core::Error& e) {
      EXPECT_EQ(e.message(), sjis("SetPropエラー"));
    }
  }
  EXPECT_EQ(v.as_int(), 5) << "a failed read leaves the variable";
  for (int id : {PR_APPEARX, PR_APPEARY}) {
    EXPECT_THROW(SetProp(w, id, v), core::Error);
    EXPECT_EQ(get_int(w, id), 0);
  }
}

TEST_F(Properties, ValuesConvertToThePropertysTypeAndBack) {
  TTestWave& w = wave("w");
  set(w, PR_LEFT, "12");
  EXPECT_EQ(w.Left(), 12);
  set(w, PR_LEFT, "x");
  EXPECT_EQ(w.Left(), 0) << "a text that is no number is 0";
  SetProp(w, PR_TOP, expr::TParamFloat(-3.9L));
  EXPECT_EQ(w.Top(), -3) << "floats truncate";
  SetProp(w, PR_VISIBLE, expr::TParamStr("FALSE"));
  EXPECT_FALSE(w.VisibleField());
  SetProp(w, PR_VISIBLE, expr::TParamInt(2));
  EXPECT_TRUE(w.VisibleField());
  SetProp(w, PR_VISIBLE, expr::TParamStr("true"));
  EXPECT_FALSE(w.VisibleField()) << "only the exact text TRUE is true";
  SetProp(w, PR_TAG, expr::TParamInt(-17));
  EXPECT_EQ(w.Tag(), "-17");
  SetProp(w, PR_TAG, expr::TParamFlag(true));
  EXPECT_EQ(w.Tag(), "TRUE");
  // Reading into a variable of another type converts on the variable's side.
  expr::TParamStr s;
  GetProp(w, PR_VISIBLE, s);
  EXPECT_EQ(s.as_str(), "FALSE");
  expr::TParamInt i;
  set(w, PR_TAG, "42");
  GetProp(w, PR_TAG, i);
  EXPECT_EQ(i.as_int(), 42);
  expr::TParamFloat f;
  GetProp(w, PR_LEFT, f);
  EXPECT_EQ(f.as_float(), 0.0L);
  // Alpha and brightness pass through unclamped where implemented; the
  // ignore-mouse mode keeps a byte.
  set(w, PR_IGNOREMOUSE, 0x104);
  EXPECT_EQ(get_int(w, PR_IGNOREMOUSE), 4);
  // Whole arrays convert from their first element.
  expr::TParamInt arr;
  const std::int32_t dims[] = {3};
  arr.set_dims(dims);
  arr.set_int_at(0, 77);
  arr.set_int_at(1, 88);
  SetProp(w, PR_PLUSX, arr);
  EXPECT_EQ(w.PlusX(), 77);
}

TEST_F(Properties, NameParentPriorityAndTagAreTheObjectsOwn) {
  TTestWave& p = wave("p", &list.front_base());
  TTestWave& c = wave("c");
  set(c, PR_PARENT, "p");
  EXPECT_EQ(c.Parent(), &p);
  EXPECT_EQ(get(c, PR_PARENT), "p");
  set(c, PR_PARENT, "nobody");
  EXPECT_EQ(c.Parent(), &p) << "an unknown name changes nothing";
  set(c, PR_PARENT, "");
  EXPECT_EQ(c.Parent(), &list.front_base()) << "the empty name is the front base";
  EXPECT_EQ(get(c, PR_PARENT), std::string("\x01"
                                           "BASE0",
                                           6));
  set(list.back_base(), PR_PARENT, "p");
  EXPECT_EQ(list.back_base().Parent(), nullptr) << "writing a base's parent is ignored";
  TTestTimer& t = timer("t");
  set(c, PR_PARENT, "t");
  EXPECT_EQ(c.Parent(), &list.front_base()) << "only a control can be a parent";

  set(c, PR_NAME, "renamed");
  EXPECT_EQ(get(c, PR_NAME), "renamed");
  EXPECT_EQ(list.FindComponent("renamed"), &c);
  set(t, PR_TAG, sjis("タグ"));
  EXPECT_EQ(get(t, PR_TAG), sjis("タグ"));

  c.SetOrderOffset(5);
  set(c, PR_PRIORITY, 3);
  EXPECT_EQ(c.Priority(), 3);
  EXPECT_EQ(c.OrderOffset(), 0) << "setting the priority resets the order offset";
  c.SetOrderOffset(INT32_MAX);
  set(c, PR_PRIORITY, INT32_MAX);
  EXPECT_EQ(c.SortKey(), std::int64_t{INT32_MAX}) << "the sum does not wrap";
  c.SetOrderOffset(INT32_MAX);
  EXPECT_EQ(c.SortKey(), std::int64_t{INT32_MAX} * 2);
}

TEST_F(Properties, TheSpecialAccessorsMapIdsOntoTheirCells) {
  auto& a = list.make<TTestAccessors>();
  // Font styles keep the four style bits.
  set(a, PR_FONTSTYLE, 0xFF);
  EXPECT_EQ(a.font_style, 0x0F);
  EXPECT_EQ(get_int(a, PR_FONTSTYLE), 15);
  set(a, PR_FONTHOVERSTYLE, 16 | 2);
  EXPECT_EQ(a.hover_style, 2);
  a.hover_style = 0xF4;
  EXPECT_EQ(get_int(a, PR_FONTHOVERSTYLE), 4);
  // The caret position is read once per coordinate and never written.
  a.caret = {11, 22};
  EXPECT_EQ(get_int(a, PR_CARETX), 11);
  EXPECT_EQ(get_int(a, PR_CARETY), 22);
  set(a, PR_CARETX, 5);
  EXPECT_EQ(a.caret.x, 11);
  // Three parameters, one accessor.
  SetProp(a, PR_PARAM1, expr::TParamFloat(1.5L));
  SetProp(a, PR_PARAM2, expr::TParamFloat(2.5L));
  SetProp(a, PR_PARAM3, expr::TParamFloat(3.5L));
  EXPECT_EQ(a.params, (std::array<long double, 3>{1.5L, 2.5L, 3.5L}));
  // The frame: nine sources in row order; alignments of the middle column
  // and the middle row.
  for (int id = PR_BORDERSOURCETL; id <= PR_BORDERSOURCEBR; ++id) set(a, id, std::to_string(id));
  for (int cell = 0; cell < 9; ++cell) EXPECT_EQ(a.sources[static_cast<std::size_t>(cell)], std::to_string(54 + cell));
  set(a, PR_BORDERHALIGNT, 1);
  set(a, PR_BORDERHALIGNC, 2);
  set(a, PR_BORDERHALIGNB, 3);
  set(a, PR_BORDERVALIGNL, 4);
  set(a, PR_BORDERVALIGNC, 5);
  set(a, PR_BORDERVALIGNR, 6);
  EXPECT_EQ(a.haligns, (std::array<std::int32_t, 9>{0, 1, 0, 0, 2, 0, 0, 3, 0}));
  EXPECT_EQ(a.valigns, (std::array<std::int32_t, 9>{0, 0, 0, 4, 5, 6, 0, 0, 0}));
  EXPECT_EQ(get_int(a, PR_BORDERVALIGNC), 5);
  // A text write through SetProp resets the typing state first; other
  // writes and reads do not.
  set(a, PR_TEXT, "hello");
  EXPECT_EQ(a.calls, (std::vector<std::string>{"reset", "text"}));
  a.AppendText(" world");
  EXPECT_EQ(a.text, "hello world");
  EXPECT_EQ(a.GetAllText(), "hello world");
  a.calls.clear();
  set(a, PR_TAG, "x");
  get(a, PR_TEXT);
  EXPECT_TRUE(a.calls.empty());
}

TEST_F(Properties, ControlSettersInvalidateOnlyOnChangeAndPassChangesToChildren) {
  class Counting final : public TNovaControl {
   public:
    void Invalidate() override { ++invalidations; }
    void PositionChanged() override {
      ++positions;
      TNovaControl::PositionChanged();
    }
    void ClipChanged() override {
      ++clips;
      TNovaControl::ClipChanged();
    }
    int invalidations = 0, positions = 0, clips = 0;
  };
  auto& parent = list.make<Counting>();
  auto& child = list.make<Counting>();
  child.SetParent(&parent);
  parent.invalidations = child.invalidations = 0;
  struct Step {
    TPropId id;
    int value, invalidations, positions, clips;
  };
  const Step steps[] = {
      {PR_LEFT, 5, 2, 1, 0},       {PR_LEFT, 5, 0, 0, 0},      {PR_TOP, 1, 2, 1, 0},       {PR_OFFSETX, 3, 2, 1, 0},
      {PR_OFFSETY, 3, 2, 1, 0},    {PR_WIDTH, 9, 2, 0, 0},     {PR_HEIGHT, 9, 2, 0, 0},    {PR_HEIGHT, 9, 0, 0, 0},
      {PR_CLIPLEFT, 1, 2, 0, 1},   {PR_CLIPTOP, 1, 2, 0, 1},   {PR_CLIPWIDTH, 4, 2, 0, 1}, {PR_CLIPHEIGHT, 4, 2, 0, 1},
      {PR_CLIPHEIGHT, 4, 0, 0, 0}, {PR_PLUSX, 2, 2, 0, 0},     {PR_PLUSY, 2, 2, 0, 0},     {PR_VISIBLE, 0, 2, 0, 0},
      {PR_VISIBLE, 0, 0, 0, 0},    {PR_POSZOOMED, 1, 2, 1, 0}, {PR_COLOR, 7, 2, 0, 0},
  };
  for (const Step& s : steps) {
    parent.invalidations = parent.positions = parent.clips = child.positions = child.clips = 0;
    set(parent, s.id, s.value);
    EXPECT_EQ(get_int(parent, s.id), s.value) << kProperties[s.id].name;
    EXPECT_EQ(parent.invalidations, s.invalidations) << kProperties[s.id].name;
    EXPECT_EQ(parent.positions, s.positions) << kProperties[s.id].name;
    EXPECT_EQ(child.positions, s.positions) << "passed on: " << kProperties[s.id].name;
    EXPECT_EQ(parent.clips, s.clips) << kProperties[s.id].name;
    EXPECT_EQ(child.clips, s.clips) << "passed on: " << kProperties[s.id].name;
  }
  parent.SetMotionX(4);
  parent.SetMotionY(4);
  set(parent, PR_TOP, 2);
  EXPECT_EQ(parent.MotionX(), 0) << "a new position drops the motion position";
  EXPECT_EQ(parent.MotionY(), 0);
  parent.invalidations = 0;
  parent.SetBounds(1, 2, 3, 4);
  EXPECT_EQ(parent.invalidations, 2);
  EXPECT_EQ(parent.GetScreenRect(), Rect::from_size(1 - 3 + 2, 2 - 3 + 2, 3, 4)) << "position - center + plus";
}

}  // namespace
}  // namespace nova::test
