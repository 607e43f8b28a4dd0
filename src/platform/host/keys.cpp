#include "platform/keys.h"

#include <array>
#include <charconv>
#include <string>

namespace nova::platform {
namespace {

struct Named {
  int code;
  std::string_view name;
};

constexpr std::array kNamed = {
    Named{vk::LBUTTON, "LBUTTON"},
    Named{vk::RBUTTON, "RBUTTON"},
    Named{vk::CANCEL, "CANCEL"},
    Named{vk::MBUTTON, "MBUTTON"},
    Named{vk::BACK, "BACK"},
    Named{vk::TAB, "TAB"},
    Named{vk::CLEAR, "CLEAR"},
    Named{vk::RETURN, "RETURN"},
    Named{vk::SHIFT, "SHIFT"},
    Named{vk::CONTROL, "CONTROL"},
    Named{vk::MENU, "MENU"},
    Named{vk::PAUSE, "PAUSE"},
    Named{vk::CAPITAL, "CAPITAL"},
    Named{vk::KANA, "KANA"},
    Named{vk::KANJI, "KANJI"},
    Named{vk::ESCAPE, "ESCAPE"},
    Named{vk::CONVERT, "CONVERT"},
    Named{vk::NONCONVERT, "NONCONVERT"},
    Named{vk::SPACE, "SPACE"},
    Named{vk::PRIOR, "PRIOR"},
    Named{vk::NEXT, "NEXT"},
    Named{vk::END, "END"},
    Named{vk::HOME, "HOME"},
    Named{vk::LEFT, "LEFT"},
    Named{vk::UP, "UP"},
    Named{vk::RIGHT, "RIGHT"},
    Named{vk::DOWN, "DOWN"},
    Named{vk::SELECT, "SELECT"},
    Named{vk::PRINT, "PRINT"},
    Named{vk::EXECUTE, "EXECUTE"},
    Named{vk::SNAPSHOT, "SNAPSHOT"},
    Named{vk::INSERT, "INSERT"},
    Named{vk::DELETE_, "DELETE"},
    Named{vk::HELP, "HELP"},
    Named{vk::LWIN, "LWIN"},
    Named{vk::RWIN, "RWIN"},
    Named{vk::APPS, "APPS"},
    Named{vk::SLEEP, "SLEEP"},
    Named{vk::MULTIPLY, "MULTIPLY"},
    Named{vk::ADD, "ADD"},
    Named{vk::SEPARATOR, "SEPARATOR"},
    Named{vk::SUBTRACT, "SUBTRACT"},
    Named{vk::DECIMAL, "DECIMAL"},
    Named{vk::DIVIDE, "DIVIDE"},
    Named{vk::NUMLOCK, "NUMLOCK"},
    Named{vk::SCROLL, "SCROLL"},
    Named{vk::LSHIFT, "LSHIFT"},
    Named{vk::RSHIFT, "RSHIFT"},
    Named{vk::LCONTROL, "LCONTROL"},
    Named{vk::RCONTROL, "RCONTROL"},
    Named{vk::LMENU, "LMENU"},
    Named{vk::RMENU, "RMENU"},
    Named{vk::OEM_1, "OEM_1"},
    Named{vk::OEM_PLUS, "OEM_PLUS"},
    Named{vk::OEM_COMMA, "OEM_COMMA"},
    Named{vk::OEM_MINUS, "OEM_MINUS"},
    Named{vk::OEM_PERIOD, "OEM_PERIOD"},
    Named{vk::OEM_2, "OEM_2"},
    Named{vk::OEM_3, "OEM_3"},
    Named{vk::OEM_4, "OEM_4"},
    Named{vk::OEM_5, "OEM_5"},
    Named{vk::OEM_6, "OEM_6"},
    Named{vk::OEM_7, "OEM_7"},
    Named{vk::OEM_102, "OEM_102"},
};

// Names of the ranges, built once.
const std::array<std::string, 256>& range_names() {
  static const std::array<std::string, 256> names = [] {
    std::array<std::string, 256> n;
    for (int i = 0; i < 10; ++i)
      n[static_cast<std::size_t>(vk::KEY_0 + i)] = std::string(1, static_cast<char>('0' + i));
    for (int i = 0; i < 26; ++i)
      n[static_cast<std::size_t>(vk::KEY_A + i)] = std::string(1, static_cast<char>('A' + i));
    for (int i = 0; i < 10; ++i) n[static_cast<std::size_t>(vk::NUMPAD0 + i)] = "NUMPAD" + std::to_string(i);
    for (int i = 0; i < 24; ++i) n[static_cast<std::size_t>(vk::F1 + i)] = "F" + std::to_string(i + 1);
    return n;
  }();
  return names;
}

bool iequal(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

}  // namespace

std::string_view vk_name(int code) {
  if (code < 0 || code > 255) return {};
  for (const auto& n : kNamed) {
    if (n.code == code) return n.name;
  }
  return range_names()[static_cast<std::size_t>(code)];
}

int vk_from_name(std::string_view name) {
  if (name.size() > 3 && iequal(name.substr(0, 3), "VK_")) name.remove_prefix(3);
  if (name.empty()) return -1;
  if (name.size() > 2 && name[0] == '0' && (name[1] == 'x' || name[1] == 'X')) {
    int v = 0;
    auto [p, ec] = std::from_chars(name.data() + 2, name.data() + name.size(), v, 16);
    return (ec == std::errc() && p == name.data() + name.size() && v >= 0 && v <= 255) ? v : -1;
  }
  if (name.size() > 1 && name[0] >= '0' && name[0] <= '9') {
    int v = 0;
    auto [p, ec] = std::from_chars(name.data(), name.data() + name.size(), v);
    return (ec == std::errc() && p == name.data() + name.size() && v >= 0 && v <= 255) ? v : -1;
  }
  if (iequal(name, "DEL")) return vk::DELETE_;
  if (iequal(name, "ENTER")) return vk::RETURN;
  if (iequal(name, "ESC")) return vk::ESCAPE;
  for (int code = 0; code < 256; ++code) {
    std::string_view n = vk_name(code);
    if (!n.empty() && iequal(n, name)) return code;
  }
  return -1;
}

}  // namespace nova::platform
