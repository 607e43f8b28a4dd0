// Properties by id: each component class's accessor table, and GetProp and
// SetProp, the one path through which scripts, commands, builtin functions
// and property motions read and write component attributes.
//
// A class's table starts as a copy of its base class's table and registers
// the properties the class implements, each with the member functions that
// read and write it; ids it does not register keep the base's accessor. An
// id that no class on the way implements reads the default of the property
// table and ignores writes. So a property is dispatched by one array index
// and one call, whatever the class.
//
// Tables are built once per class, on first use, and never change; every
// object of the class (and of subclasses that add nothing) shares it.
#pragma once

#include <array>
#include <bitset>
#include <cassert>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>

#include "components/property_table.h"
#include "expr/params.h"
#include "platform/types.h"

namespace nova::components {

class TNovaObject;

// One property's accessor in a class's table. Only the pair of the
// property's value type is used; `index` is handed to both (the cell of an
// indexed accessor, 0 for plain ones). A missing setter ignores writes.
struct PropertySlot {
  using IntGet = std::int32_t (*)(const TNovaObject&, int index);
  using IntSet = void (*)(TNovaObject&, int index, std::int32_t);
  using FlagGet = bool (*)(const TNovaObject&, int index);
  using FlagSet = void (*)(TNovaObject&, int index, bool);
  using FloatGet = long double (*)(const TNovaObject&, int index);
  using FloatSet = void (*)(TNovaObject&, int index, long double);
  // The text either lies in the object or is built in `scratch`; the view
  // is valid until the object or `scratch` changes.
  using StrGet = std::string_view (*)(const TNovaObject&, int index, std::string& scratch);
  using StrSet = void (*)(TNovaObject&, int index, std::string_view);

  IntGet get_int = nullptr;
  IntSet set_int = nullptr;
  FlagGet get_flag = nullptr;
  FlagSet set_flag = nullptr;
  FloatGet get_float = nullptr;
  FloatSet set_float = nullptr;
  StrGet get_str = nullptr;
  StrSet set_str = nullptr;
  int index = 0;
};

namespace detail {

template <typename>
struct MemberOf;
template <typename R, typename C, typename... A>
struct MemberOf<R (C::*)(A...) const> {
  using Class = C;
};
template <typename R, typename C, typename... A>
struct MemberOf<R (C::*)(A...)> {
  using Class = C;
};

template <auto Member>
using ClassOf = typename MemberOf<decltype(Member)>::Class;

// Calls a getter `R C::f() const` or, with an index, `R C::f(int) const`.
template <auto Get, bool Indexed>
decltype(auto) call_get(const TNovaObject& o, int index) {
  const auto& c = static_cast<const ClassOf<Get>&>(o);
  if constexpr (Indexed) {
    return (c.*Get)(index);
  } else {
    return (c.*Get)();
  }
}

template <auto Set, bool Indexed, typename T>
void call_set(TNovaObject& o, int index, T value) {
  auto& c = static_cast<ClassOf<Set>&>(o);
  if constexpr (Indexed) {
    (c.*Set)(index, value);
  } else {
    (c.*Set)(value);
  }
}

template <auto Get, bool Indexed>
std::int32_t int_get(const TNovaObject& o, int index) {
  return static_cast<std::int32_t>(call_get<Get, Indexed>(o, index));
}
template <auto Set, bool Indexed>
void int_set(TNovaObject& o, int index, std::int32_t v) {
  call_set<Set, Indexed>(o, index, v);
}
template <auto Get, bool Indexed>
bool flag_get(const TNovaObject& o, int index) {
  return call_get<Get, Indexed>(o, index);
}
template <auto Set, bool Indexed>
void flag_set(TNovaObject& o, int index, bool v) {
  call_set<Set, Indexed>(o, index, v);
}
template <auto Get, bool Indexed>
long double float_get(const TNovaObject& o, int index) {
  return call_get<Get, Indexed>(o, index);
}
template <auto Set, bool Indexed>
void float_set(TNovaObject& o, int index, long double v) {
  call_set<Set, Indexed>(o, index, v);
}
template <auto Get, bool Indexed>
std::string_view str_get(const TNovaObject& o, int index, std::string& scratch) {
  using R = decltype(call_get<Get, Indexed>(o, index));
  if constexpr (std::is_same_v<R, const std::string&> || std::is_same_v<R, std::string_view>) {
    return call_get<Get, Indexed>(o, index);
  } else {
    scratch = call_get<Get, Indexed>(o, index);
    return scratch;
  }
}
template <auto Set, bool Indexed>
void str_set(TNovaObject& o, int index, std::string_view v) {
  call_set<Set, Indexed>(o, index, v);
}

// The font style properties exchange the FS_* bits (1, 2, 4, 8); the class
// keeps a set of them, and bits outside it are dropped on the way in.
template <auto Get>
std::int32_t font_style_get(const TNovaObject& o, int) {
  return static_cast<std::int32_t>(call_get<Get, false>(o, 0)) & 0x0F;
}
template <auto Set>
void font_style_set(TNovaObject& o, int, std::int32_t v) {
  call_set<Set, false>(o, 0, static_cast<std::uint8_t>(v & 0x0F));
}

// PR_CARETX and PR_CARETY are the two coordinates of one caret position.
template <auto Get>
std::int32_t caret_get(const TNovaObject& o, int index) {
  const platform::Point p = call_get<Get, false>(o, 0);
  return index == 0 ? p.x : p.y;
}

}  // namespace detail

class PropertyTable {
 public:
  const PropertySlot& slot(TPropId id) const { return m_slots[id]; }
  // Whether a class on the way registered the property.
  bool implements(TPropId id) const { return m_implemented[id]; }

