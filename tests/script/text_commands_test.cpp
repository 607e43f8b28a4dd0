// The text commands on a base list with real message boxes: TextIns shows
// its own stored text and waits while the box has pages, TextClr, the
// history and read-mark commands, and the text source that reads stored
// texts from the interpreter's pages or the page files.
#include <climits>

#include "component_fixture.h"
#include "components/component_factory.h"
#include "components/nova_mes.h"
#include "components/property_access.h"
#include "core/error.h"
#include "expr/params.h"
#include "script/commands.h"
#include "text/glyph_stream.h"
#include "text/tag_parser.h"
#include "text/tokenizer.h"
#include "text/word_reveal.h"

namespace nova::script::testing {
namespace {

// The glyph stream the authoring tool stores for a tagged text (UTF-8).
std::string stream_of(std::string_view tagged) {
  const std::vector<std::string> lines = text::split_lines(test::sjis(tagged));
  const std::vector<std::uint8_t> bytes = text::write_glyph_stream(text::parse_tagged_lines(lines, {0}));
  return {bytes.begin(), bytes.end()};
}

// Three rows of text at font size 10 in a box 20 high: two pages.
constexpr std::string_view kTwoPages = "ab<BR>cd<BR>ef";

Cmd text_ins(std::string_view box, std::string_view history, std::string_view wait) {
  Cmd c("TextIns");
  c.e("box", box).e("history", history).e("wait", wait);
  return c;
}

TCommandRecord with_text(const Cmd& c, std::string_view tagged) {
  TCommandRecord r = c;
  r.field("text").bytes = stream_of(tagged);
  return r;
}

class TextCommands : public Components {
 protected:
  TextCommands() {
    register_message_classes(factory);
    var("starts", expr::PT_STR);
    var("after");
    page("started.nsb", {Cmd("Calc").e("expression", "starts = starts ++ @ParamStr[0]")});
    page("clear.nsb", {Cmd("TextClr").e("box", "\"mes\"")});
  }
  TNovaMes& box(std::string_view name = "mes") {
    auto& m = static_cast<TNovaMes&>(list.Create(LT_MES));
    m.SetName(test::sjis(name));
    m.SetParent(&list.front_base());
    m.SetBounds(0, 0, 200, 20);
    write_int(m, PR_FONTHEIGHT, 10);
    m.SetDelay(0);
    m.SetTarget(PR_ONPLAYSTART, "started.nsb");
    return m;
  }
  // A handler as a click would start it (without a sender, which would
  // take its waiting events along when it goes).
  void queue(std::string_view target) {
    list.events().append({std::string(target), {}, PR_ONLBTNUP, 0, {}});
  }
  // Frames until the box's current page is revealed whole.
  void reveal(const TNovaMes& m) {
    for (int i = 0; i < 100 && (text::is_revealing(m.Pages()[static_cast<std::size_t>(m.Index())]) ||
                                m.StartCountdown() > 0 || i < 2);
         ++i) {
      frame();
    }
    ASSERT_FALSE(text::is_revealing(m.Pages()[static_cast<std::size_t>(m.Index())]));
  }
};

TEST_F(TextCommands, TextInsShowsItsStoredTextAndWaitsPastFullRevealUntilTextClr) {
  TNovaMes& m = box();
  const std::vector<TCommandRecord> story = {Cmd("Calc").e("expression", "after = 0").go(),
                                             with_text(text_ins("\"mes\"", "TRUE", "TRUE"), kTwoPages),
                                             Cmd("Calc").e("expression", "after = 1")};
  start("story.nsb", story);
  frame();
  ASSERT_EQ(m.Count(), 2);
  EXPECT_TRUE(m.StoredText().empty()) << "nothing parsed: the box reads the command's own stream";
  ASSERT_EQ(m.DisplayRecord().segments().segments().size(), 1u);
  EXPECT_EQ(m.DisplayRecord().segments().segments()[0].key, "story.nsb");
  EXPECT_EQ(m.DisplayRecord().segments().segments()[0].command, 1);
  EXPECT_EQ(m.ReadMarkMode(), 1);
  EXPECT_EQ(m.ReadMarkKey(), "story.nsb");
  EXPECT_EQ(m.ReadMarkPosition(), 1) << "the command's index";
  EXPECT_EQ(marks.pending_key, "story.nsb") << "page 0 waits for its read mark at once";

  reveal(m);
  EXPECT_EQ(svalue("starts"), "0");
  EXPECT_TRUE(marks.IsRead("story.nsb", 1, 0)) << "page 0 finished";
  EXPECT_FALSE(marks.IsRead("story.nsb", 1, 1));
  SetProp(m, PR_INDEX, expr::TParamInt(1));
  reveal(m);
  EXPECT_EQ(svalue("starts"), "0" "0");
  EXPECT_TRUE(marks.IsRead("story.nsb", 1, 1));
  EXPECT_FALSE(m.PlayingText()) << "the last page is revealed whole";
  frame(30);
  EXPECT_EQ(position(), 1) << "a revealed text does not end the wait";
  EXPECT_EQ(ivalue("after"), 0);
  EXPECT_EQ(history.Default().History().Count(), 1) << "page 0 went into the history when page 1 came";

  queue("clear.nsb");
  frame(2);
  EXPECT_EQ(m.Count(), 0);
  EXPECT_EQ(m.ReadMarkMode(), 0) << "TextClr takes the box out of read marks";
  EXPECT_EQ(ivalue("after"), 1) << "no pages: the wait is over";

  // The same message again starts as read; a SetProp text never marks.
  start("story.nsb", story);
  frame(3);
  EXPECT_EQ(svalue("starts"), "0" "0" "1");
  start("setprop.nsb",
        {Cmd("SetProp").e("component", "\"mes\"").e("property", std::to_string(PR_TEXT)).e("value", "\"xy\"").go(),
         Cmd("Wait").e("time", "5000")});
  frame();
  EXPECT_EQ(m.ReadMarkMode(), 0);
  EXPECT_TRUE(marks.pending_key.empty()) << "the unfinished page's mark is dropped";
  frame(3);
  reveal(m);
  EXPECT_EQ(svalue("starts"), "0" "0" "1" "0");
  EXPECT_EQ(marks.Count(), 1);
  EXPECT_EQ(marks.Find("story.nsb")->positions.size(), 2u) << "the finished SetProp text left no mark";
  EXPECT_TRUE(marks.pending_key.empty());
}

TEST_F(TextCommands, TextInsWithoutHistoryOrWaitAndWithoutAMessageBox) {
  TNovaMes& m = box();
  make<TRecorder>("rec");
  ScriptLog log;
  start("plain.nsb", {with_text(text_ins("\"mes\"", "", "").go(), kTwoPages),
                      Cmd("Calc").e("expression", "after = 1").go(),
                      with_text(text_ins("\"nobody\"", "TRUE", "TRUE").go(), kTwoPages),
                      with_text(text_ins("\"rec\"", "TRUE", "TRUE").go(), kTwoPages),
                      Cmd("Calc").e("expression", "after = 2")});
  frame();
  EXPECT_EQ(m.Count(), 2);
  EXPECT_EQ(m.ReadMarkMode(), 0) << "no history expression: no read marks";
  EXPECT_TRUE(marks.pending_key.empty());
  EXPECT_EQ(ivalue("after"), 2) << "no wait, and a name without a message box does not wait either";
  EXPECT_EQ(log.count("plain.nsb(3) TextIns: no message box is named \"nobody\"", core::Level::Warning), 1);
  EXPECT_EQ(log.count("plain.nsb(4) TextIns: no message box is named \"rec\"", core::Level::Warning), 1);
  EXPECT_EQ(m.DisplayRecord().segments().segments().at(0).key, "plain.nsb") << "the missing box changed no box";

  // An empty stored text touches nothing.
  start("empty.nsb", {Cmd("TextIns").e("box", "\"mes\"").e("wait", "TRUE").go(), Cmd("Calc").e("expression", "after = 3")});
  frame();
  EXPECT_EQ(ivalue("after"), 3);
  EXPECT_EQ(m.Count(), 2);
}

TEST_F(TextCommands, ADeletedBoxEndsTheWaitAndUninterruptibleHoldsEvents) {
  var("handled");
  page("count.nsb", {Cmd("Calc").e("expression", "handled = handled + 1")});
  for (const bool uninterruptible : {false, true}) {
    SCOPED_TRACE(uninterruptible);
    TNovaMes& m = box(uninterruptible ? "held" : "free");
    const std::string name = uninterruptible ? "\"held\"" : "\"free\"";
    start(uninterruptible ? "held.nsb" : "free.nsb",
          {Cmd("Calc").e("expression", "handled = 0").go(),
           with_text(text_ins(name, "", "TRUE").e("uninterruptible", uninterruptible ? "TRUE" : "FALSE"), kTwoPages),
           Cmd("Calc").e("expression", "after = 7")});
    frame(3);
    queue("count.nsb");
    frame(3);
    EXPECT_EQ(ivalue("handled"), uninterruptible ? 0 : 1) << "a waiting TextIns lets events run unless held";
    EXPECT_EQ(position(), 1);
    list.ScheduleDeletion(m);
    frame(3);
    EXPECT_EQ(ivalue("handled"), 1);
    EXPECT_EQ(ivalue("after"), 7) << "the box went: the wait is over";
  }
}

TEST_F(TextCommands, TheSavedStateNamesTheBoxAndIsLookedUpOnceAtTheNextExecute) {
  TNovaMes& m = box();
  TNovaMes& other = box("other");
  make<TRecorder>("rec");
  start("wait.nsb", {with_text(text_ins("\"mes\"", "TRUE", "TRUE"), kTwoPages), Cmd("Calc").e("expression", "after = 1")});
  frame(2);
  auto& ins = static_cast<TComTextIns&>(cm->CurrentPage()->command(0));
  list.set_name(m, "renamed");
  core::ByteWriter w;
  ins.SaveState(w);
  core::ByteWriter expected;
  write_state_header(expected);
  expected.str("renamed");
  expected.boolean(true);
  expected.boolean(false);
  EXPECT_EQ(w.data(), expected.data()) << "the box's current name";
  list.set_name(m, "mes");

  const auto load = [&](std::string_view name) {
    core::ByteWriter s;
    write_state_header(s);
    s.str(name);
    s.boolean(true);
    s.boolean(false);
    core::ByteReader r(s.data());
    ins.LoadState(r);
  };
  other.ShowTextCommand("wait.nsb", 0);
  ASSERT_GT(other.Count(), 0);
  load("other");
  frame();
  EXPECT_EQ(ins.target(), other.id()) << "looked up at the next Execute";
  list.set_name(other, "later");
  frame(2);
  EXPECT_EQ(position(), 0) << "then held by handle, whatever its name";
  other.SetText({});
  frame(2);
  EXPECT_EQ(ivalue("after"), 1) << "that box has no pages now";

  start("wait.nsb", {});
  frame();
  ASSERT_EQ(position(), 0);
  load("rec");
  frame(2);
  EXPECT_EQ(position(), 2) << "a name that finds no message box does not hold the script";

  start("wait.nsb", {});
  frame();
  ASSERT_EQ(position(), 0);
  list.destroy(m);
  frame(2);
  EXPECT_EQ(position(), 2) << "the box is gone";
  core::ByteWriter gone;
  ins.SaveState(gone);
  core::ByteReader gr(gone.data());
  read_state_header(gr);
  EXPECT_EQ(gr.str(), "") << "empty once the box is gone";
}

TEST_F(TextCommands, HistoryAndReadMarkCommands) {
  TNovaMes& m = box();
  ScriptLog log;
  // One page into the history: the first of two pages is left.
  start("story.nsb", {with_text(text_ins("\"mes\"", "TRUE", ""), kTwoPages)});
  frame();
  SetProp(m, PR_INDEX, expr::TParamInt(1));
  ASSERT_EQ(history.Default().History().Count(), 1);
  data::TNovaHistoryFormat& named = history.FindOrCreate("named");
  data::HistoryLayout settings;
  settings.font_size = 12;
  named.SetSettings(settings);

  const auto run = [&](const std::string& name, std::vector<TCommandRecord> commands) {
    commands.insert(commands.begin(), Cmd("Calc").e("expression", "after = 0").go());
    commands.push_back(Cmd("Calc").e("expression", "after = after + 1"));
    start(name, commands, 115);
    frame(2);
    return ivalue("after");
  };
  const auto call_hist = [](std::string_view first, std::string_view count, std::string_view format = "") {
    Cmd c("CallHist");
    c.e("box", "\"mes\"").e("first", first).e("count", count).e("format", format).go();
    return c;
  };
  EXPECT_EQ(run("c1.nsb", {call_hist("", "5")}), 1) << "no first entry: nothing";
  EXPECT_EQ(run("c2.nsb", {call_hist("0", "1", "\"none\"")}), 1) << "an unknown format: nothing";
  EXPECT_EQ(run("c3.nsb", {call_hist("1", "5")}), 1) << "nothing after the one entry";
  EXPECT_EQ(run("c4.nsb", {call_hist("2147483647", "2147483647")}), 1) << "first + count beyond 32 bits";
  // The page being read is committed on entering the history display:
  // the range was cut to the one entry before, so that one is shown.
  EXPECT_EQ(run("c5.nsb", {call_hist("-4", "5")}), 1);
  ASSERT_EQ(m.DisplayRecord().entries().size(), 1u);
  EXPECT_EQ(m.DisplayRecord().entries()[0].page, 0);
  EXPECT_EQ(history.Default().History().Count(), 2) << "page 1 was committed";
  EXPECT_EQ(m.ReadMarkMode(), 0) << "the backlog is no script message";
  EXPECT_EQ(m.Count(), 1);
  EXPECT_EQ(m.HistoryFlag(), 0);
  Cmd stacked("CallHist");
  stacked.e("box", "\"mes\"").e("first", "0").e("count", "2").e("flag", "TRUE").go();
  EXPECT_EQ(run("c6.nsb", {stacked}), 1);
  EXPECT_EQ(m.DisplayRecord().entries().size(), 2u);
  EXPECT_EQ(m.HistoryFlag(), 1);
  EXPECT_EQ(history.Default().History().Count(), 2) << "a history display notes nothing";

  // FormatHist takes the six settings from a component as GetProp reads
  // them, or resets the format without one.
  write_int(m, PR_FONTBORDER, 2);
  write_int(m, PR_LINESPACE, 3);
  EXPECT_EQ(run("f1.nsb", {Cmd("FormatHist").e("component", "\"mes\"").e("format", "\"named\"").go()}), 1);
  EXPECT_EQ(history.Find("named")->Settings(), (data::HistoryLayout{10, 2, 0, 200, 20, 3}));
  EXPECT_EQ(run("f2.nsb", {Cmd("FormatHist").e("component", "\"nobody\"").e("format", "\"other\"").go()}), 1);
  EXPECT_EQ(history.Find("other")->Settings(), data::HistoryLayout{});
  EXPECT_EQ(run("f3.nsb", {Cmd("FormatHist").e("component", "\"mes\"").e("format", "\"named\"").go()}), 1);
  EXPECT_EQ(history.FormatCount(), 3u) << "found by name the second time";
  named.SetSettings(settings);

  EXPECT_EQ(run("clr.nsb", {Cmd("ClrHist").go(), call_hist("0", "5")}), 1) << "an empty history shows nothing";
  EXPECT_EQ(history.Default().History().Count(), 0);
  ASSERT_EQ(history.FormatCount(), 3u) << "the formats stay";
  EXPECT_EQ(history.Find("named")->Settings().font_size, 12);

  marks.SetPending("mes", "story.nsb", 1, 0);
  ASSERT_GT(marks.Count(), 0);
  EXPECT_EQ(run("read.nsb", {Cmd("ClrRead").go()}), 1);
  EXPECT_EQ(marks.Count(), 0);
  EXPECT_TRUE(marks.pending_key.empty());
}

TEST_F(TextCommands, TheTextSourceReadsCachedPagesThenPageFiles) {
  const std::string one = stream_of("one"), two = stream_of("two");
  page("texts.nsb", {Cmd("Calc").e("expression", "after = 1"), with_text(Cmd("TextIns"), "one")});
  const auto streams = [&](std::string_view name) {
    std::vector<std::string> out;
    const std::unique_ptr<data::TextCommandPage> p = texts.load(name);
    if (!p) return std::vector<std::string>{"none"};
    for (std::int32_t i = -1; i <= p->command_count(); ++i) {
      const auto s = p->glyph_stream(i);
      out.push_back(s ? std::string(s->begin(), s->end()) : "-");
    }
    return out;
  };
  EXPECT_EQ(streams("texts.nsb"), (std::vector<std::string>{"-", "-", one, "-"})) << "read from the file";
  EXPECT_TRUE(texts.exists("texts.nsb"));
  EXPECT_FALSE(texts.exists("other.nsb"));
  EXPECT_EQ(streams("other.nsb"), std::vector<std::string>{"none"});

  start("texts.nsb", {Cmd("Calc").e("expression", "after = 1"), with_text(Cmd("TextIns"), "one")});
  std::unique_ptr<data::TextCommandPage> held = texts.load("TEXTS.NSB");
  page("texts.nsb", {with_text(Cmd("TextIns"), "two")});
  EXPECT_EQ(streams("Texts.Nsb"), (std::vector<std::string>{"-", "-", one, "-"}))
      << "the interpreter's page, whatever case the name is in";
  ASSERT_TRUE(held->glyph_stream(1));
  EXPECT_EQ(std::string(held->glyph_stream(1)->begin(), held->glyph_stream(1)->end()), one);

  host.files["broken.nsb"] = {1, 2, 3};
  EXPECT_THROW(texts.load("broken.nsb"), core::Error);
  std::vector<std::uint8_t> newer = page_bytes({with_text(Cmd("TextIns"), "one")});
  newer[0] = 116;
  host.files["newer.nsb"] = newer;
  EXPECT_EQ(streams("newer.nsb"), (std::vector<std::string>{"-", "-"})) << "a page the player does not run";
  host.files["old.nsb"] = page_bytes({with_text(Cmd("TextIns"), "one")}, 102);
  EXPECT_EQ(streams("old.nsb"), (std::vector<std::string>{"-", "-"})) << "nor one that must be rebuilt";
  host.files["kept.nsb"] = page_bytes({with_text(Cmd("TextIns"), "one")}, 103);
  EXPECT_EQ(streams("kept.nsb"), (std::vector<std::string>{"-", one, "-"}));

  // A box never sees the error: the text is missing, and it says so.
  TNovaMes& m = box();
  EXPECT_NO_THROW(m.ShowTextCommand("broken.nsb", 0));
  EXPECT_EQ(m.Count(), 0);
  EXPECT_NO_THROW(frame());
}

}  // namespace
}  // namespace nova::script::testing
