// novaplayer: the player executable.
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <sstream>

#include "app/command_line.h"
#include "app/entry.h"
#include "app/player_settings.h"
#include "core/error.h"
#include "core/log.h"
#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  // The lock-name rule upper-cases in the user's locale.
  std::setlocale(LC_ALL, "");
  std::setlocale(LC_NUMERIC, "C");
  // The diagnostics the user asked for; a setting that cannot be read is
  // said once and ignored.
  if (const char* setting = std::getenv("NOVA_LOG")) nova::core::apply_log_setting(setting, "novaplayer");
  auto parsed = nova::app::parse_command_line(argc, argv);
  if (!parsed.options) {
    std::fprintf(stderr, "novaplayer: %s\n", parsed.message.c_str());
    return 2;
  }
  nova::app::PlayerOptions& options = *parsed.options;
  if (options.show_help) {
    std::fputs(parsed.message.c_str(), stdout);
    return 0;
  }
  if (options.show_version) {
    std::puts("NovaPlayer 0.1.0");
    return 0;
  }
  if (options.save_settings) {
    const auto folder = nova::platform::make_system()->user_config_folder();
    if (auto error = nova::app::save_player_settings(folder, options.player)) {
      std::fprintf(stderr, "novaplayer: %s\n", error->c_str());
      return 1;
    }
    std::printf("novaplayer: settings written to %s\n", nova::app::player_settings_path(folder).c_str());
    return 0;
  }
  try {
    nova::platform::HeadlessOptions headless;
    headless.desktop_scale = options.desktop_scale;
    headless.answer_yes = options.answer_yes;
    headless.record_audio = options.record_audio;
    if (!options.modes.empty()) headless.modes = options.modes;
    if (!options.input_script.empty()) {
      std::ifstream in(options.input_script, std::ios::binary);
      if (!in) {
        std::fprintf(stderr, "novaplayer: cannot read the input script %s\n", options.input_script.c_str());
        return 2;
      }
      std::stringstream ss;
      ss << in.rdbuf();
      headless.input_script = ss.str();
    }
    // SIGINT and SIGTERM close the player in order (exit page, status
    // save); a second one ends it at once.
    nova::platform::handle_quit_signals();
    auto backend = options.headless ? nova::platform::Backend::Headless : nova::platform::Backend::Sdl;
    auto platform = nova::platform::create_platform(backend, headless);
    if (options.date) platform->clock().set_calendar(options.date);
    const auto exe = platform->system().executable_path();
    nova::app::PlayerContext ctx(*platform, options, exe.parent_path());
    auto factory = nova::app::create_title_factory();
    return nova::app::run_entry(ctx, *factory, exe);
  } catch (const nova::platform::PlatformError& e) {
    std::fprintf(stderr, "novaplayer: %s\n", e.what());
    if (!options.headless) std::fprintf(stderr, "novaplayer: without a display, run with --headless\n");
    return 1;
  } catch (const nova::core::Error& e) {
    std::fprintf(stderr, "novaplayer: %s\n", nova::platform::codepage::to_utf8(e.message()).c_str());
    return 1;
  }
}