  // --- Registration, by member functions of the class (or of a base) -----------
  // Each registers the getter and, where given, the setter; the property's
  // value type must match the function family.
  template <auto Get, auto Set = nullptr>
  void integer(TPropId id) {
    PropertySlot& s = take(id, expr::PT_INT, 0);
    s.get_int = &detail::int_get<Get, false>;
    if constexpr (Set != nullptr) s.set_int = &detail::int_set<Set, false>;
  }
  template <auto Get, auto Set = nullptr>
  void flag(TPropId id) {
    PropertySlot& s = take(id, expr::PT_BOOL, 0);
    s.get_flag = &detail::flag_get<Get, false>;
    if constexpr (Set != nullptr) s.set_flag = &detail::flag_set<Set, false>;
  }
  template <auto Get, auto Set = nullptr>
  void number(TPropId id) {
    PropertySlot& s = take(id, expr::PT_FLOAT, 0);
    s.get_float = &detail::float_get<Get, false>;
    if constexpr (Set != nullptr) s.set_float = &detail::float_set<Set, false>;
  }
  template <auto Get, auto Set = nullptr>
  void text(TPropId id) {
    PropertySlot& s = take(id, expr::PT_STR, 0);
    s.get_str = &detail::str_get<Get, false>;
    if constexpr (Set != nullptr) s.set_str = &detail::str_set<Set, false>;
  }

  // Several text properties served by one pair taking the property id:
  // `const std::string& Get(int id) const` and `void Set(int id,
  // std::string_view)` (a control's event targets).
  template <auto Get, auto Set>
  void texts_by_id(std::initializer_list<TPropId> ids) {
    for (TPropId id : ids) {
      PropertySlot& s = take(id, expr::PT_STR, id);
      s.get_str = &detail::str_get<Get, true>;
      s.set_str = &detail::str_set<Set, true>;
    }
  }

