#include "components/property_access.h"

#include "components/nova_object.h"
#include "core/error.h"

namespace nova::components {

PropertySlot& PropertyTable::take(TPropId id, expr::TParamType type, int index) {
  assert(kProperties[id].type == type && "the accessor's value type differs from the property's");
  (void)type;
  m_implemented.set(id);
  PropertySlot& s = m_slots[id];
  s = PropertySlot{};
  s.index = index;
  return s;
}

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

// Reads the property in its own type and hands it to `to`, a visitor with
// one overload per element type of the values.
template <typename Visitor>
auto visit_read(const TNovaObject& o, TPropId id, Visitor&& to) {
  const PropertySlot& s = o.Properties().slot(id);
  const bool own = o.Properties().implements(id);
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
  if (r.access == PropAccess::ReadOnly || !o.Properties().implements(id)) return nullptr;
  if (id == PR_TEXT) o.ResetTypingState();
  return &o.Properties().slot(id);
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

TPropId checked_id(int id, const char* message_utf8) {
  if (!is_property_id(id)) core::throw_error_utf8(message_utf8);
  return static_cast<TPropId>(id);
}

}  // namespace

std::int32_t read_int(const TNovaObject& o, TPropId id) { return visit_read(o, id, As<IntTraits>{}); }
bool read_flag(const TNovaObject& o, TPropId id) { return visit_read(o, id, As<FlagTraits>{}) != 0; }
long double read_float(const TNovaObject& o, TPropId id) { return visit_read(o, id, As<FloatTraits>{}); }
std::string read_str(const TNovaObject& o, TPropId id) { return visit_read(o, id, As<StrTraits>{}); }

void write_int(TNovaObject& o, TPropId id, std::int32_t v) { write_as<IntTraits>(o, id, v); }
void write_flag(TNovaObject& o, TPropId id, bool v) { write_as<FlagTraits>(o, id, v ? 1 : 0); }
void write_float(TNovaObject& o, TPropId id, long double v) { write_as<FloatTraits>(o, id, v); }
void write_str(TNovaObject& o, TPropId id, std::string_view v) { write_as<StrTraits>(o, id, std::string(v)); }

namespace {

// Stores a read value into a variable with the property's type.
struct IntoVariable {
  expr::TCustomParam& var;
  void integer(std::int32_t v) const { var.set_int(v); }
  void flag(bool v) const { var.set_flag(v); }
  void number(long double v) const { var.set_float(v); }
  void text(std::string_view v) const { var.set_str(v); }
};

}  // namespace

void GetProp(const TNovaObject& o, int id, expr::TCustomParam& variable) {
  visit_read(o, checked_id(id, "GetPropエラー"), IntoVariable{variable});
}

void SetProp(TNovaObject& o, int id, const expr::TCustomParam& value) {
  const TPropId p = checked_id(id, "SetPropエラー");
  switch (row(p).type) {
    case expr::PT_INT: write_int(o, p, value.as_int()); break;
    case expr::PT_BOOL: write_flag(o, p, value.as_flag()); break;
    case expr::PT_FLOAT: write_float(o, p, value.as_float()); break;
    case expr::PT_STR: {
      // A text value is written as it stands, without a copy.
      if (value.quick_type() == expr::PT_STR && value.kind() == expr::PK_STR) {
        const auto& s = static_cast<const expr::TParamStr&>(value);
        if (!s.has_dims()) {
          write_as<StrTraits>(o, p, s.elements()[0]);
          break;
        }
      }
      write_str(o, p, value.as_str());
      break;
    }
    case expr::PT_NONE: break;
  }
}

}  // namespace nova::components
