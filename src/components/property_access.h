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
class TNovaControl;

// One property's accessor in a class's table. Two forms: the typed pair of
// the property's value type, for the component system's own reads and
// writes (only the pair of the row's type is set; a missing setter ignores
// writes), and the pair that reads into and writes from the script's
// values, which every slot has: for a property the class does not
// implement they report the default and ignore the write (or fail it, for
// PR_APPEARX and PR_APPEARY). `index` is handed to every call: the cell of
// an indexed accessor, 0 for plain ones, the property id in absent slots.
struct PropertySlot {
  using ParamGet = void (*)(const TNovaObject&, int index, expr::TCustomParam& variable);
  using ParamSet = void (*)(TNovaObject&, int index, const expr::TCustomParam& value);
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
  ParamGet get_param = nullptr;
  ParamSet set_param = nullptr;
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

// A member function as the typed accessor of a number or flag `V`.
template <typename V, auto Get, bool Indexed>
V value_get(const TNovaObject& o, int index) {
  return static_cast<V>(call_get<Get, Indexed>(o, index));
}
template <typename V, auto Set, bool Indexed>
void value_set(TNovaObject& o, int index, V v) {
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

// The script's side of a typed accessor: the value read into a variable,
// or a value converted to the type and written.
inline void put(expr::TCustomParam& v, std::int32_t x) { v.set_int(x); }
inline void put(expr::TCustomParam& v, bool x) { v.set_flag(x); }
inline void put(expr::TCustomParam& v, long double x) { v.set_float(x); }
template <typename V>
V value_of(const expr::TCustomParam& v) {
  if constexpr (std::is_same_v<V, std::int32_t>) {
    return v.as_int();
  } else if constexpr (std::is_same_v<V, bool>) {
    return v.as_flag();
  } else {
    return v.as_float();
  }
}
template <auto TypedGet>
void value_into(const TNovaObject& o, int index, expr::TCustomParam& v) {
  put(v, TypedGet(o, index));
}
template <typename V, auto TypedSet>
void value_from(TNovaObject& o, int index, const expr::TCustomParam& v) {
  TypedSet(o, index, value_of<V>(v));
}
template <auto TypedGet>
void str_into(const TNovaObject& o, int index, expr::TCustomParam& v) {
  std::string scratch;
  v.set_str(TypedGet(o, index, scratch));
}
// A plain text value is written as it stands, without a copy. PR_TEXT
// first lets the component reset its typing state.
void reset_typing(TNovaObject& o);
template <auto TypedSet, bool ResetsTyping>
void str_from(TNovaObject& o, int index, const expr::TCustomParam& v) {
  if constexpr (ResetsTyping) reset_typing(o);
  if (v.kind() == expr::PK_STR && !static_cast<const expr::TParamStr&>(v).has_dims()) {
    TypedSet(o, index, static_cast<const expr::TParamStr&>(v).elements()[0]);
  } else {
    TypedSet(o, index, v.as_str());
  }
}

// Per value type: the slot's typed pair, the typed wrappers of a class's
// member functions, and the script's side of them.
template <typename V, auto SlotGet, auto SlotSet>
struct ValueForm {
  static constexpr auto get = SlotGet;
  static constexpr auto set = SlotSet;
  template <auto Get, bool Indexed>
  static constexpr auto member_get = &value_get<V, Get, Indexed>;
  template <auto Set, bool Indexed>
  static constexpr auto member_set = &value_set<V, Set, Indexed>;
  template <auto TypedGet>
  static constexpr auto into = &value_into<TypedGet>;
  template <auto TypedSet>
  static constexpr auto from = &value_from<V, TypedSet>;
};
template <expr::TParamType Type>
struct SlotForm;
template <>
struct SlotForm<expr::PT_INT> : ValueForm<std::int32_t, &PropertySlot::get_int, &PropertySlot::set_int> {};
template <>
struct SlotForm<expr::PT_BOOL> : ValueForm<bool, &PropertySlot::get_flag, &PropertySlot::set_flag> {};
template <>
struct SlotForm<expr::PT_FLOAT> : ValueForm<long double, &PropertySlot::get_float, &PropertySlot::set_float> {};
template <>
struct SlotForm<expr::PT_STR> {
  static constexpr auto get = &PropertySlot::get_str;
  static constexpr auto set = &PropertySlot::set_str;
  template <auto Get, bool Indexed>
  static constexpr auto member_get = &str_get<Get, Indexed>;
  template <auto Set, bool Indexed>
  static constexpr auto member_set = &str_set<Set, Indexed>;
  template <auto TypedGet>
  static constexpr auto into = &str_into<TypedGet>;
  template <auto TypedSet>
  static constexpr auto from = &str_from<TypedSet, false>;
};

}  // namespace detail

class PropertyTable {
 public:
  // Every property absent: defaults read, writes ignored or failing.
  PropertyTable();

