// The interpreter with events: dispatch and targets, waiting and nested
// handlers, uninterruptible waits, restarts, and the guarantees that a
// failing or waiting command never freezes the player.
#include <gtest/gtest.h>

#include "components/base_list.h"
#include "core/error.h"
#include "script/commands.h"
#include "script_fixture.h"

namespace nova::script::testing {
namespace {

using Events = InterpreterTest;

// A page whose script waits for ever (a Wait without time or condition).
std::vector<TCommandRecord> idle_main() { return {Cmd("Wait")}; }

TEST_F(Events, TargetsNameAPageAndALabel) {
  var("r");
  page("main.nsb", idle_main());
  page("menu.nsb", {Cmd("Calc").e("expression", "r = 1"), Cmd("Label").s("name", "onclick").go(),
                    Cmd("Calc").e("expression", "r = r + 10")});
  page("p.nsb", {Cmd("Calc").e("expression", "r = 1"), Cmd("Label").s("name", "表x").go(),
                 Cmd("Calc").e("expression", "r = r + 100")});
  page("plain.nsb", {Cmd("Calc").e("expression", "r = 1000")});
  cm->StartAt("main.nsb");
  const ComponentId button = events.add_component("button1");
  ASSERT_TRUE(events.raise(button, 37, "menu.src:onclick"));
  tick();
  EXPECT_EQ(ivalue("r"), 10) << "menu.nsb from its label";
  EXPECT_EQ(traced("<Event>menu.nsb(2)"), 1);
  // The label's text holds a trail byte 0x5C, which is no folder separator.
  ASSERT_TRUE(events.raise(button, 37, test::sjis("p.src:表x")));
  tick();
  EXPECT_EQ(ivalue("r"), 110);
  // Without a label the page runs from its start; the last three
  // characters always become "nsb".
  ASSERT_TRUE(events.raise(button, 37, "plain.src"));
  tick();
  EXPECT_EQ(ivalue("r"), 1000);
  ASSERT_TRUE(events.raise(button, 37, "menu.src:nolabel"));
  tick();
  EXPECT_EQ(ivalue("r"), 11) << "a label that is not found starts at 0";
  EXPECT_TRUE(events.entries().empty());
  EXPECT_EQ(cm->State(), 0);
  EXPECT_EQ(current(), "main.nsb");
}

TEST_F(Events, HandlersSeeArgumentsAndSenderAndReturnToTheScript) {
  var("n");
  var("who", expr::PT_STR);
  var("args", expr::PT_STR);
  var("count");
  page("main.nsb", {Cmd("Calc").e("expression", "n = n + 1").go(), Cmd("Wait").e("time", "30"),
                    Cmd("Calc").e("expression", "n = n + 100")});
  page("h.nsb", {Cmd("Calc").e("expression", "who = @Sender").go(),
                 Cmd("Calc").e("expression", "args = @ParamStr[0] ++ \",\" ++ @ParamStr[1]").go(),
                 Cmd("Calc").e("expression", "count = @ParamCount")});
  cm->StartAt("main.nsb");
  tick();
  const ComponentId b = events.add_component("btn");
  events.raise(b, 36, "h.src", {"12", "34"});
  EXPECT_FALSE(events.raise(b, 36, "h.src")) << "an event does not enter its own pending handler";
  tick();
  EXPECT_EQ(svalue("who"), "btn");
  EXPECT_EQ(svalue("args"), "12,34");
  EXPECT_EQ(ivalue("count"), 2);
  EXPECT_EQ(cm->SenderName(), "") << "back in the main script";
  tick(5);
  EXPECT_EQ(ivalue("n"), 101) << "the script's wait went on where it was";
}

TEST_F(Events, AnUninterruptibleWaitHoldsEventsBack) {
  var("h");
  var("done");
  page("main.nsb",
       {Cmd("Wait").e("time", "100").e("uninterruptible", "TRUE").go(), Cmd("Calc").e("expression", "done = 1").go(),
        Cmd("Wait")},
       107);
  page("h.nsb", {Cmd("Calc").e("expression", "h = done + 1")});
  cm->StartAt("main.nsb");
  tick();
  events.raise(events.add_component("c"), 36, "h.src");
  tick(7);
  EXPECT_EQ(ivalue("h"), 0) << "pending while the wait runs";
  EXPECT_EQ(events.entries().size(), 1u);
  tick();
  // Events are taken between any two commands: the handler runs as soon as
  // the wait has ended, before the command after it.
  EXPECT_EQ(ivalue("h"), 1);
  EXPECT_EQ(ivalue("done"), 1);
}

TEST_F(Events, AWaitingHandlerLetsANestedHandlerRun) {
  var("a");
  var("b");
  page("main.nsb", idle_main());
  // The first handler waits (a yielding command); the nested one ends with
  // a wait of its own, whose yield must not confuse its return.
  page("a.nsb", {Cmd("Calc").e("expression", "a = 1").go(), Cmd("Wait").e("time", "150").go(),
                 Cmd("Calc").e("expression", "a = 2")});
  page("b.nsb", {Cmd("Calc").e("expression", "b = a * 10").go(), Cmd("Wait").e("time", "30").go()});
  cm->StartAt("main.nsb");
  tick();
  const ComponentId first = events.add_component("first"), second = events.add_component("second");
  events.raise(first, 36, "a.src");
  tick();
  EXPECT_EQ(ivalue("a"), 1);
  EXPECT_EQ(cm->State(), 2) << "the handler waits";
  events.raise(second, 36, "b.src");
  tick();
  EXPECT_EQ(ivalue("b"), 10);
  EXPECT_EQ(cm->EventLevel(), 3);
  ASSERT_EQ(events.entries().size(), 2u);
  EXPECT_EQ(events.entries()[0].level, 1);
  EXPECT_EQ(events.entries()[1].level, 2);
  EXPECT_EQ(cm->SenderName(), "second");
  tick(6);
  EXPECT_EQ(cm->EventLevel(), 2) << "the nested handler returned";
  ASSERT_EQ(events.entries().size(), 1u);
  EXPECT_EQ(events.entries()[0].sender, first);
  EXPECT_EQ(cm->SenderName(), "first");
  EXPECT_EQ(ivalue("a"), 1) << "the first handler still waits";
  tick(10);
  EXPECT_EQ(ivalue("a"), 2);
  EXPECT_TRUE(events.entries().empty());
  EXPECT_EQ(cm->State(), 0);
  EXPECT_EQ(cm->StackCount(), 0);
  EXPECT_EQ(current(), "main.nsb");
}

TEST_F(Events, ExitOnTheStartPageLeavesHandlersRunning) {
  var("a");
  var("clicks");
  page("main.nsb", {Cmd("Calc").e("expression", "a = 1").go(), Cmd("Exit").e("condition", "TRUE").go(),
                    Cmd("Calc").e("expression", "a = 2")});
  page("h.nsb", {Cmd("Calc").e("expression", "clicks = clicks + 1")});
  cm->StartAt("main.nsb");
  tick(2);
  EXPECT_EQ(cm->CurrentPage(), nullptr) << "the script has ended";
  const ComponentId c = events.add_component("c");
  for (int k = 1; k <= 3; ++k) {
    ASSERT_TRUE(events.raise(c, 37, "h.src"));
    tick(2);  // each tick returns: the ended script does not spin
    EXPECT_EQ(ivalue("clicks"), k);
    EXPECT_EQ(cm->CurrentPage(), nullptr);
    EXPECT_EQ(cm->State(), 0);
  }
  EXPECT_EQ(ivalue("a"), 1);
}

TEST_F(Events, AnEventWhosePageCannotBeHadIsDropped) {
  var("h");
  page("main.nsb", idle_main());
  page("h.nsb", {Cmd("Calc").e("expression", "h = h + 1")});
  cm->StartAt("main.nsb");
  const ComponentId c = events.add_component("c");
  events.raise(c, 36, "gone.src");
  events.raise(c, 37, "h.src");
  ScriptLog log;
  tick(2);
  EXPECT_EQ(ivalue("h"), 1) << "later events are not held back";
  EXPECT_TRUE(events.entries().empty());
  EXPECT_EQ(log.count("gone.nsb"), 1);
}

TEST_F(Events, ADamagedHandlerPageIsDroppedAndCommentsAreNoLabels) {
  var("r");
  page("main.nsb", idle_main());
  page("h.nsb", {Cmd("Comment").s("text", "go").go(), Cmd("Calc").e("expression", "r = r + 1").go(),
                 Cmd("Label").s("name", "go").go(), Cmd("Calc").e("expression", "r = r + 10")});
  host.files["bad.nsb"] = {104, 0, 0, 0, 1, 0xFF};
  cm->StartAt("main.nsb");
  const ComponentId c = events.add_component("c");
  events.raise(c, 36, "bad.src");
  events.raise(c, 37, "h.src:go");
  ScriptLog log;
  tick(2);
  EXPECT_EQ(log.count("bad.src"), 1);
  EXPECT_TRUE(events.entries().empty());
  EXPECT_EQ(ivalue("r"), 10) << "the handler starts at the label, not at the comment of that text";
}

TEST_F(Events, AFailingCommandIsRetriedOncePerTick) {
  var("after");
  page("main.nsb",
       {Cmd("Calc").e("expression", "after = after + 1").go(),
        Cmd("VarNew").s("name", "1bad").i("type", 1).go().line(7), Cmd("Calc").e("expression", "after = 100")});
  cm->StartAt("main.nsb");
  ScriptLog log;
  tick(5);
  EXPECT_EQ(ivalue("after"), 1);
  EXPECT_EQ(position(), 1);
  EXPECT_EQ(log.count(test::sjis("main.nsb(7): \"1bad\"：変数名が不正です")), 5) << "once per tick";
  EXPECT_EQ(traced("<Error>main.nsb(7)"), 5);
}

// A command that always fails.
class FailCommand final : public TCommand {
 public:
  using TCommand::TCommand;
  void Execute(TCallMan&, TPage&, std::int32_t) override { core::throw_error("the test command fails"); }
};

TEST_F(Events, AFailingCommandInAHandlerEndsTheTickAndTheScriptGoesOnLater) {
  var("n");
  page("main.nsb", {Cmd("Calc").e("expression", "n = n + 1")});
  page("h.nsb", {});
  TPage& h = cm->LoadPage("h.nsb", false);
  h.commands().add(std::make_unique<FailCommand>(h.commands(), TCommandRecord(Cmd("Calc").go().line(3))));
  cm->StartAt("main.nsb");
  events.raise(events.add_component("c"), 36, "h.src");
  ScriptLog log;
  tick(4);
  EXPECT_EQ(log.count("h.nsb(3): the test command fails"), 4);
  EXPECT_EQ(cm->State(), 1) << "the handler is retried where it failed";
  EXPECT_EQ(position(), 0);
  EXPECT_EQ(ivalue("n"), 0);
}

// A command that waits where it is without clearing the continue flag, as
// the waiting component commands do.
class StayCommand final : public TCommand {
 public:
  using TCommand::TCommand;
  void Execute(TCallMan&, TPage&, std::int32_t) override { ++runs; }
  bool Yields() const override { return yields; }
  int runs = 0;
  bool yields = false;
};

TEST_F(Events, ACommandThatStaysEndsTheTick) {
  var("n");
  page("main.nsb", {Cmd("Calc").e("expression", "n = n + 1").go()});
  page("h.nsb", {Cmd("Calc").e("expression", "n = n + 10").go()});
  cm->StartAt("main.nsb");
  TPage& main = *cm->CurrentPage();
  auto stay = std::make_unique<StayCommand>(main.commands(), TCommandRecord(Cmd("Calc").go()));
  StayCommand* s = stay.get();
  main.commands().add(std::move(stay));
  tick(3);
  EXPECT_EQ(s->runs, 3) << "once per tick, with continue flag 1";
  EXPECT_EQ(ivalue("n"), 1);
  // Events still run while it stays.
  events.raise(events.add_component("c"), 36, "h.src");
  tick();
  EXPECT_EQ(ivalue("n"), 11);
  // The same in a handler: a non-yielding command that stays.
  TPage& h = cm->LoadPage("h.nsb", false);
  auto in_handler = std::make_unique<StayCommand>(h.commands(), TCommandRecord(Cmd("Calc").go()));
  StayCommand* hs = in_handler.get();
  h.commands().add(std::move(in_handler));
  events.raise(events.add_component("d"), 36, "h.src");
  tick(4);
  EXPECT_EQ(hs->runs, 4);
  EXPECT_EQ(cm->State(), 1);
  // A Jump to its own place is such a command too.
  page("self.nsb", {Cmd("Jump").s("page", "self.nsb").i("index", 0).e("condition", "TRUE").go()});
  cm->StartAt("self.nsb");
  tick(3);
  EXPECT_EQ(current(), "self.nsb");
}

TEST_F(Events, PCResetInAHandlerMovesTheMainScript) {
  var("m");
  var("h");
  page("main.nsb", {Cmd("Wait").e("time", "1000"), Cmd("Calc").e("expression", "m = 1")});
  page("new.nsb", {Cmd("Calc").e("expression", "m = 10").go(), Cmd("Calc").e("expression", "m = m + 5")});
  page("h.nsb", {Cmd("PCReset").s("page", "new.nsb").i("index", 1).go(), Cmd("Calc").e("expression", "h = 1")});
  cm->StartAt("main.nsb");
  tick();
  events.raise(events.add_component("c"), 36, "h.src");
  tick(3);
  EXPECT_EQ(ivalue("h"), 1) << "the handler goes on after a partial reset";
  EXPECT_EQ(ivalue("m"), 5) << "the main script continues at new.nsb index 1";
  EXPECT_TRUE(events.entries().empty());
}

TEST_F(Events, FullPCResetRestartsEverything) {
  var("m");
  var("h");
  page("main.nsb", {Cmd("Wait").e("time", "1000")});
  page("new.nsb", {Cmd("Calc").e("expression", "m = 10").go(), Cmd("Calc").e("expression", "m = m + 5")});
  page("h.nsb",
       {Cmd("VarNew").s("name", "loc").i("type", 1).i("scope", 2).go(),
        Cmd("PCReset").s("page", "new.nsb").i("index", 1).i("full", 1).go(), Cmd("Calc").e("expression", "h = 1")});
  cm->StartAt("main.nsb");
  tick();
  const ComponentId c = events.add_component("c");
  events.raise(c, 36, "h.src");
  events.raise(events.add_component("d"), 36, "h.src");
  tick(2);
  EXPECT_EQ(ivalue("h"), 0) << "the handler is gone";
  EXPECT_EQ(ivalue("m"), 5);
  EXPECT_EQ(cm->StackCount(), 0);
  EXPECT_EQ(cm->State(), 0);
  EXPECT_EQ(store.call_depth(), 0);
  EXPECT_EQ(store.find("loc"), nullptr);
  EXPECT_TRUE(events.entries().empty()) << "the whole queue is cleared";
}

}  // namespace
}  // namespace nova::script::testing

