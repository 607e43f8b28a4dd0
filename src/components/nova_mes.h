// TNovaMes (LT_MES): the message box. It owns a text engine, hands it the
// text and the settings, lays the text out into pages, reveals the current
// page one step per frame, turns what the engine reports into events
// (start, typing, end, links, EVENT tags), draws the revealed glyphs, and
// keeps the read marks and the message history in step with what it shows.
//
// Text comes two ways: a tagged text through PR_TEXT (parsed with
// @TextDelay as its first wait; read-mark mode 0), or one text command's
// stored glyph stream named by (page, command index) through
// ShowTextCommand, which the TextIns command calls, read through the
// display record's cache.
//
// Ownership: a registered component of its base list, which owns it. It
// owns its engine, pages, display record and saved page states; it borrows
// the list's message services and history formats, and reaches the read
// marks and the history by its name only while it shows a page.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "components/mes_services.h"
#include "components/nova_control.h"
#include "data/history_format.h"
#include "data/mes_data.h"
#include "text/kvword.h"
#include "text/word_layout.h"

namespace nova::components {

class TComponentFactory;
class TNovaReadList;

class TNovaMes : public TNovaControl {
 public:
  TNovaMes();
  ~TNovaMes() override;
  TComponentType ComponentType() const override { return LT_MES; }
  const PropertyTable& Properties() const override { return ClassProperties(); }
  static const PropertyTable& ClassProperties();

  // --- Text and pages ---------------------------------------------------------------
  // PR_TEXT's write: the stored text laid out anew (the display record
  // emptied).
  void SetText(std::string_view text);
  // TextIns: the text stored in command `command` of page `page`. The
  // stored text is emptied; the read-mark mode, key and position are the
  // caller's (SetReadMark) and are set first.
  void ShowTextCommand(std::string_view page, std::int32_t command);
  void SetReadMark(std::uint8_t mode, std::string_view key, std::int32_t position);
  // CallHist's showing of history in the box: the box enters its history
  // display (its pending page committed to the history, read-mark mode 0,
  // as TextClr leaves it; the stacking flag set), `fill` fills the display
  // record and answers the start offset, and the record is laid out with
  // history variables and its page 0 shown. The stacking flag and the
  // start offset are the box's history flag and value, which a refresh
  // after a load lays out with again.
  void ShowHistory(bool stacking, const std::function<std::int32_t(data::TNovaNewMesData&)>& fill);
  std::uint8_t HistoryFlag() const { return m_history_flag; }
  std::int32_t HistoryValue() const { return m_history_value; }
  std::uint8_t ReadMarkMode() const { return m_read_mode; }
  const std::string& ReadMarkKey() const { return m_read_key; }
  std::int32_t ReadMarkPosition() const { return m_read_position; }
  const std::string& StoredText() const { return m_text; }
  const data::TNovaNewMesData& DisplayRecord() const { return m_data; }

  // PR_TEXT: the current page's text, empty without one.
  std::string GetAllText() const override;
  // A SetProp of PR_TEXT: the text takes no part in read marks.
  void ResetTypingState() override { m_read_mode = 0; }

  std::int32_t Index() const { return m_index; }
  // Only a valid index other than the current one changes the page.
  void SetPage(std::int32_t index);
  std::int32_t Count() const { return static_cast<std::int32_t>(m_pages.size()); }
  bool PlayingText() const;
  const std::vector<text::TWdPage>& Pages() const { return m_pages; }

  // --- Forwarded to the engine --------------------------------------------------------
  const std::string& FontName() const;
  void SetFontName(std::string_view v);
  // The integer settings of the engine, by field (PR_FONTHEIGHT,
  // PR_LINESPACE, the colours, the border and shadow widths).
  template <std::int32_t text::KvWordSettings::*Field>
  std::int32_t Setting() const {
    return settings().*Field;
  }
  template <std::int32_t text::KvWordSettings::*Field>
  void SetSetting(std::int32_t v) {
    if (!m_engine) return;
    text::KvWordSettings s = m_engine->settings();
    s.*Field = v;
    m_engine->set_settings(s);
  }
  // Quality 3 when set, 0 when clear.
  bool AntiAlias() const;
  void SetAntiAlias(bool v);
  std::int32_t Alpha() const;
  void SetAlpha(std::int32_t v);
  // The engine's fade time; negative values are stored as 0.
  std::int32_t Delay() const;
  void SetDelay(std::int32_t v);
  Point Caret() const;
  std::int32_t CaretHeight() const;

