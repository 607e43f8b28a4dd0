// The property table: the 165 component properties (PR_*) through which
// scripts read and write every component attribute. A property's id is its
// position in the table, and page files store ids (in property sets and in
// the GetProp and SetProp arguments), so the order is part of the file
// formats. One row per property says what the toolchain, the expression
// compiler and the component commands need: the name, the display name of the
// authoring tools, the value type, which component types implement it, how
// writes are treated, the default a component that does not implement it
// reports, and how a creating command reads it when its expression yields no
// value.
//
// The table is constant data; it holds no state and needs no set-up.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "components/component_types.h"
#include "expr/sys_func_man.h"
#include "expr/types.h"

namespace nova::components {

enum TPropId : std::uint8_t {
  PR_NAME = 0,
  PR_PARENT = 1,
  PR_SOURCE = 2,
  PR_LEFT = 3,
  PR_TOP = 4,
  PR_WIDTH = 5,
  PR_HEIGHT = 6,
  PR_ZOOMX = 7,
  PR_COLOR = 8,
  PR_BORDERWIDTH = 9,
  PR_BORDERCOLOR = 10,
  PR_ALPHA = 11,
  PR_PRIORITY = 12,
  PR_OFFSETX = 13,
  PR_OFFSETY = 14,
  PR_FONTNAME = 15,
  PR_FONTHEIGHT = 16,
  PR_FONTSTYLE = 17,
  PR_LINESPACE = 18,
  PR_FONTCOLOR = 19,
  PR_FONTLINKCOLOR = 20,
  PR_FONTBORDERCOLOR = 21,
  PR_FONTHOVERCOLOR = 22,
  PR_FONTHOVERSTYLE = 23,
  PR_HOVERCOLOR = 24,
  PR_ANTIALIAS = 25,
  PR_DELAY = 26,
  PR_PAUSED = 27,
  PR_VOLUME = 28,
  PR_REPEAT = 29,
  PR_BALANCE = 30,
  PR_ANGLE = 31,
  PR_ONPLAYING = 32,
  PR_ONNOTIFY = 33,
  PR_ONMOUSEMOVE = 34,
  PR_ONMOUSEOUT = 35,
  PR_ONLBTNDOWN = 36,
  PR_ONLBTNUP = 37,
  PR_ONRBTNDOWN = 38,
  PR_ONRBTNUP = 39,
  PR_ONWHEELDOWN = 40,
  PR_ONWHEELUP = 41,
  PR_BRIGHTNESS = 42,
  PR_ONPLAYEND = 43,
  PR_INDEX = 44,
  PR_COUNT = 45,
  PR_ONLINK = 46,
  PR_VISIBLE = 47,
  PR_COLCOUNT = 48,
  PR_ROWCOUNT = 49,
  PR_TEXT = 50,
  PR_MARGINX = 51,
  PR_MARGINY = 52,
  PR_HALIGN = 53,
  PR_BORDERSOURCETL = 54,
  PR_BORDERSOURCETC = 55,
  PR_BORDERSOURCETR = 56,
  PR_BORDERSOURCECL = 57,
  PR_BORDERSOURCECC = 58,
  PR_BORDERSOURCECR = 59,
  PR_BORDERSOURCEBL = 60,
  PR_BORDERSOURCEBC = 61,
  PR_BORDERSOURCEBR = 62,
  PR_BORDERHALIGNT = 63,
  PR_BORDERHALIGNC = 64,
  PR_BORDERHALIGNB = 65,
  PR_BORDERVALIGNL = 66,
  PR_BORDERVALIGNC = 67,
  PR_BORDERVALIGNR = 68,
  PR_SCROLLSOURCE = 69,
  PR_CHECKSOURCE = 70,
  PR_AUTOSCRAP = 71,
  PR_ONSELECT = 72,
  PR_RCLICKSCRAP = 73,
  PR_ONOPENING = 74,
  PR_ONOPENED = 75,
  PR_ONCLOSING = 76,
  PR_ONCLOSED = 77,
  PR_CARETX = 78,
  PR_CARETY = 79,
  PR_IGNOREMOUSE = 80,
  PR_TEXTPAUSED = 81,
  PR_TEXTDELAY = 82,
  PR_HOVERSOURCE = 83,
  PR_PRESSEDSOURCE = 84,
  PR_GROUPINDEX = 85,
  PR_ALLOWALLUP = 86,
  PR_SELECTED = 87,
  PR_CAPTUREMASK = 88,
  PR_POWER = 89,
  PR_ORIGWIDTH = 90,
  PR_ORIGHEIGHT = 91,
  PR_APPEARX = 92,
  PR_APPEARY = 93,
  PR_PARTMOTION = 94,
  PR_PARAM1 = 95,
  PR_PARAM2 = 96,
  PR_TOPINDEX = 97,
  PR_READONLY = 98,
  PR_CURSOR = 99,
  PR_POSZOOMED = 100,
  PR_ONPLAYSTART = 101,
  PR_PARAM3 = 102,
  PR_ONMOUSEIN = 103,
  PR_ONMAPIN = 104,
  PR_ONMAPOUT = 105,
  PR_MAPSOURCE = 106,
  PR_AMP = 107,
  PR_WAVELEN = 108,
  PR_SCROLLX = 109,
  PR_SCROLLY = 110,
  PR_FLIPH = 111,
  PR_FLIPV = 112,
  PR_ONIDLE = 113,
  PR_DISTANCEX = 114,
  PR_DISTANCEY = 115,
  PR_CLIPLEFT = 116,
  PR_CLIPTOP = 117,
  PR_CLIPWIDTH = 118,
  PR_CLIPHEIGHT = 119,
  PR_DURATION = 120,
  PR_THUMBSOURCE = 121,
  PR_BUTTONSOURCE = 122,
  PR_MIN = 123,
  PR_MAX = 124,
  PR_VALUE = 125,
  PR_ORIENTATION = 126,
  PR_SMALLCHANGE = 127,
  PR_LARGECHANGE = 128,
  PR_MAPTEXT = 129,
  PR_GLYPHWIDTH = 130,
  PR_GLYPHHEIGHT = 131,
  PR_ZOOMY = 132,
  PR_CLICKEDSOURCE = 133,
  PR_ANIPAUSED = 134,
  PR_ONHOLD = 135,
  PR_ONRELEASE = 136,
  PR_REVERSE = 137,
  PR_PLAYING = 138,
  PR_REWINDONLOAD = 139,
  PR_COMPOTYPE = 140,
  PR_FONTSHADOWCOLOR = 141,
  PR_FONTBORDER = 142,
  PR_FONTSHADOW = 143,
  PR_ONKEYDOWN = 144,
  PR_ONKEYUP = 145,
  PR_ONKEYREPEAT = 146,
  PR_HANDLEKEY = 147,
  PR_ONFOCUSIN = 148,
  PR_ONFOCUSOUT = 149,
  PR_OVERLAY = 150,
  PR_TAG = 151,
  PR_CAPTURELINK = 152,
  PR_FONTHOVERBORDER = 153,
  PR_FONTHOVERBORDERCOLOR = 154,
  PR_FONTHOVERSHADOW = 155,
  PR_FONTHOVERSHADOWCOLOR = 156,
  PR_BARSIZE = 157,
  PR_MUTEONLOAD = 158,
  PR_PLUSX = 159,
  PR_PLUSY = 160,
  PR_CARETHEIGHT = 161,
  PR_REPEATPOS = 162,
  PR_BLURSPAN = 163,
  PR_BLURDELAY = 164,
};

constexpr int kPropCount = 165;
static_assert(kPropCount == expr::kPropertyCount);

// A property's value is exchanged with the variable store as one of the value
// types: PT_INT, PT_FLOAT, PT_BOOL or PT_STR.
using PropType = expr::TParamType;

// A set of component types, plus the two screen bases (which report LT_NONE
// but are visual components).
class ComponentSet {
 public:
  constexpr ComponentSet() = default;
  constexpr ComponentSet(std::uint32_t types, bool bases) : m_types(types), m_bases(bases) {}

