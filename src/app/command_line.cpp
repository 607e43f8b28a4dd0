#include "app/command_line.h"

#include <CLI/CLI.hpp>
#include <charconv>
#include <cstdint>
#include <sstream>
#include <tuple>

namespace nova::app {
namespace {

// CLI11 prints its own help; ours lists the data arguments too.
constexpr const char* kUsage =
    "usage: novaplayer [options] [data folders or archives...]\n"
    "       novaplayer [options] /config\n"
    "\n"
    "Plays the title whose data lies in the given folders and archives (or\n"
    "beside the player when none is given). \"/config\" opens the sound\n"
    "settings dialog instead. Options come before the data arguments.\n";

struct Parser {
  CLI::App app{"NovaPlayer", "novaplayer"};
  PlayerOptions o;
  std::vector<std::string> screenshots;
  std::string modes;
  std::string answer = "yes";
  std::string max_ticks;
  std::string seed;
  std::string date;
  std::string scale, filter, window_scale, window_size, desktop_scale, key_full_screen, key_screenshot;
  std::vector<std::string> window_shots;

  Parser() {
    app.prefix_command();
    app.set_help_flag("-h,--help", "show this help and exit");
    app.add_flag("--version", o.show_version, "show the version and exit");
    app.add_flag("--headless", o.headless, "no window and no sound device; virtual clock (15 ms a tick)");
    app.add_option("--max-ticks", max_ticks,
                   "after N frame ticks, close as the exit button's Yes does (exit page, status save)")
        ->type_name("N");
    app.add_option("--screenshot", screenshots, "write the presented screen at that tick as PNG (repeatable)")
        ->type_name("TICK:FILE");
    app.add_option("--input", o.input_script,
                   "scripted input: one event a line (\"TICK mouse X Y\", \"TICK ldown\", \"TICK key VK down\" ...)")
        ->type_name("FILE");
    app.add_option("--trace", o.trace_file, "write the interpreter's trace lines to FILE")->type_name("FILE");
    app.add_option("--answer", answer, "how headless message boxes are answered (default yes/OK)")->type_name("yes|no");
    app.add_option("--dialog", o.dialog_answers,
                   "headless: the answer of the next file dialog, a path or cancel (repeatable; then cancel)")
        ->type_name("PATH|cancel");
    app.add_option("--record-audio", o.record_audio, "headless: write the mixed sound output as WAV")
        ->type_name("FILE");
    app.add_option("--cd-folder", o.cd_folders,
                   "a folder of CD track files (track01.wav, track02.ogg ...) as a CD drive; repeatable: "
                   "D:, E: ... in order")
        ->type_name("DIR");
    app.add_option("--seed", seed, "seed of the standard random generator")->type_name("N");
    app.add_option("--modes", modes, "headless display modes, e.g. 640x480x32@60,800x600x16@60")->type_name("LIST");
    app.add_option("--surface", o.surface_setting, "screen surface setting 0, 1 or 2 (default 0)")->type_name("0|1|2");
    app.add_option("--date", date,
                   "the calendar at timer 0, advancing with the player's timer (headless default 2000-01-01 00:00:00)")
        ->type_name("\"YYYY-MM-DD HH:MM:SS[.mmm]\"");
    app.add_option("--scale", scale,
                   "how the picture fills the window and the screen: fit (largest, aspect kept; default), integer "
                   "(largest whole multiple), stretch (aspect ignored), none (1:1)")
        ->type_name("fit|integer|stretch|none");
    app.add_option("--filter", filter,
                   "scaling filter: nearest or linear (default auto: nearest at whole multiples, else linear)")
        ->type_name("auto|nearest|linear");
    app.add_option("--window-scale", window_scale,
                   "the window opens at N times the title's screen (default 0: the largest whole factor that fits)")
        ->type_name("N");
    app.add_option("--window-size", window_size, "the window's first client size in points (also headless)")
        ->type_name("WxH");
    app.add_option("--window-shot", window_shots, "write what the window shows at that tick as PNG (repeatable)")
        ->type_name("TICK:FILE");
    app.add_option("--desktop-scale", desktop_scale, "headless: real pixels per point of the desktop (HiDPI)")
        ->type_name("N");
    app.add_option("--key-full-screen", key_full_screen,
                   "keys that toggle full screen (default \"Alt+Return, F11\"; none switches them off)")
        ->type_name("KEYS");
    app.add_option("--key-screenshot", key_screenshot,
                   "keys that write a PNG of the title's screen into the pictures folder (default F12; none)")
        ->type_name("KEYS");
    app.add_flag("--save-settings", o.save_settings,
                 "store the scale, filter, window-scale and key options in "
                 "$XDG_CONFIG_HOME/novaplayer/player.ini (keeping its other keys) and exit");
  }
};

}  // namespace

std::optional<platform::DisplayMode> parse_display_mode(const std::string& text) {
  platform::DisplayMode m;
  int* fields[] = {&m.width, &m.height, &m.bit_count, &m.refresh_rate};
  const char seps[] = {'x', 'x', '@', '\0'};
  const char* p = text.data();
  const char* end = text.data() + text.size();
  for (int i = 0; i < 4; ++i) {
    auto [q, ec] = std::from_chars(p, end, *fields[i]);
    if (ec != std::errc() || *fields[i] <= 0) return std::nullopt;
    p = q;
    if (i < 3) {
      if (p == end && i == 2) {
        m.refresh_rate = 60;
        break;
      }
      if (p == end || *p != seps[i]) return std::nullopt;
      ++p;
    }
  }
  if (p != end) return std::nullopt;
  if (m.refresh_rate <= 0) return std::nullopt;
  if (m.bit_count != 15 && m.bit_count != 16 && m.bit_count != 24 && m.bit_count != 32) return std::nullopt;
  return m;
}

ParseResult parse_command_line(int argc, const char* const* argv) {
  Parser p;
  ParseResult result;
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  // Data begins at the first argument that is not an option of ours; "/config"
  // and paths never start with "--", and a lone "--" ends the options.
  std::size_t data_start = args.size();
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--") {
      data_start = i;
      break;
    }
    if (a.rfind("-", 0) != 0) {
      // The value of the previous option, or the first data argument.
      // The parser's own table says which options take a value.
      const CLI::Option* prev = i > 0 ? p.app.get_option_no_throw(args[i - 1]) : nullptr;
      const bool is_value = prev && prev->get_type_size_max() > 0;
      if (!is_value) {
        data_start = i;
        break;
      }
    }
  }
  std::vector<std::string> option_args(args.begin(), args.begin() + static_cast<std::ptrdiff_t>(data_start));
  std::size_t data_from = data_start;
  if (data_from < args.size() && args[data_from] == "--") ++data_from;
  try {
    std::vector<std::string> reversed(option_args.rbegin(), option_args.rend());
    p.app.parse(reversed);
    if (!p.app.remaining().empty()) {
      result.message = "unknown option: " + p.app.remaining().front() + "\n(see novaplayer --help)";
      return result;
    }
  } catch (const CLI::CallForHelp&) {
    p.o.show_help = true;
    result.message = help_text();
    result.options = p.o;
    return result;
  } catch (const CLI::ParseError& e) {
    result.message = std::string(e.what()) + "\n(see novaplayer --help)";
    return result;
  }
  PlayerOptions o = p.o;
  auto number = [&](const std::string& text, std::int64_t max, const char* option) -> std::optional<std::int64_t> {
    std::int64_t v = -1;
    auto [q, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || q != text.data() + text.size() || v < 0 || v > max) {
      result.message =
          std::string(option) + " wants a number from 0 to " + std::to_string(max) + ", got \"" + text + "\"";
      return std::nullopt;
    }
    return v;
  };
  if (!p.max_ticks.empty()) {
    auto v = number(p.max_ticks, INT64_MAX, "--max-ticks");
    if (!v) return result;
    o.max_ticks = *v;
  }
  if (!p.seed.empty()) {
    auto v = number(p.seed, 4294967295LL, "--seed");
    if (!v) return result;
    o.seed = static_cast<std::uint32_t>(*v);
  }
  if (!p.date.empty()) {
    o.date = platform::parse_date_time(p.date);
    if (!o.date) {
      result.message = "--date wants \"YYYY-MM-DD HH:MM:SS[.mmm]\", got \"" + p.date + "\"";
      return result;
    }
  }
  if (o.surface_setting < 0 || o.surface_setting > 2) {
    result.message = "--surface wants 0, 1 or 2";
    return result;
  }
  if (p.answer != "yes" && p.answer != "no") {
    result.message = "--answer wants yes or no, got \"" + p.answer + "\"";
    return result;
  }
  o.answer_yes = p.answer == "yes";
  auto shots = [&](const std::vector<std::string>& given, std::vector<Screenshot>& out, const char* option) {
    for (const std::string& s : given) {
      auto colon = s.find(':');
      std::int64_t tick = -1;
      if (colon != std::string::npos) std::from_chars(s.data(), s.data() + colon, tick);
      if (colon == std::string::npos || tick < 0 || colon + 1 >= s.size()) {
        result.message = std::string(option) + " wants TICK:FILE, got \"" + s + "\"";
        return false;
      }
      out.push_back({tick, s.substr(colon + 1)});
    }
    return true;
  };
  if (!shots(p.screenshots, o.screenshots, "--screenshot") || !shots(p.window_shots, o.window_shots, "--window-shot")) {
    return result;
  }
  if (!p.scale.empty()) {
    o.player.scale = platform::parse_scale_mode(p.scale);
    if (!o.player.scale) {
      result.message = "--scale wants fit, integer, stretch or none, got \"" + p.scale + "\"";
      return result;
    }
  }
  if (!p.filter.empty()) {
    o.player.filter = platform::parse_scale_filter(p.filter);
    if (!o.player.filter) {
      result.message = "--filter wants auto, nearest or linear, got \"" + p.filter + "\"";
      return result;
    }
  }
  if (!p.window_scale.empty()) {
    auto v = number(p.window_scale, 16, "--window-scale");
    if (!v) return result;
    o.player.window_scale = static_cast<int>(*v);
  }
  if (!p.desktop_scale.empty()) {
    auto v = number(p.desktop_scale, 8, "--desktop-scale");
    if (!v || *v < 1) {
      result.message = "--desktop-scale wants a number from 1 to 8, got \"" + p.desktop_scale + "\"";
      return result;
    }
    o.desktop_scale = static_cast<int>(*v);
  }
  if (!p.window_size.empty()) {
    auto m = parse_display_mode(p.window_size + "x32");
    if (!m || m->width > 16384 || m->height > 16384) {
      result.message = "--window-size wants WIDTHxHEIGHT (1 to 16384 each), got \"" + p.window_size + "\"";
      return result;
    }
    o.window_size = platform::Size{m->width, m->height};
  }
  for (auto [text, out, option] : {std::tuple{&p.key_full_screen, &o.player.full_screen_keys, "--key-full-screen"},
                                   std::tuple{&p.key_screenshot, &o.player.screenshot_keys, "--key-screenshot"}}) {
    if (text->empty()) continue;
    *out = parse_key_bindings(*text);
    if (!*out) {
      result.message = std::string(option) + " wants keys like \"Alt+Return, F11\" or none, got \"" + *text + "\"";
      return result;
    }
  }
  if (!p.modes.empty()) {
    std::stringstream ss(p.modes);
    std::string item;
    while (std::getline(ss, item, ',')) {
      auto m = parse_display_mode(item);
      if (!m) {
        result.message = "--modes: bad display mode \"" + item + "\" (WIDTHxHEIGHTxBITS@HZ)";
        return result;
      }
      o.modes.push_back(*m);
    }
  }
  o.data.assign(args.begin() + static_cast<std::ptrdiff_t>(data_from), args.end());
  result.options = std::move(o);
  return result;
}

std::string help_text() {
  Parser p;
  return std::string(kUsage) + "\n" + p.app.help("", CLI::AppFormatMode::Normal);
}

}  // namespace nova::app
