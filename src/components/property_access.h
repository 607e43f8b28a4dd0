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

// The script's side of a typed accessor: the value read into a variable,
// or a value converted to the type and written.
template <auto TypedGet>
void int_into(const TNovaObject& o, int index, expr::TCustomParam& v) {
  v.set_int(TypedGet(o, index));
}
template <auto TypedSet>
void int_from(TNovaObject& o, int index, const expr::TCustomParam& v) {
  TypedSet(o, index, v.as_int());
}
template <auto TypedGet>
void flag_into(const TNovaObject& o, int index, expr::TCustomParam& v) {
  v.set_flag(TypedGet(o, index));
}
template <auto TypedSet>
void flag_from(TNovaObject& o, int index, const expr::TCustomParam& v) {
  TypedSet(o, index, v.as_flag());
}
template <auto TypedGet>
void float_into(const TNovaObject& o, int index, expr::TCustomParam& v) {
  v.set_float(TypedGet(o, index));
}
template <auto TypedSet>
void float_from(TNovaObject& o, int index, const expr::TCustomParam& v) {
  TypedSet(o, index, v.as_float());
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

}  // namespace detail

class PropertyTable {
 public:
  // Every property absent: defaults read, writes ignored or failing.
  PropertyTable();

  const PropertySlot& slot(TPropId id) const { return m_slots[id]; }
  // Whether a class on the way registered the property.
  bool implements(TPropId id) const { return m_implemented[id]; }

  // --- Registration, by member functions of the class (or of a base) -----------
  // Each registers the getter and, where given, the setter; the property's
  // value type must match the function family. A setter of a read-only
  // property is never called from a script.
  template <auto Get, auto Set = nullptr>
  void integer(TPropId id) {
    plain<expr::PT_INT, Get, Set>(id);
  }
  template <auto Get, auto Set = nullptr>
  void flag(TPropId id) {
    plain<expr::PT_BOOL, Get, Set>(id);
  }
  template <auto Get, auto Set = nullptr>
  void number(TPropId id) {
    plain<expr::PT_FLOAT, Get, Set>(id);
  }
  template <auto Get, auto Set = nullptr>
  void text(TPropId id) {
    plain<expr::PT_STR, Get, Set>(id);
  }

  // Several text properties served by one pair taking the property id:
  // `const std::string& Get(int id) const` and `void Set(int id,
  // std::string_view)` (a control's event targets).
  template <auto Get, auto Set>
  void texts_by_id(std::initializer_list<TPropId> ids) {
    for (TPropId id : ids) strs<&detail::str_get<Get, true>, &detail::str_set<Set, true>>(id, id);
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
      floats<&detail::float_get<Get, true>, &detail::float_set<Set, true>>(id, index++);
    }
  }
  // PR_BORDERSOURCETL ... PR_BORDERSOURCEBR: the nine cells of a 3 × 3
  // frame in row order, index 0 to 8.
  template <auto Get, auto Set>
  void border_sources() {
    for (int cell = 0; cell < 9; ++cell) {
      strs<&detail::str_get<Get, true>, &detail::str_set<Set, true>>(static_cast<TPropId>(PR_BORDERSOURCETL + cell),
                                                                     cell);
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

  // Both forms of an accessor from its typed functions (TypedSet nullptr:
  // writes are ignored).
  template <auto TypedGet, auto TypedSet>
  void ints(TPropId id, int index) {
    PropertySlot& s = take(id, expr::PT_INT, index);
    s.get_int = TypedGet;
    s.get_param = &detail::int_into<TypedGet>;
    if constexpr (!std::is_same_v<decltype(TypedSet), std::nullptr_t>) {
      s.set_int = TypedSet;
      if (writable_row(id)) s.set_param = &detail::int_from<TypedSet>;
    }
  }
  template <auto TypedGet, auto TypedSet>
  void flags(TPropId id, int index) {
    PropertySlot& s = take(id, expr::PT_BOOL, index);
    s.get_flag = TypedGet;
    s.get_param = &detail::flag_into<TypedGet>;
    if constexpr (!std::is_same_v<decltype(TypedSet), std::nullptr_t>) {
      s.set_flag = TypedSet;
      if (writable_row(id)) s.set_param = &detail::flag_from<TypedSet>;
    }
  }
  template <auto TypedGet, auto TypedSet>
  void floats(TPropId id, int index) {
    PropertySlot& s = take(id, expr::PT_FLOAT, index);
    s.get_float = TypedGet;
    s.get_param = &detail::float_into<TypedGet>;
    if constexpr (!std::is_same_v<decltype(TypedSet), std::nullptr_t>) {
      s.set_float = TypedSet;
      if (writable_row(id)) s.set_param = &detail::float_from<TypedSet>;
    }
  }
  template <auto TypedGet, auto TypedSet>
  void strs(TPropId id, int index) {
    PropertySlot& s = take(id, expr::PT_STR, index);
    s.get_str = TypedGet;
    s.get_param = &detail::str_into<TypedGet>;
    if constexpr (!std::is_same_v<decltype(TypedSet), std::nullptr_t>) {
      s.set_str = TypedSet;
      if (writable_row(id)) {
        s.set_param = id == PR_TEXT ? &detail::str_from<TypedSet, true> : &detail::str_from<TypedSet, false>;
      }
    }
  }

  template <expr::TParamType Type, auto Get, auto Set>
  void plain(TPropId id) {
    constexpr bool kSets = !std::is_same_v<decltype(Set), std::nullptr_t>;
    if constexpr (Type == expr::PT_INT) {
      if constexpr (kSets) {
        ints<&detail::int_get<Get, false>, &detail::int_set<Set, false>>(id, 0);
      } else {
        ints<&detail::int_get<Get, false>, nullptr>(id, 0);
      }
    } else if constexpr (Type == expr::PT_BOOL) {
      if constexpr (kSets) {
        flags<&detail::flag_get<Get, false>, &detail::flag_set<Set, false>>(id, 0);
      } else {
        flags<&detail::flag_get<Get, false>, nullptr>(id, 0);
      }
    } else if constexpr (Type == expr::PT_FLOAT) {
      if constexpr (kSets) {
        floats<&detail::float_get<Get, false>, &detail::float_set<Set, false>>(id, 0);
      } else {
        floats<&detail::float_get<Get, false>, nullptr>(id, 0);
      }
    } else {
      if constexpr (kSets) {
        strs<&detail::str_get<Get, false>, &detail::str_set<Set, false>>(id, 0);
      } else {
        strs<&detail::str_get<Get, false>, nullptr>(id, 0);
      }
    }
  }

  template <auto Get, auto Set>
  void indexed_ints(std::array<TPropId, 3> ids, std::array<int, 3> cells) {
    for (std::size_t i = 0; i < 3; ++i)
      ints<&detail::int_get<Get, true>, &detail::int_set<Set, true>>(ids[i], cells[i]);
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

// GetProp and SetProp, the script's reads and writes by id, are in
// nova_object.h.

}  // namespace nova::components
