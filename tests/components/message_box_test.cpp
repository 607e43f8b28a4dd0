// The message box: pages typed out at the text's waits, the start event and
// its countdown, the end event, read marks committed only for a finished
// page, the history entry of every scripted page, links and hit tests,
// drawing, and the record with the refresh after a load.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "../data/text_sources.h"
#include "components/base_list.h"
#include "components/component_system.h"
#include "components/component_factory.h"
#include "components/inline_picture_cache.h"
#include "components/nova_mes.h"
#include "components/read_list.h"
#include "core/error.h"
#include "core/log.h"
#include "data/history_format.h"
#include "graphics/brio_collection.h"
#include "memory_pictures.h"
#include "support/test_font_service.h"
#include "support/test_support.h"
#include "text/font_pixel_manager.h"
#include "text/word_layout.h"

namespace nova::test {
namespace {

using namespace components;

constexpr std::int32_t kInk = 0x00FFFFFF;
constexpr std::int32_t kPaper = 0x00000000;

class MessageBox : public ::testing::Test {
 protected:
  MessageBox() {
    register_message_classes(factory);
    messages.glyphs = &glyphs;
    messages.texts = &source;
    messages.text_delay = [this] { return text_delay; };
    list.set_history(&history);
    list.set_read_marks(&marks);
    list.SetScreenSize(320, 240);
    list.front_base().SetColor(kPaper);
    clock.FrameDeltaMs = 15;
    // Three pages of two rows at font size 10 in a box 20 high.
    source.put("ep1", {std::nullopt, "ab<BR>cd<BR>ef<BR>gh<BR>ij", "x<A HREF=\"go\\nnow\">LINK</A>y"}, 30);
  }
  TNovaMes& box(std::string_view name = "mes") {
    auto& m = static_cast<TNovaMes&>(list.Create(LT_MES));
    m.SetName(name);
    m.SetParent(&list.front_base());
    m.SetBounds(10, 20, 200, 20);
    write_int(m, PR_FONTHEIGHT, 10);
    write_int(m, PR_FONTCOLOR, kInk);
    m.SetDelay(0);
    m.SetTarget(PR_ONPLAYSTART, "start");
    m.SetTarget(PR_ONPLAYEND, "end");
    return m;
  }
  // The script's message through TextIns, with read marks and history.
  void show(TNovaMes& m, std::int32_t command = 1) {
    m.SetReadMark(1, "ep1", command);
    m.ShowTextCommand("ep1", command);
  }
  // The oldest waiting event, taken as the interpreter takes it: "target
  // arg arg ...", or "-".
  std::string take() {
    EventEntry* e = list.events().first_pending();
    if (!e) return "-";
    std::string s = e->target;
    for (const std::string& a : e->arguments) s += " " + a;
    list.events().remove(*e);
    return s;
  }
  void frames(int n) {
    for (int i = 0; i < n; ++i) list.UpdateAll();
  }
  static int revealed(const TNovaMes& m) {
    if (m.Index() < 0 || m.Index() >= m.Count()) return 0;
    int n = 0;
    for (const auto& row : m.Pages()[static_cast<std::size_t>(m.Index())].items()) {
      for (const auto& g : row.items()) n += !g.is_space() && g.revealed ? 1 : 0;
    }
    return n;
  }
  // Frames until the current page's end event, taking every other event;
  // answers the events seen before it.
  std::vector<std::string> finish_page() {
    std::vector<std::string> seen;
    for (int i = 0; i < 200; ++i) {
      list.UpdateAll();
      for (std::string e = take(); e != "-"; e = take()) {
        seen.push_back(e);
        if (e == "end") return seen;
      }
    }
    ADD_FAILURE() << "the page never finished";
    return seen;
  }

  TComponentFactory factory;
  TestFontService fonts;
  text::TFontPixelManager glyphs{fonts};
  TestTextSource source;
  std::int32_t text_delay = 30;
  MesServices messages;
  core::FrameClock clock;
  data::TNovaHistoryFormatManager history;
  TNovaReadList marks;
  TNovaBaseList list{{factory, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &clock, &messages}};

  // A second list on the same services, to read back what the first wrote.
  TNovaBaseList& second_list() {
    if (!m_second) {
      register_message_classes(m_second_factory);
      m_second = std::make_unique<TNovaBaseList>(
          BaseListServices{m_second_factory, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &clock, &messages});
      m_second->set_history(&history);
      m_second->set_read_marks(&marks);
      m_second->SetScreenSize(320, 240);
    }
    return *m_second;
  }