namespace nova::script::testing {
namespace {

TEST_F(Events, ASenderGoneMidHandlerIsNeverTakenForTheNextInItsSlot) {
  var("before", expr::PT_STR);
  var("after", expr::PT_STR);
  var("p5", expr::PT_STR);
  page("main.nsb", idle_main());
  page("h.nsb", {Cmd("Calc").e("expression", "before = @Sender").go(),
                 Cmd("Calc").e("expression", "p5 = \"<\" ++ @ParamStr[5] ++ \">\"").go(), Cmd("Wait").e("time", "30"),
                 Cmd("Calc").e("expression", "after = \"<\" ++ @Sender ++ \">\"")});
  cm->StartAt("main.nsb");
  const ComponentId button = events.add_component("button");
  ASSERT_TRUE(events.raise(button, 37, "h.src", {"a", "b"}));
  tick();
  EXPECT_EQ(svalue("before"), "button");
  EXPECT_EQ(svalue("p5"), "<>") << "@ParamStr outside the arguments reads \"\"";
  // The button goes while its handler waits; a new component takes its
  // slot. The handler runs on, without a sender.
  events.remove_component(button);
  const ComponentId newcomer = events.add_component("newcomer");
  EXPECT_EQ(newcomer.slot(), button.slot());
  EXPECT_NE(newcomer, button);
  EXPECT_EQ(events.name_of(button), std::nullopt);
  tick(4);
  EXPECT_EQ(svalue("after"), "<>");
  EXPECT_EQ(cm->State(), 0) << "the handler ended normally";
}

}  // namespace
}  // namespace nova::script::testing

