#include "platform/headless/input_script.h"

#include <algorithm>
#include <charconv>
#include <string>

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/keys.h"

namespace nova::platform {
namespace {

std::vector<std::string_view> split_words(std::string_view line, std::size_t max_words) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= line.size()) break;
    if (words.size() + 1 == max_words) {
      words.push_back(line.substr(i));
      break;
    }
    std::size_t j = i;
    while (j < line.size() && line[j] != ' ' && line[j] != '\t') ++j;
    words.push_back(line.substr(i, j - i));
    i = j;
  }
  return words;
}

template <typename T>
bool parse_number(std::string_view s, T& out) {
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
  return ec == std::errc() && p == s.data() + s.size();
}

}  // namespace

std::vector<ScriptedEvent> parse_input_script(std::string_view text) {
  std::vector<ScriptedEvent> events;
  int line_no = 0;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    std::string_view line = text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
    pos = end == std::string_view::npos ? text.size() : end + 1;
    ++line_no;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    auto fail = [&](const std::string& why) {
      throw PlatformError("input script line " + std::to_string(line_no) + ": " + why + ": " + std::string(line));
    };
    auto words = split_words(line, 0);
    if (words.empty() || words[0].front() == '#') continue;
    if (words.size() < 2) fail("expected a tick and an event");
    ScriptedEvent se;
    if (!parse_number(words[0], se.tick) || se.tick < 0) fail("bad tick");
    std::string_view what = words[1];
    Event& e = se.event;
    auto need = [&](std::size_t n) {
      if (words.size() != n) fail("wrong number of fields");
    };
    if (what == "mouse" || what == "wmouse") {
      need(4);
      e.type = EventType::MouseMove;
      se.in_window_pixels = what == "wmouse";
      if (!parse_number(words[2], e.x) || !parse_number(words[3], e.y)) fail("bad coordinates");
    } else if (what == "ldown" || what == "lup" || what == "rdown" || what == "rup" || what == "mdown" ||
               what == "mup") {
      need(2);
      e.type = what.substr(1) == "down" ? EventType::MouseDown : EventType::MouseUp;
      e.button = what[0] == 'l' ? MouseButton::Left : (what[0] == 'r' ? MouseButton::Right : MouseButton::Middle);
    } else if (what == "wheel") {
      need(3);
      int notches = 0;
      // A wheel event carries notches × 120 in an int; far more notches than
      // any hand turns at once would overflow it.
      constexpr int kMaxNotches = 10000;
      if (!parse_number(words[2], notches) || notches < -kMaxNotches || notches > kMaxNotches) {
        fail("bad wheel count (-10000 to 10000)");
      }
      e.type = EventType::MouseWheel;
      e.wheel = notches * 120;
    } else if (what == "key") {
      // An optional fifth word holds the modifiers held: "alt", "ctrl+shift".
      if (words.size() != 4 && words.size() != 5) fail("wrong number of fields");
      if (words.size() == 5) {
        std::string_view mods = words[4];
        while (!mods.empty()) {
          const std::size_t plus = mods.find('+');
          const std::string_view m = mods.substr(0, plus);
          if (m == "alt")
            e.modifiers |= modifier::Alt;
          else if (m == "ctrl")
            e.modifiers |= modifier::Control;
          else if (m == "shift")
            e.modifiers |= modifier::Shift;
          else
            fail("unknown modifier");
          mods = plus == std::string_view::npos ? std::string_view{} : mods.substr(plus + 1);
        }
      }
      e.key = vk_from_name(words[2]);
      if (e.key < 0) fail("unknown key");
      if (words[3] == "down")
        e.type = EventType::KeyDown;
      else if (words[3] == "repeat") {
        e.type = EventType::KeyDown;
        e.repeat = true;
      } else if (words[3] == "up")
        e.type = EventType::KeyUp;
      else
        fail("expected down, up or repeat");
    } else if (what == "text") {
      auto rest = split_words(line, 3);
      if (rest.size() != 3) fail("expected text");
      e.type = EventType::TextInput;
      e.text = codepage::from_utf8_lossy(rest[2]);
    } else if (what == "activate" || what == "deactivate" || what == "close") {
      need(2);
      e.type =
          what == "activate" ? EventType::Activate : (what == "deactivate" ? EventType::Deactivate : EventType::Close);
    } else {
      fail("unknown event");
    }
    events.push_back(std::move(se));
  }
  std::stable_sort(events.begin(), events.end(), [](const auto& a, const auto& b) { return a.tick < b.tick; });
  return events;
}

}  // namespace nova::platform
