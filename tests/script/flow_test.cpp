// The interpreter on the main script: ticks and continue flags, waits,
// branches, loops, jumps and the page cache, calls with arguments and
// results, the trace.
#include <gtest/gtest.h>

#include "script/commands.h"
#include "script_fixture.h"

namespace nova::script::testing {
namespace {

using Flow = InterpreterTest;

TEST_F(Flow, ContinueFlagsDecideHowManyCommandsRunInATick) {
  var("a");
  page("main.nsb", {Cmd("Calc").e("expression", "a = a + 1").go(), Cmd("Calc").e("expression", "a = a + 10").go(),
                    Cmd("Comment").s("text", "passed over"), Cmd("Calc").e("expression", "a = a + 100"),
                    Cmd("Calc").e("expression", "a = a + 1000").go(), Cmd("Calc").e("expression", "a = a + 10000")});
  cm->StartAt("main.nsb");
  tick();
  // The comment changes no continue flag: the run goes on past it and ends
  // after the command whose flag is 0.
  EXPECT_EQ(ivalue("a"), 111);
  EXPECT_EQ(position(), 4);
  tick();
  EXPECT_EQ(ivalue("a"), 11111);
  tick();
  EXPECT_EQ(cm->CurrentPage(), nullptr) << "the page ended";
  EXPECT_FALSE(cm->ContinueFlag());
  tick(3);
  EXPECT_EQ(ivalue("a"), 11111);
}

TEST_F(Flow, SkippedCommandsNeverRun) {
  var("a");
  page("main.nsb", {Cmd("Calc").e("expression", "a = 5").skip().go(), Cmd("Calc").e("expression", "a = a + 1")});
  cm->StartAt("main.nsb");
  tick();
  // A skipped command changes no continue flag, not even its own: the
  // first tick passes over it and ends.
  EXPECT_EQ(ivalue("a"), 0);
  EXPECT_EQ(position(), 1);
  tick();
  EXPECT_EQ(ivalue("a"), 1);
}

TEST_F(Flow, WaitCountsFrameTimeFromItsSecondRun) {
  var("done");
  page("main.nsb", {Cmd("Wait").e("time", "100").go(), Cmd("Calc").e("expression", "done = 1")});
  cm->StartAt("main.nsb");
  for (int run = 1; run <= 8; ++run) {
    tick();
    EXPECT_EQ(position(), 0) << "run " << run;
    EXPECT_TRUE(cm->Started());
  }
  tick();  // the ninth run ends it; its continue flag runs the next command at once
  EXPECT_EQ(ivalue("done"), 1);
  EXPECT_EQ(position(), 2);
}

TEST_F(Flow, WaitConditionsAndAbsentTime) {
  var("done");
  var("hold", expr::PT_BOOL).value().set_flag(true);
  page("false.nsb",
       {Cmd("Wait").e("condition", "FALSE").e("time", "1000").go(), Cmd("Calc").e("expression", "done = 1")});
  cm->StartAt("false.nsb");
  tick();
  EXPECT_EQ(ivalue("done"), 1) << "a false condition ends the wait at once, time or not";

  page("hold.nsb", {Cmd("Wait").e("condition", "hold").go(), Cmd("Calc").e("expression", "done = 2")});
  cm->StartAt("hold.nsb");
  tick(20);
  EXPECT_EQ(ivalue("done"), 1) << "without time the wait lasts while its condition holds";
  store.find("hold")->value().set_flag(false);
  tick();
  EXPECT_EQ(ivalue("done"), 2);

  page("forever.nsb", {Cmd("Wait").go(), Cmd("Calc").e("expression", "done = 3")});
  cm->StartAt("forever.nsb");
  tick(200);
  EXPECT_EQ(ivalue("done"), 2) << "no condition and no time: never ends by itself";
  EXPECT_EQ(position(), 0);
}

TEST_F(Flow, IfChainsRunTheFirstTrueBranch) {
  var("x");
  var("r");
  var("n");
  // If x == 1 / Elseif x == 2 / Elseif x == 3 (nested If inside) / Else.
  page("main.nsb", {Cmd("If").e("condition", "x == 1").go(), Cmd("Calc").e("expression", "r = 1").level(1).go(),
                    Cmd("Elseif").e("condition", "x == 2").go(), Cmd("Calc").e("expression", "r = 2").level(1).go(),
                    Cmd("Elseif").e("condition", "x == 3").go(), Cmd("If").e("condition", "n == 0").level(1).go(),
                    Cmd("Calc").e("expression", "r = 30").level(2).go(), Cmd("Else").level(1).go(),
                    Cmd("Calc").e("expression", "r = 31").level(2).go(), Cmd("Else").go(),
                    Cmd("Calc").e("expression", "r = 4").level(1).go(), Cmd("Calc").e("expression", "n = n + 100")});
  const std::pair<int, int> cases[] = {{1, 1}, {2, 2}, {3, 31}, {7, 4}};
  for (auto [x, r] : cases) {
    store.find("x")->value().set_int(x);
    store.find("r")->value().set_int(0);
    cm->StartAt("main.nsb");
    tick();
    EXPECT_EQ(ivalue("r"), r) << "x = " << x;
  }
  // Every case ran the command after the chain, and only once.
  EXPECT_EQ(ivalue("n"), 400);
}

TEST_F(Flow, AFalseElseifIsPassedOverAndACommentedBranchWithIt) {
  var("r");
  page("main.nsb",
       {Cmd("If").e("condition", "FALSE").go(), Cmd("Calc").e("expression", "r = 1").level(1).go(),
        Cmd("Elseif").e("condition", "TRUE").skip().go(), Cmd("Calc").e("expression", "r = 2").level(1).go(),
        Cmd("Elseif").e("condition", "FALSE").go(), Cmd("Calc").e("expression", "r = 3").level(1).go(),
        Cmd("Elseif").e("condition", "TRUE").go(), Cmd("Calc").e("expression", "r = r + 4").level(1).go(),
        Cmd("Else").go(), Cmd("Calc").e("expression", "r = 5").level(1).go()});
  cm->StartAt("main.nsb");
  tick();
  EXPECT_EQ(ivalue("r"), 4);
}

TEST_F(Flow, WhileLoopsWithContinueAndBreakRunInOneTick) {
  var("i");
  var("s");
  var("done");
  page("main.nsb", {Cmd("WhileInit").e("expression", "i = 0"),                             // 0
                    Cmd("While").e("condition", "i < 10").i("exit_index", 7).go(),         // 1
                    Cmd("Calc").e("expression", "i = i + 1").level(1).go(),                // 2
                    Cmd("Continue").e("condition", "i == 2").i("index", 6).level(1).go(),  // 3
                    Cmd("Break").e("condition", "i == 4").i("index", 7).level(1).go(),     // 4
                    Cmd("Calc").e("expression", "s = s + i").level(1).go(),                // 5
                    Cmd("WhileLoop").i("loop_index", 1),                                   // 6
                    Cmd("Calc").e("expression", "done = 1")});                             // 7
  cm->StartAt("main.nsb");
  tick();
  EXPECT_EQ(ivalue("i"), 4);
  EXPECT_EQ(ivalue("s"), 1 + 3);
  EXPECT_EQ(ivalue("done"), 1) << "WhileInit and WhileLoop always continue the tick";

  page("end.nsb", {Cmd("Break").e("condition", "TRUE").i("index", -1).go(), Cmd("Calc").e("expression", "done = 2")});
  cm->StartAt("end.nsb");
  tick();
  EXPECT_EQ(ivalue("done"), 1) << "a negative index ends the page";
  EXPECT_EQ(cm->CurrentPage(), nullptr);
}

TEST_F(Flow, ALoopThatNeverYieldsIsCarriedOverTicksAtThePassLimit) {
  // Without the limit this tick would never return and the player would
  // hang; with it each tick runs a share and the loop goes on exactly.
  ScriptLog log;
  var("i");
  var("after");
  page("main.nsb", {Cmd("While").e("condition", "i < 1000").i("exit_index", 3).go(),  // 0
                    Cmd("Calc").e("expression", "i = i + 1").level(1).go(),           // 1
                    Cmd("WhileLoop").i("loop_index", 0),                              // 2
                    Cmd("Calc").e("expression", "after = i")});                       // 3
  EXPECT_EQ(cm->pass_limit(), TCallMan::kDefaultPassLimit);
  cm->set_pass_limit(300);
  cm->StartAt("main.nsb");
  tick();
  EXPECT_EQ(ivalue("i"), 100) << "three commands an iteration, 300 passes";
  tick();
  EXPECT_EQ(ivalue("i"), 200);
  EXPECT_EQ(log.count("commands without yielding"), 1) << "one warning for one run of the loop";
  tick(8);
  EXPECT_EQ(ivalue("i"), 1000);
  EXPECT_EQ(ivalue("after"), 0) << "the loop's last check is the pass the limit cut";
  tick();
  EXPECT_EQ(ivalue("after"), 1000) << "the loop ended as it would have in one tick";

  // A loop that never ends still leaves every tick, and the terminate flag
  // (the exit button, the frame limit) is seen between them.
  page("spin.nsb", {Cmd("While").e("condition", "TRUE").i("exit_index", 2).go(), Cmd("WhileLoop").i("loop_index", 0)});
  cm->StartAt("spin.nsb");
  tick(3);
  EXPECT_EQ(current(), "spin.nsb");
  EXPECT_EQ(log.count("commands without yielding"), 2);
  clock.TerminateFlag.store(true);
  tick();
}

TEST_F(Flow, EmptyConditionsAreFalse) {
  var("r");
  page("main.nsb", {Cmd("Jump").s("page", "other.nsb").go(), Cmd("Exit").go(), Cmd("Break").i("index", -1).go(),
                    Cmd("Continue").i("index", -1).go(), Cmd("Call").s("page", "other.nsb").go(),
                    Cmd("Calc").e("expression", "r = 1")});
  page("other.nsb", {Cmd("Calc").e("expression", "r = 2")});
  cm->StartAt("main.nsb");
  tick();
  EXPECT_EQ(ivalue("r"), 1);
  EXPECT_EQ(cm->StackCount(), 0);
}

TEST_F(Flow, ElevenPagesThroughJumpKeepTen) {
  var("n");
  for (int k = 0; k <= 10; ++k) {
    std::vector<TCommandRecord> cmds = {Cmd("Calc").e("expression", "n = n + 1").go()};
    if (k < 10)
      cmds.push_back(Cmd("Jump").s("page", "p" + std::to_string(k + 1) + ".nsb").e("condition", "TRUE").go());
    else
      cmds.push_back(Cmd("Wait"));
    page("p" + std::to_string(k) + ".nsb", cmds);
  }
  cm->StartAt("p0.nsb");
  tick();
  EXPECT_EQ(ivalue("n"), 11);
  EXPECT_EQ(current(), "p10.nsb");
  std::vector<std::string> loaded = cm->LoadedPageNames();
  ASSERT_EQ(loaded.size(), 10u);
  EXPECT_EQ(loaded.front(), "p10.nsb");
  EXPECT_EQ(loaded.back(), "p1.nsb") << "the least recently used page went";
  // Pages are found by exact name: the cached page is used again, not read.
  host.files.erase("p5.nsb");
  cm->JumpTo("p5.nsb", 0);
  EXPECT_EQ(cm->LoadedPageNames().front(), "p5.nsb");
}

TEST_F(Flow, JumpToAMissingPageGoesOn) {
  var("r");
  page("main.nsb",
       {Cmd("Jump").s("page", "gone.nsb").e("condition", "TRUE").go(), Cmd("Calc").e("expression", "r = 1")});
  cm->StartAt("main.nsb");
  tick();
  EXPECT_EQ(ivalue("r"), 1);
  EXPECT_EQ(host.ensure_calls, 1);
}

TEST_F(Flow, CallPassesArgumentsAndStoresResults) {
  var("r");
  auto& a = var("a");
  const std::int32_t dims[] = {3};
  a.value().set_dims(dims);
  var("count");
  var("depth");
  // The called page returns a string (type 4) built from its arguments.
  page(
      "sub.nsb",
      {Cmd("VarNew").s("name", "loc").i("type", 1).e("initial", "7").i("scope", 2).go(),
       Cmd("Calc").e("expression", "count = @ParamCount").go(), Cmd("Calc").e("expression", "depth = @StackCount").go(),
       Cmd("Calc").e("expression", "@Result = @ParamStr[0] ++ @ParamStr[1]")},
      104, expr::PT_STR);
  page("main.nsb", {Cmd("Call")
                        .s("page", "sub.nsb")
                        .e("condition", "TRUE")
                        .s("result", "r")
                        .list("arguments", {"1", "", "\"2\""})
                        .go(),
                    Cmd("Call")
                        .s("page", "sub.nsb")
                        .e("condition", "TRUE")
                        .s("result", "a[2]")
                        .list("arguments", {"\"3\"", "4"})
                        .go(),
                    Cmd("Call")
                        .s("page", "sub.nsb")
                        .e("condition", "TRUE")
                        .s("result", "missing")
                        .list("arguments", {"5", "6"})
                        .go(),
                    Cmd("Calc").e("expression", "depth = depth + 100")});
  cm->StartAt("main.nsb");
  tick(20);
  EXPECT_EQ(ivalue("r"), 12) << "the text \"12\" into an integer variable stores 12";
  EXPECT_EQ(ivalue("count"), 2) << "an argument without a value is left out";
  EXPECT_EQ(a.value().int_at(2), 34) << "an element goes through the expression text";
  EXPECT_EQ(store.find("missing"), nullptr) << "a plain missing name is not created";
  EXPECT_EQ(store.find("loc"), nullptr) << "the callee's locals go when it returns";
  EXPECT_EQ(ivalue("depth"), 101);
  EXPECT_EQ(cm->StackCount(), 0);
  EXPECT_EQ(cm->ResultValue(), nullptr);
}

TEST_F(Flow, ResultTextsStayOneLiteral) {
  var("s", expr::PT_STR);
  auto& arr = var("t", expr::PT_STR);
  const std::int32_t dims[] = {2};
  arr.value().set_dims(dims);
  var("evil");
  page("sub.nsb", {Cmd("Calc").e("expression", "@Result = @ParamStr[0]")}, 104, expr::PT_STR);
  // The returned text holds a quote, a backslash and an expression.
  page("main.nsb", {Cmd("Call")
                        .s("page", "sub.nsb")
                        .e("condition", "TRUE")
                        .s("result", "t[1]")
                        .list("arguments", {"\"a\\\" + (evil = 1) + \\\"\\\\b表\""})});
  cm->StartAt("main.nsb");
  tick(5);
  EXPECT_EQ(arr.value().str_at(1), test::sjis("a\" + (evil = 1) + \"\\b表"));
  EXPECT_EQ(ivalue("evil"), 0);
}

TEST_F(Flow, TraceLinesNameClockPageAndLine) {
  var("a");
  clock.GameClockMs.store(0x1230 - 15);
  page("main.nsb", {Cmd("Calc").e("expression", "a = 1").line(10).go(), Cmd("Wait").e("time", "45").line(20),
                    Cmd("Calc").e("expression", "a = 2").line(30)});
  cm->StartAt("main.nsb");
  tick(6);
  ASSERT_GE(trace.size(), 3u);
  EXPECT_EQ(trace[0], "00001230 : main.nsb(10)");
  EXPECT_EQ(trace[1], "00001230 : main.nsb(20)");
  EXPECT_EQ(traced("main.nsb(20)"), 1) << "a waiting command is traced once";
  EXPECT_EQ(traced("main.nsb(30)"), 1);
}

TEST_F(Flow, TerminateSetsTheFlagAndAsksToClose) {
  var("a");
  page("main.nsb",
       {Cmd("Calc").e("expression", "a = 1").go(), Cmd("Terminate").go(), Cmd("Calc").e("expression", "a = 2")});
  cm->StartAt("main.nsb");
  tick();
  EXPECT_TRUE(clock.TerminateFlag.load());
  EXPECT_EQ(host.close_requests, 1);
  EXPECT_EQ(position(), 1) << "the position does not change";
  tick(3);
  EXPECT_EQ(ivalue("a"), 1) << "no tick runs while the flag is set";
  EXPECT_EQ(host.close_requests, 1);
}

TEST_F(Flow, OldPagesAreRefusedAndNewerOnesAreEmpty) {
  var("a");
  page("old.nsb", {Cmd("Calc").e("expression", "a = 1")}, 102);
  page("new.nsb", {Cmd("Calc").e("expression", "a = 1")}, 104);
  host.files["new.nsb"][0] = 116;  // a version newer than the player
  cm->StartAt("new.nsb");
  EXPECT_EQ(cm->CurrentPage()->count(), 0);
  EXPECT_TRUE(host.fatal.empty());
  cm->StartAt("old.nsb");
  ASSERT_EQ(host.fatal.size(), 1u);
  EXPECT_EQ(host.fatal[0], test::sjis("警告|old.nsb\r\nリビルドしてください"));
  EXPECT_TRUE(clock.TerminateFlag.load());
  EXPECT_EQ(host.close_requests, 1);
}

TEST_F(Flow, VariablesAreMadeAndDeleted) {
  page("main.nsb", {Cmd("VarNew").s("name", "v").i("type", 4).e("initial", "\"x\" ++ \"y\"").i("scope", 0).go(),
                    Cmd("VarNew").s("name", "st").i("type", 1).e("initial", "3").i("scope", 3).go(),
                    Cmd("VarDel").s("name", "v").go(), Cmd("VarNew").s("name", "w").i("type", 2).e("initial", "1.5")});
  cm->StartAt("main.nsb");
  tick();
  EXPECT_EQ(store.find("v"), nullptr);
  ASSERT_NE(store.find("st"), nullptr);
  EXPECT_TRUE(store.find("st")->is_status());
  ASSERT_NE(store.find("w"), nullptr);
  EXPECT_EQ(store.find("w")->value().as_float(), 1.5L);
}

}  // namespace
}  // namespace nova::script::testing

