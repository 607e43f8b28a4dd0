// The component functions as scripts call them: compiled expressions over a
// base list with test components, for lookups, properties, the item
// functions, IndexOfMenu, ListCompo, coordinates and the base and cabinet
// tests, with the "not found" answers.
#include "components/component_functions.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "component_fixture.h"
#include "components/item_holder.h"
#include "core/error.h"
#include "expr/expr_functions.h"
#include "expr/nova_parser.h"
#include "expr/random.h"
#include "support/test_support.h"

namespace nova::test {
namespace {

// A menu-like holder: items are the lines of its text; states per index.
class TTestMenu final : public TNovaControl, public TItemHolder {
 public:
  explicit TTestMenu(TComponentType type = LT_MENU) : m_type(type) {}
  TComponentType ComponentType() const override { return m_type; }
  const PropertyTable& Properties() const override { return ClassProperties(); }
  static const PropertyTable& ClassProperties() {
    static const PropertyTable table = [] {
      PropertyTable t = TNovaControl::ClassProperties();
      t.text<&TTestMenu::Text, &TTestMenu::SetText>(PR_TEXT);
      return t;
    }();
    return table;
  }
  const std::string& Text() const { return text; }
  void SetText(std::string_view v) { text = v; }

  std::optional<std::int32_t> ItemIndexByName(std::string_view name) const override {
    if (name == "second") return 1;
    return std::nullopt;
  }
  bool GetItemChecked(std::int32_t i) const override { return flag("check", i); }
  void SetItemChecked(std::int32_t i, bool v) override { flags[{"check", i}] = v; }
  bool GetItemEnabled(std::int32_t i) const override { return flag("enabled", i); }
  void SetItemEnabled(std::int32_t i, bool v) override { flags[{"enabled", i}] = v; }
  bool GetItemVisible(std::int32_t i) const override { return flag("visible", i); }
  void SetItemVisible(std::int32_t i, bool v) override { flags[{"visible", i}] = v; }
  std::int32_t GetItemGroupIndex(std::int32_t i) const override { return 100 + i; }
  bool GetItemSelected(std::int32_t i) const override { return flag("selected", i); }
  void SetItemSelected(std::int32_t i, bool v) override { flags[{"selected", i}] = v; }

  std::string text;
  std::map<std::pair<std::string, std::int32_t>, bool> flags;

 private:
  bool flag(const char* kind, std::int32_t i) const {
    auto it = flags.find({kind, i});
    return it != flags.end() && it->second;
  }
  TComponentType m_type;
};

class ComponentFunctions : public ComponentTest {
 protected:
  ComponentFunctions() {
    expr::register_expr_functions(funcs, store, random);
    register_component_functions(funcs, scope);
    scope.list = &list;
  }

  // Runs `text`; the result's text, or "error: <message>" when it stopped.
  std::string run(std::string_view text) {
    parser = expr::compile_expression(sjis(text));
    if (!parser.execute(store, funcs)) return "error: " + utf8(parser.last_error());
    return parser.result() ? utf8(parser.result()->as_str()) : "";
  }
  std::string var(std::string_view name) {
    const auto* v = store.find(name);
    if (!v) return "-";
    std::string out;
    for (std::int32_t i = 0; i < v->value().count(); ++i) out += (i ? "," : "") + v->value().str_at(i);
    return out;
  }
  void make_var(std::string_view name, expr::TParamType type = expr::PT_STR) {
    bool created = false;
    store.create(name, type, expr::TVarScope::Global, created);
  }