namespace nova::script::testing {
namespace {

// The same with the component system's own list: the component is
// destroyed by the deletion step while its handler waits, and its slot is
// reused; nothing reads the freed component (AddressSanitizer watches).
TEST_F(Events, AComponentDestroyedDuringItsHandlerLeavesNoSender) {
  components::TComponentFactory factory;
  components::TNovaBaseList list({factory});
  cm->set_event_queue(&list.events());
  cm->set_component_directory(&list);
  var("before", expr::PT_STR);
  var("after", expr::PT_STR);
  var("xy", expr::PT_STR);
  page("main.nsb", idle_main());
  page("h.nsb", {Cmd("Calc").e("expression", "before = @Sender").go(),
                 Cmd("Calc").e("expression", "xy = @ParamStr[0] ++ \",\" ++ @ParamStr[1]").go(),
                 Cmd("Wait").e("time", "30"), Cmd("Calc").e("expression", "after = \"<\" ++ @Sender ++ \">\"")});
  cm->StartAt("main.nsb");
  auto& button = list.make<components::TNovaControl>();
  button.SetName("button");
  button.SetEventTarget(components::PR_ONLBTNDOWN, "h.src");
  ASSERT_TRUE(button.RaiseEvent(components::PR_ONLBTNDOWN, {4, -5}));
  tick();
  EXPECT_EQ(svalue("before"), "button");
  EXPECT_EQ(svalue("xy"), "4,-5");
  const ComponentId id = button.id();
  list.ScheduleDeletion(button);
  list.destroy_scheduled();
  auto& newcomer = list.make<components::TNovaControl>();
  newcomer.SetName("newcomer");
  EXPECT_EQ(newcomer.id().slot(), id.slot());
  EXPECT_EQ(list.events().entries().size(), 1u) << "the running entry stays";
  tick(4);
  EXPECT_EQ(svalue("after"), "<>");
  EXPECT_EQ(cm->State(), 0);
  EXPECT_TRUE(list.events().entries().empty());
  cm->set_event_queue(nullptr);
  cm->set_component_directory(nullptr);
}

TEST_F(Events, StartAtRemovesTheRunningHandlersEntriesWhileANestedOneRuns) {
  var("a");
  var("b");
  page("main.nsb", idle_main());
  page("a.nsb", {Cmd("Calc").e("expression", "a = 1").go(), Cmd("Wait").e("time", "500").go()});
  page("b.nsb", {Cmd("Calc").e("expression", "b = 1").go(), Cmd("Wait").e("time", "500").go()});
  page("other.nsb", idle_main());
  cm->StartAt("main.nsb");
  tick();
  const ComponentId first = events.add_component("first"), second = events.add_component("second"),
                    third = events.add_component("third");
  events.raise(first, 36, "a.src");
  tick();
  events.raise(second, 36, "b.src");
  tick();
  ASSERT_EQ(cm->EventLevel(), 3) << "a nested handler runs";
  events.raise(third, 36, "b.src");  // pending while the nested one runs
  ASSERT_EQ(events.entries().size(), 3u);
  cm->StartAt("other.nsb");
  // The entries of levels 1 to EventLevel go; the pending one stays for the
  // restarted script.
  ASSERT_EQ(events.entries().size(), 1u);
  EXPECT_EQ(events.entries()[0].sender, third);
  EXPECT_EQ(events.entries()[0].level, 0);
  EXPECT_EQ(cm->EventLevel(), 2);
  EXPECT_EQ(cm->StackCount(), 0);
  EXPECT_EQ(store.call_depth(), 0);
  EXPECT_EQ(cm->State(), 0);
}

TEST_F(Events, APartialPCResetFromTheMainScriptKeepsItsCallFrames) {
  var("m");
  var("back");
  page("main.nsb",
       {Cmd("Call").s("page", "sub.nsb").e("condition", "TRUE").go(), Cmd("Calc").e("expression", "back = 1")});
  page("sub.nsb", {Cmd("VarNew").s("name", "loc").i("type", 1).i("scope", 2).go(),
                   Cmd("PCReset").s("page", "new.nsb").i("index", 1).go(), Cmd("Calc").e("expression", "m = 99")});
  page("new.nsb", {Cmd("Calc").e("expression", "m = 10").go(), Cmd("Calc").e("expression", "m = m + 5").go(),
                   Cmd("Wait").e("time", "30")});
  cm->StartAt("main.nsb");
  tick();
  // No handler runs: the page becomes current at the index, the call's
  // locals go, and the call frame stays, so the page returns to the caller.
  EXPECT_EQ(current(), "new.nsb");
  EXPECT_EQ(ivalue("m"), 5);
  EXPECT_EQ(cm->StackCount(), 1);
  EXPECT_EQ(store.find("loc"), nullptr);
  tick(4);
  EXPECT_EQ(ivalue("back"), 1) << "back in main after the Call";
  EXPECT_EQ(ivalue("m"), 5) << "sub.nsb was not resumed";
  EXPECT_EQ(cm->StackCount(), 0);
}

}  // namespace
}  // namespace nova::script::testing
