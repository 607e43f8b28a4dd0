// Keys are Windows virtual-key codes throughout the system: scripts test them
// by number (@KeyDown and friends), so every backend maps its keys onto these.
#pragma once

#include <cstdint>
#include <string_view>

namespace nova::platform {

namespace vk {
constexpr int LBUTTON = 0x01, RBUTTON = 0x02, CANCEL = 0x03, MBUTTON = 0x04;
constexpr int BACK = 0x08, TAB = 0x09, CLEAR = 0x0C, RETURN = 0x0D;
constexpr int SHIFT = 0x10, CONTROL = 0x11, MENU = 0x12, PAUSE = 0x13, CAPITAL = 0x14;
constexpr int KANA = 0x15, KANJI = 0x19, ESCAPE = 0x1B, CONVERT = 0x1C, NONCONVERT = 0x1D;
constexpr int SPACE = 0x20, PRIOR = 0x21, NEXT = 0x22, END = 0x23, HOME = 0x24;
constexpr int LEFT = 0x25, UP = 0x26, RIGHT = 0x27, DOWN = 0x28;
constexpr int SELECT = 0x29, PRINT = 0x2A, EXECUTE = 0x2B, SNAPSHOT = 0x2C, INSERT = 0x2D, DELETE_ = 0x2E, HELP = 0x2F;
constexpr int KEY_0 = 0x30;  // '0'..'9' are 0x30..0x39
constexpr int KEY_A = 0x41;  // 'A'..'Z' are 0x41..0x5A
constexpr int LWIN = 0x5B, RWIN = 0x5C, APPS = 0x5D, SLEEP = 0x5F;
constexpr int NUMPAD0 = 0x60;  // ..NUMPAD9 = 0x69
constexpr int MULTIPLY = 0x6A, ADD = 0x6B, SEPARATOR = 0x6C, SUBTRACT = 0x6D, DECIMAL = 0x6E, DIVIDE = 0x6F;
constexpr int F1 = 0x70;  // ..F24 = 0x87
constexpr int NUMLOCK = 0x90, SCROLL = 0x91;
constexpr int LSHIFT = 0xA0, RSHIFT = 0xA1, LCONTROL = 0xA2, RCONTROL = 0xA3, LMENU = 0xA4, RMENU = 0xA5;
constexpr int OEM_1 = 0xBA, OEM_PLUS = 0xBB, OEM_COMMA = 0xBC, OEM_MINUS = 0xBD, OEM_PERIOD = 0xBE, OEM_2 = 0xBF;
constexpr int OEM_3 = 0xC0, OEM_4 = 0xDB, OEM_5 = 0xDC, OEM_6 = 0xDD, OEM_7 = 0xDE, OEM_102 = 0xE2;
}  // namespace vk

// The conventional name of a virtual-key code ("RETURN", "A", "F5", "NUMPAD3"),
// or an empty view for codes without one. Used by the scripted input parser
// and in logs.
std::string_view vk_name(int code);

// The code for a name as vk_name gives it (case-insensitive), also accepting
// "VK_" prefixes, single letters and digits, and decimal or 0x-hex numbers.
// Returns -1 for an unknown name.
int vk_from_name(std::string_view name);

}  // namespace nova::platform