  constexpr bool contains(TComponentType t) const { return t < 32 && (m_types >> t & 1) != 0; }
  constexpr bool contains_screen_bases() const { return m_bases; }
  constexpr bool empty() const { return m_types == 0 && !m_bases; }
  constexpr std::uint32_t type_mask() const { return m_types; }

  constexpr ComponentSet operator|(ComponentSet o) const { return {m_types | o.m_types, m_bases || o.m_bases}; }
  constexpr bool operator==(const ComponentSet&) const = default;

 private:
  std::uint32_t m_types = 0;
  bool m_bases = false;
};

// The set of the given types, without the screen bases.
template <typename... T>
constexpr ComponentSet kinds(T... types) {
  return ComponentSet(((std::uint32_t{1} << types) | ... | 0u), false);
}

// The types whose class is a control, and the screen bases.
constexpr ComponentSet visual_types() {
  std::uint32_t mask = 0;
  for (const auto& row : kComponentTypes) {
    if (row.visual) mask |= std::uint32_t{1} << row.type;
  }
  return ComponentSet(mask, true);
}

// The types that have a class, and the screen bases.
constexpr ComponentSet class_types() {
  std::uint32_t mask = 0;
  for (const auto& row : kComponentTypes) {
    if (!row.class_name.empty()) mask |= std::uint32_t{1} << row.type;
  }
  return ComponentSet(mask, true);
}

// "all visual" in the table: every control including the screen bases.
inline constexpr ComponentSet kAllVisual = visual_types();
// "all components": every type that has a class, and the screen bases.
inline constexpr ComponentSet kAllComponents = class_types();
inline constexpr ComponentSet kNoComponent{};

enum class PropAccess : std::uint8_t {
  ReadWrite,
  ReadOnly,    // SetProp ignores writes
  WriteFails,  // SetProp fails with "SetPropエラー"
};

// What a component that does not implement the property reports.
enum class AbsentDefault : std::uint8_t {
  Value,      // absent_default below (0 or the empty string for floats and strings)
  OwnWidth,   // the component's PR_WIDTH
  OwnHeight,  // the component's PR_HEIGHT
};

struct TPropertyInfo {
  TPropId id;
  std::string_view name;          // "PR_ZOOMX"
  std::string_view display_utf8;  // as the authoring tools show it; " / " marks a line break;
                                  // Shift-JIS through property_display_name()
  PropType type;
  ComponentSet components;  // the types that implement it
  PropAccess access;
  std::int32_t absent_default;  // for integers; 0 or 1 for flags
  AbsentDefault absent_rule;
  std::int32_t create_default;  // read default of a creating command whose expression has no value
  bool applied_at_creation;     // false: a creating command never writes it, even when present

