#include "tools/toolchain/command_syntax.h"

#include <array>

#include "core/sjis.h"
#include "script/command_table.h"

namespace nova::tools {
namespace {

using U = FieldUse;
using F = FieldSyntax;

constexpr std::string_view kIf[] = {"if"};
constexpr std::string_view kName[] = {"name"};
constexpr std::string_view kTime[] = {"time"};
constexpr std::string_view kFlipValues[] = {"transition", "duration"};
constexpr std::string_view kExpression[] = {"expression"};
constexpr std::string_view kComponent[] = {"component"};
constexpr std::string_view kProp[] = {"component", "property", "variable"};
constexpr std::string_view kSetProp[] = {"component", "property", "value"};
constexpr std::string_view kBox[] = {"box"};
constexpr std::string_view kMovieStop[] = {"component", "fade"};
constexpr std::string_view kText[] = {"text"};
constexpr std::string_view kCallHist[] = {"box", "first", "count"};
constexpr std::string_view kSave[] = {"slot", "caption"};
constexpr std::string_view kSlot[] = {"slot"};
constexpr std::string_view kMotion[] = {"name", "target", "property", "end_value", "duration", "motion_type"};
constexpr std::string_view kFormat[] = {"component", "format"};

constexpr F kConditionF[] = {{"if", "condition"}};
constexpr F kJumpF[] = {{"page", "page", U::TargetPage}, {"index", "index", U::TargetIndex}, {"if", "condition"}};
constexpr F kCallF[] = {
    {"page", "page", U::TargetPage}, {"index", "index", U::TargetIndex}, {"if", "condition"}, {"args", "arguments"}};
constexpr F kWaitF[] = {{"while", "condition"}};
constexpr F kVarNewF[] = {{"type", "type", U::VarType}, {"scope", "scope", U::VarScope}};
constexpr F kGetPropF[] = {{"property", "property", U::Property}};
constexpr F kSetPropF[] = {{"property", "property", U::Property}, {"value", "value", U::PropertyValue}};
constexpr F kWhileF[] = {{"if", "condition"}, {"exit", "exit_index", U::LoopIndex}};
constexpr F kWhileLoopF[] = {{"loop", "loop_index", U::LoopIndex}};
constexpr F kLoopExitF[] = {{"if", "condition"}, {"to", "index", U::LoopIndex}};
constexpr F kGameSaveF[] = {{"after_load_page", "after_load_page", U::TargetPage},
                            {"after_load_index", "after_load_index", U::TargetIndex}};
constexpr F kResetF[] = {{"page", "page", U::TargetPage}, {"index", "index", U::TargetIndex}};
constexpr F kMotionF[] = {{"property", "property", U::Property},
                          {"end_value", "end_value", U::PropertyValue},
                          {"motion_type", "motion_type", U::PropertyValue}};

constexpr CommandSyntax plain(Form form, std::span<const std::string_view> positional = {},
                              std::span<const FieldSyntax> fields = {}, std::uint8_t cont = 1) {
  return {form, positional, fields, cont, false};
}
constexpr CommandSyntax block(std::span<const std::string_view> positional, std::span<const FieldSyntax> fields) {
  return {positional.empty() ? Form::None : Form::Rest, positional, fields, 1, true};
}
constexpr CommandSyntax component() { return {Form::ComponentName, kName, {}, 1, false}; }

const std::array<CommandSyntax, script::kCommandCount> kSyntax = {{
    block(kIf, kConditionF),                      // 0 If
    block(kIf, kConditionF),                      // 1 Elseif
    block({}, {}),                                // 2 Else
    plain(Form::Rest, kName),                     // 3 Label
    plain(Form::Target, {}, kJumpF),              // 4 Jump
    plain(Form::CallTarget, {}, kCallF),          // 5 Call
    plain(Form::None, {}, kConditionF),           // 6 Exit
    plain(Form::Values, kTime, kWaitF),           // 7 Wait
    component(),                                  // 8 BoxNew
    component(),                                  // 9 ImgNew
    component(),                                  // 10 MesNew
    component(),                                  // 11 Timer
    component(),                                  // 12 Movie
    plain(Form::Values, kFlipValues, {}, 0),      // 13 Flip
    plain(Form::Rest, kExpression),               // 14 Calc
    plain(Form::VarNew, {}, kVarNewF),            // 15 VarNew
    plain(Form::Rest, kName),                     // 16 VarDel
    plain(Form::Values, kProp, kGetPropF),        // 17 GetProp
    plain(Form::Values, kSetProp, kSetPropF),     // 18 SetProp
    plain(Form::Rest, kComponent),                // 19 ObjDel
    plain(Form::Values, kBox, {}, 0),             // 20 TextIns
    plain(Form::Values, kMovieStop, {}, 0),       // 21 MovieStop
    plain(Form::None),                            // 22 ClrHist
    component(),                                  // 23 Cinema
    component(),                                  // 24 Caption
    component(),                                  // 25 Menu
    plain(Form::Rest, kComponent),                // 26 MenuClose
    plain(Form::Rest, kText, {}, 0),              // 27 Comment
    plain(Form::Rest, kBox),                      // 28 TextClr
    plain(Form::Values, kCallHist),               // 29 CallHist
    component(),                                  // 30 Button
    block(kIf, kWhileF),                          // 31 While
    plain(Form::Rest, kExpression),               // 32 WhileInit
    plain(Form::Rest, kExpression, kWhileLoopF),  // 33 WhileLoop
    plain(Form::None, {}, kLoopExitF),            // 34 Break
    plain(Form::None, {}, kLoopExitF),            // 35 Continue
    component(),                                  // 36 ParticleNew
    component(),                                  // 37 FireNew
    plain(Form::Values, kSave, kGameSaveF, 0),    // 38 GameSave
    plain(Form::Rest, kSlot, {}, 0),              // 39 GameLoad
    plain(Form::Target, {}, kResetF),             // 40 PCReset
    plain(Form::Target, {}, kResetF),             // 41 Reset
    component(),                                  // 42 Sound
    component(),                                  // 43 EditNew
    component(),                                  // 44 MemoNew
    plain(Form::None),                            // 45 Terminate
    plain(Form::None, {}, {}, 0),                 // 46 DoEvent
    plain(Form::None),                            // 47 ClrRead
    component(),                                  // 48 MapImgNew
    component(),                                  // 49 WaveNew
    component(),                                  // 50 TileNew
    component(),                                  // 51 SliderNew
    component(),                                  // 52 ScrollbarNew
    component(),                                  // 53 GaugeNew
    component(),                                  // 54 CGCaption
    plain(Form::Rest, kComponent),                // 55 MediaPlay
    component(),                                  // 56 PrevMenuNew
    plain(Form::Values, kMotion, kMotionF),       // 57 PropMotion
    plain(Form::Values, kFormat),                 // 58 FormatHist
    component(),                                  // 59 SaveCabinet
    component(),                                  // 60 LoadCabinet
}};

}  // namespace

const CommandSyntax& command_syntax(int code) {
  script::command_spec(code);  // raises for a code that does not exist
  return kSyntax[static_cast<std::size_t>(code)];
}

std::optional<ResolvedField> find_source_field(int code, std::string_view source_name) {
  const CommandSyntax& syntax = command_syntax(code);
  const script::CommandSpec& spec = script::command_spec(code);
  for (const FieldSyntax& f : syntax.fields) {
    if (f.source_name != source_name) continue;
    for (std::size_t i = 0; i < spec.fields.size(); ++i) {
      if (spec.fields[i].name == f.table_name) return ResolvedField{i, f.use, f.source_name};
    }
  }
  for (std::size_t i = 0; i < spec.fields.size(); ++i) {
    if (spec.fields[i].name != source_name) continue;
    // A field the row renames is known only by its new name.
    bool renamed = false;
    for (const FieldSyntax& f : syntax.fields)
      renamed = renamed || (f.table_name == source_name && f.source_name != source_name);
    if (renamed) return std::nullopt;
    return ResolvedField{i, FieldUse::Plain, spec.fields[i].name};
  }
  return std::nullopt;
}

std::string_view source_name_of(int code, std::size_t table_index) {
  const script::CommandSpec& spec = script::command_spec(code);
  const std::string_view table_name = spec.fields[table_index].name;
  for (const FieldSyntax& f : command_syntax(code).fields) {
    if (f.table_name == table_name) return f.source_name;
  }
  return table_name;
}

FieldUse use_of(int code, std::size_t table_index) {
  const std::string_view table_name = script::command_spec(code).fields[table_index].name;
  for (const FieldSyntax& f : command_syntax(code).fields) {
    if (f.table_name == table_name) return f.use;
  }
  return FieldUse::Plain;
}

bool is_head_field(std::string_view name) {
  for (std::string_view h : kHeadFields) {
    if (h == name) return true;
  }
  return false;
}

bool condition_defaults_true(int code) {
  return code == script::CC_JUMP || code == script::CC_CALL || code == script::CC_EXIT || code == script::CC_BREAK ||
         code == script::CC_CONTINUE;
}

namespace {

std::optional<int> find_name(std::span<const std::string_view> names, std::string_view word) {
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (core::equal_ci(names[i], word)) return static_cast<int>(i);
  }
  return std::nullopt;
}

// The other spellings of the types, by code.
constexpr std::string_view kTypeAliases[] = {"", "integer", "real", "flag", "string"};

}  // namespace

std::optional<int> parse_type_name(std::string_view word) {
  if (auto code = find_name(kTypeNames, word)) return code;
  if (word.empty()) return std::nullopt;
  return find_name(kTypeAliases, word);
}

std::optional<int> parse_scope_name(std::string_view word) { return find_name(kScopeNames, word); }

}  // namespace nova::tools
