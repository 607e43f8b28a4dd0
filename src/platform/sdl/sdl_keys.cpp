#include "platform/sdl/sdl_keys.h"

#include <SDL.h>

#include "platform/keys.h"

namespace nova::platform {

int vk_from_sdl(int scancode, int keycode) {
  if (keycode >= 'a' && keycode <= 'z') return vk::KEY_A + (keycode - 'a');
  if (keycode >= '0' && keycode <= '9' && !(scancode >= SDL_SCANCODE_KP_1 && scancode <= SDL_SCANCODE_KP_0)) {
    return vk::KEY_0 + (keycode - '0');
  }
  auto sc = static_cast<SDL_Scancode>(scancode);
  if (sc >= SDL_SCANCODE_A && sc <= SDL_SCANCODE_Z) return vk::KEY_A + (sc - SDL_SCANCODE_A);
  if (sc >= SDL_SCANCODE_1 && sc <= SDL_SCANCODE_9) return vk::KEY_0 + 1 + (sc - SDL_SCANCODE_1);
  if (sc == SDL_SCANCODE_0) return vk::KEY_0;
  if (sc >= SDL_SCANCODE_F1 && sc <= SDL_SCANCODE_F12) return vk::F1 + (sc - SDL_SCANCODE_F1);
  if (sc >= SDL_SCANCODE_F13 && sc <= SDL_SCANCODE_F24) return vk::F1 + 12 + (sc - SDL_SCANCODE_F13);
  if (sc >= SDL_SCANCODE_KP_1 && sc <= SDL_SCANCODE_KP_9) return vk::NUMPAD0 + 1 + (sc - SDL_SCANCODE_KP_1);
  switch (sc) {
    case SDL_SCANCODE_KP_0: return vk::NUMPAD0;
    case SDL_SCANCODE_RETURN:
    case SDL_SCANCODE_KP_ENTER:
    case SDL_SCANCODE_RETURN2: return vk::RETURN;
    case SDL_SCANCODE_ESCAPE: return vk::ESCAPE;
    case SDL_SCANCODE_BACKSPACE: return vk::BACK;
    case SDL_SCANCODE_TAB: return vk::TAB;
    case SDL_SCANCODE_SPACE: return vk::SPACE;
    case SDL_SCANCODE_MINUS: return vk::OEM_MINUS;
    case SDL_SCANCODE_EQUALS: return vk::OEM_PLUS;
    case SDL_SCANCODE_LEFTBRACKET: return vk::OEM_4;
    case SDL_SCANCODE_RIGHTBRACKET: return vk::OEM_6;
    case SDL_SCANCODE_BACKSLASH: return vk::OEM_5;
    case SDL_SCANCODE_NONUSHASH: return vk::OEM_5;
    case SDL_SCANCODE_SEMICOLON: return vk::OEM_1;
    case SDL_SCANCODE_APOSTROPHE: return vk::OEM_7;
    case SDL_SCANCODE_GRAVE: return vk::OEM_3;
    case SDL_SCANCODE_COMMA: return vk::OEM_COMMA;
    case SDL_SCANCODE_PERIOD: return vk::OEM_PERIOD;
    case SDL_SCANCODE_SLASH: return vk::OEM_2;
    case SDL_SCANCODE_NONUSBACKSLASH: return vk::OEM_102;
    case SDL_SCANCODE_INTERNATIONAL1: return vk::OEM_102;  // the "ろ" key of Japanese keyboards
    case SDL_SCANCODE_INTERNATIONAL3: return vk::OEM_5;    // the yen key
    case SDL_SCANCODE_INTERNATIONAL4: return vk::CONVERT;
    case SDL_SCANCODE_INTERNATIONAL5: return vk::NONCONVERT;
    case SDL_SCANCODE_INTERNATIONAL2: return vk::KANA;
    case SDL_SCANCODE_LANG1: return vk::KANA;
    case SDL_SCANCODE_LANG2: return vk::KANJI;
    case SDL_SCANCODE_CAPSLOCK: return vk::CAPITAL;
    case SDL_SCANCODE_PRINTSCREEN: return vk::SNAPSHOT;
    case SDL_SCANCODE_SCROLLLOCK: return vk::SCROLL;
    case SDL_SCANCODE_PAUSE: return vk::PAUSE;
    case SDL_SCANCODE_INSERT: return vk::INSERT;
    case SDL_SCANCODE_HOME: return vk::HOME;
    case SDL_SCANCODE_PAGEUP: return vk::PRIOR;
    case SDL_SCANCODE_DELETE: return vk::DELETE_;
    case SDL_SCANCODE_END: return vk::END;
    case SDL_SCANCODE_PAGEDOWN: return vk::NEXT;
    case SDL_SCANCODE_RIGHT: return vk::RIGHT;
    case SDL_SCANCODE_LEFT: return vk::LEFT;
    case SDL_SCANCODE_DOWN: return vk::DOWN;
    case SDL_SCANCODE_UP: return vk::UP;
    case SDL_SCANCODE_NUMLOCKCLEAR: return vk::NUMLOCK;
    case SDL_SCANCODE_KP_DIVIDE: return vk::DIVIDE;
    case SDL_SCANCODE_KP_MULTIPLY: return vk::MULTIPLY;
    case SDL_SCANCODE_KP_MINUS: return vk::SUBTRACT;
    case SDL_SCANCODE_KP_PLUS: return vk::ADD;
    case SDL_SCANCODE_KP_PERIOD: return vk::DECIMAL;
    case SDL_SCANCODE_KP_COMMA: return vk::SEPARATOR;
    case SDL_SCANCODE_APPLICATION: return vk::APPS;
    case SDL_SCANCODE_LCTRL:
    case SDL_SCANCODE_RCTRL: return vk::CONTROL;
    case SDL_SCANCODE_LSHIFT:
    case SDL_SCANCODE_RSHIFT: return vk::SHIFT;
    case SDL_SCANCODE_LALT:
    case SDL_SCANCODE_RALT: return vk::MENU;
    case SDL_SCANCODE_LGUI: return vk::LWIN;
    case SDL_SCANCODE_RGUI: return vk::RWIN;
    case SDL_SCANCODE_CLEAR: return vk::CLEAR;
    case SDL_SCANCODE_HELP: return vk::HELP;
    case SDL_SCANCODE_SELECT: return vk::SELECT;
    case SDL_SCANCODE_EXECUTE: return vk::EXECUTE;
    case SDL_SCANCODE_SLEEP: return vk::SLEEP;
    default: return 0;
  }
}

}  // namespace nova::platform
