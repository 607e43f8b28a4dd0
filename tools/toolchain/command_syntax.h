// How each command is written in a page source: one row per command code,
// beside the command table of the script engine (script/command_table.h),
// whose field names the rows refer to.
//
// A command line is the command's name, then its positional values, then
// named fields after ";" (more named fields may follow on lines indented
// below it). The form says how the positional part is read:
//   None           nothing
//   Values         comma-separated values, one per listed field
//   Rest           the whole positional text is the one listed field
//   Target         PAGE, PAGE:LABEL, :LABEL, PAGE:#INDEX or :#INDEX
//   CallTarget     a target, optional "(arguments)" and "-> result"
//   VarNew         [scope] type name [= initial value]
//   ComponentName  the component's name (its NAME property)
// Every command also takes the head fields skip, continue, line, level and
// code_byte.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace nova::tools {

enum class Form : std::uint8_t { None, Values, Rest, Target, CallTarget, VarNew, ComponentName };

// What a field's value means beyond its stored kind.
enum class FieldUse : std::uint8_t {
  Plain,
  Property,       // an expression giving a property id: a property name stands for its id
  PropertyValue,  // an expression where the named constants (HA_CENTER ...) stand for their numbers
  TargetPage,     // the page of a target
  TargetIndex,    // the index of a target: from its label
  LoopIndex,      // an index the loop structure gives (While, WhileLoop, Break, Continue)
  VarType,        // int, float, bool, str or a number
  VarScope,       // global, auto, local, status or a number
};

struct FieldSyntax {
  std::string_view source_name;  // as sources write it
  std::string_view table_name;   // the command table's field
  FieldUse use = FieldUse::Plain;
};

struct CommandSyntax {
  Form form = Form::None;
  std::span<const std::string_view> positional;  // source names, for Values and Rest
  std::span<const FieldSyntax> fields;           // fields with a name or use of their own
  std::uint8_t continue_default = 1;
  bool opens_block = false;  // If, Elseif, Else, While: indented lines below are their block
};

const CommandSyntax& command_syntax(int code);

// The field of a code by its source name (the command table's name when the
// row does not rename it), or nullopt.
struct ResolvedField {
  std::size_t index;  // into the command table's fields
  FieldUse use;
  std::string_view source_name;
};
std::optional<ResolvedField> find_source_field(int code, std::string_view source_name);
// The source name of a command table field.
std::string_view source_name_of(int code, std::size_t table_index);
FieldUse use_of(int code, std::size_t table_index);

// Head fields every command takes.
inline constexpr std::string_view kHeadFields[] = {"skip", "continue", "line", "level", "code_byte"};
bool is_head_field(std::string_view name);

// Whether a command's condition is TRUE when the source gives none: an
// empty condition counts as false at run time, and these commands (Jump,
// Call, Exit, Break, Continue) are meant to act.
bool condition_defaults_true(int code);

// Variable types by their codes (none, int, float, bool, str) and scopes
// (global, auto, local, status), as sources and dumps write them.
inline constexpr std::string_view kTypeNames[] = {"none", "int", "float", "bool", "str"};
inline constexpr std::string_view kScopeNames[] = {"global", "auto", "local", "status"};
// The code of a type or scope name, without regard to case; a type may also
// be written integer, real, flag or string. nullopt for any other word.
std::optional<int> parse_type_name(std::string_view word);
std::optional<int> parse_scope_name(std::string_view word);

}  // namespace nova::tools