  // PR_FONTSTYLE or PR_FONTHOVERSTYLE, by a getter answering the FS_* set
  // and a setter taking it (std::uint8_t).
  template <auto Get, auto Set>
  void font_style(TPropId id) {
    assert(id == PR_FONTSTYLE || id == PR_FONTHOVERSTYLE);
    PropertySlot& s = take(id, expr::PT_INT, 0);
    s.get_int = &detail::font_style_get<Get>;
    s.set_int = &detail::font_style_set<Set>;
  }
  // PR_CARETX and PR_CARETY from one getter answering a platform::Point.
  template <auto Get>
  void caret() {
    take(PR_CARETX, expr::PT_INT, 0).get_int = &detail::caret_get<Get>;
    take(PR_CARETY, expr::PT_INT, 1).get_int = &detail::caret_get<Get>;
  }
  // PR_PARAM1, PR_PARAM2, PR_PARAM3: `long double Get(int) const` and
  // `void Set(int, long double)` with the index 0, 1, 2.
  template <auto Get, auto Set>
  void params() {
    indexed_floats<Get, Set>({PR_PARAM1, PR_PARAM2, PR_PARAM3}, {0, 1, 2});
  }
  // PR_BORDERSOURCETL ... PR_BORDERSOURCEBR: the nine cells of a 3 × 3
  // frame in row order, index 0 to 8.
  template <auto Get, auto Set>
  void border_sources() {
    for (int cell = 0; cell < 9; ++cell) {
      PropertySlot& s = take(static_cast<TPropId>(PR_BORDERSOURCETL + cell), expr::PT_STR, cell);
      s.get_str = &detail::str_get<Get, true>;
      s.set_str = &detail::str_set<Set, true>;
    }
  }
  // PR_BORDERHALIGNT, C, B: cells 1, 4, 7 of a horizontal alignment per cell.
  template <auto Get, auto Set>
  void border_haligns() {
    indexed_ints<Get, Set>({PR_BORDERHALIGNT, PR_BORDERHALIGNC, PR_BORDERHALIGNB}, {1, 4, 7});
  }
  // PR_BORDERVALIGNL, C, R: cells 3, 4, 5 of a vertical alignment per cell.
  template <auto Get, auto Set>
  void border_valigns() {
    indexed_ints<Get, Set>({PR_BORDERVALIGNL, PR_BORDERVALIGNC, PR_BORDERVALIGNR}, {3, 4, 5});
  }

 private:
  PropertySlot& take(TPropId id, expr::TParamType type, int index);

  template <auto Get, auto Set>
  void indexed_ints(std::array<TPropId, 3> ids, std::array<int, 3> cells) {
    for (std::size_t i = 0; i < 3; ++i) {
      PropertySlot& s = take(ids[i], expr::PT_INT, cells[i]);
      s.get_int = &detail::int_get<Get, true>;
      s.set_int = &detail::int_set<Set, true>;
    }
  }
  template <auto Get, auto Set>
  void indexed_floats(std::array<TPropId, 3> ids, std::array<int, 3> cells) {
    for (std::size_t i = 0; i < 3; ++i) {
      PropertySlot& s = take(ids[i], expr::PT_FLOAT, cells[i]);
      s.get_float = &detail::float_get<Get, true>;
      s.set_float = &detail::float_set<Set, true>;
    }
  }

  std::array<PropertySlot, kPropCount> m_slots{};
  std::bitset<kPropCount> m_implemented;
};

// --- Reading and writing ------------------------------------------------------------
//
// A property of any type is read or written as any value type: the value is
// converted by the values' rules (expr/params.h), as a variable would
// convert it. Reads of a property the component does not implement answer
// the table's default; PR_ORIGWIDTH and PR_ORIGHEIGHT then answer the
// component's own PR_WIDTH and PR_HEIGHT.
//
// Writes: PR_APPEARX and PR_APPEARY fail with "SetPropエラー"; writes to the
// read-only properties and to properties the component does not implement
// are ignored; a write of PR_TEXT first lets the component reset its
// typing state (a message box does).

std::int32_t read_int(const TNovaObject& o, TPropId id);
bool read_flag(const TNovaObject& o, TPropId id);
long double read_float(const TNovaObject& o, TPropId id);
std::string read_str(const TNovaObject& o, TPropId id);

void write_int(TNovaObject& o, TPropId id, std::int32_t v);
void write_flag(TNovaObject& o, TPropId id, bool v);
void write_float(TNovaObject& o, TPropId id, long double v);
void write_str(TNovaObject& o, TPropId id, std::string_view v);

// Reads property `id` into `variable` with the property's type (the
// variable converts it to its own). An id outside 0 ... 164 fails with
// "GetPropエラー" and changes nothing.
void GetProp(const TNovaObject& o, int id, expr::TCustomParam& variable);
// Converts `value` to the property's type and writes it. An id outside
// 0 ... 164 fails with "SetPropエラー", as do PR_APPEARX and PR_APPEARY.
void SetProp(TNovaObject& o, int id, const expr::TCustomParam& value);

}  // namespace nova::components
