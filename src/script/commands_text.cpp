// The text commands: TextIns (the message box shows a text command's
// stored text and the command may wait on it), TextClr, CallHist and
// FormatHist, and the two that forget: ClrHist and ClrRead.
#include <algorithm>

#include "components/base_list.h"
#include "components/nova_mes.h"
#include "components/property_access.h"
#include "components/read_list.h"
#include "core/error.h"
#include "core/log.h"
#include "data/history_format.h"
#include "script/callman.h"
#include "script/commands.h"

namespace nova::script {
namespace {

using components::TNovaBaseList;
using components::TNovaMes;

// TextIns's fields, then CallHist's.
enum : std::size_t { kText = 0, kBox = 1, kHistory = 2, kWait = 3, kUninterruptible = 4 };
enum : std::size_t { kHistBox = 0, kFirst = 1, kCount = 2, kFlag = 3, kFormat = 4 };

TNovaMes* find_message_box(const TNovaBaseList& list, std::string_view name) {
  if (name.empty()) return nullptr;
  return dynamic_cast<TNovaMes*>(list.FindControl(name));
}

}  // namespace

void TComTextIns::Start(TCallMan& cm) {
  TNovaBaseList& list = component_list(cm, *this);
  set_uninterruptible(expression(kUninterruptible).flag_or(cm, false));
  set_waiting(false);
  set_target(list, {});
  if (text(kText).empty()) return;
  const std::string name = expression(kBox).str_or(cm, "");
  if (name.empty()) return;
  TNovaMes* box = find_message_box(list, name);
  const TPage& page = this->list().page();
  if (!box) {
    // Titles rely on the script going on here, so this is no error; the
    // author still learns that the text went nowhere.
    core::logf(core::Channel::Script, core::Level::Warning, "%s(%d) TextIns: no message box is named \"%s\"",
               {page.name(), line_number(), name});
    return;
  }
  // The interpreter starts a command at its own position.
  const std::int32_t index = cm.Position();
  if (expression(kHistory).is_true(cm)) {
    box->SetReadMark(1, page.name(), index);
  } else {
    box->SetReadMark(0, box->ReadMarkKey(), box->ReadMarkPosition());
  }
  box->ShowTextCommand(page.name(), index);
  if (box->Count() > 0) box->SetPage(0);
  set_target(list, box->id());
  set_waiting(expression(kWait).flag_or(cm, false));
}

bool TComTextIns::accepts(const components::TNovaObject& o) const {
  return dynamic_cast<const TNovaMes*>(&o) != nullptr;
}

bool TComTextIns::holds(const components::TNovaObject& o) const {
  const auto* box = dynamic_cast<const TNovaMes*>(&o);
  return box && box->Count() != 0;
}

template <>
void TComOnComponent<28>::Execute(TCallMan& cm, TPage&, std::int32_t) {
  TNovaBaseList& list = component_list(cm, *this);
  cm.Advance();
  TNovaMes* box = find_message_box(list, expression(0).str_or(cm, ""));
  if (!box) return;
  box->SetReadMark(0, box->ReadMarkKey(), box->ReadMarkPosition());
  box->SetText({});
}

template <>
void TComOnComponent<29>::Execute(TCallMan& cm, TPage&, std::int32_t) {
  TNovaBaseList& list = component_list(cm, *this);
  cm.Advance();
  TNovaMes* box = find_message_box(list, expression(kHistBox).str_or(cm, ""));
  if (!box) return;
  const expr::TCustomParam* first = expression(kFirst).run(cm);
  if (!first) return;
  const std::int32_t from = first->as_int();
  const std::int32_t count = expression(kCount).int_or(cm, 1);
  const std::string format_name = expression(kFormat).str_or(cm, "");
  data::TNovaHistoryFormatManager* history = list.history();
  data::TNovaHistoryFormat* format = history ? history->Find(format_name) : nullptr;
  if (!format) return;
  const bool stacked = expression(kFlag).flag_or(cm, false);
  const std::int32_t shown = data::history_show_count(from, count, format->History().Count());
  if (shown <= 0) return;
  const std::int32_t start = std::max(from, 0);
  box->ShowHistory(stacked, [&](data::TNovaNewMesData& record) { return format->Show(start, shown, record); });
}

template <>
void TComOnComponent<58>::Execute(TCallMan& cm, TPage&, std::int32_t) {
  TNovaBaseList& list = component_list(cm, *this);
  cm.Advance();
  const std::string component = expression(0).str_or(cm, "");
  const components::TNovaComponent* from = component.empty() ? nullptr : list.FindComponent(component);
  data::TNovaHistoryFormatManager* history = list.history();
  if (!history) return;
  data::TNovaHistoryFormat& format = history->FindOrCreate(expression(1).str_or(cm, ""));
  data::HistoryLayout settings;
  if (from) {
    using namespace components;
    settings = {read_int(*from, PR_FONTHEIGHT), read_int(*from, PR_FONTBORDER), read_int(*from, PR_FONTSHADOW),
                read_int(*from, PR_WIDTH),      read_int(*from, PR_HEIGHT),     read_int(*from, PR_LINESPACE)};
  }
  format.SetSettings(settings);
}

void TComClrHist::Execute(TCallMan& cm, TPage&, std::int32_t) {
  TNovaBaseList& list = component_list(cm, *this);
  cm.Advance();
  if (data::TNovaHistoryFormatManager* history = list.history()) history->Clear();
}

void TComClrRead::Execute(TCallMan& cm, TPage&, std::int32_t) {
  TNovaBaseList& list = component_list(cm, *this);
  cm.Advance();
  if (components::TNovaReadList* marks = list.read_marks()) marks->Clear();
}

}  // namespace nova::script