namespace nova::script::testing {
namespace {

TEST_F(Flow, ExpressionErrorsAreSwallowedButReachTheAuthorOncePerPlace) {
  ScriptLog log;
  var("i");
  var("target").value().set_int(7);
  page("main.nsb", {Cmd("WhileInit").e("expression", "i = 0").line(3),                       // 0
                    Cmd("While").e("condition", "i < 100").i("exit_index", 5).go().line(4),  // 1
                    Cmd("Calc").e("expression", "i = i + 1").level(1).go().line(5),          // 2
                    Cmd("Calc").e("expression", "target = 1 / 0").level(1).go().line(6),     // 3
                    Cmd("WhileLoop").i("loop_index", 1).line(7),                             // 4
                    Cmd("Calc").e("expression", "unknown_name + 1").line(8)});               // 5
  cm->StartAt("main.nsb");
  tick();
  EXPECT_EQ(ivalue("i"), 100);
  EXPECT_EQ(ivalue("target"), 7) << "the failed expression assigns nothing";
  EXPECT_EQ(log.count("main.nsb(6)", core::Level::Warning), 1) << "warned once for the place and message";
  EXPECT_EQ(log.count("main.nsb(6)", core::Level::Debug), 99) << "the repeats are logged quietly";
  auto count = [&](std::string_view text) {
    return std::count_if(trace.begin(), trace.end(),
                         [&](const std::string& l) { return l.find(text) != std::string::npos; });
  };
  EXPECT_EQ(count("<ExprError>main.nsb(6)"), 1);
  EXPECT_EQ(count("<ExprError>main.nsb(8)"), 1);
  EXPECT_EQ(count(" more"), 0) << "the counts are written when the trace closes";
  cm.reset();
  ASSERT_EQ(count("<ExprError>main.nsb(6)"), 2);
  const std::string& closing = trace.back();
  EXPECT_EQ(closing.rfind("<ExprError>main.nsb(6) ", 0), 0u) << closing;
  EXPECT_NE(closing.find(": 99 more"), std::string::npos) << closing;
  EXPECT_EQ(count("<ExprError>main.nsb(8)"), 1) << "an error that happened once has no closing line";
}

TEST_F(Flow, ExpressionErrorPlacesAreBounded) {
  ScriptLog log;
  // 1,200 distinct places (one command each) fail once: the first 1,000
  // are traced, the rest are counted in one closing line.
  std::vector<TCommandRecord> commands;
  for (int n = 0; n < 1200; ++n) commands.push_back(Cmd("Calc").e("expression", "missing + 1").go().line(n + 1));
  page("many.nsb", commands);
  cm->StartAt("many.nsb");
  tick();
  const auto traced = std::count_if(trace.begin(), trace.end(),
                                    [](const std::string& l) { return l.find("<ExprError>") != std::string::npos; });
  EXPECT_EQ(traced, static_cast<long>(TCallMan::kExprErrorPlaces));
  cm.reset();
  EXPECT_EQ(trace.back(), "<ExprError>200 more at other places");
}

}  // namespace
}  // namespace nova::script::testing