  expr::TParamCollection store;
  expr::StandardRandom random{1};
  expr::TSysFuncMan funcs;
  ComponentScope scope;
  expr::TNovaParser parser;
};

TEST_F(ComponentFunctions, PropertiesAndLookupsAnswerOrSayNotFound) {
  auto& w = wave("w", &list.front_base());
  set(w, PR_LEFT, 12);
  EXPECT_EQ(run("GetProp(\"w\", 3)"), "12") << "PR_LEFT";
  EXPECT_EQ(run("SetProp(\"w\", 3, \"40\")"), "");
  EXPECT_EQ(get_int(w, PR_LEFT), 40) << "the text converts to the property's type";
  EXPECT_EQ(run("GetProp(\"missing\", 3)"), "0") << "not found writes nothing";
  EXPECT_EQ(run("SetProp(\"missing\", 3, 1)"), "");
  // The result's type comes from the property, so an id out of range stops
  // the expression before the function runs.
  EXPECT_EQ(run("GetProp(\"w\", 165)"), "error: GetProp\u306e\u5f15\u6570\u304c\u9055\u3044\u307e\u3059");
  EXPECT_EQ(run("Exists(\"w\")"), "TRUE");
  EXPECT_EQ(run("Exists(\"W\")"), "FALSE") << "names compare byte for byte";
  list.ScheduleDeletion(w);
  EXPECT_EQ(run("Exists(\"w\")"), "FALSE") << "a component pending deletion is gone for scripts";

  scope.list = nullptr;
  EXPECT_EQ(run("Exists(\"w\")"), "error: Exists: no component system is running");
}

TEST_F(ComponentFunctions, ItemFunctionsReachHoldersOnlyAndPreviewMenusTakeNames) {
  auto& menu = list.make<TTestMenu>();
  menu.SetName("menu");
  wave("plain");
  EXPECT_EQ(run("GetCheck(\"menu\", 2)"), "FALSE");
  EXPECT_EQ(run("SetCheck(\"menu\", 2, TRUE)"), "0");
  EXPECT_EQ(run("GetCheck(\"menu\", 2)"), "TRUE");
  run("SetEnabled(\"menu\", 1, TRUE)");
  run("SetVisible(\"menu\", 3, TRUE)");
  run("SetSelected(\"menu\", 0, TRUE)");
  EXPECT_EQ(run("GetEnabled(\"menu\", 1)") + run("GetVisible(\"menu\", 3)") + run("GetSelected(\"menu\", 0)"),
            "TRUETRUETRUE");
  EXPECT_EQ(run("GetGroupIndex(\"menu\", 4)"), "104");
  EXPECT_EQ(run("GetEnabled(\"menu\", \"1\")"), "TRUE") << "a text index reads as a number for other holders";
  EXPECT_EQ(run("GetCheck(\"plain\", 2)"), "FALSE") << "not an item holder";
  EXPECT_EQ(run("SetCheck(\"missing\", 2, TRUE)"), "0");
  EXPECT_EQ(menu.flags.size(), 4u) << "nothing written through a missing or non-holding component";

  auto& preview = list.make<TTestMenu>(LT_PREVMENU);
  preview.SetName("prev");
  run("SetSelected(\"prev\", \"second\", TRUE)");
  run("SetCheck(\"prev\", \"nobody\", TRUE)");
  run("SetCheck(\"prev\", \"+3\", TRUE)");
  EXPECT_TRUE(preview.GetItemSelected(1)) << "found by its name";
  EXPECT_TRUE(preview.GetItemChecked(3)) << "a number in text is an index";
  EXPECT_EQ(preview.flags.size(), 2u) << "an unknown name addresses no item";
}

TEST_F(ComponentFunctions, IndexOfMenuComparesTrimmedLinesWithoutCase) {
  auto& menu = list.make<TTestMenu>();
  menu.SetName("menu");
  menu.text = sjis("  Start \r\nロード\r\n\tOptions\r\nQuit");
  EXPECT_EQ(run("IndexOfMenu(\"menu\", \"start\")"), "0");
  EXPECT_EQ(run("IndexOfMenu(\"menu\", \"ロード\")"), "1");
  EXPECT_EQ(run("IndexOfMenu(\"menu\", \"OPTIONS\")"), "2");
  EXPECT_EQ(run("IndexOfMenu(\"menu\", \"Qui\")"), "-1");
  EXPECT_EQ(run("IndexOfMenu(\"missing\", \"Quit\")"), "-1");
  auto& other = list.make<TTestMenu>(LT_PREVMENU);
  other.SetName("other");
  other.text = "Quit";
  EXPECT_EQ(run("IndexOfMenu(\"other\", \"Quit\")"), "-1") << "menus only";
}

TEST_F(ComponentFunctions, ListCompoFiltersByTypeAndContainer) {
  auto& box = wave("box", &list.front_base());
  wave("inner", &box);
  wave("deep", list.FindControl("inner"));
  timer("clock");
  wave("outside", &list.front_base());
  make_var("names");
  EXPECT_EQ(run("ListCompo(names)"), "5");
  EXPECT_EQ(var("names"), "box,inner,deep,clock,outside");
  EXPECT_EQ(run("ListCompo(names, 99)"), "5") << "an unknown type lists every type";
  EXPECT_EQ(run("ListCompo(names, 15)"), "1");
  EXPECT_EQ(var("names"), "clock");
  EXPECT_EQ(run("ListCompo(names, 0, \"box\")"), "2");
  EXPECT_EQ(var("names"), "inner,deep") << "inside at any depth, never the container itself";
  EXPECT_EQ(run("ListCompo(names, 19, \"nowhere\")"), "0");
  EXPECT_EQ(var("names"), "") << "none found: a single empty element";
  EXPECT_EQ(store.find("names")->value().count(), 1);
}

TEST_F(ComponentFunctions, CoordinatesAndBaseMembership) {
  auto& parent = list.make<TTestPicture>();
  parent.SetName("p");
  parent.SetParent(&list.front_base());
  parent.SetBounds(100, 50, 100, 50);
  auto& child = list.make<TTestPicture>();
  child.SetName("c");
  child.SetParent(&parent);
  child.SetBounds(30, 40, 20, 10);
  EXPECT_EQ(run("ToClientX(\"c\", 200)"), "70");
  EXPECT_EQ(run("ToClientY(\"c\", 200)"), "110");
  EXPECT_EQ(run("ToScreenX(\"c\", 5)"), "135");
  EXPECT_EQ(run("ToScreenY(\"c\", 5)"), "95");
  EXPECT_EQ(run("ToClientX(\"missing\", 200)"), "200") << "unchanged when not found";
  EXPECT_EQ(run("ToScreenY(\"missing\", -7)"), "-7");

  EXPECT_EQ(run("InPrimary(\"c\")"), "TRUE");
  EXPECT_EQ(run("InCabinet(\"c\")"), "FALSE");
  auto& back = list.make<TTestPicture>();
  back.SetName("b");
  back.SetParent(&list.back_base());
  EXPECT_EQ(run("InPrimary(\"b\")"), "FALSE") << "on the back base";
  EXPECT_EQ(run("InPrimary(\"missing\")") + run("InCabinet(\"missing\")"), "FALSEFALSE");
  auto& cabinet = list.make<TTestMenu>(LT_CABINET);
  cabinet.SetName("cab");
  cabinet.SetParent(&list.front_base());
  auto& kept = list.make<TTestPicture>();
  kept.SetName("kept");
  kept.SetParent(&cabinet);
  EXPECT_EQ(run("InCabinet(\"kept\")") + run("InPrimary(\"kept\")"), "TRUEFALSE");
}

}  // namespace
}  // namespace nova::test
