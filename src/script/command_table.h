// The command set as data: one row per command code (0 ... 60) with its
// name, the name authors see, its class and the layout of its record.
//
// A page stores each command as a code byte, the common head and then the
// command's own fields in the order listed here. The reader and the writer
// of command records (command_record.h) walk these rows, so a layout is
// stated once; the toolchain names fields by the names given here.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace nova::script {

// The number of command codes (0 ... 60).
constexpr int kCommandCount = 61;
// Property ids 0 ... 164 exist; a property set has room for 168.
constexpr int kPropertyIdCount = 165;
constexpr int kPropertySetBytes = 21;

enum class FieldKind : std::uint8_t {
  Expression,      // one compiled expression stream
  String,          // int32 length, then the bytes
  Int,             // int32
  Byte,            // one byte
  ExpressionList,  // int32 count, then that many expressions
  Text,            // int32 size, then that many bytes (the glyph stream of a text command)
};

struct FieldSpec {
  FieldKind kind;
  std::string_view name;
  // The field is stored only in pages whose version is above this one; -1
  // for fields every version stores. Absent fields read as an empty
  // expression, an empty list, an empty string or 0.
  int above_version = -1;

  bool present_in(int page_version) const { return above_version < 0 || page_version > above_version; }
};

// Codes of the commands other code names directly.
enum CommandCode : std::uint8_t {
  CC_IF = 0,
  CC_ELSEIF = 1,
  CC_ELSE = 2,
  CC_LABEL = 3,
  CC_JUMP = 4,
  CC_CALL = 5,
  CC_EXIT = 6,
  CC_WAIT = 7,
  CC_BOXNEW = 8,
  CC_FLIP = 13,
  CC_CALC = 14,
  CC_VARNEW = 15,
  CC_VARDEL = 16,
  CC_TEXTINS = 20,
  CC_MOVIESTOP = 21,
  CC_COMMENT = 27,
  CC_WHILE = 31,
  CC_WHILEINIT = 32,
  CC_WHILELOOP = 33,
  CC_BREAK = 34,
  CC_CONTINUE = 35,
  CC_GAMESAVE = 38,
  CC_GAMELOAD = 39,
  CC_PCRESET = 40,
  CC_RESET = 41,
  CC_TERMINATE = 45,
  CC_DOEVENT = 46,
  CC_SAVECABINET = 59,
  CC_LOADCABINET = 60,
};

struct CommandSpec {
  std::uint8_t code;
  std::string_view name;          // "If", "Jump", "BoxNew" ... (ASCII)
  std::string_view display_utf8;  // the authors' name, in UTF-8 here; display_name() gives Shift-JIS
  std::string_view class_name;    // "TComIf" ...
  // Component commands store one expression per property of the page's
  // property set for their code, before their other fields.
  bool has_properties;
  std::span<const FieldSpec> fields;
};

// The row of a code; raises "不正なコマンド" for a code above 60.
const CommandSpec& command_spec(int code);
// The row of a command name (without regard to case), or nullopt.
std::optional<int> find_command(std::string_view name);
// The authors' name of a code in Shift-JIS ("IF", "ジャンプ" ...).
const std::string& display_name(int code);

// Raises "不正なコマンド".
[[noreturn]] void throw_bad_command();

}  // namespace nova::script
