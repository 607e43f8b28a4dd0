// The component commands on a base list: the creating path (order,
// defaults, parents, names, half-made components), GetProp, SetProp,
// ObjDel, the play control of media and menus, MovieStop's wait, and the
// commands whose classes or subsystems are not built.
#include "component_fixture.h"
#include "components/nova_images.h"
#include "core/error.h"
#include "script/commands.h"
#include "script/name_list.h"

namespace nova::script::testing {
namespace {

std::string base0() { return std::string("\x01") + "BASE0"; }
std::string base1() { return std::string("\x01") + "BASE1"; }

TEST_F(Components, CreationWritesThePresentPropertiesInTableOrderWithTheirDefaults) {
  start("create.nsb", {Cmd("BoxNew")
                           .prop(PR_NAME, "\"box\"")
                           .prop(PR_SOURCE, "\"pic\"")
                           .prop(PR_LEFT, "10")
                           .prop(PR_ZOOMX, "")
                           .prop(PR_COLOR, "")
                           .prop(PR_ALPHA, "")
                           .prop(PR_FONTSTYLE, "$1F3")
                           .prop(PR_VISIBLE, "")
                           .prop(PR_PARAM1, "1.5")
                           .prop(PR_PLUSX, "5")
                           .prop(PR_APPEARX, "7")
                           .prop(PR_PLAYING, "TRUE")});
  frame();
  start("create2.nsb", {Cmd("BoxNew").prop(PR_NAME, "\"\"").prop(PR_SOURCE, "\"second\"")});
  frame();
  auto* box = dynamic_cast<TRecorder*>(find("box"));
  ASSERT_NE(box, nullptr);
  const SetterLog expected = {{PR_SOURCE, "\"pic\""}, {PR_ZOOMX, "256"},      {PR_LEFT, "10"},
                              {PR_COLOR, "-1"},       {PR_ALPHA, "255"},      {PR_FONTSTYLE, "3"},
                              {PR_VISIBLE, "TRUE"},   {PR_PARAM1, "1.500000"}};
  EXPECT_EQ(box->log, expected) << "table order, not id order; never-applied ones (PLUSX, APPEARX, PLAYING) unwritten";
  EXPECT_EQ(box->Left(), 10);
  EXPECT_EQ(box->Parent(), &list.front_base()) << "no PR_PARENT in the set: the front base";
  auto* second = dynamic_cast<TRecorder*>(find("object0"));
  ASSERT_NE(second, nullptr) << "an empty PR_NAME keeps the automatic name";
  EXPECT_EQ(second->strs[PR_SOURCE], "second");
  EXPECT_EQ(list.ItemCount(), 2);
  EXPECT_FALSE(list.front_base().dirty().rects().empty()) << "the new components were invalidated";
}

TEST_F(Components, ImgNewGivesTheImageACopyOfItsDelayExpression) {
  start("images.nsb", {Cmd("ImgNew").prop(PR_NAME, "\"with\"").prop(PR_DELAY, "40 + 2").go(),
                       Cmd("ImgNew").prop(PR_NAME, "\"without\"").prop(PR_DELAY, "")});
  frame();
  auto* with = dynamic_cast<TNovaImages*>(find("with"));
  auto* without = dynamic_cast<TNovaImages*>(find("without"));
  ASSERT_TRUE(with && without);
  EXPECT_FALSE(with->ExtraPause().empty());
  expr::TNovaParser copy;
  copy.assign(with->ExtraPause());
  ASSERT_TRUE(copy.execute(store, funcs));
  EXPECT_EQ(copy.result()->as_int(), 42) << "the command's own expression";
  EXPECT_TRUE(without->ExtraPause().empty());
}

TEST_F(Components, TheParentIsTheControlANameFindsElseTheFrontBase) {
  TNovaControl& holder = make<TRecorder>("holder");
  list.set_front_index(1);
  start("parents.nsb", {Cmd("BoxNew").prop(PR_NAME, "\"in\"").prop(PR_PARENT, "\"holder\"").go(),
                        Cmd("BoxNew").prop(PR_NAME, "\"unknown\"").prop(PR_PARENT, "\"nobody\"").go(),
                        Cmd("BoxNew").prop(PR_NAME, "\"empty\"").prop(PR_PARENT, "\"\"").go(),
                        Cmd("BoxNew").prop(PR_NAME, "\"back\"").prop(PR_PARENT, "\"\x01\"").go(),
                        Cmd("BoxNew")
                            .prop(PR_NAME, "\"first\"")
                            .prop(PR_PARENT,
                                  "\"\x01"
                                  "BASE0\"")
                            .go(),
                        Cmd("BoxNew").prop(PR_NAME, "\"novalue\"").prop(PR_PARENT, "")});
  frame();
  const auto parent = [&](std::string_view name) {
    auto* c = dynamic_cast<TNovaControl*>(find(name));
    return c ? c->Parent() : nullptr;
  };
  EXPECT_EQ(parent("in"), &holder);
  EXPECT_EQ(parent("unknown"), &list.base(1)) << "the front base, which is base 1 now";
  EXPECT_EQ(parent("empty"), &list.base(1));
  EXPECT_EQ(parent("back"), &list.base(0)) << "byte 1 finds the back base";
  EXPECT_EQ(parent("first"), &list.base(0)) << "byte 1 + BASE0 finds the base made first";
  EXPECT_EQ(parent("novalue"), &list.base(1));
}

TEST_F(Components, ACreatingCommandWithoutItsClassRaisesBeforeRunningAnything) {
  var("runs");
  ScriptLog log;
  for (const char* name : {"MesNew", "Timer", "Movie", "Menu", "Button"}) {
    start(std::string(name) + ".nsb", {Cmd(name).prop(PR_NAME, "runs = runs + 1").go()});
    frame(2);
    const auto type = created_type(find_command(name).value_or(0));
    ASSERT_TRUE(type) << name;
    const std::string message =
        std::string(name) + ": " + std::string(component_type_info(*type).class_name) + " is not built yet";
    EXPECT_EQ(log.count(message), 2) << message;
  }
  EXPECT_EQ(ivalue("runs"), 0) << "no expression ran";
  EXPECT_EQ(list.ItemCount(), 0);
  EXPECT_EQ(created_type(CC_FLIP), std::nullopt);
}

TEST_F(Components, ASetterThatAlwaysRaisesLeavesAtMostOneHalfMadeComponent) {
  var("handled");
  page("handler.nsb", {Cmd("Calc").e("expression", "handled = 1")});
  start("main.nsb", {Cmd("WaveNew").prop(PR_NAME, "\"w\"").prop(PR_SOURCE, "\"pic.bri\"").line(4)});
  TFailing::alive = TFailing::most = 0;
  for (int i = 0; i < 100; ++i) {
    clock.GameClockMs.store(clock.GameClockMs.load() + 15);
    list.FrameBegin(15);
    cm->RunTick();
    ASSERT_EQ(TFailing::alive, 1) << i;
    ASSERT_EQ(list.FindComponent("w"), nullptr) << "its name is taken at once";
    list.UpdateAll();
    ASSERT_EQ(TFailing::alive, 0) << "destroyed in the tick's update pass";
  }
  EXPECT_EQ(TFailing::most, 1);
  EXPECT_EQ(traced("<Error>main.nsb(4) WaveNew: PR_SOURCE: no such picture: pic.bri"), 100) << "once per tick";
  EXPECT_EQ(ivalue("handled"), 0) << "the half-made component's event never ran";
  EXPECT_TRUE(list.events().entries().empty());
}

TEST_F(Components, GetPropSetPropAndObjDelFindFirstAndNeedAPropertyId) {
  TRecorder& box = make<TRecorder>("box");
  box.ints[PR_ALPHA] = 77;
  var("alpha");
  var("untouched").value().set_int(-1);
  var("ran");
  ScriptLog log;
  start("props.nsb", {Cmd("SetProp").e("component", "\"box\"").e("property", "11").e("value", "88").go(),
                      Cmd("GetProp").e("component", "\"box\"").e("property", "11").s("variable", "alpha").go(),
                      Cmd("GetProp").e("component", "\"gone\"").e("property", "").s("variable", "untouched").go(),
                      Cmd("SetProp").e("component", "\"gone\"").e("property", "").e("value", "1").go(),
                      Cmd("SetProp").e("component", "\"box\"").e("property", "").e("value", "ran = 2").line(9)});
  frame(3);
  EXPECT_EQ(box.ints[PR_ALPHA], 88);
  EXPECT_EQ(ivalue("alpha"), 88);
  EXPECT_EQ(ivalue("untouched"), -1) << "a name that finds nothing ends the command before the id";
  EXPECT_EQ(log.count(test::sjis("props.nsb(9): プロパティ指定が不正です")), 3) << "retried once per tick";
  EXPECT_EQ(ivalue("ran"), 0) << "the value is not run without an id";
  start("getprop.nsb", {Cmd("GetProp").e("component", "\"box\"").e("property", "").s("variable", "alpha").line(3)});
  frame(2);
  EXPECT_EQ(log.count(test::sjis("getprop.nsb(3): プロパティ指定が不正です")), 2);
  // ObjDel of every name of a base leaves both bases; of a component, it
  // deletes the component.
  std::vector<TCommandRecord> dels;
  const std::string bases[] = {"\"\"", "\"\x01\"", "\"\x01" + std::string("BASE0\""),
                               "\"\x01" + std::string("BASE1\"")};
  for (const std::string& name : bases) {
    dels.push_back(Cmd("ObjDel").e("component", name).go());
    dels.push_back(Cmd("MovieStop").e("component", name).e("fade", "0").go());
  }
  dels.push_back(Cmd("ObjDel").e("component", "\"box\"").go());
  start("dels.nsb", dels);
  frame();
  EXPECT_EQ(find("box"), nullptr);
  EXPECT_EQ(list.ItemCount(), 0);
  EXPECT_EQ(list.base(0).Name(), base0());
  EXPECT_EQ(list.base(1).Name(), base1());
  EXPECT_EQ(list.FindControl("\x01"), &list.back_base());
  start("after.nsb", {Cmd("BoxNew").prop(PR_NAME, "\"after\"")});
  frame();
  ASSERT_NE(find("after"), nullptr);
  EXPECT_EQ(dynamic_cast<TNovaControl*>(find("after"))->Parent(), &list.front_base())
      << "the bases still take children";
}

TEST_F(Components, PlayControlOfMediaAndWhatOtherComponentsDo) {
  TTestMedia& song = make<TTestMedia>("song");
  make<TRecorder>("picture");
  ScriptLog log;
  start("play.nsb",
        {Cmd("MediaPlay").e("component", "\"song\"").go(), Cmd("MenuClose").e("component", "\"song\"").go(),
         Cmd("MediaPlay").e("component", "\"picture\"").go(), Cmd("MenuClose").e("component", "\"picture\"").go(),
         Cmd("MediaPlay").e("component", "\"nobody\"").go()});
  frame();
  EXPECT_EQ(song.restarts, 1);
  EXPECT_EQ(song.controls, std::vector<std::int32_t>{LP_STOPFADE});
  EXPECT_EQ(log.count("MediaPlay: \"picture\" has no play control (LT_BOX)", core::Level::Warning), 1);
  EXPECT_EQ(log.count("MenuClose: \"picture\" has no play control (LT_BOX)", core::Level::Warning), 1);
  EXPECT_EQ(log.count("song\" has no play control"), 0);
  // Sound starts its medium: with a delay it fades in.
  start("sound.nsb", {Cmd("Sound").prop(PR_NAME, "\"a\"").prop(PR_DELAY, "0").go(),
                      Cmd("Sound").prop(PR_NAME, "\"b\"").prop(PR_DELAY, "300")});
  frame();
  auto* a = dynamic_cast<TTestMedia*>(find("a"));
  auto* b = dynamic_cast<TTestMedia*>(find("b"));
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->controls, std::vector<std::int32_t>{LP_PLAY});
  EXPECT_EQ(b->controls, std::vector<std::int32_t>{LP_PLAYFADE});
}

TEST_F(Components, MovieStopStopsDeletesOrWaitsForThatVeryComponent) {
  host.files["bgm.ogg"] = {};
  const auto media = [&](std::string_view name, std::string_view source, std::int32_t state, bool ended) {
    TTestMedia& m = make<TTestMedia>(name);
    m.source = test::sjis(source);
    m.state = state;
    m.ended = ended;
    return &m;
  };
  TTestMedia* now = media("now", "bgm.ogg", LP_PLAY, false);
  TTestMedia* ended = media("ended", "bgm.ogg", LP_PLAY, true);
  TTestMedia* lower = media("lower", "cd_02", LP_PLAY, false);
  TTestMedia* stopped = media("stopped", "bgm.ogg", LP_STOP, false);
  const auto stop = [](std::string_view name, std::string_view fade) {
    return Cmd("MovieStop").e("component", "\"" + std::string(name) + "\"").e("fade", fade).e("wait", "TRUE").go();
  };
  start("stops.nsb",
        {stop("now", "0"), stop("ended", "500"), stop("lower", "500"), stop("stopped", "500"), stop("nobody", "500")});
  cm->RunTick();
  EXPECT_EQ(now->controls, std::vector<std::int32_t>{LP_STOP}) << "fade 0 stops";
  EXPECT_TRUE(now->PendingDeletion()) << "and deletes";
  list.UpdateAll();
  EXPECT_EQ(find("now"), nullptr);
  EXPECT_EQ(position(), 5) << "ended, stopped, missing files and names are not waited for";
  EXPECT_TRUE(ended->controls.empty());
  EXPECT_TRUE(stopped->controls.empty());
  EXPECT_TRUE(lower->controls.empty()) << "\"cd_\" is a file name, and that file is missing";

  // A CD track waits until that very component is destroyed, whatever it
  // is called meanwhile, also after its state went through a save.
  TTestMedia* cd = media("cd", "CD_02", LP_PLAYFADE, false);
  start("cd.nsb", {stop("cd", "500"), Cmd("Wait")});
  frame(3);
  EXPECT_EQ(cd->delay, 500);
  EXPECT_EQ(cd->controls, std::vector<std::int32_t>{LP_STOPFADE});
  EXPECT_EQ(position(), 0);
  auto& wait = static_cast<TComMovieStop&>(cm->CurrentPage()->command(0));
  EXPECT_TRUE(wait.Yields());
  list.set_name(*cd, "\x01SCRAP_cd");
  frame(2);
  EXPECT_EQ(position(), 0) << "renamed, still the same component";
  core::ByteWriter w;
  wait.SaveState(w);
  core::ByteWriter expected;
  write_state_header(expected);
  expected.str("\x01SCRAP_cd");
  expected.boolean(true);
  expected.boolean(false);
  EXPECT_EQ(w.data(), expected.data()) << "the current name";
  make<TTestMedia>("cd");  // another component of the old name is not the one waited for
  core::ByteReader r(w.data());
  wait.LoadState(r);
  frame(2);
  EXPECT_EQ(position(), 0) << "found again by the saved name";
  list.destroy(*cd);
  frame();
  EXPECT_EQ(position(), 1);
  core::ByteWriter gone;
  wait.SaveState(gone);
  core::ByteReader gr(gone.data());
  read_state_header(gr);
  EXPECT_EQ(gr.str(), "") << "empty once gone";
}

TEST_F(Components, CommandsOfSubsystemsNotBuiltRaiseBeforeRunningAnything) {
  var("runs");
  ScriptLog log;
  const std::pair<TCommandRecord, const char*> cases[] = {
      {Cmd("PropMotion").e("name", "runs = 1").e("property", "1").go(),
       "PropMotion: property motions are not built yet"},
      {Cmd("SaveCabinet").prop(PR_NAME, "runs = 1").e("mode", "runs = 1").go(),
       "SaveCabinet: cabinets are not built yet"},
      {Cmd("LoadCabinet").prop(PR_NAME, "runs = 1").e("mode", "runs = 1").go(),
       "LoadCabinet: cabinets are not built yet"}};
  for (const auto& [command, message] : cases) {
    start(std::string(message).substr(0, 6) + ".nsb", {command, Cmd("Calc").e("expression", "runs = 2")});
    frame(2);
    EXPECT_EQ(log.count(message), 2) << message;
  }
  EXPECT_EQ(ivalue("runs"), 0);
  EXPECT_EQ(list.ItemCount(), 0);
}

using WithoutComponents = InterpreterTest;

TEST_F(WithoutComponents, ComponentCommandsRaiseThatNoComponentSystemRuns) {
  ScriptLog log;
  for (const char* name : {"ImgNew", "GetProp", "SetProp", "ObjDel", "MovieStop", "Flip", "MediaPlay", "MenuClose"}) {
    TCommandRecord r = Cmd(name);
    page(std::string(name) + ".nsb", {r});
    cm->StartAt(std::string(name) + ".nsb");
    tick();
    EXPECT_EQ(log.count(std::string(name) + ": no component system is running"), 1) << name;
  }
}

TEST(NameList, OneNamePerLineComparedByteForByte) {
  TNameList names;
  names.add_text("a\r\nb\rc\nd\n");
  names.add_text("");
  names.add_text("E");
  for (const char* n : {"a", "b", "c", "d", "E"}) EXPECT_TRUE(names.contains(n)) << n;
  for (const char* n : {"", "e", "A", "a\r", "b\rc"}) EXPECT_FALSE(names.contains(n)) << n;
  EXPECT_FALSE(names.choose("a", true));
  EXPECT_TRUE(names.choose("x", true));
  EXPECT_TRUE(names.choose("a", false));
  EXPECT_TRUE(names.moves("x", 0));
  EXPECT_FALSE(names.moves("a", 0));
  EXPECT_TRUE(names.moves("a", 1));
  EXPECT_FALSE(names.moves("x", 1));
  EXPECT_FALSE(names.moves("a", 2));
  EXPECT_FALSE(names.moves("x", 2));
}

}  // namespace
}  // namespace nova::script::testing
