#include "expr/kana.h"

#include <array>
#include <cstdint>

#include "core/sjis.h"

namespace nova::expr {

namespace {

// Full-width forms of ASCII 0x20 ... 0x7E.
constexpr std::array<std::uint16_t, 95> kAsciiToZen = {
    0x8140, 0x8149, 0x8168, 0x8194, 0x8190, 0x8193, 0x8195, 0x8166,  //   ! " # $ % & '
    0x8169, 0x816A, 0x8196, 0x817B, 0x8143, 0x817C, 0x8144, 0x815E,  // ( ) * + , - . /
    0x824F, 0x8250, 0x8251, 0x8252, 0x8253, 0x8254, 0x8255, 0x8256,  // 0 ... 7
    0x8257, 0x8258, 0x8146, 0x8147, 0x8183, 0x8181, 0x8184, 0x8148,  // 8 9 : ; < = > ?
    0x8197, 0x8260, 0x8261, 0x8262, 0x8263, 0x8264, 0x8265, 0x8266,  // @ A ... G
    0x8267, 0x8268, 0x8269, 0x826A, 0x826B, 0x826C, 0x826D, 0x826E,  // H ... O
    0x826F, 0x8270, 0x8271, 0x8272, 0x8273, 0x8274, 0x8275, 0x8276,  // P ... W
    0x8277, 0x8278, 0x8279, 0x816D, 0x818F, 0x816E, 0x814F, 0x8151,  // X Y Z [ \ ] ^ _
    0x8165, 0x8281, 0x8282, 0x8283, 0x8284, 0x8285, 0x8286, 0x8287,  // ` a ... g
    0x8288, 0x8289, 0x828A, 0x828B, 0x828C, 0x828D, 0x828E, 0x828F,  // h ... o
    0x8290, 0x8291, 0x8292, 0x8293, 0x8294, 0x8295, 0x8296, 0x8297,  // p ... w
    0x8298, 0x8299, 0x829A, 0x816F, 0x8162, 0x8170, 0x8160,          // x y z { | } ~
};

// Full-width forms of the half-width katakana and punctuation 0xA1 ... 0xDF.
constexpr std::array<std::uint16_t, 63> kKanaToZen = {
    0x8142, 0x8175, 0x8176, 0x8141, 0x8145, 0x8392, 0x8340,          // ｡ ｢ ｣ ､ ･ ｦ ｧ
    0x8342, 0x8344, 0x8346, 0x8348, 0x8383, 0x8385, 0x8387, 0x8362,  // ｨ ｩ ｪ ｫ ｬ ｭ ｮ ｯ
    0x815B, 0x8341, 0x8343, 0x8345, 0x8347, 0x8349, 0x834A, 0x834C,  // ｰ ｱ ｲ ｳ ｴ ｵ ｶ ｷ
    0x834E, 0x8350, 0x8352, 0x8354, 0x8356, 0x8358, 0x835A, 0x835C,  // ｸ ｹ ｺ ｻ ｼ ｽ ｾ ｿ
    0x835E, 0x8360, 0x8363, 0x8365, 0x8367, 0x8369, 0x836A, 0x836B,  // ﾀ ﾁ ﾂ ﾃ ﾄ ﾅ ﾆ ﾇ
    0x836C, 0x836D, 0x836E, 0x8371, 0x8374, 0x8377, 0x837A, 0x837D,  // ﾈ ﾉ ﾊ ﾋ ﾌ ﾍ ﾎ ﾏ
    0x837E, 0x8380, 0x8381, 0x8382, 0x8384, 0x8386, 0x8388, 0x8389,  // ﾐ ﾑ ﾒ ﾓ ﾔ ﾕ ﾖ ﾗ
    0x838A, 0x838B, 0x838C, 0x838D, 0x838F, 0x8393, 0x814A, 0x814B,  // ﾘ ﾙ ﾚ ﾛ ﾜ ﾝ ﾞ ﾟ
};

constexpr std::uint8_t kVoiced = 0xDE;
constexpr std::uint8_t kSemiVoiced = 0xDF;

void put_code(std::string& out, std::uint16_t code) {
  out.push_back(static_cast<char>(code >> 8));
  out.push_back(static_cast<char>(code & 0xFF));
}

struct ZenEntry {
  std::uint16_t zen;
  char han[2];  // second byte 0 when the half-width form is one byte
};

// The full-width to half-width table: the inverse of han_to_zen plus the
// left double quotation mark, with the voiced katakana spelled as two bytes.
// Full-width vu (0x8394) has no entry.
constexpr std::array<ZenEntry, 184> make_zen_table() {
  std::array<ZenEntry, 184> t{};
  std::size_t n = 0;
  for (int c = 0x20; c <= 0x7E; ++c) {
    t[n++] = {kAsciiToZen[static_cast<std::size_t>(c - 0x20)], {static_cast<char>(c), 0}};
    if (c == '"') t[n++] = {0x8167, {'"', 0}};
  }
  for (int c = 0xA1; c <= 0xDF; ++c) {
    std::uint16_t zen = kKanaToZen[static_cast<std::size_t>(c - 0xA1)];
    t[n++] = {zen, {static_cast<char>(c), 0}};
    if ((c >= 0xB6 && c <= 0xC4) || (c >= 0xCA && c <= 0xCE)) {
      t[n++] = {static_cast<std::uint16_t>(zen + 1), {static_cast<char>(c), static_cast<char>(kVoiced)}};
    }
    if (c >= 0xCA && c <= 0xCE) {
      t[n++] = {static_cast<std::uint16_t>(zen + 2), {static_cast<char>(c), static_cast<char>(kSemiVoiced)}};
    }
  }
  return t;
}

constexpr std::array<ZenEntry, 184> kZenTable = make_zen_table();

}  // namespace

std::string han_to_zen(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t len = core::char_length(text, pos);
    if (len == 2) {
      out.append(text.substr(pos, 2));
      pos += 2;
      continue;
    }
    std::uint8_t b = static_cast<std::uint8_t>(text[pos]);
    ++pos;
    if (b >= 0x20 && b <= 0x7E) {
      put_code(out, kAsciiToZen[b - 0x20]);
    } else if (b >= 0xA1 && b <= 0xDF) {
      std::uint16_t code = kKanaToZen[b - 0xA1];
      std::uint8_t next = pos < text.size() ? static_cast<std::uint8_t>(text[pos]) : 0;
      bool ka_to_to = b >= 0xB6 && b <= 0xC4;
      bool ha_row = b >= 0xCA && b <= 0xCE;
      if (next == kVoiced && (ka_to_to || ha_row)) {
        code = static_cast<std::uint16_t>(code + 1);
        ++pos;
      } else if (next == kSemiVoiced && ha_row) {
        code = static_cast<std::uint16_t>(code + 2);
        ++pos;
      }
      put_code(out, code);
    }
    // Everything else (control characters, 0x7F, 0x80, 0xA0, a lone lead
    // byte, 0xFD and above) has no full-width form and is dropped.
  }
  return out;
}

