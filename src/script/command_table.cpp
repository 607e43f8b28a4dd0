#include "script/command_table.h"

#include <array>

#include "core/error.h"
#include "core/sjis.h"

namespace nova::script {
namespace {

using K = FieldKind;

// Field layouts shared by several commands.
constexpr FieldSpec kCondition[] = {{K::Expression, "condition"}};
constexpr FieldSpec kExpression[] = {{K::Expression, "expression"}};
constexpr FieldSpec kComponent[] = {{K::Expression, "component"}};
constexpr FieldSpec kMessageBox[] = {{K::Expression, "box"}};
constexpr FieldSpec kName[] = {{K::String, "name"}};
constexpr FieldSpec kText[] = {{K::String, "text"}};
constexpr FieldSpec kPageTarget[] = {{K::String, "page"}, {K::Int, "index"}, {K::Expression, "condition"}};
constexpr FieldSpec kCall[] = {{K::String, "page"},
                               {K::Int, "index"},
                               {K::String, "result"},
                               {K::Expression, "condition"},
                               {K::ExpressionList, "arguments"}};
constexpr FieldSpec kWait[] = {
    {K::Expression, "condition"}, {K::Expression, "time"}, {K::Expression, "uninterruptible", 106}};
constexpr FieldSpec kFlip[] = {{K::Expression, "transition"},
                               {K::Expression, "duration"},
                               {K::Expression, "reverse"},
                               {K::Expression, "surface_mode"},
                               {K::ExpressionList, "names"},
                               {K::Expression, "clear_back"},
                               {K::Expression, "param1"},
                               {K::Expression, "param2"},
                               {K::Expression, "transition_text", 100},
                               {K::Expression, "uninterruptible", 106}};
constexpr FieldSpec kVarNew[] = {
    {K::String, "name"}, {K::Byte, "type"}, {K::Expression, "initial"}, {K::Byte, "scope"}};
constexpr FieldSpec kGetProp[] = {{K::Expression, "component"}, {K::Expression, "property"}, {K::String, "variable"}};
constexpr FieldSpec kSetProp[] = {{K::Expression, "component"}, {K::Expression, "property"}, {K::Expression, "value"}};
constexpr FieldSpec kTextIns[] = {{K::Text, "text"},
                                  {K::Expression, "box"},
                                  {K::Expression, "history"},
                                  {K::Expression, "wait"},
                                  {K::Expression, "uninterruptible", 106}};
constexpr FieldSpec kMovieStop[] = {{K::Expression, "component"},
                                    {K::Expression, "fade"},
                                    {K::Expression, "wait"},
                                    {K::Expression, "uninterruptible", 106}};
constexpr FieldSpec kCallHist[] = {{K::Expression, "box"},
                                   {K::Expression, "first"},
                                   {K::Expression, "count"},
                                   {K::Expression, "flag"},
                                   {K::Expression, "format", 110}};
constexpr FieldSpec kWhile[] = {{K::Expression, "condition"}, {K::Int, "exit_index"}};
constexpr FieldSpec kWhileLoop[] = {{K::Expression, "expression"}, {K::Int, "loop_index"}};
constexpr FieldSpec kLoopExit[] = {{K::Expression, "condition"}, {K::Int, "index"}};
constexpr FieldSpec kGameSave[] = {{K::Expression, "slot"},
                                   {K::String, "after_load_page"},
                                   {K::Int, "after_load_index", 104},
                                   {K::Expression, "caption"}};
constexpr FieldSpec kSlot[] = {{K::Expression, "slot"}};
constexpr FieldSpec kReset[] = {{K::String, "page"}, {K::Int, "index"}, {K::Byte, "full"}};
constexpr FieldSpec kPropMotion[] = {{K::Expression, "name"},       {K::Expression, "target"},
                                     {K::Expression, "property"},   {K::Expression, "end_value"},
                                     {K::Expression, "duration"},   {K::Expression, "motion_type"},
                                     {K::Expression, "paused", 107}};
constexpr FieldSpec kFormatHist[] = {{K::Expression, "component"}, {K::Expression, "format", 110}};
constexpr FieldSpec kCabinet[] = {{K::Expression, "mode"}, {K::ExpressionList, "names"}};

// The rows, in code order. Component commands (those with property
// expressions) are marked by the flag; the classes are the system's own.
const std::array<CommandSpec, kCommandCount> kCommands = {{
    {0, "If", "IF", "TComIf", false, kCondition},
    {1, "Elseif", "ELSE IF", "TComElseif", false, kCondition},
    {2, "Else", "ELSE", "TComElse", false, {}},
    {3, "Label", "ラベル", "TComLabel", false, kName},
    {4, "Jump", "ジャンプ", "TComJump", false, kPageTarget},
    {5, "Call", "コール", "TComCall", false, kCall},
    {6, "Exit", "リターン", "TComExit", false, kCondition},
    {7, "Wait", "ウエイト", "TComWait", false, kWait},
    {8, "BoxNew", "矩形サーフェス作成", "TComBoxNew", true, {}},
    {9, "ImgNew", "画像サーフェス作成", "TComImgNew", true, {}},
    {10, "MesNew", "メッセージボックス作成", "TComMesNew", true, {}},
    {11, "Timer", "タイマー", "TComTimer", true, {}},
    {12, "Movie", "ムービー再生", "TComMovie", true, {}},
    {13, "Flip", "フリップ", "TComFlip", false, kFlip},
    {14, "Calc", "計算", "TComCalc", false, kExpression},
    {15, "VarNew", "変数作成", "TComVarNew", false, kVarNew},
    {16, "VarDel", "変数削除", "TComVarDel", false, kName},
    {17, "GetProp", "プロパティ取得", "TComGetProp", false, kGetProp},
    {18, "SetProp", "プロパティ設定", "TComSetProp", false, kSetProp},
    {19, "ObjDel", "コンポーネント削除", "TComObjDel", false, kComponent},
    {20, "TextIns", "テキスト挿入", "TComTextIns", false, kTextIns},
    {21, "MovieStop", "メディア停止", "TComMovieStop", false, kMovieStop},
    {22, "ClrHist", "履歴クリア", "TComClrHist", false, {}},
    {23, "Cinema", "シネマサーフェス作成", "TComCinema", true, {}},
    {24, "Caption", "キャプション作成", "TComCaption", true, {}},
    {25, "Menu", "メニュー作成", "TComMenu", true, {}},
    {26, "MenuClose", "メニュークローズ", "TComMenuClose", false, kComponent},
    {27, "Comment", "コメント", "TComComment", false, kText},
    {28, "TextClr", "テキストクリア", "TComTextClr", false, kMessageBox},
    {29, "CallHist", "履歴呼出", "TComCallHist", false, kCallHist},
    {30, "Button", "ボタン作成", "TComBtnNew", true, {}},
    {31, "While", "ループ", "TComWhile", false, kWhile},
    {32, "WhileInit", "ループ初期化", "TComWhileInit", false, kExpression},
    {33, "WhileLoop", "ループ再初期化", "TComWhileLoop", false, kWhileLoop},
    {34, "Break", "ループ脱出", "TComBreak", false, kLoopExit},
    {35, "Continue", "ループ先頭へ", "TComContinue", false, kLoopExit},
    {36, "ParticleNew", "パーティクルサーフェス作成", "TComParticleNew", true, {}},
    {37, "FireNew", "炎サーフェス作成", "TComFireNew", true, {}},
    {38, "GameSave", "ゲームセーブ", "TComGameSave", false, kGameSave},
    {39, "GameLoad", "ゲームロード", "TComGameLoad", false, kSlot},
    {40, "PCReset", "PCリセット", "TComPCReset", false, kReset},
    {41, "Reset", "リセット", "TComReset", false, kReset},
    {42, "Sound", "サウンド再生", "TComSound", true, {}},
    {43, "EditNew", "エディット作成", "TComEditNew", true, {}},
    {44, "MemoNew", "メモ作成", "TComMemoNew", true, {}},
    {45, "Terminate", "終了", "TComTerminate", false, {}},
    {46, "DoEvent", "DoEvent", "TComDoEvent", false, {}},
    {47, "ClrRead", "既読クリア", "TComClrRead", false, {}},
    {48, "MapImgNew", "選択画像作成", "TComMapImgNew", true, {}},
    {49, "WaveNew", "ウエーブサーフェス作成", "TComWaveNew", true, {}},
    {50, "TileNew", "タイルサーフェス作成", "TComTileNew", true, {}},
    {51, "SliderNew", "スライダー作成", "TComSliderNew", true, {}},
    {52, "ScrollbarNew", "スクロールバー作成", "TComScrollbarNew", true, {}},
    {53, "GaugeNew", "ゲージ作成", "TComGaugeNew", true, {}},
    {54, "CGCaption", "画像キャプション作成", "TComCGCaption", true, {}},
    {55, "MediaPlay", "メディア再生", "TComMediaPlay", false, kComponent},
    {56, "PrevMenuNew", "プレビューメニュー作成", "TComPrevMenuNew", true, {}},
    {57, "PropMotion", "プロパティモーション", "TComPropMotion", false, kPropMotion},
    {58, "FormatHist", "履歴書式登録", "TComEntryHist", false, kFormatHist},
    {59, "SaveCabinet", "キャビネット保存", "TComCabinetSave", true, kCabinet},
    {60, "LoadCabinet", "キャビネット復帰", "TComCabinetLoad", true, kCabinet},
}};

}  // namespace

void throw_bad_command() { core::throw_error_utf8("不正なコマンド"); }

const CommandSpec& command_spec(int code) {
  if (code < 0 || code >= kCommandCount) throw_bad_command();
  return kCommands[static_cast<std::size_t>(code)];
}

std::optional<int> find_command(std::string_view name) {
  for (const CommandSpec& c : kCommands) {
    if (core::equal_ci(c.name, name)) return c.code;
  }
  return std::nullopt;
}

const std::string& display_name(int code) { return core::sjis(command_spec(code).display_utf8); }

}  // namespace nova::script
