#include "components/property_access.h"

#include "components/nova_object.h"
#include "core/error.h"

namespace nova::components {

namespace {

using expr::FlagTraits;
using expr::FloatTraits;
using expr::IntTraits;
using expr::StrTraits;

const TPropertyInfo& row(TPropId id) { return kProperties[id]; }

// The value a component that does not implement the property reports.
std::int32_t absent_int(const TNovaObject& o, TPropId id) {
  switch (row(id).absent_rule) {
    case AbsentDefault::OwnWidth: return read_int(o, PR_WIDTH);
    case AbsentDefault::OwnHeight: return read_int(o, PR_HEIGHT);
    case AbsentDefault::Value: break;
  }
  return row(id).absent_default;
}

// The script's side of a property the component does not implement, by
// the row's type (the slot's index is the property id).
void absent_int_into(const TNovaObject& o, int id, expr::TCustomParam& v) {
  v.set_int(absent_int(o, static_cast<TPropId>(id)));
}
void absent_flag_into(const TNovaObject&, int id, expr::TCustomParam& v) {
  v.set_flag(row(static_cast<TPropId>(id)).absent_default != 0);
}
void absent_float_into(const TNovaObject&, int, expr::TCustomParam& v) { v.set_float(0.0L); }
void absent_str_into(const TNovaObject&, int, expr::TCustomParam& v) { v.set_str({}); }
PropertySlot::ParamGet absent_read(TPropId id) {
  switch (row(id).type) {
    case expr::PT_INT: return &absent_int_into;
    case expr::PT_BOOL: return &absent_flag_into;
    case expr::PT_FLOAT: return &absent_float_into;
    case expr::PT_STR:
    case expr::PT_NONE: break;
  }
  return &absent_str_into;
}
void ignored_write(TNovaObject&, int, const expr::TCustomParam&) {}
[[noreturn]] void failing_write(TNovaObject&, int, const expr::TCustomParam&) {
  core::throw_error_utf8("SetPropエラー");
}
PropertySlot::ParamSet absent_write(TPropId id) {
  return row(id).access == PropAccess::WriteFails ? &failing_write : &ignored_write;
}

// Reads the property in its own type and hands it to `to`, a visitor with
// one overload per element type of the values.
template <typename Visitor>
auto visit_read(const TNovaObject& o, TPropId id, Visitor&& to) {
  const PropertyTable& table = o.properties();
  const PropertySlot& s = table.slot(id);
  const bool own = table.implements(id);
  switch (row(id).type) {
    case expr::PT_INT: return to.integer(own ? s.get_int(o, s.index) : absent_int(o, id));
    case expr::PT_BOOL: return to.flag(own ? s.get_flag(o, s.index) : row(id).absent_default != 0);
    case expr::PT_FLOAT: return to.number(own ? s.get_float(o, s.index) : 0.0L);
    case expr::PT_STR: {
      std::string scratch;
      return to.text(own ? s.get_str(o, s.index, scratch) : std::string_view());
    }
    case expr::PT_NONE: break;
  }
  return to.text(std::string_view());
}

template <typename Traits>
struct As {
  using T = typename Traits::T;
  T integer(std::int32_t v) const { return Traits::from_int(v); }
  T flag(bool v) const { return Traits::from_flag(v); }
  T number(long double v) const { return Traits::from_float(v); }
  T text(std::string_view v) const { return Traits::from_str(v); }
};

// Where a write goes: nowhere for read-only and unimplemented properties
// (the slot then answers nullptr), after the checks every write makes.
const PropertySlot* writable(TNovaObject& o, TPropId id) {
  const TPropertyInfo& r = row(id);
  if (r.access == PropAccess::WriteFails) core::throw_error_utf8("SetPropエラー");
  const PropertyTable& table = o.properties();
  if (r.access == PropAccess::ReadOnly || !table.implements(id)) return nullptr;
  if (id == PR_TEXT) o.ResetTypingState();
  return &table.slot(id);
}

// Writes `v` (of any element type, read through Traits) converted to the
// property's type.
template <typename Traits>
void write_as(TNovaObject& o, TPropId id, const typename Traits::T& v) {
  const PropertySlot* s = writable(o, id);
  if (!s) return;
  switch (row(id).type) {
    case expr::PT_INT:
      if (s->set_int) s->set_int(o, s->index, Traits::to_int(v));
      break;
    case expr::PT_BOOL:
      if (s->set_flag) s->set_flag(o, s->index, Traits::to_flag(v));
      break;
    case expr::PT_FLOAT:
      if (s->set_float) s->set_float(o, s->index, Traits::to_float(v));
      break;
    case expr::PT_STR:
      if (s->set_str) {
        if constexpr (std::is_same_v<typename Traits::T, std::string>) {
          s->set_str(o, s->index, v);
        } else {
          s->set_str(o, s->index, Traits::to_str(v));
        }
      }
      break;
    case expr::PT_NONE: break;
  }
}

}  // namespace

PropertyTable::PropertyTable() {
  for (int id = 0; id < kPropCount; ++id) {
    PropertySlot& s = m_slots[static_cast<std::size_t>(id)];
    s.index = id;
    s.get_param = absent_read(static_cast<TPropId>(id));
    s.set_param = absent_write(static_cast<TPropId>(id));
  }
}

PropertySlot& PropertyTable::take(TPropId id, expr::TParamType type, int index) {
  assert(kProperties[id].type == type && "the accessor's value type differs from the property's");
  (void)type;
  m_implemented.set(id);
  switch (id) {
    case PR_VISIBLE:
    case PR_WIDTH:
    case PR_HEIGHT:
    case PR_ZOOMX:
    case PR_ZOOMY:
    case PR_FLIPH:
    case PR_FLIPV:
    case PR_SCROLLX:
    case PR_SCROLLY: m_plain_geometry = false; break;
    default: break;
  }
  PropertySlot& s = m_slots[id];
  s = PropertySlot{};
  s.index = index;
  s.set_param = absent_write(id);
  return s;
}

bool PropertyTable::writable_row(TPropId id) { return row(id).access == PropAccess::ReadWrite; }

void detail::reset_typing(TNovaObject& o) { o.ResetTypingState(); }

std::int32_t read_int(const TNovaObject& o, TPropId id) { return visit_read(o, id, As<IntTraits>{}); }
bool read_flag(const TNovaObject& o, TPropId id) { return visit_read(o, id, As<FlagTraits>{}) != 0; }
long double read_float(const TNovaObject& o, TPropId id) { return visit_read(o, id, As<FloatTraits>{}); }
std::string read_str(const TNovaObject& o, TPropId id) { return visit_read(o, id, As<StrTraits>{}); }

void write_int(TNovaObject& o, TPropId id, std::int32_t v) { write_as<IntTraits>(o, id, v); }
void write_flag(TNovaObject& o, TPropId id, bool v) { write_as<FlagTraits>(o, id, v ? 1 : 0); }
void write_float(TNovaObject& o, TPropId id, long double v) { write_as<FloatTraits>(o, id, v); }
void write_str(TNovaObject& o, TPropId id, std::string_view v) { write_as<StrTraits>(o, id, std::string(v)); }

void throw_prop_id_error(bool set) { core::throw_error_utf8(set ? "SetPropエラー" : "GetPropエラー"); }

}  // namespace nova::components