  const PropertySlot& slot(TPropId id) const { return m_slots[id]; }
  // Whether a class on the way registered the property.
  bool implements(TPropId id) const { return m_implemented[id]; }

  // Whether the class reads PR_VISIBLE, PR_WIDTH and PR_HEIGHT from the
  // control's own fields and leaves zoom, flip and scroll at their defaults,
  // so that a walk may read the fields directly. The control's table sets
  // it; registering any of those properties again clears it.
  bool plain_geometry() const { return m_plain_geometry; }
  void mark_plain_geometry() { m_plain_geometry = true; }

  // A class that hit-tests in its own way (images test their drawn, maybe
  // rotated rectangle and their mask) registers how here, and the tables of
  // its subclasses inherit it. A control's HitTest cannot be overridden: a
  // walk reads this instead of calling through every level, and walks the
  // controls without one itself.
  using HitTestFn = TNovaObject* (*)(TNovaControl& control, platform::Point p, std::uint32_t modes);
  HitTestFn own_hit_test() const { return m_own_hit_test; }
  void set_own_hit_test(HitTestFn f) { m_own_hit_test = f; }
  // Likewise, a class whose point counts as over it by more than its
  // screen rectangle (a message box catching only its links).
  using ContainsFn = bool (*)(const TNovaControl& control, platform::Point p, const platform::Rect& screen_rect);
  ContainsFn own_contains() const { return m_own_contains; }
  void set_own_contains(ContainsFn f) { m_own_contains = f; }

  // --- Registration, by member functions of the class (or of a base) -----------
  // Each registers the getter and, where given, the setter; the property's
  // value type must match the function family. A setter of a read-only
  // property is never called from a script.
  template <auto Get, auto Set = nullptr>
  void integer(TPropId id) {
    members<expr::PT_INT, Get, Set>(id);
  }
  template <auto Get, auto Set = nullptr>
  void flag(TPropId id) {
    members<expr::PT_BOOL, Get, Set>(id);
  }
  template <auto Get, auto Set = nullptr>
  void number(TPropId id) {
    members<expr::PT_FLOAT, Get, Set>(id);
  }
  template <auto Get, auto Set = nullptr>
  void text(TPropId id) {
    members<expr::PT_STR, Get, Set>(id);
  }

  // Several text properties served by one pair taking the property id:
  // `const std::string& Get(int id) const` and `void Set(int id,
  // std::string_view)` (a control's event targets).
  template <auto Get, auto Set>
  void texts_by_id(std::initializer_list<TPropId> ids) {
    for (TPropId id : ids) members<expr::PT_STR, Get, Set, true>(id, id);
  }

