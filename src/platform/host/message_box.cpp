#include <algorithm>

#include "platform/codepage.h"
#include "platform/platform.h"
#include "platform/widgets.h"

namespace nova::platform {
namespace {

constexpr int kMaxTextWidth = 560;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 23;

// Breaks lines wider than the limit between characters, as the system's
// boxes do for text without blanks.
std::vector<std::string> wrap(UiText& text, std::string_view sjis) {
  std::vector<std::string> out;
  for (const std::string& line : caption_lines(sjis)) {
    std::string current;
    for (std::size_t i = 0; i < line.size();) {
      std::size_t n = codepage::char_length(line, i);
      std::string next = current + line.substr(i, n);
      if (!current.empty() && text.width(next) > kMaxTextWidth) {
        out.push_back(current);
        current = line.substr(i, n);
      } else {
        current = std::move(next);
      }
      i += n;
    }
    out.push_back(current);
  }
  return out;
}

}  // namespace

MessageAnswer run_message_box(Platform& platform, const MessageBoxSpec& spec) {
  struct Choice {
    const char* caption;  // UTF-8
    MessageAnswer answer;
  };
  std::vector<Choice> choices;
  switch (spec.buttons) {
    case MessageButtons::Ok: choices = {{"OK", MessageAnswer::Ok}}; break;
    case MessageButtons::OkCancel: choices = {{"OK", MessageAnswer::Ok}, {"キャンセル", MessageAnswer::Cancel}}; break;
    case MessageButtons::YesNo: choices = {{"はい(&Y)", MessageAnswer::Yes}, {"いいえ(&N)", MessageAnswer::No}}; break;
    case MessageButtons::YesNoAllCancel:
      choices = {{"はい(&Y)", MessageAnswer::Yes},
                 {"いいえ(&N)", MessageAnswer::No},
                 {"すべてはい(&A)", MessageAnswer::YesToAll},
                 {"すべていいえ(&O)", MessageAnswer::NoToAll},
                 {"キャンセル", MessageAnswer::Cancel}};
      break;
  }
  const MessageAnswer escape_answer = choices.back().answer;

  UiText measure(platform.fonts(), ui_face_name(), 12);
  std::vector<std::string> lines = wrap(measure, spec.text);
  int text_width = 0;
  for (const auto& l : lines) text_width = std::max(text_width, measure.width(l));
  const int line_height = measure.height() + 2;
  const int text_height = static_cast<int>(lines.size()) * line_height;
  const bool has_icon = spec.icon != MessageIcon::None;
  const int text_left = has_icon ? 64 : 20;
  const int body_height = std::max(text_height, has_icon ? 32 : 0);
  const int buttons_width = static_cast<int>(choices.size()) * (kButtonWidth + 8) - 8;
  const Size client{std::max({text_left + text_width + 24, buttons_width + 40, 200}),
                    20 + body_height + 20 + kButtonHeight + 14};

  std::string joined;
  for (std::size_t i = 0; i < lines.size(); ++i) joined += (i ? "\n" : "") + lines[i];
  auto window = open_dialog_window(platform, spec.caption, client, spec.owner);

  Form form(platform.fonts(), client);
  if (has_icon) {
    Control icon{ControlKind::Icon, "icon", "", Rect::from_size(20, 20, 32, 32)};
    icon.icon = spec.icon;
    form.add(icon);
  }
  const int text_top = 20 + (body_height - text_height) / 2;
  form.add(
      Control{ControlKind::Label, "text", joined, Rect::from_size(text_left, text_top, text_width + 4, text_height)});
  std::vector<int> button_ids;
  int x = client.width - 16 - buttons_width;
  for (std::size_t i = 0; i < choices.size(); ++i) {
    Control b{ControlKind::Button, "button", codepage::from_utf8(choices[i].caption).value_or("?"),
              Rect::from_size(x, client.height - 14 - kButtonHeight, kButtonWidth, kButtonHeight)};
    b.is_default = i == 0;
    b.is_cancel = i + 1 == choices.size();
    button_ids.push_back(form.add(b));
    x += kButtonWidth + 8;
  }
  form.set_focus(button_ids.front());

  auto show = [&] { present_canvas(*window, form.draw()); };
  show();
  for (;;) {
    Event e;
    if (!platform.wait_event(e, 100)) continue;
    if (e.type == EventType::Close && e.window == 0) {
      // The application is asked to quit (a signal, the session ending):
      // the box gives way as if cancelled, and the main loop gets the quit.
      platform.requeue_quit();
      return escape_answer;
    }
    if (e.window != window->id()) continue;
    if (e.type == EventType::Close) return escape_answer;
    if (e.type == EventType::Expose) {
      window->present({});
      continue;
    }
    for (const auto& a : form.handle(e)) {
      for (std::size_t i = 0; i < button_ids.size(); ++i) {
        if (a.control == button_ids[i]) return choices[i].answer;
      }
    }
    if (form.dirty()) show();
  }
}

}  // namespace nova::platform
