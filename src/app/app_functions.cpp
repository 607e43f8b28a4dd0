#include "app/app_functions.h"

#include <memory>

#include "app/player_context.h"
#include "app/script_title.h"
#include "core/error.h"
#include "core/log.h"
#include "core/sjis.h"
#include "expr/function_args.h"
#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/process.h"

namespace nova::app {

namespace {

using Args = expr::FunctionArgs;
namespace cp = platform::codepage;

constexpr int kGetDisplayMode = 65, kSetWallPaper = 125, kOpenUrl = 135, kSelectOpenFile = 148, kSelectSaveFile = 149,
              kSelectDirectory = 150;
// At most one URL is handed to the desktop a second.
constexpr std::uint32_t kUrlIntervalMs = 1000;

// A platform failure (a dialog that cannot be shown) stops the expression
// with its message.
template <typename Fn>
auto platform_call(Fn&& fn) {
  try {
    return fn();
  } catch (const platform::PlatformError& e) {
    core::throw_error(cp::from_utf8_lossy(e.what()));
  }
}

// The dialogs belong to the main window; their quiet fallbacks (no desktop
// portal, a refused answer) are still told on the app channel.
platform::FileDialogSpec dialog_spec(const PlayerContext& ctx) {
  platform::FileDialogSpec spec;
  spec.owner = ctx.main_window;
  spec.log = [](const std::string& line) { core::logf(core::Channel::App, core::Level::Info, "%s", {line}); };
  return spec;
}

void file_dialog(PlayerContext& ctx, files::ScriptFileAccess& access, int kind, expr::TCustomParam& t, Args a) {
  platform::FileDialogSpec spec = dialog_spec(ctx);
  if (a.size() > 1) spec.filter = a[1]->as_str();
  spec.must_exist = kind == 0;
  platform::Dialogs& d = ctx.platform.dialogs();
  const auto chosen = platform_call([&] {
    return kind == 0 ? d.open_file(spec) : kind == 1 ? d.save_file(spec) : d.select_folder(spec);
  });
  if (!chosen) {
    t.set_flag(false);
    return;
  }
  const std::string name = kind == 2 ? access.NoteChosenFolder(*chosen) : access.NoteChosenFile(*chosen);
  if (expr::TCustomParam* v = expr::written_variable(a, 0)) v->set_str(name);
  t.set_flag(true);
}

struct UrlState {
  bool launched = false;
  std::uint32_t last_ms = 0;
};

}  // namespace

std::optional<std::string> url_for_launch(std::string_view sjis_url) {
  if (!core::starts_with_ci(sjis_url, "http://") && !core::starts_with_ci(sjis_url, "https://")) return std::nullopt;
  for (std::size_t i = 0; i < sjis_url.size(); i += cp::char_length(sjis_url, i)) {
    const auto b = static_cast<std::uint8_t>(sjis_url[i]);
    const bool wide_blank =
        cp::char_length(sjis_url, i) == 2 && b == 0x81 && static_cast<std::uint8_t>(sjis_url[i + 1]) == 0x40;
    if (b <= 0x20 || b == 0x7F || wide_blank) return std::nullopt;
  }
  const auto back = cp::from_utf8(cp::to_utf8(sjis_url));
  if (!back || *back != sjis_url) return std::nullopt;  // bytes that are no Shift-JIS text
  const std::string utf8 = cp::to_utf8(sjis_url);
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : utf8) {
    const auto b = static_cast<std::uint8_t>(c);
    if (b < 0x80) {
      out.push_back(c);
    } else {
      out.push_back('%');
      out.push_back(kHex[b >> 4]);
      out.push_back(kHex[b & 15]);
    }
  }
  return out;
}

void register_app_functions(expr::TSysFuncMan& funcs, PlayerContext& ctx, files::ScriptFileAccess& access) {
  funcs.set_behaviour(kSelectOpenFile,
                      [&ctx, &access](expr::TCustomParam& t, Args a) { file_dialog(ctx, access, 0, t, a); });
  funcs.set_behaviour(kSelectSaveFile,
                      [&ctx, &access](expr::TCustomParam& t, Args a) { file_dialog(ctx, access, 1, t, a); });
  funcs.set_behaviour(kSelectDirectory,
                      [&ctx, &access](expr::TCustomParam& t, Args a) { file_dialog(ctx, access, 2, t, a); });
  funcs.set_behaviour(kSetWallPaper, [](expr::TCustomParam& t, Args) {
    // A title does not get to change the user's desktop.
    core::log(core::Channel::App, core::Level::Info, "SetWallPaper: refused; the desktop is left as it is");
    t.set_flag(false);
  });
  funcs.set_behaviour(kGetDisplayMode, [&ctx](expr::TCustomParam& t, Args a) {
    ScreenHost* screen = ctx.services.media() ? ctx.services.media()->screen() : nullptr;
    const std::int32_t index = a[0]->as_int();
    const auto mode = screen ? screen->mode(index) : std::nullopt;
    if (!mode) {
      t.set_flag(false);
      return;
    }
    const std::int32_t parts[] = {mode->width, mode->height, mode->bit_count, mode->refresh_rate};
    for (std::size_t i = 0; i < 4; ++i) {
      if (expr::TCustomParam* v = expr::written_variable(a, i + 1)) v->set_int(parts[i]);
    }
    t.set_flag(true);
  });
  auto url_state = std::make_shared<UrlState>();
  funcs.set_behaviour(kOpenUrl, [&ctx, url_state](expr::TCustomParam& t, Args a) {
    const std::string text = a[0]->as_str();
    const auto url = url_for_launch(text);
    if (!url) {
      core::logf(core::Channel::App, core::Level::Warning, "OpenUrl: refused %s", {cp::to_utf8(text.substr(0, 200))});
      t.set_flag(false);
      return;
    }
    const std::uint32_t now = ctx.platform.clock().ticks_ms();
    if (url_state->launched && now - url_state->last_ms < kUrlIntervalMs) {
      core::logf(core::Channel::App, core::Level::Warning, "OpenUrl: %s refused, one URL a second", {*url});
      t.set_flag(false);
      return;
    }
    url_state->launched = true;
    url_state->last_ms = now;
    if (ctx.platform.backend() == platform::Backend::Headless) {
      core::logf(core::Channel::App, core::Level::Info, "OpenUrl: %s", {*url});
      if (auto* host = dynamic_cast<ScriptProjectHost*>(ctx.services.project())) host->trace("OpenUrl " + *url);
      t.set_flag(true);
      return;
    }
    t.set_flag(platform::start_program({"xdg-open", *url}));
  });
}

std::optional<std::filesystem::path> PlatformExtractDialogs::choose_folder() {
  platform::FileDialogSpec spec = dialog_spec(m_ctx);
  return platform_call([&] { return m_ctx.platform.dialogs().select_folder(spec); });
}

platform::MessageAnswer PlatformExtractDialogs::ask_overwrite(const std::string& sjis_text) {
  platform::MessageBoxSpec box;
  box.caption = m_ctx.services.project() ? m_ctx.services.project()->title() : std::string();
  box.text = sjis_text;
  box.icon = platform::MessageIcon::Question;
  box.buttons = platform::MessageButtons::YesNoAllCancel;
  box.owner = m_ctx.main_window;
  return m_ctx.platform.dialogs().message_box(box);
}

}  // namespace nova::app
