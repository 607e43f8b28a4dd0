// The component type codes (LT_*). The code is one byte: PR_COMPOTYPE answers
// it, and a save stream or cabinet file writes it in front of every component
// record, so the numbers are part of the file formats. The factory creates a
// component from a stored byte; a type without a class yields nothing.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nova::components {

enum TComponentType : std::uint8_t {
  LT_NONE = 0,  // the screen bases, lists and auxiliary classes
  LT_AUDIO = 1,
  LT_BOX = 2,
  LT_BUTTON = 3,
  LT_CINEMA = 4,
  LT_EDIT = 5,
  LT_FIRE = 6,
  LT_HTTP = 7,
  LT_IMAGES = 8,
  LT_LABEL = 9,
  LT_MAP = 10,
  LT_MEMO = 11,
  LT_MENU = 12,
  LT_MES = 13,
  LT_PARTICLE = 14,
  LT_TIMER = 15,
  LT_VIDEO = 16,
  LT_SOUND = 17,
  LT_MAPIMG = 18,
  LT_WAVE = 19,
  LT_TILE = 20,
  LT_SLIDER = 21,
  LT_SCROLLBAR = 22,
  LT_GAUGE = 23,
  LT_CGLABEL = 24,
  LT_PREVMENU = 25,
  LT_PROPMOTION = 26,
  LT_CABINET = 27,
};

constexpr int kComponentTypeCount = 28;

struct TComponentTypeInfo {
  TComponentType type;
  std::string_view name;          // "LT_BOX"
  std::string_view display_utf8;  // fixed vocabulary of the authoring tools; UTF-8 here,
                                  // Shift-JIS through component_type_display_name()
  std::string_view class_name;    // the class the factory creates; empty: no class
  bool visual;                    // the class is a control (drawn, has a parent)
};

// One row per code, in code order.
inline constexpr std::array<TComponentTypeInfo, kComponentTypeCount> kComponentTypes = {{
    {LT_NONE, "LT_NONE", "なし", "", false},
    {LT_AUDIO, "LT_AUDIO", "オーディオ", "", false},
    {LT_BOX, "LT_BOX", "矩形サーフェス", "TNovaBox", true},
    {LT_BUTTON, "LT_BUTTON", "ボタン", "TNovaButton", true},
    {LT_CINEMA, "LT_CINEMA", "シネマサーフェス", "TNovaCinema", true},
    {LT_EDIT, "LT_EDIT", "エディット", "TNovaEdit", true},
    {LT_FIRE, "LT_FIRE", "炎サーフェス", "TNovaFire", true},
    {LT_HTTP, "LT_HTTP", "HTTP", "TNovaHttp", false},
    {LT_IMAGES, "LT_IMAGES", "画像サーフェス", "TNovaImages", true},
    {LT_LABEL, "LT_LABEL", "キャプション", "TNovaLabel", true},
    {LT_MAP, "LT_MAP", "マップ", "", false},
    {LT_MEMO, "LT_MEMO", "メモ", "TNovaMemo", true},
    {LT_MENU, "LT_MENU", "メニュー", "TNovaMenu", true},
    {LT_MES, "LT_MES", "メッセージボックス", "TNovaMes", true},
    {LT_PARTICLE, "LT_PARTICLE", "パーティクルサーフェス", "TNovaParticle", true},
    {LT_TIMER, "LT_TIMER", "タイマー", "TNovaTimer", false},
    {LT_VIDEO, "LT_VIDEO", "ムービー", "TNovaVideo", true},
    {LT_SOUND, "LT_SOUND", "サウンド", "TNovaSound", false},
    {LT_MAPIMG, "LT_MAPIMG", "選択画像", "TNovaMapImage", true},
    {LT_WAVE, "LT_WAVE", "ウェーブサーフェス", "TNovaWave", true},
    {LT_TILE, "LT_TILE", "タイルサーフェス", "TNovaTile", true},
    {LT_SLIDER, "LT_SLIDER", "スライダー", "TNovaSlider", true},
    {LT_SCROLLBAR, "LT_SCROLLBAR", "スクロールバー", "TNovaScrollbar", true},
    {LT_GAUGE, "LT_GAUGE", "ゲージ", "TNovaGauge", true},
    {LT_CGLABEL, "LT_CGLABEL", "画像キャプション", "TNovaCGLabel", true},
    {LT_PREVMENU, "LT_PREVMENU", "プレビューメニュー", "TNovaPrevMenu", true},
    {LT_PROPMOTION, "LT_PROPMOTION", "プロパティモーション", "TNovaPropMotion", false},
    {LT_CABINET, "LT_CABINET", "キャビネット", "TNovaCabinet", true},
}};

constexpr const TComponentTypeInfo& component_type_info(TComponentType t) { return kComponentTypes[t]; }

// True for a code with a row (0 ... 27).
constexpr bool is_component_type(std::uint8_t code) { return code < kComponentTypeCount; }

// The display name in Shift-JIS.
const std::string& component_type_display_name(TComponentType t);

// The type named `name`, compared without regard to case, with or without the
// "LT_" prefix ("LT_BOX", "box"). nullopt for an unknown name.
std::optional<TComponentType> find_component_type(std::string_view name);

// The type the factory creates for a stored type byte: the byte masked with
// 0x7F, when that type has a class. nullopt for 0, 1, 10 and anything above
// 27, which yield no component.
std::optional<TComponentType> factory_type(std::uint8_t stored);

}  // namespace nova::components