  // The name without "PR_" ("ZOOMX"), the form title sources use.
  constexpr std::string_view short_name() const { return name.substr(3); }
  constexpr bool read_only() const { return access != PropAccess::ReadWrite; }
};

// One row per id, in id order.
extern const std::array<TPropertyInfo, kPropCount> kProperties;

// The row of `id`, or nullptr outside 0 ... 164.
const TPropertyInfo* property_info(int id);
constexpr bool is_property_id(int id) { return id >= 0 && id < kPropCount; }

// The property named `name`, compared without regard to case, with or
// without the "PR_" prefix ("PR_FONTNAME", "FontName"). nullopt when unknown.
std::optional<TPropId> find_property(std::string_view name);

// The display name in Shift-JIS, with CR LF where the row marks a line break.
const std::string& property_display_name(TPropId id);

// The order in which a creating command writes the present properties into a
// new component: a permutation of all ids.
extern const std::array<TPropId, kPropCount> kCreationOrder;

// The value types of the table, as the expression system asks for them
// (GetProp's result type). Ids outside the table answer PT_NONE.
class PropertyTypes final : public expr::TPropertyTypes {
 public:
  expr::TParamType property_type(int id) const override;
};

// Named values of the integer properties that take an enumeration or a bit
// set (IM_* for PR_IGNOREMOUSE, HA_* and VA_* alignments, OT_* for
// PR_ORIENTATION, MT_* motion easing, PM_* for PR_PARTMOTION, LP_* play
// control, FS_* font style bits), for sources that prefer names to numbers.
struct TPropConstant {
  std::string_view name;
  std::int32_t value;
};
extern const std::array<TPropConstant, 29> kPropConstants;

// The value of a constant named `name` (without regard to case), or nullopt.
std::optional<std::int32_t> find_prop_constant(std::string_view name);

}  // namespace nova::components
