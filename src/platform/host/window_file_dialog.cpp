// The file dialog the player draws itself, for a desktop without a portal or
// a dialog program: a path typed into a field rather than a folder browser,
// which is enough to pick a file and needs nothing of the host.
#include <system_error>

#include "platform/codepage.h"
#include "platform/dialogs.h"
#include "platform/platform.h"
#include "platform/widgets.h"

namespace nova::platform {

namespace fs = std::filesystem;

namespace {

constexpr int kMargin = 12;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 23;

std::string text(const char* utf8) { return codepage::from_utf8(utf8).value_or("?"); }

const char* default_title(int kind) {
  return kind == 0 ? "ファイルを開く" : kind == 1 ? "名前を付けて保存" : "フォルダーの選択";
}

}  // namespace

FileDialogForm::FileDialogForm(FontService& fonts, int kind, const FileDialogSpec& spec, fs::path start)
    : m_kind(kind), m_must_exist(spec.must_exist), m_start(std::move(start)), m_form(fonts, client_size()) {
  const Size client = client_size();
  const int width = client.width - 2 * kMargin;
  m_form.add(Control{ControlKind::Label, "label", text(kind == 2 ? "フォルダー(&F):" : "ファイル名(&N):"),
                     Rect::from_size(kMargin, 10, width, 16)});
  // A start folder the code page cannot spell leaves the field empty;
  // what is typed is still taken relative to it.
  std::string start_text = m_start.string();
  if (!start_text.empty() && start_text.back() != '/') start_text.push_back('/');
  m_field = m_form.add(Control{ControlKind::Edit, "path", codepage::from_utf8(start_text).value_or(""),
                               Rect::from_size(kMargin, 30, width, 23)});
  m_form.control(0).focus_control = m_field;
  m_note = m_form.add(Control{ControlKind::Label, "note", "", Rect::from_size(kMargin, 60, width, 16)});
  const int buttons_top = client.height - kMargin - kButtonHeight;
  Control ok{ControlKind::Button, "ok", "OK",
             Rect::from_size(client.width - kMargin - 2 * kButtonWidth - 8, buttons_top, kButtonWidth, kButtonHeight)};
  ok.is_default = true;
  m_ok = m_form.add(ok);
  Control cancel{ControlKind::Button, "cancel", text("キャンセル"),
                 Rect::from_size(client.width - kMargin - kButtonWidth, buttons_top, kButtonWidth, kButtonHeight)};
  cancel.is_cancel = true;
  m_cancel = m_form.add(cancel);
  m_form.set_focus(m_field);
}

const std::string& FileDialogForm::field_text() const { return m_form.control(m_field).caption; }
const std::string& FileDialogForm::note() const { return m_form.control(m_note).caption; }

std::optional<fs::path> FileDialogForm::resolve() {
  auto refuse = [this](const char* why) {
    m_form.control(m_note).caption = text(why);
    m_form.invalidate();
    return std::nullopt;
  };
  const std::string typed = codepage::to_utf8(field_text());
  fs::path p = typed.empty() ? m_start : fs::path(typed);
  if (p.is_relative()) p = m_start / p;
  p = p.lexically_normal();
  std::error_code ec;
  if (m_kind == 2) {
    if (!fs::is_directory(p, ec)) return refuse("フォルダーが見つかりません。");
    if (!p.has_filename() && p.has_relative_path()) p = p.parent_path();
    return p;
  }
  if (!p.has_filename() || fs::is_directory(p, ec)) return refuse("ファイル名を入力してください。");
  if (m_kind == 0 && m_must_exist) {
    if (!fs::is_regular_file(p, ec)) return refuse("ファイルが見つかりません。");
  } else if (!fs::is_directory(p.parent_path(), ec)) {
    return refuse("フォルダーが見つかりません。");
  }
  return p;
}

FileDialogForm::State FileDialogForm::handle(const Event& e) {
  for (const Form::Action& a : m_form.handle(e)) {
    if (a.kind == Form::Action::Kind::Changed && a.control == m_field && !note().empty()) {
      // The note spoke of the text as it was.
      m_form.control(m_note).caption.clear();
      m_form.invalidate();
    }
    if (a.kind != Form::Action::Kind::Clicked) continue;
    if (a.control == m_cancel) return State::Cancelled;
    if (a.control == m_ok) {
      if (auto p = resolve()) {
        m_chosen = *p;
        return State::Chosen;
      }
    }
  }
  return State::Open;
}

std::optional<fs::path> run_window_file_dialog(Platform& platform, int kind, const FileDialogSpec& spec,
                                               const fs::path& start) {
  FileDialogForm form(platform.fonts(), kind, spec, start);
  const Size client = FileDialogForm::client_size();
  auto window =
      open_dialog_window(platform, spec.title.empty() ? text(default_title(kind)) : spec.title, client, spec.owner);

  auto show = [&] { present_canvas(*window, form.draw()); };
  show();
  for (;;) {
    Event e;
    if (!platform.wait_event(e, 100)) continue;
    if (e.type == EventType::Close && e.window != window->id()) {
      // The application (or the window the dialog belongs to) is closing:
      // the dialog gives way, and the main loop still gets its close.
      platform.requeue_quit();
      return std::nullopt;
    }
    if (e.window != window->id()) continue;
    if (e.type == EventType::Close) return std::nullopt;
    if (e.type == EventType::Expose) {
      window->present({});
      continue;
    }
    switch (form.handle(e)) {
      case FileDialogForm::State::Chosen: return form.chosen();
      case FileDialogForm::State::Cancelled: return std::nullopt;
      case FileDialogForm::State::Open: break;
    }
    if (form.dirty()) show();
  }
}

}  // namespace nova::platform
