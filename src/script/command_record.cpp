#include "script/command_record.h"

#include "core/error.h"
#include "core/format.h"

namespace nova::script {
namespace {

// The smallest stored expression: an operation count.
constexpr std::size_t kMinExpressionBytes = 4;

[[noreturn]] void fail_record(const TCommandRecord& c, std::string_view what) {
  core::throw_error(core::format("%s (line %d): %s", {command_spec(c.code()).name, c.line_number, what}));
}

void read_field(core::ByteReader& r, TCommandField& f) {
  switch (f.kind) {
    case FieldKind::Expression: f.expression.load(r); break;
    case FieldKind::String:
    case FieldKind::Text: f.bytes = r.str(); break;
    case FieldKind::Int: f.number = r.i32(); break;
    case FieldKind::Byte: f.number = r.u8(); break;
    case FieldKind::ExpressionList: {
      std::int32_t n = r.i32();
      if (n < 0 || static_cast<std::size_t>(n) > r.remaining() / kMinExpressionBytes) {
        r.fail("expression count out of range");
      }
      f.expressions.clear();
      f.expressions.resize(static_cast<std::size_t>(n));
      for (TExpression& e : f.expressions) e.load(r);
      break;
    }
  }
}

void write_field(core::ByteWriter& w, const TCommandField& f) {
  switch (f.kind) {
    case FieldKind::Expression: f.expression.save(w); break;
    case FieldKind::String:
    case FieldKind::Text: w.str(f.bytes); break;
    case FieldKind::Int: w.i32(f.number); break;
    case FieldKind::Byte: w.u8(static_cast<std::uint8_t>(f.number)); break;
    case FieldKind::ExpressionList:
      w.i32(static_cast<std::int32_t>(f.expressions.size()));
      for (const TExpression& e : f.expressions) e.save(w);
      break;
  }
}

}  // namespace

bool field_is_empty(const TCommandField& f) {
  switch (f.kind) {
    case FieldKind::Expression: return f.expression.empty();
    case FieldKind::ExpressionList: return f.expressions.empty();
    case FieldKind::String:
    case FieldKind::Text: return f.bytes.empty();
    case FieldKind::Int:
    case FieldKind::Byte: return f.number == 0;
  }
  return true;
}

void TPropertySet::set(int id, bool on) {
  if (id < 0 || id >= kPropertySetBytes * 8) core::throw_error("property id out of range");
  auto& b = m_bytes[static_cast<std::size_t>(id / 8)];
  const auto bit = static_cast<std::uint8_t>(1u << (id % 8));
  b = static_cast<std::uint8_t>(on ? (b | bit) : (b & ~bit));
}

bool TPropertySet::empty() const {
  for (std::uint8_t b : m_bytes) {
    if (b) return false;
  }
  return true;
}

std::vector<int> TPropertySet::ids() const {
  std::vector<int> out;
  for (int id = 0; id < kPropertyIdCount; ++id) {
    if (has(id)) out.push_back(id);
  }
  return out;
}

TCommandRecord TCommandRecord::make(int code) {
  const CommandSpec& spec = command_spec(code);
  TCommandRecord c;
  c.code_byte = static_cast<std::uint8_t>(code);
  c.fields.resize(spec.fields.size());
  for (std::size_t i = 0; i < spec.fields.size(); ++i) c.fields[i].kind = spec.fields[i].kind;
  return c;
}

TCommandField& TCommandRecord::field(std::string_view name) {
  return const_cast<TCommandField&>(static_cast<const TCommandRecord&>(*this).field(name));
}

const TCommandField& TCommandRecord::field(std::string_view name) const {
  const CommandSpec& s = spec();
  for (std::size_t i = 0; i < s.fields.size() && i < fields.size(); ++i) {
    if (s.fields[i].name == name) return fields[i];
  }
  core::throw_error(core::format("%s has no field %s", {s.name, name}));
}

const TPropertyExpression* TCommandRecord::property(int id) const {
  for (const TPropertyExpression& p : properties) {
    if (p.id == id) return &p;
  }
  return nullptr;
}

TCommandRecord read_command_record(core::ByteReader& r, int page_version, const TPropertyTable& table) {
  const std::uint8_t code_byte = r.u8();
  TCommandRecord c = TCommandRecord::make(code_byte & 0x7F);
  c.code_byte = code_byte;
  c.nesting_level = r.i32();
  c.skip_flag = r.u8();
  c.continue_flag = r.u8();
  c.line_number = r.i32();
  const CommandSpec& spec = c.spec();
  if (spec.has_properties) {
    for (int id : table[static_cast<std::size_t>(c.code())].ids()) {
      TPropertyExpression p;
      p.id = id;
      p.expression.load(r);
      c.properties.push_back(std::move(p));
    }
  }
  for (std::size_t i = 0; i < spec.fields.size(); ++i) {
    if (spec.fields[i].present_in(page_version)) read_field(r, c.fields[i]);
  }
  return c;
}

void write_command_record(core::ByteWriter& w, const TCommandRecord& c, int page_version, const TPropertyTable& table) {
  const CommandSpec& spec = c.spec();
  if (c.fields.size() != spec.fields.size()) fail_record(c, "wrong number of fields");
  for (std::size_t i = 0; i < spec.fields.size(); ++i) {
    if (c.fields[i].kind != spec.fields[i].kind)
      fail_record(c, core::format("field %s has the wrong kind", {spec.fields[i].name}));
    if (!spec.fields[i].present_in(page_version) && !field_is_empty(c.fields[i])) {
      fail_record(c,
                  core::format("field %s is not stored in pages of version %d", {spec.fields[i].name, page_version}));
    }
  }
  std::vector<int> ids;
  if (spec.has_properties) ids = table[static_cast<std::size_t>(c.code())].ids();
  bool match = ids.size() == c.properties.size();
  for (std::size_t i = 0; match && i < ids.size(); ++i) match = c.properties[i].id == ids[i];
  if (!match) fail_record(c, "the property expressions do not match the page's property set");

  w.u8(c.code_byte);
  w.i32(c.nesting_level);
  w.u8(c.skip_flag);
  w.u8(c.continue_flag);
  w.i32(c.line_number);
  for (const TPropertyExpression& p : c.properties) p.expression.save(w);
  for (std::size_t i = 0; i < spec.fields.size(); ++i) {
    if (spec.fields[i].present_in(page_version)) write_field(w, c.fields[i]);
  }
}

}  // namespace nova::script