 private:
  TComponentFactory m_second_factory;
  std::unique_ptr<TNovaBaseList> m_second;
};

TEST_F(MessageBox, TwoPagesStartEndAndReadMarksOnlyAfterAPageFinished) {
  TNovaMes& m = box();
  for (const TPropertyInfo& p : kProperties) {
    EXPECT_EQ(m.Properties().implements(p.id), p.components.contains(LT_MES)) << p.name;
  }
  show(m);
  ASSERT_EQ(m.Count(), 3);
  EXPECT_EQ(m.Index(), 0);
  EXPECT_TRUE(m.StoredText().empty()) << "TextIns leaves the stored text empty";
  EXPECT_EQ(take(), "start 0");
  EXPECT_EQ(m.StartCountdown(), 1);
  frames(1);
  EXPECT_EQ(revealed(m), 0) << "the countdown holds the first update";
  EXPECT_EQ(marks.pending_key, "ep1") << "page 0 is pending at once";
  EXPECT_EQ(marks.pending_page, 0);
  EXPECT_EQ(history.Default().History().pending_key(), "ep1") << "page 0 is noted at once";
  frames(1);
  EXPECT_EQ(revealed(m), 1) << "the first character one update later";
  EXPECT_TRUE(m.PlayingText());
  EXPECT_FALSE(marks.IsRead("ep1", 1, 0));
  EXPECT_EQ(finish_page(), std::vector<std::string>{"end"});
  EXPECT_TRUE(marks.IsRead("ep1", 1, 0)) << "committed once page 0 finished";
  EXPECT_TRUE(m.PlayingText()) << "not the last page";
  EXPECT_EQ(history.Default().History().Count(), 0) << "the page shown is not in the history yet";

  SetProp(m, PR_INDEX, expr::TParamInt(1));
  EXPECT_EQ(take(), "start 0");
  EXPECT_EQ(history.Default().History().Count(), 1);
  EXPECT_EQ(history.Default().History().entries()[0], (data::THistoryOldData{"ep1", 1, 0, 200, 20}));
  // Page 1 is left unfinished: it stays unread when page 2 finishes.
  frames(4);
  SetProp(m, PR_INDEX, expr::TParamInt(2));
  EXPECT_EQ(take(), "start 0");
  EXPECT_EQ(finish_page(), std::vector<std::string>{"end"});
  EXPECT_FALSE(marks.IsRead("ep1", 1, 1));
  EXPECT_TRUE(marks.IsRead("ep1", 1, 2));
  EXPECT_FALSE(m.PlayingText()) << "the last page is revealed";
  EXPECT_EQ(m.GetAllText(), "ij") << "PR_TEXT reads the current page";
  SetProp(m, PR_INDEX, expr::TParamInt(2));
  SetProp(m, PR_INDEX, expr::TParamInt(7));
  EXPECT_EQ(take(), "-") << "the same page and an index outside change nothing";

  // The same message again starts with "1"; the history records page 2.
  show(m);
  EXPECT_EQ(take(), "start 1");
  EXPECT_EQ(history.Default().History().Count(), 3);
}

TEST_F(MessageBox, TextSetThroughSetPropNeverMarks) {
  TNovaMes& m = box();
  show(m);
  take();
  frames(3);  // page 0 of the message left unfinished
  SetProp(m, PR_TEXT, expr::TParamStr("ab<BR>cd<BR>ef"));
  EXPECT_EQ(m.ReadMarkMode(), 0);
  EXPECT_TRUE(m.DisplayRecord().Empty()) << "a PR_TEXT write empties the display record";
  EXPECT_EQ(m.StoredText(), "ab<BR>cd<BR>ef");
  EXPECT_EQ(take(), "start 0");
  EXPECT_EQ(finish_page(), std::vector<std::string>{"end"});
  EXPECT_EQ(marks.Count(), 0) << "the message's page was left unfinished";
  EXPECT_EQ(history.Default().History().Count(), 1) << "the message's page was recorded when the text changed";
  SetProp(m, PR_INDEX, expr::TParamInt(1));
  EXPECT_EQ(take(), "start 0");
  EXPECT_EQ(history.Default().History().Count(), 1) << "a PR_TEXT text notes nothing";
  EXPECT_EQ(marks.Count(), 0);

  // An empty text gives no pages and no start event; PR_TEXT reads empty.
  SetProp(m, PR_TEXT, expr::TParamStr(""));
  EXPECT_EQ(m.Count(), 0);
  EXPECT_EQ(take(), "-");
  expr::TParamStr read;
  GetProp(m, PR_TEXT, read);
  EXPECT_EQ(read.as_str(), "");
}

TEST_F(MessageBox, TypingAndEventTagsRaiseTheirEventsAndSettingsReachTheEngine) {
  TNovaMes& m = box();
  m.SetTarget(PR_ONPLAYSTART, "");
  m.SetTarget(PR_ONPLAYING, "typing");
  m.SetTarget(PR_ONNOTIFY, "notify");
  text_delay = 0;
  SetProp(m, PR_TEXT, expr::TParamStr("ab<EVENT VALUE=\"one\\ntwo\">c"));
  frames(1);
  // The event goes out within the step, the step's characters after it.
  EXPECT_EQ(take(), "notify one two") << "the lines of the event's text";
  EXPECT_EQ(take(), "typing ab") << "the characters revealed in the step";
  frames(1);
  EXPECT_EQ(take(), "typing c");
  EXPECT_EQ(take(), "end");

  // The forwarded settings: quality from PR_ANTIALIAS, fade time never
  // negative, the speed from PR_TEXTDELAY, the hold from either pause.
  SetProp(m, PR_ANTIALIAS, expr::TParamFlag(false));
  EXPECT_EQ(m.Engine()->settings().quality, 0);
  SetProp(m, PR_ANTIALIAS, expr::TParamFlag(true));
  EXPECT_EQ(m.Engine()->settings().quality, 3);
  SetProp(m, PR_DELAY, expr::TParamInt(-5));
  EXPECT_EQ(m.Engine()->settings().fade_time, 0);
  SetProp(m, PR_TEXTDELAY, expr::TParamInt(128));
  EXPECT_EQ(m.Engine()->settings().speed, 128);
  SetProp(m, PR_TEXTPAUSED, expr::TParamFlag(true));
  EXPECT_TRUE(m.Engine()->settings().hold);
  SetProp(m, PR_PAUSED, expr::TParamFlag(true));
  SetProp(m, PR_TEXTPAUSED, expr::TParamFlag(false));
  EXPECT_TRUE(m.Engine()->settings().hold) << "either pause holds";
  SetProp(m, PR_PAUSED, expr::TParamFlag(false));
  EXPECT_FALSE(m.Engine()->settings().hold) << "clearing both resumes";
  SetProp(m, PR_FONTBORDER, expr::TParamInt(2));
  SetProp(m, PR_FONTHOVERCOLOR, expr::TParamInt(0x123456));
  EXPECT_EQ(m.Engine()->settings().border_width, 2);
  EXPECT_EQ(m.Engine()->settings().link_hover_color, 0x123456);
}

TEST_F(MessageBox, AStartEventTheScriptDropsStillLetsTheBoxType) {
  TNovaMes& m = box();
  show(m);
  frames(3);
  EXPECT_EQ(revealed(m), 0) << "the start event waits in the queue";
  take();  // the interpreter drops an event whose page is missing
  frames(1);
  EXPECT_EQ(revealed(m), 1);
}

TEST_F(MessageBox, MissingAndBrokenPagesShowNoTextAndEveryFormatRecordsThePagesLeft) {
  TNovaMes& m = box();
  source.put_broken("bad");
  m.SetReadMark(1, "bad", 0);
  EXPECT_NO_THROW(m.ShowTextCommand("bad", 0));
  EXPECT_EQ(m.Count(), 0);
  EXPECT_NO_THROW(frames(2));
  m.ShowTextCommand("none", 0);
  EXPECT_EQ(m.Count(), 0);

  // Font 16 rows of a laid-out format: each page of two rows is 16 + 10 +
  // 16 high, and its segment adds the line spacing.
  history.FindOrCreate("wide").SetSettings({16, 0, 0, 600, 480, 10});
  show(m);
  take();
  SetProp(m, PR_INDEX, expr::TParamInt(1));
  SetProp(m, PR_INDEX, expr::TParamInt(2));
  const data::TNovaNewHistory& wide = history.Find("wide")->History();
  EXPECT_EQ(wide.pending().page, 2);
  ASSERT_EQ(wide.pages().size(), 1u);
  ASSERT_EQ(wide.pages()[0].segments().size(), 2u);
  EXPECT_EQ(wide.Count(), 2 * (16 + 10 + 16 + 10));
  EXPECT_EQ(wide.pages()[0].segments()[1].first, 4) << "page 1 starts at the text's fifth character";
  EXPECT_EQ(history.Default().History().Count(), 2) << "the list-mode format records alike";
}

// The rows of the box's current page as "y:text".
std::vector<std::string> shown_rows(const TNovaMes& m) {
  std::vector<std::string> out;
  if (m.Index() < 0 || m.Index() >= m.Count()) return out;
  const text::TWdPage& page = m.Pages()[static_cast<std::size_t>(m.Index())];
  for (const text::TWdRow& row : page.items()) {
    std::string t;
    for (const text::PlacedGlyph& p : row.items()) {
      if (p.is_space()) continue;
      if (const auto* c = std::get_if<text::TWdChar>(&page.engine().glyph(p.glyph))) t.push_back(static_cast<char>(c->code));
    }
    out.push_back(std::to_string(row.y) + ":" + t);
  }
  return out;
}

TEST_F(MessageBox, ShowingHistoryCommitsTheBoxPageAndSurvivesALoad) {
  using V = std::vector<std::string>;
  TNovaMes& m = box();
  data::TNovaHistoryFormat& wide = history.FindOrCreate("wide");
  wide.SetSettings({10, 0, 0, 200, 60, 5});
  show(m);
  take();
  SetProp(m, PR_INDEX, expr::TParamInt(1));
  take();
  m.SetBounds(10, 20, 200, 60);
  const data::TNovaNewHistory& h = history.Default().History();
  ASSERT_EQ(h.Count(), 1);

  // Into the box that showed the script's message: its page is committed
  // first, and the backlog is no message of the script.
  m.SetTextDelay(0);
  m.ShowHistory(false, [&](data::TNovaNewMesData& d) { return history.Default().Show(0, 2, d); });
  EXPECT_EQ(h.Count(), 2);
  EXPECT_EQ(m.ReadMarkMode(), 0);
  EXPECT_EQ(take(), "start 0");
  EXPECT_EQ(shown_rows(m), (V{"0:ab", "10:cd", "20:ef", "30:gh"})) << "two entries, each a box height of 20 apart";
  frames(2);
  EXPECT_EQ(revealed(m), 12) << "PR_TEXTDELAY 0 reveals at once: eight characters and four line breaks";
  EXPECT_EQ(take(), "end");
  EXPECT_EQ(history.Find("wide")->History().Count(), 2 * (10 + 5 + 10 + 5));
  frames(3);
  EXPECT_EQ(h.Count(), 2) << "nothing of the backlog is noted";

  // A laid-out format from pixel 12 on: the first segment starts 12 above,
  // and the box's line spacing lies between segments.
  m.SetTextDelay(256);
  write_int(m, PR_LINESPACE, 5);
  m.ShowHistory(true, [&](data::TNovaNewMesData& d) { return wide.Show(12, 30, d); });
  EXPECT_EQ(m.HistoryFlag(), 1);
  EXPECT_EQ(m.HistoryValue(), -12);
  const V laid = {"-12:ab", "3:cd", "18:ef", "33:gh"};
  EXPECT_EQ(shown_rows(m), laid);
  EXPECT_EQ(take(), "start 0");
  EXPECT_EQ(take(), "-");
  frames(3);
  const int typed = revealed(m);
  EXPECT_GT(typed, 0);
  EXPECT_LT(typed, 12) << "revealed at the box's speed";

  core::ByteWriter w;
  list.WriteComponent(w, m);
  TNovaBaseList& other = second_list();
  core::ByteReader r(w.data());
  auto& back = static_cast<TNovaMes&>(other.ReadComponent(r, 140, &other.front_base()));
  back.RefreshAfterLoad();
  EXPECT_EQ(shown_rows(back), laid) << "laid out again with the flag and the offset";
  EXPECT_EQ(back.HistoryValue(), -12);
  EXPECT_EQ(revealed(back), typed);

  // A new text clears both.
  SetProp(back, PR_TEXT, expr::TParamStr("x"));
  EXPECT_EQ(back.HistoryFlag(), 0);
  EXPECT_EQ(back.HistoryValue(), 0);
}

TEST_F(MessageBox, LinksRaiseTheirEventAndCaptureLinkLetsOtherClicksThrough) {
  TNovaMes& below = box("below");
  below.SetEventTarget(PR_ONLBTNDOWN, "below");
  TNovaMes& m = box();
  m.SetTarget(PR_ONLINK, "link");
  m.SetEventTarget(PR_ONLBTNDOWN, "press");
  show(m, 2);
  take();
  finish_page();
  // "x" is 10 wide at x 10 (the box's left); the link follows it.
  auto click = [&](int x) {
    list.front_base().SetPointer(x, 25);
    list.FrameBegin(15);
    list.front_base().left_pressed = list.front_base().left_held = true;
    list.FrameBegin(15);
    list.front_base().left_held = false;
    list.FrameBegin(15);
  };
  click(25);
  EXPECT_EQ(take(), "link LINK go now") << "the visible text, then the lines of its HREF";
  EXPECT_EQ(take(), "-") << "the press stops at the link";
  click(15);
  EXPECT_EQ(take(), "press 5 5") << "off the link the box takes the press itself";
  m.SetCaptureLink(true);
  click(15);
  EXPECT_EQ(take(), "below 5 5") << "with PR_CAPTURELINK clicks off links pass through";
  click(25);
  EXPECT_EQ(take(), "link LINK go now");
}

TEST_F(MessageBox, DrawsRevealedGlyphsAtItsOriginScaledByAlpha) {
  graphics::TDIBX screen;
  screen.SetSize(320, 240, 32);
  list.SetDisplaySurface(&screen);
  TNovaMes& m = box();
  m.SetTarget(PR_ONPLAYSTART, "");
  SetProp(m, PR_TEXT, expr::TParamStr("ab"));
  auto ink_at = [&](int x, int y) {
    list.Compose();
    list.ClearDirtyRects();
    return screen.GetPixel(x, y);
  };
  const auto ink = static_cast<std::uint32_t>(screen.ColorToPixel(kInk));
  const auto paper = static_cast<std::uint32_t>(screen.ColorToPixel(kPaper));
  EXPECT_EQ(ink_at(12, 24), paper) << "nothing before the first character";
  frames(2);
  // What the glyph's mask gives at a level, drawn on paper.
  auto reference = [&](std::int32_t level) {
    graphics::TDIBX ref;
    ref.SetSize(1, 1, 32);
    ref.Fill(paper);
    ref.DrawColorMasked(0, 0, level, ink, false, false, {2, 4, 3, 5}, m.Engine()->mask_surface());
    return ref.GetPixel(0, 0);
  };
  EXPECT_NE(reference(255), paper);
  EXPECT_EQ(ink_at(12, 24), reference(255)) << "the first character at the box's origin";
  EXPECT_EQ(ink_at(22, 24), paper) << "the second waits its turn";
  EXPECT_EQ(ink_at(8, 24), paper);
  m.SetAlpha(128);
  EXPECT_EQ(ink_at(12, 24), reference(128)) << "level × alpha / 255";
  EXPECT_NE(reference(128), reference(255));
}

TEST_F(MessageBox, AnImgTagShowsTheCachedPictureAndReleasesIt) {
  constexpr std::uint32_t kPic = 0x804020;
  graphics::test::MemoryPictures files;
  files.put("pic.bri", graphics::test::plain_bri({graphics::test::solid_frame(6, 4, kPic)}));
  graphics::TBrioCollection cache(files, 0, 32);
  InlinePictureCache pictures(cache);
  messages.pictures = &pictures;
  graphics::TDIBX screen;
  screen.SetSize(320, 240, 32);
  list.SetDisplaySurface(&screen);
  TNovaMes& m = box();
  m.SetTarget(PR_ONPLAYSTART, "");
  SetProp(m, PR_TEXT, expr::TParamStr("<IMG SRC=\"pic.bri\">a"));
  const std::string key = graphics::TBrioCollection::KeyOf("pic.bri", false, true);
  ASSERT_NE(cache.Find(key), nullptr) << "the picture comes from the cache";
  EXPECT_EQ(cache.Find(key)->UserCount(), 1);
  frames(2);
  list.Compose();
  // The picture's pixels went into the engine's surface, and from there
  // through its plane onto the screen.
  EXPECT_EQ(m.Engine()->colour_surface().GetPixel(2, 7), kPic);
  EXPECT_EQ(m.Engine()->mask_surface().GetPixel(2, 7), 255u);
  graphics::TDIBX ref;
  ref.SetSize(1, 1, 32);
  ref.Fill(static_cast<std::uint32_t>(ref.ColorToPixel(kPaper)));
  ref.DrawMasked(0, 0, m.Engine()->mask_surface(), false, false, {2, 7, 3, 8}, m.Engine()->colour_surface());
  EXPECT_EQ(screen.GetPixel(12, 27), ref.GetPixel(0, 0)) << "at the box's origin, on the bottom of the text band";
  EXPECT_NE(ref.GetPixel(0, 0), static_cast<std::uint32_t>(ref.ColorToPixel(kPaper)));
  EXPECT_EQ(screen.GetPixel(17, 27), static_cast<std::uint32_t>(screen.ColorToPixel(kPaper))) << "6 wide";
  SetProp(m, PR_TEXT, expr::TParamStr("b"));
  EXPECT_EQ(cache.Find(key), nullptr) << "released with the text that named it";
  SetProp(m, PR_TEXT, expr::TParamStr("<IMG SRC=\"none.bri\">"));
  EXPECT_EQ(m.Count(), 1) << "a missing picture is empty, not an error";
  list.destroy(m);
  EXPECT_EQ(cache.Count(), 0);
}

// Every glyph of the box's current page as "row y+h: x,y wxh ...", pictures
// included: where the page put each piece.
std::vector<std::string> placed(const TNovaMes& m) {
  std::vector<std::string> out;
  if (m.Index() < 0 || m.Index() >= m.Count()) return out;
  for (const text::TWdRow& row : m.Pages()[static_cast<std::size_t>(m.Index())].items()) {
    std::string t = std::to_string(row.y) + "+" + std::to_string(row.height) + ":";
    for (const text::PlacedGlyph& p : row.items()) {
      if (p.is_space()) continue;
      t += " " + std::to_string(p.x) + "," + std::to_string(p.y) + " " + std::to_string(p.width) + "x" +
           std::to_string(p.height);
    }
    out.push_back(t);
  }
  return out;
}

// A laid-out format measures the IMG pictures of a page as the box that
// showed it did: each segment is as tall as the box's page, and the backlog
// stacks the pages glyph for glyph as the box placed them. The history's
// engine holds the pictures until the history is cleared.
TEST_F(MessageBox, ALaidOutHistoryMeasuresInlinePicturesAsTheBoxDid) {
  graphics::test::MemoryPictures files;
  files.put("tall.bri", graphics::test::plain_bri({graphics::test::solid_frame(6, 30, 0x804020)}));
  graphics::TBrioCollection cache(files, 0, 32);
  InlinePictureCache pictures(cache);
  messages.pictures = &pictures;
  source.put("pic", {"a<IMG SRC=\"tall.bri\">b<BR>cd", "<IMG SRC=\"tall.bri\">e<IMG SRC=\"tall.bri\">"});
  data::TNovaHistoryFormat& wide = history.FindOrCreate("wide");
  wide.SetSettings({10, 0, 0, 200, 200, 0});
  TNovaMes& m = box();
  m.SetBounds(10, 20, 200, 200);
  m.SetReadMark(1, "pic", 0);
  m.ShowTextCommand("pic", 0);
  ASSERT_EQ(m.Count(), 1);
  const std::vector<std::string> first = placed(m);
  const std::int32_t first_height = m.Pages()[0].height;
  ASSERT_GE(first_height, 30 + 10) << "a row as tall as the picture and one of text: " << ::testing::PrintToString(first);
  m.SetReadMark(1, "pic", 1);
  m.ShowTextCommand("pic", 1);
  const std::vector<std::string> second = placed(m);
  const std::int32_t second_height = m.Pages()[0].height;
  finish_page();

  m.SetTextDelay(0);
  m.ShowHistory(true, [&](data::TNovaNewMesData& d) { return wide.Show(0, 1000, d); });
  const data::TNovaNewHistory& h = wide.History();
  ASSERT_EQ(h.pages().size(), 1u);
  ASSERT_EQ(h.pages()[0].segments().size(), 2u);
  EXPECT_EQ(h.pages()[0].segments()[0].height, first_height);
  EXPECT_EQ(h.pages()[0].segments()[1].height, second_height);
  EXPECT_EQ(h.Count(), first_height + second_height);
  // The backlog: the first page's rows, then the second's below it.
  const std::vector<std::string> shown = placed(m);
  ASSERT_EQ(shown.size(), first.size() + second.size()) << ::testing::PrintToString(shown);
  EXPECT_EQ(std::vector<std::string>(shown.begin(), shown.begin() + static_cast<std::ptrdiff_t>(first.size())), first);
  for (std::size_t i = 0; i < second.size(); ++i) {
    // The same glyphs, the row moved down by the first segment.
    const std::string& s = second[i];
    const std::size_t plus = s.find('+');
    const std::string moved = std::to_string(std::stoi(s.substr(0, plus)) + first_height) + s.substr(plus);
    EXPECT_EQ(shown[first.size() + i], moved) << "row " << i << " of the second page";
  }

  // The history's engine and the box each hold the picture; a cleared
  // history lets go of its hold, and the box of its own with its text.
  const std::string key = graphics::TBrioCollection::KeyOf("tall.bri", false, true);
  ASSERT_NE(cache.Find(key), nullptr);
  const std::int32_t users = cache.Find(key)->UserCount();
  history.Clear();
  ASSERT_NE(cache.Find(key), nullptr);
  EXPECT_LT(cache.Find(key)->UserCount(), users);
  list.destroy(m);
  EXPECT_EQ(cache.Count(), 0);
}

// The component system lets go of every inline picture, those its history
// formats' engines hold included, before its step that frees the picture
// cache: nothing is released into a freed cache.
TEST(ComponentSystemPictures, HistoryEnginesReleaseTheirPicturesBeforeTheCacheGoes) {
  graphics::test::MemoryPictures files;
  files.put("tall.bri", graphics::test::plain_bri({graphics::test::solid_frame(6, 30, 0x804020)}));
  auto cache = std::make_unique<graphics::TBrioCollection>(files, 0, 32);
  InlinePictureCache pictures(*cache);
  TestFontService fonts;
  text::TFontPixelManager glyphs{fonts};
  TestTextSource source;
  source.put("pic", {"a<IMG SRC=\"tall.bri\">b", "c"});
  MesServices messages;
  messages.glyphs = &glyphs;
  messages.texts = &source;
  messages.pictures = &pictures;
  core::FrameClock clock;
  TComponentFactory factory;
  register_message_classes(factory);
  bool freed = false;
  {
    TComponentSystem system({{factory, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &clock, &messages},
                             {},
                             [&] {
                               EXPECT_EQ(cache->Count(), 0) << "a picture still held when the cache goes";
                               cache.reset();
                               freed = true;
                             }});
    system.history().FindOrCreate("log").SetSettings({10, 0, 0, 200, 100, 0});
    auto& m = static_cast<TNovaMes&>(system.bases().Create(LT_MES));
    m.SetName("mes");
    m.SetParent(&system.bases().front_base());
    m.SetBounds(0, 0, 200, 100);
    m.SetReadMark(1, "pic", 0);
    m.ShowTextCommand("pic", 0);
    m.SetReadMark(1, "pic", 1);
    m.ShowTextCommand("pic", 1);
    ASSERT_EQ(system.history().Find("log")->History().Count(), 30);
    EXPECT_EQ(cache->Find(graphics::TBrioCollection::KeyOf("tall.bri", false, true))->UserCount(), 1)
        << "the box's new text let go; the history's engine holds it";
  }
  EXPECT_TRUE(freed);
}

// A box read back from a record and refreshed writes that record again: the
// page being read stays pending in the history (the box has not moved on),
// and the history flag and value the record carried stay the box's.
TEST_F(MessageBox, ARefreshedBoxWritesTheRecordItWasReadFromAndKeepsItsPageInTheHistory) {
  TNovaMes& scripted = box("mes");
  TNovaMes& plain = box("plain");
  show(scripted);
  SetProp(plain, PR_TEXT, expr::TParamStr("ab<BR>cd<BR>ef"));
  finish_page();
  SetProp(scripted, PR_INDEX, expr::TParamInt(1));
  frames(3);
  const data::TNovaNewHistory& h = history.Default().History();
  ASSERT_EQ(h.entries().size(), 1u) << "page 0 was left";
  ASSERT_EQ(h.pending_key(), "ep1");
  ASSERT_EQ(h.pending().page, 1);

  core::ByteWriter w;
  list.WriteComponent(w, scripted);
  list.WriteComponent(w, plain);
  // The history flag and value of the plain box stand just before its text
  // (a length and the bytes): set them as a box showing the history would
  // have them.
  std::vector<std::uint8_t> bytes = w.data();
  const std::string text = "ab<BR>cd<BR>ef";
  std::string field(4, '\0');
  field[0] = static_cast<char>(text.size());
  field += text;
  const auto at = std::search(bytes.begin(), bytes.end(), field.begin(), field.end());
  ASSERT_NE(at, bytes.end());
  const auto text_at = static_cast<std::size_t>(at - bytes.begin());
  ASSERT_EQ(bytes[text_at - 5], 0u);
  bytes[text_at - 5] = 1;
  bytes[text_at - 4] = 7;

  TNovaBaseList& other = second_list();
  core::ByteReader r(bytes);
  auto& back = static_cast<TNovaMes&>(other.ReadComponent(r, 140, &other.front_base()));
  auto& plain_back = static_cast<TNovaMes&>(other.ReadComponent(r, 140, &other.front_base()));
  EXPECT_TRUE(r.at_end());
  const data::TNovaNewHistory kept = h;
  // Read marks are not part of the game: a mark the running game left
  // pending for a box of that name goes with the refresh.
  marks.SetPending("plain", "old", 0, 9);
  plain_back.RefreshAfterLoad();
  EXPECT_EQ(marks.pending_key, "");
  back.RefreshAfterLoad();
  EXPECT_EQ(marks.pending_key + " " + marks.pending_box + " " + std::to_string(marks.pending_page), "ep1 mes 1")
      << "the scripted page is pending again";
  EXPECT_TRUE(history.Default().History() == kept) << "nothing committed, nothing noted anew";
  EXPECT_EQ(back.Index(), 1);
  EXPECT_EQ(plain_back.Count(), 2);

  core::ByteWriter again;
  other.WriteComponent(again, back);
  other.WriteComponent(again, plain_back);
  EXPECT_EQ(again.data(), bytes);

  // Moving on commits the page the record held as pending.
  SetProp(back, PR_INDEX, expr::TParamInt(2));
  ASSERT_EQ(history.Default().History().entries().size(), 2u);
  EXPECT_EQ(history.Default().History().entries()[1].page, 1);
  EXPECT_EQ(history.Default().History().pending().page, 2);
}

TEST_F(MessageBox, RecordRoundTripsAndTheRefreshPutsTheReadingBack) {
  TNovaMes& m = box();
  m.SetAuxiliary(1, "aux");
  m.SetTextDelay(512);
  m.SetCaptureLink(true);
  show(m);
  take();
  finish_page();
  SetProp(m, PR_INDEX, expr::TParamInt(1));
  take();
  frames(4);
  const int typed = revealed(m);
  ASSERT_GT(typed, 0);
  core::ByteWriter w;
  list.WriteComponent(w, m);

  TNovaBaseList& other = second_list();
  core::ByteReader r(w.data());
  auto& back = static_cast<TNovaMes&>(other.ReadComponent(r, 140, &other.front_base()));
  EXPECT_TRUE(r.at_end());
  EXPECT_EQ(back.Count(), 0) << "laid out only by the refresh";
  back.RefreshAfterLoad();
  EXPECT_EQ(back.Count(), 3);
  EXPECT_EQ(back.Index(), 1);
  EXPECT_EQ(revealed(back), typed) << "the page's saved state";
  EXPECT_EQ(back.ReadMarkKey(), "ep1");
  EXPECT_EQ(back.ReadMarkMode(), 1);
  EXPECT_EQ(back.Auxiliary(1), "aux");
  EXPECT_EQ(back.TextDelay(), 512);
  EXPECT_TRUE(back.CaptureLink());
  EXPECT_EQ(back.StartCountdown(), 0);
  EXPECT_TRUE(back.DisplayRecord() == m.DisplayRecord());

  // The same record after the text changed shape: each page's state is
  // read within the stored bytes, and what does not fit is left unrevealed.
  source.put("ep1", {std::nullopt, "abcdefghijklmnopqrstuvwxyz<BR>12345678901234567890<BR>z"}, 30);
  core::ByteReader again(w.data());
  auto& reshaped = static_cast<TNovaMes&>(other.ReadComponent(again, 140, &other.front_base()));
  EXPECT_NO_THROW(reshaped.RefreshAfterLoad());
  EXPECT_EQ(reshaped.Index(), 1);

  // Every cut of the record raises, and nothing of it stays.
  for (std::size_t cut = 1; cut < w.size(); cut += 7) {
    core::ByteReader part(std::span(w.data()).first(cut));
    const std::int32_t before = other.ItemCount();
    EXPECT_THROW(other.ReadComponent(part, 140, &other.front_base()), core::Error) << cut;
    EXPECT_EQ(other.ItemCount(), before);
  }
}

}  // namespace
}  // namespace nova::test