  // PR_FONTSTYLE or PR_FONTHOVERSTYLE, by a getter answering the FS_* set
  // and a setter taking it (std::uint8_t).
  template <auto Get, auto Set>
  void font_style(TPropId id) {
    assert(id == PR_FONTSTYLE || id == PR_FONTHOVERSTYLE);
    ints<&detail::font_style_get<Get>, &detail::font_style_set<Set>>(id, 0);
  }
  // PR_CARETX and PR_CARETY from one getter answering a platform::Point.
  template <auto Get>
  void caret() {
    ints<&detail::caret_get<Get>, nullptr>(PR_CARETX, 0);
    ints<&detail::caret_get<Get>, nullptr>(PR_CARETY, 1);
  }
  // PR_PARAM1, PR_PARAM2, PR_PARAM3: `long double Get(int) const` and
  // `void Set(int, long double)` with the index 0, 1, 2.
  template <auto Get, auto Set>
  void params() {
    int index = 0;
    for (TPropId id : {PR_PARAM1, PR_PARAM2, PR_PARAM3}) {
      members<expr::PT_FLOAT, Get, Set, true>(id, index++);
    }
  }
  // PR_BORDERSOURCETL ... PR_BORDERSOURCEBR: the nine cells of a 3 × 3
  // frame in row order, index 0 to 8.
  template <auto Get, auto Set>
  void border_sources() {
    for (int cell = 0; cell < 9; ++cell) {
      members<expr::PT_STR, Get, Set, true>(static_cast<TPropId>(PR_BORDERSOURCETL + cell), cell);
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
  // Clears the slot of `id` for a new accessor and marks it implemented.
  PropertySlot& take(TPropId id, expr::TParamType type, int index);
  // Whether a script's write of the row reaches a setter (the row is
  // neither read-only nor failing).
  static bool writable_row(TPropId id);

  // Both forms of an accessor of value type `Type` from its typed
  // functions (TypedSet nullptr: writes are ignored).
  template <expr::TParamType Type, auto TypedGet, auto TypedSet>
  void accessor(TPropId id, int index) {
    using Form = detail::SlotForm<Type>;
    PropertySlot& s = take(id, Type, index);
    s.*Form::get = TypedGet;
    s.get_param = Form::template into<TypedGet>;
    if constexpr (!std::is_same_v<decltype(TypedSet), std::nullptr_t>) {
      s.*Form::set = TypedSet;
      if (writable_row(id)) s.set_param = Form::template from<TypedSet>;
      if constexpr (Type == expr::PT_STR) {
        if (id == PR_TEXT && writable_row(id)) s.set_param = &detail::str_from<TypedSet, true>;
      }
    }
  }
  template <auto TypedGet, auto TypedSet>
  void ints(TPropId id, int index) {
    accessor<expr::PT_INT, TypedGet, TypedSet>(id, index);
  }

  // An accessor of member functions `Get` and `Set` (nullptr: read only),
  // indexed by the slot's index or not.
  template <expr::TParamType Type, auto Get, auto Set, bool Indexed = false>
  void members(TPropId id, int index = 0) {
    using Form = detail::SlotForm<Type>;
    if constexpr (std::is_same_v<decltype(Set), std::nullptr_t>) {
      accessor<Type, Form::template member_get<Get, Indexed>, nullptr>(id, index);
    } else {
      accessor<Type, Form::template member_get<Get, Indexed>, Form::template member_set<Set, Indexed>>(id, index);
    }
  }
  template <auto Get, auto Set>
  void indexed_ints(std::array<TPropId, 3> ids, std::array<int, 3> cells) {
    for (std::size_t i = 0; i < 3; ++i) members<expr::PT_INT, Get, Set, true>(ids[i], cells[i]);
  }

  std::array<PropertySlot, kPropCount> m_slots{};
  std::bitset<kPropCount> m_implemented;
  bool m_plain_geometry = false;
  HitTestFn m_own_hit_test = nullptr;
  ContainsFn m_own_contains = nullptr;
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

// The same reads of an integer or flag property through a table already
// fetched (the component's own), for walks that read several properties of
// every component they pass. Same answers as read_int and read_flag.
inline std::int32_t read_int_in(const PropertyTable& table, const TNovaObject& o, TPropId id) {
  if (table.implements(id)) {
    const PropertySlot& s = table.slot(id);
    if (s.get_int) return s.get_int(o, s.index);
  } else if (kProperties[id].absent_rule == AbsentDefault::Value && kProperties[id].type == expr::PT_INT) {
    return kProperties[id].absent_default;
  }
  return read_int(o, id);
}
inline bool read_flag_in(const PropertyTable& table, const TNovaObject& o, TPropId id) {
  if (table.implements(id)) {
    const PropertySlot& s = table.slot(id);
    if (s.get_flag) return s.get_flag(o, s.index);
  } else if (kProperties[id].type == expr::PT_BOOL) {
    return kProperties[id].absent_default != 0;
  }
  return read_flag(o, id);
}

// GetProp and SetProp, the script's reads and writes by id, are in
// nova_object.h.

}  // namespace nova::components