std::string zen_to_han(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t len = core::char_length(text, pos);
    if (len == 1) {
      out.push_back(text[pos]);
    } else {
      std::uint16_t code = core::char_code_at(text, pos);
      for (const ZenEntry& e : kZenTable) {
        if (e.zen == code) {
          out.push_back(e.han[0]);
          if (e.han[1]) out.push_back(e.han[1]);
          break;
        }
      }
    }
    pos += len;
  }
  return out;
}

std::string euc_to_sjis(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::uint8_t b1 = static_cast<std::uint8_t>(text[i]);
    if (b1 == 0) {
      out.push_back(' ');
    } else if (b1 <= 0x80 || b1 == 0xFF) {
      out.push_back(static_cast<char>(b1));
    } else if (b1 == 0x8E) {
      if (i + 1 < text.size()) out.push_back(text[++i]);
    } else {
      if (i + 1 >= text.size()) break;
      std::uint8_t b2 = static_cast<std::uint8_t>(text[++i]);
      int j1 = b1 & 0x7F, j2 = b2 & 0x7F;
      int s1 = (j1 + 1) / 2 + (j1 <= 94 ? 112 : 176);
      int s2 = j2 + (j1 % 2 == 0 ? 126 : (j2 < 96 ? 31 : 32));
      out.push_back(static_cast<char>(s1 & 0xFF));
      out.push_back(static_cast<char>(s2 & 0xFF));
    }
  }
  return out;
}

}  // namespace nova::expr