  // --- The box's own fields -------------------------------------------------------------
  std::int32_t ScrollY() const { return m_scroll_y; }
  void SetScrollY(std::int32_t v);
  bool Paused() const { return m_paused; }
  void SetPaused(bool v);
  bool TextPaused() const { return m_text_paused; }
  void SetTextPaused(bool v);
  // The engine's speed factor (1/256).
  std::int32_t TextDelay() const { return m_text_delay; }
  void SetTextDelay(std::int32_t v);
  bool CaptureLink() const { return m_capture_link; }
  void SetCaptureLink(bool v) { m_capture_link = v; }
  // PR_ONPLAYING, PR_ONPLAYSTART, PR_ONPLAYEND, PR_ONLINK, PR_ONNOTIFY,
  // PR_ONIDLE by id.
  const std::string& Target(int id) const;
  void SetTarget(int id, std::string_view target);
  // The three strings scripts cannot reach, kept and saved.
  const std::string& Auxiliary(int i) const { return m_aux.at(static_cast<std::size_t>(i)); }
  void SetAuxiliary(int i, std::string_view v) { m_aux.at(static_cast<std::size_t>(i)) = v; }
  std::int32_t StartCountdown() const { return m_start_countdown; }

  // --- The frame and input ---------------------------------------------------------------
  bool Update() override;
  void Paint(graphics::TCustomDIBX& surface) override;
  void MouseMove() override;
  void MouseOut(ComponentId new_hover) override;
  void LButtonDown() override;
  // With PR_CAPTURELINK only a link of the current page hits.
  // Registered as the class's containment test: with PR_CAPTURELINK only a
  // link counts.
  bool LinkContains(Point p, const Rect& screen_rect) const;
  // The engine's EVENT tags.
  void NotifyEvent(std::string_view text);

  // --- Records -------------------------------------------------------------------------------
  void SaveToStream(core::ByteWriter& w) const override;
  void LoadFromStream(core::ByteReader& r, std::int32_t version) override;
  // The box's own fields after the control part: the engine's settings,
  // the display record, the history flag and value, the text, page index,
  // scroll and hover, the three auxiliary strings and five event targets,
  // the paused flags, the text delay rate, the read-mark mode, key and
  // position, PR_ONIDLE (from 104), PR_CAPTURELINK (from 120) and the page
  // states behind their byte count. Before writing, the page being read is
  // noted in the history again. A damaged record raises core::Error and
  // leaves the fields as they were (the pages are laid out only by the
  // refresh).
  void SaveFields(core::ByteWriter& w) const;
  void LoadFields(core::ByteReader& r, std::int32_t version);
  // After a game load: the text laid out again, the saved page, scroll and
  // read-mark fields put back, the page restarted and each page's saved
  // reveal state applied.
  void RefreshAfterLoad();
  void ReleaseSurfaces() override {}
  void RecreateSurfaces() override;

  text::TKvWord* Engine() const { return m_engine.get(); }

 protected:
  void Created() override;

 private:
  text::TKvWord& engine();
  const text::KvWordSettings& settings() const;
  text::TWdPage* current();
  const text::TWdPage* current() const;
  const MesServices* services() const;
  TNovaReadList* read_marks() const;
  data::TNovaHistoryFormatManager* history() const;
  // The steps every new text shares: the box's page committed to the
  // history, the old pages freed, the new laid out by `lay`, page 0 set.
  // A refresh after a load keeps the history's page pending instead: the
  // loaded history holds it as it was saved, to be committed when the box
  // moves on.
  enum class Leaving : bool { Commit, KeepPending };
  template <typename Lay>
  void replace_text(Lay lay, Leaving leaving = Leaving::Commit);
  // SetText's layout of m_text, and the display record's.
  void lay_out_text(text::TKvWord& e);
  void lay_out_record(text::TKvWord& e, bool history_variables);
  void commit_history();
  void fit_engine();
  void raise_start();
  void note_page();
  void add_dirty();
  void set_hold();
  void set_speed();
  void apply_saved_states(std::span<const std::uint8_t> states);

  std::unique_ptr<text::TKvWord> m_engine;
  std::vector<text::TWdPage> m_pages;
  std::int32_t m_index = -1;
  std::int32_t m_scroll_y = 0;
  std::int32_t m_hover = 0;
  std::array<std::string, 3> m_aux;
  std::string m_on_playing, m_on_play_start, m_on_play_end, m_on_link, m_on_notify;
  bool m_paused = false;
  bool m_text_paused = false;
  std::int32_t m_text_delay = 256;
  std::uint8_t m_read_mode = 0;
  std::int32_t m_read_position = 0;
  std::string m_read_key;
  data::TNovaNewMesData m_data;
  std::string m_text;
  std::int32_t m_start_countdown = 0;
  std::string m_on_idle;
  std::uint8_t m_history_flag = 0;
  std::int32_t m_history_value = 0;
  bool m_capture_link = false;
  bool m_new_page = false;
  bool m_resume = false;
  // Whether the page's end was reported since it was started.
  bool m_finished = false;
  std::vector<std::uint8_t> m_saved_states;
};

// Adds LT_MES to the factory.
void register_message_classes(TComponentFactory& factory);

}  // namespace nova::components
