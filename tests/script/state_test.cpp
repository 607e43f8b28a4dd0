// The saved interpreter state: a state written in the middle of waits,
// handlers and calls reads back into a new interpreter that goes on the same
// way; version rules; damaged states; and the commands that raise because
// what they drive is not built.
#include <gtest/gtest.h>

#include "core/error.h"
#include "script/commands.h"
#include "script_fixture.h"

namespace nova::script::testing {
namespace {

class State : public InterpreterTest {
 protected:
  std::string save() const {
    core::ByteWriter w;
    cm->SaveState(w);
    return w.take_string();
  }
  // A new interpreter over the same pages, store and components.
  void restart() {
    store.set_system_variables(nullptr);
    variables.reset();
    cm = std::make_unique<TCallMan>(TCallManServices{clock, store, funcs, host});
    cm->set_event_queue(&events);
    cm->set_component_directory(&events);
    variables = std::make_unique<TInterpreterVariables>(*cm);
    store.set_system_variables(variables.get());
  }
  void load(const std::string& bytes, std::int32_t version = 140) {
    core::ByteReader r(bytes);
    cm->LoadState(r, version);
    EXPECT_TRUE(r.at_end());
  }
  // main waits 300 ms; a click runs h.nsb, which calls sub.nsb with two
  // arguments, and sub waits 60 ms before it returns twice its argument.
  void build() {
    var("r");
    var("after");
    page("main.nsb", {Cmd("Wait").e("time", "300").go(), Cmd("Calc").e("expression", "after = r + 1")});
    page("h.nsb", {Cmd("Call")
                       .s("page", "sub.nsb")
                       .e("condition", "TRUE")
                       .s("result", "r")
                       .list("arguments", {"21", "\"x\""})
                       .go(),
                   Cmd("Calc").e("expression", "r = r * 10")});
    page("sub.nsb", {Cmd("Wait").e("time", "60").go(), Cmd("Calc").e("expression", "@Result = @ParamStr[0] * 2")}, 104,
         expr::PT_INT);
    cm->StartAt("main.nsb");
    tick(2);
    events.raise(events.add_component("button"), 36, "h.src", {"7"});
    tick(2);
  }
};

TEST_F(State, AStateReadBackGoesOnTheSameWay) {
  build();
  ASSERT_EQ(current(), "sub.nsb");
  ASSERT_EQ(cm->StackCount(), 2);
  const std::string saved = save();

  // The original runs on to the end...
  tick(40);
  const std::int32_t r = ivalue("r"), after = ivalue("after");
  EXPECT_EQ(r, 420);
  EXPECT_EQ(after, 421);

  // ...and a new interpreter given the saved state does the same.
  store.find("r")->value().set_int(0);
  store.find("after")->value().set_int(0);
  // The queue as it was: the handler's entry runs at level 1.
  events.raise(events.find("button"), 36, "h.src", {"7"});
  events.first_pending()->level = 1;
  restart();
  load(saved);
  EXPECT_EQ(save(), saved) << "written again, the state is the same bytes";
  EXPECT_EQ(current(), "sub.nsb");
  EXPECT_EQ(cm->StackCount(), 2);
  EXPECT_EQ(cm->ParamStr(0), "21");
  EXPECT_EQ(cm->ParamStr(1), "x");
  EXPECT_EQ(cm->State(), 2) << "the handler waits in its call";
  EXPECT_EQ(cm->Stack().at(1).sender, events.find("button"));
  EXPECT_EQ(cm->Stack().at(0).arguments.size(), 0u);
  ASSERT_TRUE(cm->Stack().at(0).saved_state.has_value()) << "the main script's wait was started";
  ASSERT_NE(cm->ResultValue(), nullptr);
  EXPECT_EQ(cm->ResultValue()->type(), expr::PT_INT);
  tick(40);
  EXPECT_EQ(ivalue("r"), r);
  EXPECT_EQ(ivalue("after"), after);
}

TEST_F(State, SendersThatAreGoneLoadAsNone) {
  build();
  const std::string saved = save();
  ListEventQueue other;
  restart();
  cm->set_event_queue(&other);
  cm->set_component_directory(&other);
  load(saved);
  EXPECT_TRUE(cm->Stack().at(1).sender.none());
  EXPECT_TRUE(cm->Sender().none());
}

TEST_F(State, StatesBefore116HaveNoEventLevel) {
  page("main.nsb", {Cmd("Calc")});
  cm->StartAt("main.nsb");
  const std::string saved = save();
  // Not started: the state ends with EventLevel.
  const std::string old = saved.substr(0, saved.size() - 4);
  restart();
  load(old, 115);
  EXPECT_EQ(cm->EventLevel(), 2);
  restart();
  core::ByteReader r(old);
  EXPECT_THROW(cm->LoadState(r, 116), core::Error);
}

TEST_F(State, AHandlerStateWithNothingUnderItReturnsToTheEndedScript) {
  core::ByteWriter w;
  w.str("");  // no current page
  w.i32(0);
  w.u8(1);  // continue flag
  w.u8(0);
  w.i32(1);  // a handler runs...
  w.str("");
  w.i32(0);
  core::ByteWriter spare;
  spare.str("");
  spare.i32(0);
  spare.u8(0);
  spare.u8(0);
  spare.str("");
  spare.i32(0);
  spare.str("");
  spare.str("");
  spare.u8(0);
  w.bytes(spare.data());
  w.i32(0);  // ...with no frame under it
  w.i32(2);
  load(w.take_string());
  tick();  // returns: the loop does not spin on the missing page
  EXPECT_EQ(cm->State(), 0);
  EXPECT_FALSE(cm->ContinueFlag());
}

TEST_F(State, DamagedStatesRaise) {
  build();
  const std::string saved = save();
  for (std::size_t n = 0; n < saved.size(); ++n) {
    restart();
    core::ByteReader r(std::string_view(saved).substr(0, n));
    EXPECT_THROW(cm->LoadState(r, 140), core::Error) << n;
  }
  // Counts beyond the bytes are refused before anything is allocated.
  core::ByteWriter w;
  w.str("");
  w.i32(0);
  w.u8(0);
  w.u8(0);
  w.i32(0);
  w.str("");
  w.i32(0x7FFFFFFF);
  restart();
  core::ByteReader r(w.data());
  EXPECT_THROW(cm->LoadState(r, 140), core::Error);
  core::ByteWriter bad_state;
  bad_state.str("");
  bad_state.i32(0);
  bad_state.u8(0);
  bad_state.u8(0);
  bad_state.i32(9);
  core::ByteReader r2(bad_state.data());
  EXPECT_THROW(cm->LoadState(r2, 140), core::Error) << "state 9 is not a state";
}

TEST_F(State, CommandsWhoseSubsystemsAreMissingRaiseNamingThemselves) {
  const std::pair<const char*, const char*> unbuilt[] = {
      {"TextIns", "TextIns: no component system is running"},
      {"CallHist", "CallHist: no component system is running"},
      {"FormatHist", "FormatHist: no component system is running"},
      {"PropMotion", "PropMotion: property motions are not built yet"},
      {"SaveCabinet", "SaveCabinet: cabinets are not built yet"},
      {"ClrHist", "ClrHist: no component system is running"},
      {"ClrRead", "ClrRead: no component system is running"},
      // A host without title data (this one) cannot reset it.
      {"Reset", "Reset: this host holds no title data to reset"}};
  var("after");
  ScriptLog log;
  for (auto [name, message] : unbuilt) {
    page("main.nsb", {Cmd(name).go(), Cmd("Calc").e("expression", "after = 1")});
    restart();
    cm->StartAt("main.nsb");
    tick(2);
    EXPECT_EQ(log.count(message), 2) << name;
    EXPECT_EQ(ivalue("after"), 0) << name << " never counts as done";
    EXPECT_EQ(position(), 0) << name;
  }
}

}  // namespace
}  // namespace nova::script::testing
